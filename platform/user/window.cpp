/*
 * Window classes and windows.
 *
 * A class is found by name (case-insensitively) together with the instance
 * that registered it, or, failing that, as a global class.  Handles are
 * never reused, so a stale handle is simply not a window.
 */
#include "user/window.h"
#include "kernel/clock.h"
#include "kernel/fault.h"
#include "user/controls.h"
#include "user/paint.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <map>
#include <mutex>
#include <unistd.h>

namespace pal {
namespace {

std::recursive_mutex wm_mutex; /* guards the tables below, never held across a call */
std::vector<std::shared_ptr<WndClass>> classes;
std::map<uintptr_t, WindowRef> windows;
uintptr_t next_hwnd = 0x10010;
uint64_t next_serial = 1;
ATOM next_atom = 0xC000;

bool same_name(const std::string &a, const char *b)
{
    if (a.size() != std::strlen(b))
        return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (std::toupper((unsigned char)a[i]) != std::toupper((unsigned char)b[i]))
            return false;
    return true;
}

std::shared_ptr<WndClass> find_class(const char *name, HINSTANCE instance)
{
    std::shared_ptr<WndClass> global;
    for (auto &c : classes) {
        if (!same_name(c->name, name))
            continue;
        if (c->wc.hInstance == instance)
            return c;
        if (c->wc.style & CS_GLOBALCLASS)
            global = c;
    }
    return global;
}

/* Sends WM_DESTROY to a window and then to its children, parents first. */
void send_destroy(const WindowRef &w, std::vector<WindowRef> &order)
{
    order.push_back(w);
    window_call(w, WM_DESTROY, 0, 0);
    for (const WindowRef &c : window_list())
        if (c->parent == w->handle && (c->style & WS_CHILD) && !c->destroying) {
            c->destroying = true;
            send_destroy(c, order);
        }
}

/* Where the window's client area starts on the screen: a top-level
 * window's rectangle is its client area, a child's is its outer one in its
 * parent's client area. */
POINT client_origin(HWND hwnd)
{
    POINT at{0, 0};
    for (WindowRef w = window_get(hwnd); w;
         w = (w->style & WS_CHILD) ? window_get(w->parent) : nullptr) {
        at.x += w->rect.left;
        at.y += w->rect.top;
        if (w->style & WS_CHILD) {
            Insets in = nonclient_insets(w->handle);
            at.x += in.left;
            at.y += in.top;
        }
    }
    return at;
}

/* Moves `count` points from `from`'s client coordinates to `to`'s (the
 * screen's for null) and gives the offset it added; false, with the last
 * error set, when either is no window. */
bool map_points(HWND from, HWND to, POINT *points, UINT count, POINT *offset)
{
    if ((from && !window_get(from)) || (to && !window_get(to))) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return false;
    }
    POINT a = from ? client_origin(from) : POINT{0, 0};
    POINT b = to ? client_origin(to) : POINT{0, 0};
    POINT d{a.x - b.x, a.y - b.y};
    for (UINT i = 0; points && i < count; ++i) {
        points[i].x += d.x;
        points[i].y += d.y;
    }
    if (offset)
        *offset = d;
    return true;
}

/* ClientToScreen (`to_screen`) and ScreenToClient. */
BOOL point_and_screen(HWND hwnd, POINT *point, bool to_screen)
{
    if (!hwnd || !point) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return FALSE;
    }
    return to_screen ? map_points(hwnd, nullptr, point, 1, nullptr)
                     : map_points(nullptr, hwnd, point, 1, nullptr);
}

bool destroy(const WindowRef &w)
{
    if (w->destroying)
        return true;
    w->destroying = true;

    /* Owned windows go first, the most recent first. */
    std::vector<WindowRef> all = window_list();
    for (auto it = all.rbegin(); it != all.rend(); ++it)
        if ((*it)->owner == w->handle && !(*it)->destroying && (*it)->queue == w->queue)
            destroy(*it);

    std::vector<WindowRef> order;
    send_destroy(w, order);
    for (auto it = order.rbegin(); it != order.rend(); ++it) {
        timers_remove_window((*it)->handle);
        window_call(*it, WM_NCDESTROY, 0, 0);
        std::lock_guard<std::recursive_mutex> lock(wm_mutex);
        windows.erase((uintptr_t)(*it)->handle);
    }
    return true;
}

/* Reads or writes a pointer-sized value of the window's extra bytes. */
bool extra_slot(const WindowRef &w, int index, size_t width)
{
    return index >= 0 && (size_t)index + width <= w->extra.size();
}

} // namespace

WindowRef window_get(HWND hwnd)
{
    std::lock_guard<std::recursive_mutex> lock(wm_mutex);
    auto it = windows.find((uintptr_t)hwnd);
    return it == windows.end() ? nullptr : it->second;
}

std::vector<WindowRef> window_list()
{
    std::lock_guard<std::recursive_mutex> lock(wm_mutex);
    std::vector<WindowRef> out;
    for (auto &[h, w] : windows)
        out.push_back(w);
    std::sort(out.begin(), out.end(),
              [](const WindowRef &a, const WindowRef &b) { return a->serial < b->serial; });
    return out;
}

LRESULT window_call(const WindowRef &w, UINT msg, WPARAM wparam, LPARAM lparam)
{
    WNDPROC proc = w->proc;
    return proc ? proc(w->handle, msg, wparam, lparam) : 0;
}

} // namespace pal

using namespace pal;

extern "C" {

ATOM WINAPI RegisterClassA(const WNDCLASSA *wc)
{
    if (!wc || !wc->lpszClassName || !*wc->lpszClassName || !wc->lpfnWndProc ||
        wc->cbClsExtra < 0 || wc->cbWndExtra < 0) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    std::lock_guard<std::recursive_mutex> lock(wm_mutex);
    for (auto &c : classes)
        if (same_name(c->name, wc->lpszClassName) && c->wc.hInstance == wc->hInstance) {
            SetLastError(ERROR_CLASS_ALREADY_EXISTS);
            return 0;
        }
    auto c = std::make_shared<WndClass>();
    c->name = wc->lpszClassName;
    c->wc = *wc;
    if (wc->lpszMenuName && !IS_INTRESOURCE(wc->lpszMenuName))
        c->menu_name = wc->lpszMenuName;
    c->wc.lpszClassName = c->name.c_str();
    c->wc.lpszMenuName = c->menu_name.empty() ? wc->lpszMenuName : c->menu_name.c_str();
    c->atom = next_atom++;
    classes.push_back(c);
    return c->atom;
}

BOOL WINAPI UnregisterClassA(LPCSTR name, HINSTANCE instance)
{
    std::lock_guard<std::recursive_mutex> lock(wm_mutex);
    for (auto it = classes.begin(); it != classes.end(); ++it) {
        if (!same_name((*it)->name, name) || (*it)->wc.hInstance != instance)
            continue;
        for (auto &[h, w] : windows)
            if (w->cls == *it) {
                SetLastError(ERROR_CLASS_ALREADY_EXISTS);
                return FALSE;
            }
        classes.erase(it);
        return TRUE;
    }
    SetLastError(ERROR_CLASS_DOES_NOT_EXIST);
    return FALSE;
}

BOOL WINAPI GetClassInfoA(HINSTANCE instance, LPCSTR name, LPWNDCLASSA wc)
{
    std::lock_guard<std::recursive_mutex> lock(wm_mutex);
    std::shared_ptr<WndClass> c = name ? find_class(name, instance) : nullptr;
    if (!c || !wc) {
        SetLastError(ERROR_CLASS_DOES_NOT_EXIST);
        return FALSE;
    }
    *wc = c->wc;
    return TRUE;
}

int WINAPI GetClassNameA(HWND hwnd, LPSTR name, int max)
{
    WindowRef w = window_get(hwnd);
    if (!w || !name || max <= 0) {
        SetLastError(w ? ERROR_INSUFFICIENT_BUFFER : ERROR_INVALID_WINDOW_HANDLE);
        return 0;
    }
    int n = (int)std::min<size_t>(w->cls->name.size(), (size_t)max - 1);
    std::memcpy(name, w->cls->name.data(), (size_t)n);
    name[n] = 0;
    return n;
}

HWND WINAPI CreateWindowExA(DWORD exstyle, LPCSTR class_name, LPCSTR title, DWORD style, int x,
                            int y, int width, int height, HWND parent, HMENU menu,
                            HINSTANCE instance, LPVOID param)
{
    controls_register();
    int err = ERROR_NOT_ENOUGH_MEMORY;
    if (fault_hit(PAL_FAULT_CREATEWINDOW, &err)) {
        SetLastError((DWORD)err);
        return nullptr;
    }
    if (!class_name) {
        SetLastError(ERROR_CANNOT_FIND_WND_CLASS);
        return nullptr;
    }
    WindowRef parent_window;
    if (parent) {
        parent_window = window_get(parent);
        if (!parent_window) {
            SetLastError(ERROR_INVALID_WINDOW_HANDLE);
            return nullptr;
        }
    } else if (style & WS_CHILD) {
        SetLastError(ERROR_TLW_WITH_WSCHILD);
        return nullptr;
    }
    auto w = std::make_shared<Window>();
    {
        std::lock_guard<std::recursive_mutex> lock(wm_mutex);
        w->cls = find_class(class_name, instance);
        if (!w->cls) {
            SetLastError(ERROR_CANNOT_FIND_WND_CLASS);
            return nullptr;
        }
        w->handle = (HWND)next_hwnd;
        next_hwnd += 4;
        w->serial = next_serial++;
    }
    w->proc = w->cls->wc.lpfnWndProc;
    w->style = style & ~(DWORD)WS_VISIBLE;
    w->exstyle = exstyle;
    w->instance = instance;
    w->extra.assign((size_t)w->cls->wc.cbWndExtra, 0);
    w->queue = queue_current();
    if (style & WS_CHILD) {
        w->parent = parent;
        w->id = (LONG_PTR)menu;
    } else if (parent_window) {
        /* The owner of a top-level window is always a top-level window. */
        WindowRef o = parent_window;
        while ((o->style & WS_CHILD) && o->parent)
            if (WindowRef up = window_get(o->parent))
                o = up;
            else
                break;
        w->owner = o->handle;
    }
    int cx = width == CW_USEDEFAULT ? 0 : width, cy = height == CW_USEDEFAULT ? 0 : height;
    int px = x == CW_USEDEFAULT ? 0 : x, py = y == CW_USEDEFAULT ? 0 : y;
    w->rect = RECT{px, py, px + cx, py + cy};
    {
        std::lock_guard<std::recursive_mutex> lock(wm_mutex);
        windows[(uintptr_t)w->handle] = w;
    }
    CREATESTRUCTA cs{param, instance, menu,        parent, cy,         cx,
                     py,    px,       (LONG)style, title,  class_name, exstyle};
    if (!window_call(w, WM_NCCREATE, 0, (LPARAM)&cs) ||
        window_call(w, WM_CREATE, 0, (LPARAM)&cs) == -1) {
        destroy(w);
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    if (!window_get(w->handle))
        return nullptr;
    /* Shown once created: WM_CREATE sees the style without WS_VISIBLE. */
    if (style & WS_VISIBLE)
        w->style |= WS_VISIBLE;
    return w->handle;
}

BOOL WINAPI DestroyWindow(HWND hwnd)
{
    WindowRef w = window_get(hwnd);
    if (!w) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return FALSE;
    }
    if (w->queue != queue_current()) {
        SetLastError(ERROR_ACCESS_DENIED);
        return FALSE;
    }
    return destroy(w) ? TRUE : FALSE;
}

BOOL WINAPI IsWindow(HWND hwnd)
{
    return window_get(hwnd) ? TRUE : FALSE;
}

HWND WINAPI FindWindowA(LPCSTR class_name, LPCSTR title)
{
    std::vector<WindowRef> all = window_list();
    for (auto it = all.rbegin(); it != all.rend(); ++it) {
        const WindowRef &w = *it;
        if ((w->style & WS_CHILD) || w->destroying)
            continue;
        if (class_name && !same_name(w->cls->name, class_name))
            continue;
        if (title && w->text != title)
            continue;
        return w->handle;
    }
    SetLastError(ERROR_FILE_NOT_FOUND);
    return nullptr;
}

LRESULT WINAPI DefWindowProcA(HWND hwnd, UINT msg, WPARAM wparam, LPARAM lparam)
{
    WindowRef w = window_get(hwnd);
    if (!w)
        return 0;
    switch (msg) {
    case WM_NCCREATE: {
        const CREATESTRUCTA *cs = (const CREATESTRUCTA *)lparam;
        if (cs && cs->lpszName && !IS_INTRESOURCE(cs->lpszName))
            w->text = cs->lpszName;
        return TRUE;
    }
    case WM_SETTEXT:
        w->text = lparam ? (const char *)lparam : "";
        return TRUE;
    case WM_GETTEXT: {
        char *buf = (char *)lparam;
        if (!buf || wparam == 0)
            return 0;
        size_t n = std::min(w->text.size(), (size_t)wparam - 1);
        std::memcpy(buf, w->text.data(), n);
        buf[n] = 0;
        return (LRESULT)n;
    }
    case WM_GETTEXTLENGTH:
        return (LRESULT)w->text.size();
    case WM_CLOSE:
        DestroyWindow(hwnd);
        return 0;
    default:
        return 0;
    }
}

LRESULT WINAPI CallWindowProcA(WNDPROC proc, HWND hwnd, UINT msg, WPARAM wparam, LPARAM lparam)
{
    return proc ? proc(hwnd, msg, wparam, lparam) : 0;
}

LONG_PTR WINAPI GetWindowLongPtrA(HWND hwnd, int index)
{
    WindowRef w = window_get(hwnd);
    if (!w) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return 0;
    }
    switch (index) {
    case GWLP_WNDPROC:
        return (LONG_PTR)w->proc;
    case GWLP_HINSTANCE:
        return (LONG_PTR)w->instance;
    case GWLP_HWNDPARENT:
        return (LONG_PTR)((w->style & WS_CHILD) ? w->parent : w->owner);
    case GWLP_ID:
        return w->id;
    case GWL_STYLE:
        return (LONG_PTR)(LONG)w->style;
    case GWL_EXSTYLE:
        return (LONG_PTR)(LONG)w->exstyle;
    case GWLP_USERDATA:
        return w->userdata;
    default:
        if (!extra_slot(w, index, sizeof(LONG_PTR))) {
            SetLastError(ERROR_INVALID_INDEX);
            return 0;
        }
        LONG_PTR v;
        std::memcpy(&v, w->extra.data() + index, sizeof v);
        return v;
    }
}

LONG_PTR WINAPI SetWindowLongPtrA(HWND hwnd, int index, LONG_PTR value)
{
    WindowRef w = window_get(hwnd);
    if (!w) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return 0;
    }
    LONG_PTR old = GetWindowLongPtrA(hwnd, index);
    switch (index) {
    case GWLP_WNDPROC:
        w->proc = (WNDPROC)value;
        break;
    case GWLP_HINSTANCE:
        w->instance = (HINSTANCE)value;
        break;
    case GWLP_HWNDPARENT:
        if (w->style & WS_CHILD)
            w->parent = (HWND)value;
        else
            w->owner = (HWND)value;
        break;
    case GWLP_ID:
        w->id = value;
        break;
    case GWL_STYLE:
        w->style = (DWORD)value;
        break;
    case GWL_EXSTYLE:
        w->exstyle = (DWORD)value;
        break;
    case GWLP_USERDATA:
        w->userdata = value;
        break;
    default:
        if (!extra_slot(w, index, sizeof(LONG_PTR))) {
            SetLastError(ERROR_INVALID_INDEX);
            return 0;
        }
        std::memcpy(w->extra.data() + index, &value, sizeof value);
    }
    return old;
}

LONG WINAPI GetWindowLongA(HWND hwnd, int index)
{
    WindowRef w = window_get(hwnd);
    if (w && index >= 0) {
        if (!extra_slot(w, index, sizeof(LONG))) {
            SetLastError(ERROR_INVALID_INDEX);
            return 0;
        }
        LONG v;
        std::memcpy(&v, w->extra.data() + index, sizeof v);
        return v;
    }
    return (LONG)GetWindowLongPtrA(hwnd, index);
}

LONG WINAPI SetWindowLongA(HWND hwnd, int index, LONG value)
{
    WindowRef w = window_get(hwnd);
    if (w && index >= 0) {
        if (!extra_slot(w, index, sizeof(LONG))) {
            SetLastError(ERROR_INVALID_INDEX);
            return 0;
        }
        LONG old;
        std::memcpy(&old, w->extra.data() + index, sizeof old);
        std::memcpy(w->extra.data() + index, &value, sizeof value);
        return old;
    }
    return (LONG)SetWindowLongPtrA(hwnd, index, value);
}

HWND WINAPI GetParent(HWND hwnd)
{
    WindowRef w = window_get(hwnd);
    if (!w) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return nullptr;
    }
    return (w->style & WS_CHILD) ? w->parent : w->owner;
}

HWND WINAPI GetWindow(HWND hwnd, UINT cmd)
{
    WindowRef w = window_get(hwnd);
    if (!w) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return nullptr;
    }
    if (cmd == GW_OWNER)
        return w->owner;
    if (cmd != GW_CHILD && cmd != GW_HWNDNEXT && cmd != GW_HWNDPREV)
        return nullptr;
    /* Siblings share a parent (top-level windows share none). */
    HWND parent = cmd == GW_CHILD ? hwnd : (w->style & WS_CHILD) ? w->parent : nullptr;
    std::vector<WindowRef> siblings;
    for (const WindowRef &c : window_list())
        if (!c->destroying && ((c->style & WS_CHILD) ? c->parent : nullptr) == parent)
            siblings.push_back(c);
    if (cmd == GW_CHILD)
        return siblings.empty() ? nullptr : siblings.front()->handle;
    auto at = std::find(siblings.begin(), siblings.end(), w);
    if (cmd == GW_HWNDNEXT)
        return at + 1 < siblings.end() ? (*(at + 1))->handle : nullptr;
    return at > siblings.begin() && at != siblings.end() ? (*(at - 1))->handle : nullptr;
}

DWORD WINAPI GetWindowThreadProcessId(HWND hwnd, LPDWORD process)
{
    WindowRef w = window_get(hwnd);
    if (!w) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return 0;
    }
    if (process)
        *process = (DWORD)getpid();
    return w->queue->tid;
}

BOOL WINAPI SetWindowTextA(HWND hwnd, LPCSTR text)
{
    if (!window_get(hwnd)) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return FALSE;
    }
    return SendMessageA(hwnd, WM_SETTEXT, 0, (LPARAM)text) ? TRUE : FALSE;
}

int WINAPI GetWindowTextA(HWND hwnd, LPSTR text, int max)
{
    WindowRef w = window_get(hwnd);
    if (!w || !text || max <= 0) {
        if (text && max > 0)
            text[0] = 0;
        SetLastError(w ? ERROR_INVALID_PARAMETER : ERROR_INVALID_WINDOW_HANDLE);
        return 0;
    }
    if (w->queue == queue_current())
        return (int)SendMessageA(hwnd, WM_GETTEXT, (WPARAM)max, (LPARAM)text);
    /* Another thread's window: its text is read without asking it. */
    size_t n = std::min(w->text.size(), (size_t)max - 1);
    std::memcpy(text, w->text.data(), n);
    text[n] = 0;
    return (int)n;
}

int WINAPI GetWindowTextLengthA(HWND hwnd)
{
    if (!window_get(hwnd)) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return 0;
    }
    return (int)SendMessageA(hwnd, WM_GETTEXTLENGTH, 0, 0);
}

BOOL WINAPI EnableWindow(HWND hwnd, BOOL enable)
{
    WindowRef w = window_get(hwnd);
    if (!w) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return FALSE;
    }
    bool was_disabled = (w->style & WS_DISABLED) != 0;
    bool now = enable != FALSE;
    if (was_disabled == now) {
        if (now)
            w->style &= ~(DWORD)WS_DISABLED;
        else
            w->style |= WS_DISABLED;
        SendMessageA(hwnd, WM_ENABLE, (WPARAM)now, 0);
    }
    return was_disabled ? TRUE : FALSE;
}

BOOL WINAPI IsWindowEnabled(HWND hwnd)
{
    WindowRef w = window_get(hwnd);
    return w && !(w->style & WS_DISABLED) ? TRUE : FALSE;
}

BOOL WINAPI ShowWindow(HWND hwnd, int cmd)
{
    WindowRef w = window_get(hwnd);
    if (!w) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return FALSE;
    }
    bool was = (w->style & WS_VISIBLE) != 0;
    bool show = cmd != SW_HIDE;
    if (was != show) {
        if (show)
            w->style |= WS_VISIBLE;
        else
            w->style &= ~(DWORD)WS_VISIBLE;
        SendMessageA(hwnd, WM_SHOWWINDOW, (WPARAM)show, 0);
    }
    return was ? TRUE : FALSE;
}

/* Visible when the window and every parent up its chain of children have
 * WS_VISIBLE; an owner's visibility does not matter. */
BOOL WINAPI IsWindowVisible(HWND hwnd)
{
    WindowRef w = window_get(hwnd);
    if (!w)
        return FALSE;
    for (int depth = 0; w && depth < 64; ++depth) {
        if (!(w->style & WS_VISIBLE))
            return FALSE;
        if (!(w->style & WS_CHILD) || !w->parent)
            return TRUE;
        w = window_get(w->parent);
    }
    return w ? FALSE : TRUE;
}

BOOL WINAPI GetWindowRect(HWND hwnd, LPRECT rect)
{
    WindowRef w = window_get(hwnd);
    if (!w || !rect) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return FALSE;
    }
    /* A child's rectangle is its outer one in its parent's client area; a
     * top-level window's is its client area on the screen, the frame
     * around it. */
    if (w->style & WS_CHILD) {
        POINT at = client_origin(w->parent);
        *rect = RECT{at.x + w->rect.left, at.y + w->rect.top, at.x + w->rect.right,
                     at.y + w->rect.bottom};
    } else {
        Insets in = nonclient_insets(hwnd);
        *rect = RECT{w->rect.left - in.left, w->rect.top - in.top, w->rect.right + in.right,
                     w->rect.bottom + in.bottom};
    }
    return TRUE;
}

BOOL WINAPI ClientToScreen(HWND hwnd, LPPOINT point)
{
    return pal::point_and_screen(hwnd, point, true);
}

BOOL WINAPI ScreenToClient(HWND hwnd, LPPOINT point)
{
    return pal::point_and_screen(hwnd, point, false);
}

int WINAPI MapWindowPoints(HWND from, HWND to, LPPOINT points, UINT count)
{
    POINT offset{0, 0};
    if (!pal::map_points(from, to, points, count, &offset))
        return 0;
    return (int)MAKELONG((WORD)(SHORT)offset.x, (WORD)(SHORT)offset.y);
}

BOOL WINAPI GetClientRect(HWND hwnd, LPRECT rect)
{
    WindowRef w = window_get(hwnd);
    if (!w || !rect) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return FALSE;
    }
    /* A top-level window's rectangle is its client area; a child's client
     * area lies inside its border and scroll bar. */
    *rect = RECT{0, 0, w->rect.right - w->rect.left, w->rect.bottom - w->rect.top};
    if (w->style & WS_CHILD) {
        Insets in = nonclient_insets(hwnd);
        rect->right = std::max(0L, (long)(rect->right - in.left - in.right));
        rect->bottom = std::max(0L, (long)(rect->bottom - in.top - in.bottom));
    }
    return TRUE;
}

} // extern "C"
