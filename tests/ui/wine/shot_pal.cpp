/* The platform layer renders any window to a PNG image itself. */
#include "shot.h"

#include <palgdi.h>
#include <palpaint.h>

const char SHOT_Extension[] = "png";

BOOL SHOT_Save(HWND window, const char *file)
{
    HBITMAP picture = PalRenderWindow(window);
    BOOL saved = picture && PalSaveBitmapPng(picture, file);
    if (picture)
        DeleteObject(picture);
    return saved;
}
