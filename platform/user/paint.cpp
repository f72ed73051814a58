/*
 * Where windows paint: GetDC, BeginPaint and the update state, and the
 * renderer that puts a window with its children onto a bitmap.
 *
 * While a window is rendered its surface is registered here; a DC asked for
 * by any window inside it then draws onto that surface, with its origin at
 * the window's client area and clipped to it and to every ancestor's client
 * area.  Outside rendering a DC draws nowhere but measures text.
 */
#include "user/paint.h"
#include "display/display.h"
#include "user/dialog.h"
#include "user/window.h"
#include "gdi/gdi.h"

#include <palpaint.h>

#include <algorithm>
#include <map>
#include <mutex>

namespace pal {
namespace {

struct Render {
    HWND root;
    HBITMAP surface;
    POINT origin; /* the root's client (0, 0) on the surface */
};

std::mutex paint_mutex;
std::vector<Render> renders;          /* in progress, innermost last */
std::map<HWND, bool> invalid_windows; /* windows to repaint, and whether to erase */

bool is_list_box(HWND hwnd)
{
    char cls[16];
    return GetClassNameA(hwnd, cls, sizeof cls) && lstrcmpiA(cls, "LISTBOX") == 0;
}

/* A list box keeps WS_VSCROLL set while its scroll bar is shown. */
bool shows_scroll_bar(HWND hwnd, DWORD style)
{
    return (style & WS_VSCROLL) && is_list_box(hwnd);
}

bool render_of(HWND hwnd, Render *out)
{
    std::lock_guard<std::mutex> lock(paint_mutex);
    for (auto it = renders.rbegin(); it != renders.rend(); ++it)
        if (it->root == hwnd || IsChild(it->root, hwnd)) {
            *out = *it;
            return true;
        }
    return false;
}

RECT intersect(const RECT &a, const RECT &b)
{
    RECT r{std::max(a.left, b.left), std::max(a.top, b.top), std::min(a.right, b.right),
           std::min(a.bottom, b.bottom)};
    if (r.right < r.left)
        r.right = r.left;
    if (r.bottom < r.top)
        r.bottom = r.top;
    return r;
}

/* Where a window's client area lies on the surface, and what of it is not
 * clipped away by its ancestors. */
void place(const Render &r, HWND hwnd, POINT *origin, RECT *clip)
{
    RECT area = client_area(hwnd);
    if (hwnd == r.root) {
        *origin = r.origin;
        *clip = RECT{r.origin.x, r.origin.y, r.origin.x + area.right, r.origin.y + area.bottom};
        return;
    }
    POINT parent_origin;
    RECT parent_clip;
    place(r, GetParent(hwnd), &parent_origin, &parent_clip);
    RECT rc = window_get(hwnd)->rect;
    Insets in = nonclient_insets(hwnd);
    *origin = POINT{parent_origin.x + rc.left + in.left, parent_origin.y + rc.top + in.top};
    *clip = intersect(parent_clip,
                      RECT{origin->x, origin->y, origin->x + area.right, origin->y + area.bottom});
}

HDC window_dc(HWND hwnd)
{
    Render r;
    if (!hwnd || !render_of(hwnd, &r))
        return dc_create_window(nullptr, POINT{0, 0}, nullptr);
    POINT origin;
    RECT clip;
    place(r, hwnd, &origin, &clip);
    return dc_create_window(r.surface, origin, &clip);
}

/* Draws a child's border and scroll bar onto the surface. */
void paint_child_frame(const Render &r, HWND hwnd)
{
    POINT parent_origin;
    RECT parent_clip;
    place(r, GetParent(hwnd), &parent_origin, &parent_clip);
    HDC dc = dc_create_window(r.surface, parent_origin, &parent_clip);
    if (!dc)
        return;
    draw_child_frame(dc, hwnd, window_get(hwnd)->rect);
    DeleteDC(dc);
}

void paint_now(HWND hwnd)
{
    InvalidateRect(hwnd, nullptr, TRUE);
    SendMessageA(hwnd, WM_PAINT, 0, 0);
}

/* Whether the window and every ancestor below the root have WS_VISIBLE: a
 * hidden root is still rendered with what is shown inside it, so the
 * root's own visibility (which IsWindowVisible would include) is left out. */
bool shown_within(HWND root, HWND hwnd)
{
    for (HWND h = hwnd; h && h != root; h = GetParent(h))
        if (!(GetWindowLongPtrA(h, GWL_STYLE) & WS_VISIBLE))
            return false;
    return true;
}

} // namespace

Insets nonclient_insets(HWND hwnd)
{
    Insets in;
    WindowRef w = window_get(hwnd);
    if (!w)
        return in;
    if (w->style & WS_CHILD) {
        int edge = (w->exstyle & WS_EX_CLIENTEDGE) ? kEdgeWidth : (w->style & WS_BORDER) ? 1 : 0;
        in = Insets{edge, edge, edge, edge};
        if (shows_scroll_bar(hwnd, w->style))
            in.right += kScrollWidth;
        return in;
    }
    bool dialog_frame =
        (w->style & (WS_DLGFRAME | WS_THICKFRAME)) || (w->exstyle & WS_EX_DLGMODALFRAME);
    int frame = dialog_frame ? kFrameWidth : (w->style & WS_BORDER) ? 1 : 0;
    in = Insets{frame, frame, frame, frame};
    if ((w->style & WS_CAPTION) == WS_CAPTION)
        in.top += kCaptionHeight;
    return in;
}

RECT client_area(HWND hwnd)
{
    RECT rc{};
    GetClientRect(hwnd, &rc);
    return rc;
}

HBITMAP render_window(HWND hwnd)
{
    WindowRef w = window_get(hwnd);
    if (!w)
        return nullptr;
    bool top = !(w->style & WS_CHILD);
    Insets in = nonclient_insets(hwnd);
    SIZE size{w->rect.right - w->rect.left, w->rect.bottom - w->rect.top};
    if (top) {
        size.cx += in.left + in.right;
        size.cy += in.top + in.bottom;
    }
    HBITMAP surface =
        CreateBitmap(std::max(1L, (long)size.cx), std::max(1L, (long)size.cy), 1, 32, nullptr);
    if (!surface)
        return nullptr;
    Render r{hwnd, surface, POINT{in.left, in.top}};
    {
        std::lock_guard<std::mutex> lock(paint_mutex);
        renders.push_back(r);
    }
    if (HDC dc = dc_create_window(surface, POINT{0, 0}, nullptr)) {
        if (top)
            draw_window_frame(dc, hwnd, size);
        else
            draw_child_frame(dc, hwnd, RECT{0, 0, size.cx, size.cy});
        DeleteDC(dc);
    }
    paint_now(hwnd);
    for (const WindowRef &c : window_list()) {
        if (c->handle == hwnd || c->destroying || !IsChild(hwnd, c->handle) ||
            !shown_within(hwnd, c->handle))
            continue;
        paint_child_frame(r, c->handle);
        paint_now(c->handle);
    }
    {
        std::lock_guard<std::mutex> lock(paint_mutex);
        renders.erase(std::find_if(renders.begin(), renders.end(),
                                   [&](const Render &x) { return x.surface == surface; }));
    }
    return surface;
}

} // namespace pal

using namespace pal;

extern "C" {

HDC WINAPI GetDC(HWND hwnd)
{
    if (hwnd && !IsWindow(hwnd)) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return nullptr;
    }
    return window_dc(hwnd);
}

int WINAPI ReleaseDC(HWND, HDC dc)
{
    return DeleteDC(dc) ? 1 : 0;
}

HDC WINAPI BeginPaint(HWND hwnd, LPPAINTSTRUCT ps)
{
    if (!ps || !IsWindow(hwnd)) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return nullptr;
    }
    bool erase = false;
    {
        std::lock_guard<std::mutex> lock(paint_mutex);
        auto it = invalid_windows.find(hwnd);
        if (it != invalid_windows.end()) {
            erase = it->second;
            invalid_windows.erase(it);
        }
    }
    *ps = PAINTSTRUCT{};
    ps->hdc = window_dc(hwnd);
    ps->rcPaint = client_area(hwnd);
    ps->fErase = erase && ps->hdc && !SendMessageA(hwnd, WM_ERASEBKGND, (WPARAM)ps->hdc, 0);
    return ps->hdc;
}

BOOL WINAPI EndPaint(HWND, const PAINTSTRUCT *ps)
{
    if (ps && ps->hdc)
        DeleteDC(ps->hdc);
    return TRUE;
}

BOOL WINAPI InvalidateRect(HWND hwnd, const RECT *, BOOL erase)
{
    std::vector<HWND> targets;
    if (hwnd) {
        if (!IsWindow(hwnd)) {
            SetLastError(ERROR_INVALID_WINDOW_HANDLE);
            return FALSE;
        }
        targets.push_back(hwnd);
    } else {
        for (const WindowRef &w : window_list())
            targets.push_back(w->handle);
    }
    std::lock_guard<std::mutex> lock(paint_mutex);
    /* Destroyed windows leave the set here, as handles are never reused. */
    std::erase_if(invalid_windows, [](const auto &e) { return !IsWindow(e.first); });
    for (HWND h : targets)
        invalid_windows[h] = invalid_windows[h] || erase;
    /* A desktop window shows the new look at its next present. */
    for (HWND h : targets)
        display_invalidate(h);
    return TRUE;
}

BOOL WINAPI UpdateWindow(HWND hwnd)
{
    if (!IsWindow(hwnd)) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return FALSE;
    }
    bool invalid;
    {
        std::lock_guard<std::mutex> lock(paint_mutex);
        invalid = invalid_windows.count(hwnd) != 0;
    }
    if (invalid)
        SendMessageA(hwnd, WM_PAINT, 0, 0);
    return TRUE;
}

HBITMAP WINAPI PalRenderWindow(HWND hwnd)
{
    HBITMAP bmp = render_window(hwnd);
    if (!bmp)
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return bmp;
}

} // extern "C"
