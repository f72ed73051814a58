/*
 * palpaint.h - rendering windows, a service of the platform layer beyond
 * Win32.  Windows are headless; rendering paints a window as a screen
 * would show it: its frame and caption, its own painting and that of every
 * visible child, owner-drawn items drawn by their owners.
 */
#ifndef PAL_PALPAINT_H
#define PAL_PALPAINT_H

#include <windef.h>

#ifndef RC_INVOKED
PAL_BEGIN_DECLS

/* Paints the window and its visible descendants onto a new 32-bit bitmap
 * of the window's full size, frame included; null (ERROR_INVALID_WINDOW_
 * HANDLE) for a handle that names no window.  The window's procedures run
 * on the calling thread, which must be the window's.  The caller deletes
 * the bitmap with DeleteObject; PalSaveBitmapPng (palgdi.h) writes it. */
HBITMAP WINAPI PalRenderWindow(HWND hwnd);

PAL_END_DECLS
#endif

#endif
