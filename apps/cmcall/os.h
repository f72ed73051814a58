/*
 * os.h - what cmcall needs from the system it runs on, in os_posix.cpp or
 * os_win32.cpp: requests to stop, its own folder, and whether there is a
 * desktop.
 */
#ifndef CMCALL_OS_H
#define CMCALL_OS_H

#include <windows.h>

#include <string>

/* Why cmcall is asked to stop, numbered as the POSIX signals are on both
 * systems, so the exit status of an interrupted invite (128 + the number)
 * and the lines name the same reason everywhere. */
const int CMCALL_STOP_HANGUP = 1;
const int CMCALL_STOP_INTERRUPT = 2;
const int CMCALL_STOP_TERMINATE = 15;

/* From now on every request to stop (a signal; a console's Ctrl+C, Ctrl+Break
 * or closing) posts `msg` to `wnd` with the reason as wParam, from a thread
 * of its own: the message loop then stops as from any other message.  A
 * second request while the first is handled ends the process at once with
 * 128 + its reason.  false when it could not be set up. */
bool CMCALL_WatchStops(HWND wnd, UINT msg);

/* The folder of the running program, without a trailing separator; empty
 * when the system does not say. */
std::string CMCALL_ProgramFolder(void);

/* Whether the library's dialogs are windows a person sees. */
bool CMCALL_DesktopHere(void);

#endif
