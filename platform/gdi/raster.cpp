/*
 * Raster operations: BitBlt and PatBlt with any ternary raster operation,
 * and single pixels.
 *
 * A ternary operation's third byte is its truth table over pattern (P),
 * source (S) and destination (D): bit number 4P + 2S + D holds the result,
 * so each of the eight minterms whose bit is set contributes its
 * combination of the operands, bit for bit over the pixel values.
 */
#include "gdi/objects.h"

#include <algorithm>

using namespace pal::gdi;

namespace {

COLORREF rop3(DWORD rop, COLORREF p, COLORREF s, COLORREF d)
{
    unsigned table = (rop >> 16) & 0xFF;
    COLORREF r = 0;
    for (unsigned i = 0; i < 8; ++i)
        if (table & (1u << i))
            r |= ((i & 4) ? p : ~p) & ((i & 2) ? s : ~s) & ((i & 1) ? d : ~d);
    return r & 0xFFFFFF;
}

bool uses_source(DWORD rop)
{
    return (((rop >> 2) ^ rop) & 0x330000) != 0;
}

COLORREF pattern_of(const Dc &dc)
{
    if (!dc.brush || dc.brush->style == BS_NULL)
        return 0;
    return device_color(dc.mono(), dc.brush->color);
}

/* The source pixel as the destination sees it: monochrome sources take the
 * destination's text colour for black and background colour for white; a
 * colour source on a monochrome destination is white where it has the
 * source's background colour, black elsewhere. */
COLORREF convert(COLORREF s, const Dc &src, const Dc &dst)
{
    if (src.mono() && !dst.mono())
        return s ? dst.bk_color : dst.text_color;
    if (!src.mono() && dst.mono())
        return s == src.bk_color ? 0xFFFFFF : 0x000000;
    return s;
}

/* The part of the logical rectangle (positive size) that the DC may draw
 * on, in surface coordinates, with the rectangle's own top-left there. */
bool target(const Dc &dc, long long x, long long y, long long width, long long height, RECT *r,
            POINT *corner)
{
    *corner = POINT{dc.sx(x), dc.sy(y)};
    RECT want{corner->x, corner->y, dc.sx(x + width), dc.sy(y + height)};
    return dc.surface && intersect(r, want, dc.clip());
}

/* Applies the operation on a clipped surface rectangle; `source` gives the
 * converted source pixel for a surface point, or false where there is none. */
template <class Source> void apply(Dc &dc, const RECT &r, DWORD rop, Source source)
{
    COLORREF p = pattern_of(dc);
    for (int y = r.top; y < r.bottom; ++y) {
        COLORREF *row = dc.surface->row(y);
        for (int x = r.left; x < r.right; ++x) {
            COLORREF s = 0;
            if (source(x, y, &s))
                row[x] = rop3(rop, p, s, row[x]);
        }
    }
}

bool no_source(int, int, COLORREF *)
{
    return true;
}

} // namespace

extern "C" {

BOOL WINAPI BitBlt(HDC hdst, int x, int y, int width, int height, HDC hsrc, int sx, int sy,
                   DWORD rop)
{
    std::shared_ptr<Dc> dst = dc_get(hdst);
    if (!dst)
        return FALSE;
    std::shared_ptr<Dc> src;
    if (uses_source(rop) && !(src = dc_get(hsrc)))
        return FALSE;
    RECT r;
    POINT corner;
    if (width <= 0 || height <= 0 || !target(*dst, x, y, width, height, &r, &corner))
        return TRUE;
    if (!src) {
        apply(*dst, r, rop, no_source);
        return TRUE;
    }
    if (!src->surface)
        return TRUE;
    /* The source is read before anything is written, so a copy within one
     * bitmap sees the original pixels. */
    const Bitmap &sb = *src->surface;
    int w = r.right - r.left;
    std::vector<COLORREF> copy((size_t)w * (size_t)(r.bottom - r.top));
    std::vector<bool> present(copy.size(), false);
    for (int y = r.top; y < r.bottom; ++y)
        for (int x = r.left; x < r.right; ++x) {
            int px = src->sx((long long)sx + (x - corner.x));
            int py = src->sy((long long)sy + (y - corner.y));
            if (px < 0 || py < 0 || px >= sb.width || py >= sb.height)
                continue;
            size_t k = (size_t)(y - r.top) * (size_t)w + (size_t)(x - r.left);
            copy[k] = convert(sb.px[(size_t)py * (size_t)sb.width + (size_t)px], *src, *dst);
            present[k] = true;
        }
    apply(*dst, r, rop, [&](int x, int y, COLORREF *s) {
        size_t k = (size_t)(y - r.top) * (size_t)w + (size_t)(x - r.left);
        *s = copy[k];
        return (bool)present[k];
    });
    return TRUE;
}

BOOL WINAPI PatBlt(HDC hdc, int x, int y, int width, int height, DWORD rop)
{
    std::shared_ptr<Dc> dc = dc_get(hdc);
    if (!dc)
        return FALSE;
    if (uses_source(rop)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    /* A negative size counts from the other edge. */
    long long left = x, top = y, w = width, h = height;
    if (w < 0) {
        left += w;
        w = -w;
    }
    if (h < 0) {
        top += h;
        h = -h;
    }
    RECT r;
    POINT corner;
    if (target(*dc, left, top, w, h, &r, &corner))
        apply(*dc, r, rop, no_source);
    return TRUE;
}

COLORREF WINAPI SetPixel(HDC hdc, int x, int y, COLORREF color)
{
    std::shared_ptr<Dc> dc = dc_get(hdc);
    if (!dc)
        return CLR_INVALID;
    RECT c = dc->clip();
    int px = dc->sx(x), py = dc->sy(y);
    if (px < c.left || px >= c.right || py < c.top || py >= c.bottom)
        return CLR_INVALID;
    COLORREF v = device_color(dc->mono(), color);
    dc->surface->row(py)[px] = v;
    return v;
}

COLORREF WINAPI GetPixel(HDC hdc, int x, int y)
{
    std::shared_ptr<Dc> dc = dc_get(hdc);
    if (!dc)
        return CLR_INVALID;
    RECT c = dc->clip();
    int px = dc->sx(x), py = dc->sy(y);
    if (px < c.left || px >= c.right || py < c.top || py >= c.bottom)
        return CLR_INVALID;
    return dc->surface->row(py)[px];
}

} // extern "C"
