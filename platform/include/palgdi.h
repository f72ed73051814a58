/*
 * palgdi.h - drawing services of the platform layer beyond Win32: saving a
 * bitmap, such as a window's rendered surface, as a PNG image.
 */
#ifndef PAL_PALGDI_H
#define PAL_PALGDI_H

#include <windef.h>

#ifndef RC_INVOKED
PAL_BEGIN_DECLS

/* Writes the bitmap as an 8-bit RGB PNG file, monochrome pixels as black and
 * white; the bitmap may be selected into a DC meanwhile.  FALSE with the
 * last error set when the handle names no bitmap (ERROR_INVALID_HANDLE) or
 * the file cannot be written (ERROR_ACCESS_DENIED). */
BOOL WINAPI PalSaveBitmapPng(HBITMAP bmp, const char *path);

PAL_END_DECLS
#endif

#endif
