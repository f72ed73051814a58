/*
 * Library frame: the library's instance and its attach entry.
 */
#ifndef CALLMGR_API_H
#define CALLMGR_API_H

#include <windows.h>

#ifdef __cplusplus
extern "C" {
#endif

/* The instance remembered at attach; dialogs, strings and windows are made
 * with it. */
extern HINSTANCE LIB_Instance;
/* The instance again once the window class is registered; null otherwise. */
extern HINSTANCE LIB_Initialised;

/* The library's entry point: the process attach registers the state-machine
 * window class and attaches the TCP/IP stack.  Always TRUE, so that loading
 * never fails here: without the class LIB_Initialised stays null and every
 * CMStartup fails with CMERR_WINDOW instead.  Other reasons do nothing. */
BOOL WINAPI LibMain(HINSTANCE instance, DWORD reason, LPVOID reserved);

#ifdef __cplusplus
}
#endif

#endif
