/*
 * shot.h - a picture of a window as it is on the screen, in the file format
 * the system's own drawing writes (SHOT_Extension names it).
 */
#ifndef CALLMGR_TESTS_UI_WINE_SHOT_H
#define CALLMGR_TESTS_UI_WINE_SHOT_H

#include <windows.h>

extern const char SHOT_Extension[];

/* Writes the window, frame and caption included, to FILE; FALSE when it
 * cannot. */
BOOL SHOT_Save(HWND window, const char *file);

#endif
