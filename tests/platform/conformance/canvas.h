// A memory DC on a 32-bit bitmap of its own, and rectangles that compare and
// print, for the conformance and internal tests (public headers only).
#ifndef CALLMGR_TESTS_CANVAS_H
#define CALLMGR_TESTS_CANVAS_H

#include <windows.h>

#include <ostream>

inline bool operator==(const RECT &a, const RECT &b)
{
    return a.left == b.left && a.top == b.top && a.right == b.right && a.bottom == b.bottom;
}
inline void PrintTo(const RECT &r, std::ostream *os)
{
    *os << "{" << r.left << ", " << r.top << ", " << r.right << ", " << r.bottom << "}";
}

namespace {

struct Canvas {
    HDC dc;
    HBITMAP bmp;
    HGDIOBJ old;

    Canvas(int w, int h, COLORREF fill)
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
};

} // namespace

#endif
