// A memory DC on a 32-bit bitmap of its own, for the conformance and internal
// GDI tests (public headers only).
#ifndef CALLMGR_TESTS_CANVAS_H
#define CALLMGR_TESTS_CANVAS_H

#include <windows.h>

#include <algorithm>

static bool operator==(const RECT &a, const RECT &b)
{
    return a.left == b.left && a.top == b.top && a.right == b.right && a.bottom == b.bottom;
}

namespace {

struct Canvas {
    HDC dc;
    HBITMAP bmp;
    HGDIOBJ old;
    int width, height;

    Canvas(int w, int h, COLORREF fill) : width(w), height(h)
    {
        dc = CreateCompatibleDC(nullptr);
        bmp = CreateBitmap(w, h, 1, 32, nullptr);
        old = SelectObject(dc, bmp);
        HBRUSH brush = CreateSolidBrush(fill);
        RECT all{0, 0, w, h};
        FillRect(dc, &all, brush);
        DeleteObject(brush);
    }
    ~Canvas()
    {
        SelectObject(dc, old);
        DeleteDC(dc);
        DeleteObject(bmp);
    }
    COLORREF at(int x, int y) const { return GetPixel(dc, x, y); }

    /* The box of pixels that differ from `background`; empty if none. */
    RECT ink(COLORREF background) const
    {
        RECT box{width, height, 0, 0};
        for (int y = 0; y < height; ++y)
            for (int x = 0; x < width; ++x)
                if (at(x, y) != background) {
                    box.left = std::min<LONG>(box.left, x);
                    box.top = std::min<LONG>(box.top, y);
                    box.right = std::max<LONG>(box.right, x + 1);
                    box.bottom = std::max<LONG>(box.bottom, y + 1);
                }
        return box;
    }
};

} // namespace

#endif
