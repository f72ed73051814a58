/*
 * Dialog windows: making them from templates, the dialog manager's window
 * procedure DefDlgProcA, and the calls that reach controls by their ids.
 *
 * A dialog window is of class "#32770" (or the template's own class, which
 * must keep DLGWINDOWEXTRA bytes and call DefDlgProcA); its dialog
 * procedure lives in the window's extra bytes at DWLP_DLGPROC, as on
 * Windows, and the dialog record below holds the rest.  Positions in a
 * template are dialog units: a quarter of the dialog font's average
 * character width and an eighth of its height.
 *
 * In this window manager a top-level window's rectangle is its client area;
 * the frame and caption lie around it (see paint.h).  A control's rectangle
 * includes its border, as the template gives it.
 */
#include "user/dialog.h"
#include "user/controls.h"
#include "user/paint.h"
#include "user/window.h"
#include "gdi/gdi.h"

#include <map>
#include <mutex>

namespace pal {
namespace {

std::mutex dialogs_mutex;
std::map<HWND, DialogRef> dialogs;

void dialog_forget(HWND hwnd)
{
    DialogRef d;
    {
        std::lock_guard<std::mutex> lock(dialogs_mutex);
        auto it = dialogs.find(hwnd);
        if (it == dialogs.end())
            return;
        d = it->second;
        dialogs.erase(it);
    }
    if (d->font)
        DeleteObject(d->font);
}

/* MulDiv's rounding, for the positive and negative coordinates of
 * templates. */
LONG scale(LONG v, LONG num, LONG den)
{
    long long p = (long long)v * num;
    return (LONG)(p >= 0 ? (p + den / 2) / den : -((-p + den / 2) / den));
}

RECT to_pixels(const SIZE &units, int x, int y, int cx, int cy)
{
    RECT r{scale(x, units.cx, 4), scale(y, units.cy, 8), 0, 0};
    r.right = r.left + scale(cx, units.cx, 4);
    r.bottom = r.top + scale(cy, units.cy, 8);
    return r;
}

bool has_extra(const WindowRef &w)
{
    return w->extra.size() >= DLGWINDOWEXTRA;
}

/* The WM_CTLCOLOR... messages, which ask for a brush and set the colours of
 * the DC they carry. */
bool is_ctlcolor(UINT msg)
{
    return msg >= WM_CTLCOLORMSGBOX && msg <= WM_CTLCOLORSTATIC;
}

/* The next (or previous) control after `from` among the dialog's children,
 * wrapping around, that passes `ok`; `from` itself when no other does. */
template <typename Ok> HWND step_children(HWND dlg, HWND from, bool previous, Ok ok)
{
    std::vector<HWND> kids;
    for (const WindowRef &c : window_list())
        if (c->parent == dlg && (c->style & WS_CHILD) && !c->destroying)
            kids.push_back(c->handle);
    if (kids.empty())
        return nullptr;
    size_t n = kids.size(), start = n;
    for (size_t i = 0; i < n; ++i)
        if (kids[i] == from)
            start = i;
    for (size_t k = 1; k <= n; ++k) {
        size_t i;
        if (start == n)
            i = previous ? n - k : k - 1;
        else
            i = previous ? (start + n - k) % n : (start + k) % n;
        if (ok(kids[i], i, kids))
            return kids[i];
    }
    return start == n ? nullptr : from;
}

bool can_take_focus(HWND hwnd)
{
    DWORD style = (DWORD)GetWindowLongPtrA(hwnd, GWL_STYLE);
    return (style & WS_VISIBLE) && !(style & WS_DISABLED);
}

/* Restores the focus to the control that had it last, or to the first tab
 * stop. */
void restore_focus(const DialogRef &d)
{
    HWND target = d->focus;
    if (!target || !IsWindow(target) || !IsChild(d->self, target) || !can_take_focus(target))
        target = GetNextDlgTabItem(d->self, nullptr, FALSE);
    if (target)
        SetFocus(target);
}

LRESULT next_control(HWND dlg, WPARAM wparam, LPARAM lparam)
{
    HWND target;
    if (LOWORD(lparam)) {
        target = (HWND)wparam;
    } else {
        HWND focus = GetFocus();
        if (focus && !IsChild(dlg, focus))
            focus = nullptr;
        while (focus && GetParent(focus) != dlg)
            focus = GetParent(focus);
        target = GetNextDlgTabItem(dlg, focus, wparam != 0);
    }
    if (target && IsChild(dlg, target))
        dialog_focus_control(target);
    return 0;
}

/* The dialog manager's own handling, for messages the dialog procedure
 * left alone. */
LRESULT dialog_default(const DialogRef &d, HWND dlg, UINT msg, WPARAM wparam, LPARAM lparam)
{
    switch (msg) {
    case WM_ERASEBKGND: {
        HDC dc = (HDC)wparam;
        HBRUSH brush = (HBRUSH)SendMessageA(dlg, WM_CTLCOLORDLG, wparam, (LPARAM)dlg);
        if (!brush)
            brush = control_color_default(WM_CTLCOLORDLG, dc);
        RECT rc;
        GetClientRect(dlg, &rc);
        FillRect(dc, &rc, brush);
        return 1;
    }
    case WM_PAINT: {
        PAINTSTRUCT ps;
        BeginPaint(dlg, &ps);
        EndPaint(dlg, &ps);
        return 0;
    }
    case WM_ACTIVATE:
        if (LOWORD(wparam) != WA_INACTIVE && d)
            restore_focus(d);
        return 0;
    case WM_SETFOCUS:
        if (d)
            restore_focus(d);
        return 0;
    case DM_GETDEFID:
        return d && d->defid ? MAKELONG(d->defid, DC_HASDEFID) : 0;
    case DM_SETDEFID:
        if (d) {
            d->defid = (WORD)wparam;
            HWND focus = GetFocus();
            dialog_focus_moved(dlg, focus && IsChild(dlg, focus) ? focus : nullptr);
        }
        return TRUE;
    case WM_NEXTDLGCTL:
        return next_control(dlg, wparam, lparam);
    case WM_GETFONT:
        return d ? (LRESULT)d->font : 0;
    case WM_CLOSE: {
        /* Closing is cancelling, unless Cancel is there and disabled. */
        HWND cancel = GetDlgItem(dlg, IDCANCEL);
        if (cancel && !IsWindowEnabled(cancel))
            MessageBeep(0);
        else
            PostMessageA(dlg, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), (LPARAM)cancel);
        return 0;
    }
    case WM_SYSCOMMAND:
        if ((wparam & 0xFFF0) == SC_CLOSE) {
            SendMessageA(dlg, WM_CLOSE, 0, 0);
            return 0;
        }
        return DefWindowProcA(dlg, msg, wparam, lparam);
    default:
        if (is_ctlcolor(msg))
            return (LRESULT)control_color_default(msg, (HDC)wparam);
        return DefWindowProcA(dlg, msg, wparam, lparam);
    }
}

} // namespace

DialogRef dialog_of(HWND hwnd)
{
    std::lock_guard<std::mutex> lock(dialogs_mutex);
    auto it = dialogs.find(hwnd);
    return it == dialogs.end() ? nullptr : it->second;
}

HWND dialog_create(HINSTANCE instance, const DialogTemplate &tpl, int resource_id, HWND owner,
                   DLGPROC proc, LPARAM param, HWND disabled_owner)
{
    auto d = std::make_shared<Dialog>();
    d->disabled_owner = disabled_owner;
    d->resource_id = resource_id;
    if (tpl.style & DS_SETFONT)
        d->font = font_create_points(tpl.face.c_str(), tpl.point_size, tpl.weight, tpl.italic);
    if (!d->font || !font_base_units(d->font, &d->units))
        font_base_units((HFONT)GetStockObject(SYSTEM_FONT), &d->units);

    RECT rc = to_pixels(d->units, tpl.x, tpl.y, tpl.cx, tpl.cy);
    POINT at{rc.left, rc.top};
    if (tpl.style & DS_CENTER) {
        at = POINT{(kScreenWidth - (rc.right - rc.left)) / 2,
                   (kScreenHeight - (rc.bottom - rc.top)) / 2};
    } else if (WindowRef o = owner ? window_get(owner) : nullptr) {
        at = POINT{o->rect.left + rc.left, o->rect.top + rc.top};
    }
    std::string cls = tpl.cls.empty() ? std::string("#32770") : dialog_class_name(tpl.cls);
    DWORD exstyle = tpl.exstyle | ((tpl.style & DS_MODALFRAME) ? WS_EX_DLGMODALFRAME : 0);
    HWND dlg = CreateWindowExA(exstyle, cls.c_str(), tpl.caption.c_str(),
                               tpl.style & ~(DWORD)WS_VISIBLE, at.x, at.y, rc.right - rc.left,
                               rc.bottom - rc.top, owner, nullptr, instance, (LPVOID)param);
    if (!dlg) {
        if (d->font)
            DeleteObject(d->font);
        return nullptr;
    }
    d->self = dlg;
    {
        std::lock_guard<std::mutex> lock(dialogs_mutex);
        dialogs[dlg] = d;
    }
    SetWindowLongPtrA(dlg, DWLP_DLGPROC, (LONG_PTR)proc);
    if (d->font)
        SendMessageA(dlg, WM_SETFONT, (WPARAM)d->font, 0);

    for (const DialogItemTemplate &item : tpl.items) {
        RECT r = to_pixels(d->units, item.x, item.y, item.cx, item.cy);
        std::string item_class = dialog_class_name(item.cls);
        /* A dialog draws its controls' borders as sunken client edges: the
         * control is made with WS_EX_CLIENTEDGE in place of WS_BORDER. */
        DWORD style = item.style | WS_CHILD;
        DWORD exstyle = item.exstyle | WS_EX_NOPARENTNOTIFY;
        if (style & WS_BORDER) {
            style &= ~(DWORD)WS_BORDER;
            exstyle |= WS_EX_CLIENTEDGE;
        }
        HWND c = item_class.empty()
                     ? nullptr
                     : CreateWindowExA(exstyle, item_class.c_str(),
                                       item.text.is_ordinal ? "" : item.text.text.c_str(), style,
                                       r.left, r.top, r.right - r.left, r.bottom - r.top, dlg,
                                       (HMENU)(UINT_PTR)item.id, instance, nullptr);
        if (!c) {
            DestroyWindow(dlg);
            return nullptr;
        }
        if (d->font)
            SendMessageA(c, WM_SETFONT, (WPARAM)d->font, FALSE);
        /* The last default push button of the template is the default. */
        if (SendMessageA(c, WM_GETDLGCODE, 0, 0) & DLGC_DEFPUSHBUTTON) {
            if (HWND old = d->defid ? GetDlgItem(dlg, d->defid) : nullptr)
                SendMessageA(old, BM_SETSTYLE, BS_PUSHBUTTON, FALSE);
            d->defid = (WORD)item.id;
        }
    }

    HWND first = GetNextDlgTabItem(dlg, nullptr, FALSE);
    HWND focus_before = GetFocus();
    LRESULT set_default_focus = SendMessageA(dlg, WM_INITDIALOG, (WPARAM)first, param);
    if (!IsWindow(dlg))
        return nullptr;
    /* TRUE asks for the first tab stop; so does a visible dialog whose
     * procedure said it would set the focus and did not. */
    if (set_default_focus || (GetFocus() == focus_before && (tpl.style & WS_VISIBLE))) {
        if (HWND f = GetNextDlgTabItem(dlg, nullptr, FALSE))
            dialog_focus_control(f);
    }
    if ((tpl.style & WS_VISIBLE) && !d->ended && IsWindow(dlg)) {
        ShowWindow(dlg, SW_SHOWNORMAL);
        activate(dlg, WA_ACTIVE);
    }
    return IsWindow(dlg) ? dlg : nullptr;
}

void dialog_register()
{
    register_system_class("#32770", DefDlgProcA, CS_DBLCLKS, DLGWINDOWEXTRA);
}

} // namespace pal

using namespace pal;

extern "C" {

LRESULT WINAPI DefDlgProcA(HWND dlg, UINT msg, WPARAM wparam, LPARAM lparam)
{
    WindowRef w = window_get(dlg);
    if (!w)
        return 0;
    if (!has_extra(w))
        return DefWindowProcA(dlg, msg, wparam, lparam);
    DialogRef d = dialog_of(dlg);
    DLGPROC proc = (DLGPROC)GetWindowLongPtrA(dlg, DWLP_DLGPROC);
    SetWindowLongPtrA(dlg, DWLP_MSGRESULT, 0);
    INT_PTR handled = proc ? proc(dlg, msg, wparam, lparam) : 0;
    if (msg == WM_NCDESTROY) {
        dialog_forget(dlg);
        return 0;
    }
    if (!handled)
        return IsWindow(dlg) ? dialog_default(d, dlg, msg, wparam, lparam) : 0;
    /* These answer with the procedure's return value itself; the others
     * with what it left in DWLP_MSGRESULT. */
    switch (msg) {
    case WM_COMPAREITEM:
    case WM_VKEYTOITEM:
    case WM_CHARTOITEM:
    case WM_INITDIALOG:
    case WM_CTLCOLOR:
        return handled;
    default:
        if (is_ctlcolor(msg))
            return handled;
        return IsWindow(dlg) ? GetWindowLongPtrA(dlg, DWLP_MSGRESULT) : 0;
    }
}

HWND WINAPI CreateDialogParamA(HINSTANCE instance, LPCSTR template_name, HWND owner, DLGPROC proc,
                               LPARAM param)
{
    if (owner && !IsWindow(owner)) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return nullptr;
    }
    DialogTemplate tpl;
    int id = 0;
    if (!dialog_load(instance, template_name, &tpl, &id))
        return nullptr;
    return dialog_create(instance, tpl, id, owner, proc, param, nullptr);
}

HWND WINAPI GetDlgItem(HWND dlg, int id)
{
    if (!window_get(dlg)) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return nullptr;
    }
    for (const WindowRef &c : window_list())
        if (c->parent == dlg && (c->style & WS_CHILD) && !c->destroying && c->id == (LONG_PTR)id)
            return c->handle;
    SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return nullptr;
}

int WINAPI GetDlgCtrlID(HWND hwnd)
{
    WindowRef w = window_get(hwnd);
    if (!w) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return 0;
    }
    return (w->style & WS_CHILD) ? (int)w->id : 0;
}

BOOL WINAPI SetDlgItemTextA(HWND dlg, int id, LPCSTR text)
{
    HWND c = GetDlgItem(dlg, id);
    return c ? SetWindowTextA(c, text) : FALSE;
}

UINT WINAPI GetDlgItemTextA(HWND dlg, int id, LPSTR text, int max)
{
    HWND c = GetDlgItem(dlg, id);
    if (!c) {
        if (text && max > 0)
            text[0] = 0;
        return 0;
    }
    return (UINT)GetWindowTextA(c, text, max);
}

LRESULT WINAPI SendDlgItemMessageA(HWND dlg, int id, UINT msg, WPARAM wparam, LPARAM lparam)
{
    HWND c = GetDlgItem(dlg, id);
    return c ? SendMessageA(c, msg, wparam, lparam) : 0;
}

BOOL WINAPI MapDialogRect(HWND dlg, LPRECT rect)
{
    DialogRef d = dialog_of(dlg);
    if (!d || !rect) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return FALSE;
    }
    *rect = RECT{scale(rect->left, d->units.cx, 4), scale(rect->top, d->units.cy, 8),
                 scale(rect->right, d->units.cx, 4), scale(rect->bottom, d->units.cy, 8)};
    return TRUE;
}

BOOL WINAPI IsChild(HWND parent, HWND hwnd)
{
    WindowRef w = window_get(hwnd);
    while (w && (w->style & WS_CHILD) && w->parent) {
        if (w->parent == parent)
            return TRUE;
        w = window_get(w->parent);
    }
    return FALSE;
}

HWND WINAPI GetNextDlgTabItem(HWND dlg, HWND control, BOOL previous)
{
    if (!window_get(dlg)) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return nullptr;
    }
    return step_children(
        dlg, control, previous != FALSE, [](HWND c, size_t, const std::vector<HWND> &) {
            return can_take_focus(c) && (GetWindowLongPtrA(c, GWL_STYLE) & WS_TABSTOP);
        });
}

HWND WINAPI GetNextDlgGroupItem(HWND dlg, HWND control, BOOL previous)
{
    if (!window_get(dlg)) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return nullptr;
    }
    /* A group runs from a control with WS_GROUP to the next one. */
    auto group_start = [](const std::vector<HWND> &kids, size_t i) {
        while (i > 0 && !(GetWindowLongPtrA(kids[i], GWL_STYLE) & WS_GROUP))
            --i;
        return i;
    };
    size_t home = SIZE_MAX;
    return step_children(dlg, control, previous != FALSE,
                         [&](HWND c, size_t i, const std::vector<HWND> &kids) {
                             if (home == SIZE_MAX) {
                                 size_t at = 0;
                                 for (size_t k = 0; k < kids.size(); ++k)
                                     if (kids[k] == control)
                                         at = k;
                                 home = group_start(kids, at);
                             }
                             return group_start(kids, i) == home && can_take_focus(c);
                         });
}

} // extern "C"
