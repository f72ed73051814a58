/*
 * GDI objects inside the drawing layer: the handle table and the records
 * behind bitmaps, brushes, pens, fonts and DCs.
 *
 * Handles are never reused, so a stale handle names nothing.  A DC holds
 * its selected objects by reference: an object deleted while selected stays
 * usable by that DC until it is deselected.
 */
#ifndef PAL_GDI_OBJECTS_H
#define PAL_GDI_OBJECTS_H

#include <windows.h>

#include <algorithm>
#include <memory>
#include <mutex>
#include <vector>

namespace pal::gdi {

struct Object {
    explicit Object(DWORD t) : type(t) {}
    virtual ~Object() = default;
    DWORD type;         /* OBJ_ value */
    bool stock = false; /* never deleted */
};

/* Pixels are COLORREF values; a monochrome bitmap holds only black and
 * white, so raster operations work on both kinds alike. */
struct Bitmap : Object {
    Bitmap() : Object(OBJ_BITMAP) {}
    int width = 0;
    int height = 0;
    int bpp = 32; /* 1 or 32 */
    std::vector<COLORREF> px;
    HDC selected_in = nullptr;
    COLORREF *row(int y) { return px.data() + (size_t)y * (size_t)width; }
};

struct Brush : Object {
    Brush() : Object(OBJ_BRUSH) {}
    UINT style = BS_SOLID;
    COLORREF color = 0;
};

struct Pen : Object {
    Pen() : Object(OBJ_PEN) {}
    int style = PS_SOLID;
    int width = 1;
    COLORREF color = 0;
};

struct FontFace; /* font.h */

struct Font : Object {
    Font() : Object(OBJ_FONT) {}
    LOGFONTA lf{};
    std::shared_ptr<const FontFace> face;
};

struct Dc : Object {
    explicit Dc(DWORD t) : Object(t) {}
    std::shared_ptr<Bitmap> surface; /* null: draws nothing */
    HBITMAP bitmap = nullptr;        /* memory DC: the selected bitmap */
    POINT origin{};                  /* logical (0, 0) on the surface, before the viewport */
    RECT bounds{};                   /* window DC: its clip on the surface */
    bool has_user_clip = false;
    RECT user_clip{}; /* IntersectClipRect, surface coordinates */
    POINT viewport{};
    std::shared_ptr<Brush> brush;
    HGDIOBJ brush_handle = nullptr;
    std::shared_ptr<Pen> pen;
    HGDIOBJ pen_handle = nullptr;
    std::shared_ptr<Font> font;
    HGDIOBJ font_handle = nullptr;
    COLORREF text_color = 0x000000;
    COLORREF bk_color = 0xFFFFFF;
    int bk_mode = OPAQUE;
    UINT text_align = TA_TOP | TA_LEFT;
    POINT pos{}; /* current position, logical */

    /* Logical to surface coordinates, held within a range where sums of
     * coordinates and sizes cannot overflow. */
    int sx(long long x) const { return bound(x + origin.x + viewport.x); }
    int sy(long long y) const { return bound(y + origin.y + viewport.y); }
    static int bound(long long v) { return (int)std::clamp(v, -(1LL << 30), 1LL << 30); }
    /* Where drawing may land, in surface coordinates (empty without a
     * surface). */
    RECT clip() const;
    bool mono() const { return surface && surface->bpp == 1; }
};

/* The handle table. */
HGDIOBJ add(std::shared_ptr<Object> obj);
std::shared_ptr<Object> get(HGDIOBJ h);
template <class T> std::shared_ptr<T> get_as(HGDIOBJ h, DWORD type)
{
    std::shared_ptr<Object> o = get(h);
    return o && o->type == type ? std::static_pointer_cast<T>(o) : nullptr;
}
/* The DC of a handle (memory or window DC), or null with
 * ERROR_INVALID_HANDLE set. */
std::shared_ptr<Dc> dc_get(HDC dc);
/* Removes a handle; the record lives on while referenced. */
void remove(HGDIOBJ h);
/* Guards the table and the selection links between DCs and bitmaps. */
std::recursive_mutex &table_mutex();

HGDIOBJ stock(int index); /* GetStockObject without the error */
HBITMAP stock_bitmap();   /* the 1 x 1 monochrome bitmap of a fresh memory DC */

/* A new black bitmap, or null when it is too large (ERROR_NOT_ENOUGH_MEMORY)
 * or its size is negative (ERROR_INVALID_PARAMETER). */
std::shared_ptr<Bitmap> bitmap_new(int width, int height, int bpp);

/* Colour of a pixel written to a surface of the DC's kind: monochrome
 * surfaces take the nearer of black and white. */
COLORREF device_color(bool mono, COLORREF c);

/* Intersection of two rectangles; false when empty. */
bool intersect(RECT *out, const RECT &a, const RECT &b);

/* Fills a surface rectangle (already clipped) with a colour. */
void fill_surface(Bitmap &bmp, const RECT &r, COLORREF c);
/* Fills a logical rectangle of the DC with a colour, clipped. */
void fill_logical(Dc &dc, const RECT &logical, COLORREF c);

} // namespace pal::gdi

#endif
