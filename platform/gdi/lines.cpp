/*
 * Lines and rectangles drawn with the DC's pen and brush.  A line leaves
 * out its end point and a rectangle its right and bottom edges, as on
 * Windows, so shapes that share an edge meet without overlap.
 */
#include "gdi/objects.h"

#include <algorithm>
#include <cstdlib>

using namespace pal::gdi;

namespace {

/* Whether the n-th pixel of a styled line is drawn. */
bool pen_on(const Pen &pen, int n)
{
    switch (pen.style) {
    case PS_DOT:
        return n % 2 == 0;
    case PS_DASH:
        return n % 8 < 6;
    default:
        return true;
    }
}

/* Puts a pen's dot centred on a logical point. */
void plot(Dc &dc, const Pen &pen, int x, int y)
{
    int half = (pen.width - 1) / 2;
    fill_logical(dc, RECT{x - half, y - half, x - half + pen.width, y - half + pen.width},
                 pen.color);
}

void line(Dc &dc, int x0, int y0, int x1, int y1)
{
    const Pen &pen = *dc.pen;
    if (pen.style == PS_NULL)
        return;
    int dx = std::abs(x1 - x0), dy = -std::abs(y1 - y0);
    int stepx = x0 < x1 ? 1 : -1, stepy = y0 < y1 ? 1 : -1;
    int err = dx + dy;
    for (int n = 0; x0 != x1 || y0 != y1; ++n) {
        if (pen_on(pen, n))
            plot(dc, pen, x0, y0);
        int e2 = 2 * err;
        if (e2 >= dy) {
            err += dy;
            x0 += stepx;
        }
        if (e2 <= dx) {
            err += dx;
            y0 += stepy;
        }
    }
}

} // namespace

extern "C" {

BOOL WINAPI MoveToEx(HDC hdc, int x, int y, LPPOINT old)
{
    std::shared_ptr<Dc> dc = dc_get(hdc);
    if (!dc)
        return FALSE;
    if (old)
        *old = dc->pos;
    dc->pos = POINT{x, y};
    return TRUE;
}

BOOL WINAPI LineTo(HDC hdc, int x, int y)
{
    std::shared_ptr<Dc> dc = dc_get(hdc);
    if (!dc)
        return FALSE;
    line(*dc, dc->pos.x, dc->pos.y, x, y);
    dc->pos = POINT{x, y};
    return TRUE;
}

BOOL WINAPI Rectangle(HDC hdc, int left, int top, int right, int bottom)
{
    std::shared_ptr<Dc> dc = dc_get(hdc);
    if (!dc)
        return FALSE;
    if (left > right)
        std::swap(left, right);
    if (top > bottom)
        std::swap(top, bottom);
    const Pen &pen = *dc->pen;
    RECT inside{left, top, right - 1, bottom - 1}; /* without a pen */
    if (pen.style != PS_NULL) {
        /* The frame lies inside the rectangle, one pen width thick. */
        int w = pen.width;
        if (pen.style == PS_SOLID || pen.style == PS_INSIDEFRAME) {
            fill_logical(*dc, RECT{left, top, right, std::min(bottom, top + w)}, pen.color);
            fill_logical(*dc, RECT{left, std::max(top, bottom - w), right, bottom}, pen.color);
            fill_logical(*dc, RECT{left, top, std::min(right, left + w), bottom}, pen.color);
            fill_logical(*dc, RECT{std::max(left, right - w), top, right, bottom}, pen.color);
        } else {
            line(*dc, left, top, right - 1, top);
            line(*dc, right - 1, top, right - 1, bottom - 1);
            line(*dc, right - 1, bottom - 1, left, bottom - 1);
            line(*dc, left, bottom - 1, left, top);
        }
        inside = RECT{left + w, top + w, right - w, bottom - w};
    }
    if (dc->brush && dc->brush->style != BS_NULL)
        fill_logical(*dc, inside, dc->brush->color);
    return TRUE;
}

} // extern "C"
