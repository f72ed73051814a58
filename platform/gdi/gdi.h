/*
 * The drawing layer's services for the window manager: DCs that draw onto a
 * window's surface, dialog fonts and their base units, and read access to
 * rendered pixels.
 *
 * A top-level window's surface is an ordinary bitmap (CreateBitmap(w, h, 1,
 * 32, NULL) makes one, black); its children draw onto the same surface
 * through DCs whose origin is their client area's place on it.
 */
#ifndef PAL_GDI_GDI_H
#define PAL_GDI_GDI_H

#include <windows.h>

#include <vector>

namespace pal {

/* The display: 32-bit colour at 96 dots per inch. */
constexpr int kScreenDpi = 96;
constexpr int kScreenWidth = 1024;
constexpr int kScreenHeight = 768;

/*
 * A DC that draws onto `surface`.  Its coordinate (0, 0) lies at `origin` on
 * the surface and everything it draws is clipped to `clip` (surface
 * coordinates; null: the whole surface) and to the surface's bounds.  A
 * null surface gives a DC of the display's format that draws nothing but
 * measures text (a screen DC, or a window without a surface yet).
 *
 * The DC starts as Windows' window DCs do: SYSTEM_FONT, WHITE_BRUSH,
 * BLACK_PEN, black text on a white OPAQUE background, TA_TOP | TA_LEFT.
 * It keeps the surface alive until DeleteDC, which frees it; no bitmap can
 * be selected into it.  Null when the handle is neither null nor a bitmap.
 */
HDC dc_create_window(HBITMAP surface, POINT origin, const RECT *clip);

/*
 * The font of a dialog template: the face as CreateFontA takes it ("MS Sans
 * Serif", "Helv" and unknown faces get the layer's sans-serif font) at `points`
 * on the 96-dpi display, i.e. a character height of MulDiv(points, 96, 72)
 * pixels, with the template's weight (0: normal) and italic flag.
 */
HFONT font_create_points(const char *face, int points, int weight, bool italic);

/*
 * Dialog base units of a font, as Windows computes them: cx is the width of
 * "A".."Z" "a".."z" as one string, (width / 26 + 1) / 2; cy is the font's
 * tmHeight.  False when the handle names no font.  (8-point "MS Sans
 * Serif" gives 7 x 13.)
 */
bool font_base_units(HFONT font, SIZE *units);

/* The pixels of a bitmap as COLORREF values, rows top first (monochrome
 * pixels read as 0x000000 and 0xFFFFFF).  False when the handle names no
 * bitmap. */
bool bitmap_read(HBITMAP bmp, int *width, int *height, std::vector<COLORREF> *pixels);

} // namespace pal

#endif
