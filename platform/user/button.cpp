/*
 * The button control, class "BUTTON", as push buttons: BS_PUSHBUTTON and
 * BS_DEFPUSHBUTTON, the latter drawn with the black outline of the default
 * button.  A click is a press and a release of the left mouse button over
 * the button, or the space bar down and up while it has the focus; either
 * sends BN_CLICKED to the parent when the button comes up.  Pressing takes
 * the focus.  BM_CLICK clicks an enabled button.
 */
#include "user/controls.h"
#include "user/paint.h"
#include "user/window.h"

namespace pal {
namespace {

struct Button {
    HFONT font = nullptr;
    bool pressed = false;  /* drawn pushed in */
    bool captured = false; /* the mouse button went down here and is still down */
    bool focused = false;
};

std::shared_ptr<Button> button_of(HWND hwnd)
{
    WindowRef w = window_get(hwnd);
    return w ? std::static_pointer_cast<Button>(w->ext) : nullptr;
}

DWORD style_of(HWND hwnd)
{
    return (DWORD)GetWindowLongPtrA(hwnd, GWL_STYLE);
}

bool is_default(HWND hwnd)
{
    return (style_of(hwnd) & BS_TYPEMASK) == BS_DEFPUSHBUTTON;
}

void redraw(HWND hwnd)
{
    InvalidateRect(hwnd, nullptr, TRUE);
}

void set_pressed(HWND hwnd, const std::shared_ptr<Button> &b, bool pressed)
{
    if (b->pressed != pressed) {
        b->pressed = pressed;
        redraw(hwnd);
    }
}

void clicked(HWND hwnd)
{
    if (HWND parent = GetParent(hwnd))
        SendMessageA(parent, WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(hwnd), BN_CLICKED), (LPARAM)hwnd);
}

bool inside(HWND hwnd, LPARAM lparam)
{
    RECT rc;
    GetClientRect(hwnd, &rc);
    int x = (short)LOWORD(lparam), y = (short)HIWORD(lparam);
    return x >= rc.left && x < rc.right && y >= rc.top && y < rc.bottom;
}

void paint(HWND hwnd, HDC dc)
{
    auto b = button_of(hwnd);
    WindowRef w = window_get(hwnd);
    if (!b || !w)
        return;
    RECT rc = client_area(hwnd);
    control_color(hwnd, WM_CTLCOLORBTN, dc);
    if (is_default(hwnd))
        draw_edge(dc, &rc, COLOR_WINDOWFRAME, COLOR_WINDOWFRAME);
    draw_button_face(dc, &rc, b->pressed);
    RECT text = rc;
    if (b->pressed)
        text = RECT{rc.left + 1, rc.top + 1, rc.right + 1, rc.bottom + 1};
    HGDIOBJ old = SelectObject(dc, b->font ? (HGDIOBJ)b->font : GetStockObject(SYSTEM_FONT));
    draw_label(dc, w->text.c_str(), text, DT_CENTER | DT_VCENTER | DT_SINGLELINE,
               IsWindowEnabled(hwnd), GetSysColor(COLOR_BTNTEXT));
    SelectObject(dc, old);
    if (b->focused) {
        RECT focus{rc.left + 2, rc.top + 2, rc.right - 2, rc.bottom - 2};
        DrawFocusRect(dc, &focus);
    }
}

LRESULT CALLBACK button_proc(HWND hwnd, UINT msg, WPARAM wparam, LPARAM lparam)
{
    if (msg == WM_NCCREATE) {
        if (WindowRef w = window_get(hwnd))
            w->ext = std::make_shared<Button>();
        return DefWindowProcA(hwnd, msg, wparam, lparam);
    }
    auto b = button_of(hwnd);
    if (!b)
        return DefWindowProcA(hwnd, msg, wparam, lparam);
    switch (msg) {
    case WM_NCDESTROY:
        if (WindowRef w = window_get(hwnd))
            w->ext.reset();
        return 0;
    case WM_GETDLGCODE:
        return DLGC_BUTTON | (is_default(hwnd) ? DLGC_DEFPUSHBUTTON : DLGC_UNDEFPUSHBUTTON);
    case WM_LBUTTONDOWN:
    case WM_LBUTTONDBLCLK:
        if (GetFocus() != hwnd)
            SetFocus(hwnd);
        b->captured = true;
        set_pressed(hwnd, b, true);
        return 0;
    case WM_MOUSEMOVE:
        if (b->captured)
            set_pressed(hwnd, b, inside(hwnd, lparam));
        return 0;
    case WM_LBUTTONUP: {
        bool click = b->captured && b->pressed && inside(hwnd, lparam);
        b->captured = false;
        set_pressed(hwnd, b, false);
        if (click)
            clicked(hwnd);
        return 0;
    }
    case WM_KEYDOWN:
        if (wparam == VK_SPACE)
            set_pressed(hwnd, b, true);
        return 0;
    case WM_KEYUP:
        if (wparam == VK_SPACE && b->pressed && !b->captured) {
            set_pressed(hwnd, b, false);
            clicked(hwnd);
        }
        return 0;
    case WM_SETFOCUS:
        b->focused = true;
        redraw(hwnd);
        return 0;
    case WM_KILLFOCUS:
        b->focused = false;
        b->captured = false;
        set_pressed(hwnd, b, false);
        redraw(hwnd);
        return 0;
    case BM_CLICK:
        if (IsWindowEnabled(hwnd)) {
            SendMessageA(hwnd, WM_LBUTTONDOWN, MK_LBUTTON, 0);
            SendMessageA(hwnd, WM_LBUTTONUP, 0, 0);
        }
        return 0;
    case BM_GETSTATE:
        return (b->pressed ? BST_PUSHED : 0) | (b->focused ? BST_FOCUS : 0);
    case BM_SETSTATE:
        set_pressed(hwnd, b, wparam != 0);
        return 0;
    case BM_SETSTYLE:
        SetWindowLongPtrA(
            hwnd, GWL_STYLE,
            (LONG_PTR)((style_of(hwnd) & ~(DWORD)BS_TYPEMASK) | ((DWORD)wparam & BS_TYPEMASK)));
        if (LOWORD(lparam))
            redraw(hwnd);
        return 0;
    case WM_SETFONT:
        b->font = (HFONT)wparam;
        if (LOWORD(lparam))
            redraw(hwnd);
        return 0;
    case WM_GETFONT:
        return (LRESULT)b->font;
    case WM_SETTEXT: {
        LRESULT r = DefWindowProcA(hwnd, msg, wparam, lparam);
        redraw(hwnd);
        return r;
    }
    case WM_ENABLE:
        redraw(hwnd);
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

void button_register()
{
    register_system_class("Button", button_proc, CS_DBLCLKS);
}

} // namespace pal
