/*
 * The static control, class "STATIC": a text label.  SS_LEFT and SS_CENTER
 * and SS_RIGHT wrap the text at word boundaries, SS_LEFTNOWORDWRAP and
 * SS_SIMPLE keep it on one line; "&" underlines the next character unless
 * SS_NOPREFIX.  A disabled label is drawn in the disabled look.  The
 * picture styles (icons, rectangles, frames) are not drawn.
 */
#include "user/controls.h"
#include "user/paint.h"
#include "user/window.h"

namespace pal {
namespace {

struct Static {
    HFONT font = nullptr;
};

std::shared_ptr<Static> static_of(HWND hwnd)
{
    WindowRef w = window_get(hwnd);
    return w ? std::static_pointer_cast<Static>(w->ext) : nullptr;
}

UINT text_format(DWORD style)
{
    UINT prefix = (style & SS_NOPREFIX) ? DT_NOPREFIX : 0;
    switch (style & 0x1F) {
    case SS_CENTER:
        return DT_CENTER | DT_WORDBREAK | DT_EXPANDTABS | prefix;
    case SS_RIGHT:
        return DT_RIGHT | DT_WORDBREAK | DT_EXPANDTABS | prefix;
    case SS_LEFTNOWORDWRAP:
        return DT_LEFT | DT_SINGLELINE | DT_EXPANDTABS | prefix;
    case SS_SIMPLE:
        return DT_LEFT | DT_SINGLELINE | prefix;
    case SS_LEFT:
        return DT_LEFT | DT_WORDBREAK | DT_EXPANDTABS | prefix;
    default:
        return 0; /* a picture */
    }
}

void paint(HWND hwnd, HDC dc)
{
    WindowRef w = window_get(hwnd);
    std::shared_ptr<Static> st = static_of(hwnd);
    if (!w || !st)
        return;
    RECT rc = client_area(hwnd);
    HBRUSH brush = control_color(hwnd, WM_CTLCOLORSTATIC, dc);
    FillRect(dc, &rc, brush);
    UINT format = text_format(w->style);
    if (!format)
        return;
    HGDIOBJ old = SelectObject(dc, st->font ? (HGDIOBJ)st->font : GetStockObject(SYSTEM_FONT));
    draw_label(dc, w->text.c_str(), rc, format, IsWindowEnabled(hwnd), GetTextColor(dc));
    SelectObject(dc, old);
}

LRESULT CALLBACK static_proc(HWND hwnd, UINT msg, WPARAM wparam, LPARAM lparam)
{
    switch (msg) {
    case WM_NCCREATE:
        if (WindowRef w = window_get(hwnd))
            w->ext = std::make_shared<Static>();
        return DefWindowProcA(hwnd, msg, wparam, lparam);
    case WM_NCDESTROY:
        if (WindowRef w = window_get(hwnd))
            w->ext.reset();
        return 0;
    case WM_GETDLGCODE:
        return DLGC_STATIC;
    case WM_SETFONT:
        if (auto st = static_of(hwnd))
            st->font = (HFONT)wparam;
        if (LOWORD(lparam))
            InvalidateRect(hwnd, nullptr, TRUE);
        return 0;
    case WM_GETFONT: {
        auto st = static_of(hwnd);
        return st ? (LRESULT)st->font : 0;
    }
    case WM_SETTEXT: {
        LRESULT r = DefWindowProcA(hwnd, msg, wparam, lparam);
        InvalidateRect(hwnd, nullptr, TRUE);
        return r;
    }
    case WM_ENABLE:
        InvalidateRect(hwnd, nullptr, TRUE);
        return 0;
    case WM_ERASEBKGND:
        return 1; /* painting covers the whole client area */
    case WM_PAINT:
        return paint_message(hwnd, wparam, [&](HDC dc) { paint(hwnd, dc); });
    default:
        return DefWindowProcA(hwnd, msg, wparam, lparam);
    }
}

} // namespace

void static_register()
{
    register_system_class("Static", static_proc, 0);
}

} // namespace pal
