/*
 * Keyboard focus and activation.  Both belong to a thread, as on Windows:
 * GetFocus and GetActiveWindow answer for the calling thread's windows.
 *
 * SetFocus sends WM_KILLFOCUS to the window losing the focus, then
 * WM_SETFOCUS to the one taking it.  Inside a dialog the dialog manager
 * follows the focus: it remembers the control (to give the focus back when
 * the dialog is activated again) and lets a focused push button be the
 * default one, so that Enter presses the button that has the focus.
 */
#include "user/dialog.h"
#include "user/window.h"

namespace pal {
namespace {

struct ThreadInput {
    HWND focus = nullptr;
    HWND active = nullptr;
};

thread_local ThreadInput input;

HWND live(HWND hwnd)
{
    return hwnd && IsWindow(hwnd) ? hwnd : nullptr;
}

bool is_push_button(LRESULT code)
{
    return code & (DLGC_DEFPUSHBUTTON | DLGC_UNDEFPUSHBUTTON);
}

} // namespace

HWND top_level_of(HWND hwnd)
{
    WindowRef w = window_get(hwnd);
    while (w && (w->style & WS_CHILD) && w->parent) {
        WindowRef up = window_get(w->parent);
        if (!up)
            break;
        w = up;
    }
    return w ? w->handle : nullptr;
}

HWND dialog_containing(HWND hwnd)
{
    for (WindowRef w = window_get(hwnd); w; w = window_get(w->parent)) {
        if (dialog_of(w->handle))
            return w->handle;
        if (!(w->style & WS_CHILD))
            break;
    }
    return nullptr;
}

void dialog_focus_control(HWND control)
{
    SetFocus(control);
    if (SendMessageA(control, WM_GETDLGCODE, 0, 0) & DLGC_HASSETSEL)
        SendMessageA(control, EM_SETSEL, 0, -1);
}

void dialog_focus_moved(HWND dlg, HWND focus)
{
    DialogRef d = dialog_of(dlg);
    if (!d)
        return;
    HWND child = focus;
    while (child && GetParent(child) != dlg && IsChild(dlg, child))
        child = GetParent(child);
    if (child && GetParent(child) == dlg)
        d->focus = child;

    HWND want = nullptr;
    if (child && is_push_button(SendMessageA(child, WM_GETDLGCODE, 0, 0))) {
        want = child;
    } else if (HWND def = d->defid ? GetDlgItem(dlg, d->defid) : nullptr) {
        if (is_push_button(SendMessageA(def, WM_GETDLGCODE, 0, 0)))
            want = def;
    }
    for (const WindowRef &c : window_list()) {
        if (c->parent != dlg || !(c->style & WS_CHILD) || c->destroying)
            continue;
        LRESULT code = SendMessageA(c->handle, WM_GETDLGCODE, 0, 0);
        if (c->handle == want && (code & DLGC_UNDEFPUSHBUTTON))
            SendMessageA(c->handle, BM_SETSTYLE, BS_DEFPUSHBUTTON, TRUE);
        else if (c->handle != want && (code & DLGC_DEFPUSHBUTTON))
            SendMessageA(c->handle, BM_SETSTYLE, BS_PUSHBUTTON, TRUE);
    }
}

void activate(HWND hwnd, WORD how)
{
    HWND old = live(input.active);
    if (old == hwnd)
        return;
    input.active = hwnd;
    if (old)
        SendMessageA(old, WM_ACTIVATE, MAKEWPARAM(WA_INACTIVE, 0), (LPARAM)hwnd);
    if (!hwnd) {
        SetFocus(nullptr);
        return;
    }
    SendMessageA(hwnd, WM_ACTIVATE, MAKEWPARAM(how, 0), (LPARAM)old);
    /* A window activated without taking the focus for one of its own
     * controls gets the focus itself (a dialog passes it on). */
    HWND focus = GetFocus();
    if (input.active == hwnd && IsWindow(hwnd) && (!focus || top_level_of(focus) != hwnd))
        SetFocus(hwnd);
}

} // namespace pal

using namespace pal;

extern "C" {

HWND WINAPI GetFocus(void)
{
    return live(input.focus);
}

HWND WINAPI SetFocus(HWND hwnd)
{
    WindowRef w = hwnd ? window_get(hwnd) : nullptr;
    if (hwnd && (!w || w->queue != queue_current())) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return nullptr;
    }
    HWND old = GetFocus();
    if (old == hwnd)
        return old;
    input.focus = hwnd;
    if (old)
        SendMessageA(old, WM_KILLFOCUS, (WPARAM)hwnd, 0);
    if (hwnd && GetFocus() == hwnd) {
        if (HWND dlg = dialog_containing(hwnd); dlg && dlg != hwnd)
            dialog_focus_moved(dlg, hwnd);
        SendMessageA(hwnd, WM_SETFOCUS, (WPARAM)old, 0);
    }
    return old;
}

HWND WINAPI GetActiveWindow(void)
{
    return live(input.active);
}

HWND WINAPI SetActiveWindow(HWND hwnd)
{
    WindowRef w = window_get(hwnd);
    if (!w || (w->style & WS_CHILD) || w->queue != queue_current()) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return nullptr;
    }
    HWND old = GetActiveWindow();
    activate(hwnd, WA_ACTIVE);
    return old;
}

} // extern "C"
