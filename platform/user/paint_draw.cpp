/*
 * The look of windows: 3-D edges in the system colours, push button faces,
 * the disabled text look, the dialog frame with its caption bar and Close
 * box, and the sunken border and scroll bar of controls - the classic
 * Windows 95 look.
 */
#include "user/paint.h"
#include "user/window.h"
#include "gdi/gdi.h"

#include <algorithm>

namespace pal {
namespace {

void fill(HDC dc, RECT rc, int color)
{
    if (rc.right > rc.left && rc.bottom > rc.top)
        FillRect(dc, &rc, GetSysColorBrush(color));
}

/* A small black glyph drawn from rows of pixels, centred in rc: the Close
 * box's cross and the scroll arrows. */
void glyph(HDC dc, RECT rc, const char *const *rows, int count)
{
    int width = (int)std::char_traits<char>::length(rows[0]);
    int x0 = rc.left + (rc.right - rc.left - width) / 2;
    int y0 = rc.top + (rc.bottom - rc.top - count) / 2;
    for (int y = 0; y < count; ++y)
        for (int x = 0; x < width; ++x)
            if (rows[y][x] == '#')
                fill(dc, RECT{x0 + x, y0 + y, x0 + x + 1, y0 + y + 1}, COLOR_BTNTEXT);
}

const char *const kCross[] = {"##    ##", " ##  ## ", "  ####  ", "   ##   ",
                              "  ####  ", " ##  ## ", "##    ##"};
const char *const kArrowUp[] = {"   #   ", "  ###  ", " ##### ", "#######"};
const char *const kArrowDown[] = {"#######", " ##### ", "  ###  ", "   #   "};

/* The scroll bar of a list box: arrow buttons, a dotted track and a thumb
 * as long as the visible part of the list. */
void draw_scroll_bar(HDC dc, HWND list, RECT bar)
{
    int side = bar.right - bar.left;
    RECT up{bar.left, bar.top, bar.right, bar.top + side};
    RECT down{bar.left, bar.bottom - side, bar.right, bar.bottom};
    RECT face = up;
    draw_button_face(dc, &face, false);
    glyph(dc, face, kArrowUp, 4);
    face = down;
    draw_button_face(dc, &face, false);
    glyph(dc, face, kArrowDown, 4);

    RECT track{bar.left, up.bottom, bar.right, down.top};
    fill(dc, track, COLOR_SCROLLBAR);
    COLORREF light = GetSysColor(COLOR_BTNHIGHLIGHT);
    for (int y = track.top; y < track.bottom; ++y)
        for (int x = track.left + ((y - track.top) & 1); x < track.right; x += 2)
            SetPixel(dc, x, y, light);

    int count = (int)SendMessageA(list, LB_GETCOUNT, 0, 0);
    int height = std::max(1, (int)SendMessageA(list, LB_GETITEMHEIGHT, 0, 0));
    int top = std::max(0, (int)SendMessageA(list, LB_GETTOPINDEX, 0, 0));
    int page = std::max(1, (int)(client_area(list).bottom / height));
    int length = track.bottom - track.top;
    if (count <= page || length < 8)
        return;
    int thumb = std::max(8, length * page / count);
    int at = track.top + (length - thumb) * std::min(top, count - page) / (count - page);
    RECT t{bar.left, at, bar.right, at + thumb};
    draw_button_face(dc, &t, false);
}

} // namespace

HBRUSH control_color_default(UINT msg, HDC dc)
{
    bool window = msg == WM_CTLCOLOREDIT || msg == WM_CTLCOLORLISTBOX;
    int back = window ? COLOR_WINDOW : COLOR_BTNFACE;
    SetTextColor(dc, GetSysColor(COLOR_WINDOWTEXT));
    SetBkColor(dc, GetSysColor(back));
    return GetSysColorBrush(back);
}

HBRUSH control_color(HWND control, UINT msg, HDC dc)
{
    HWND parent = GetParent(control);
    HBRUSH brush =
        parent ? (HBRUSH)SendMessageA(parent, msg, (WPARAM)dc, (LPARAM)control) : nullptr;
    return brush ? brush : control_color_default(msg, dc);
}

void draw_edge(HDC dc, RECT *rc, int light, int dark)
{
    RECT r = *rc;
    fill(dc, RECT{r.left, r.top, r.right - 1, r.top + 1}, light);
    fill(dc, RECT{r.left, r.top, r.left + 1, r.bottom - 1}, light);
    fill(dc, RECT{r.left, r.bottom - 1, r.right, r.bottom}, dark);
    fill(dc, RECT{r.right - 1, r.top, r.right, r.bottom}, dark);
    *rc = RECT{r.left + 1, r.top + 1, r.right - 1, r.bottom - 1};
}

void draw_button_face(HDC dc, RECT *rc, bool pressed)
{
    if (pressed) {
        draw_edge(dc, rc, COLOR_BTNSHADOW, COLOR_BTNSHADOW);
    } else {
        draw_edge(dc, rc, COLOR_BTNHIGHLIGHT, COLOR_3DDKSHADOW);
        draw_edge(dc, rc, COLOR_3DLIGHT, COLOR_BTNSHADOW);
    }
    fill(dc, *rc, COLOR_BTNFACE);
}

void draw_label(HDC dc, const char *text, RECT rc, UINT format, bool enabled, COLORREF color)
{
    int old_mode = SetBkMode(dc, TRANSPARENT);
    COLORREF old_color;
    if (enabled) {
        old_color = SetTextColor(dc, color);
    } else {
        old_color = SetTextColor(dc, GetSysColor(COLOR_BTNHIGHLIGHT));
        RECT shadow{rc.left + 1, rc.top + 1, rc.right + 1, rc.bottom + 1};
        DrawTextA(dc, text, -1, &shadow, format);
        SetTextColor(dc, GetSysColor(COLOR_BTNSHADOW));
    }
    DrawTextA(dc, text, -1, &rc, format);
    SetTextColor(dc, old_color);
    SetBkMode(dc, old_mode);
}

void draw_window_frame(HDC dc, HWND hwnd, SIZE size)
{
    WindowRef w = window_get(hwnd);
    if (!w)
        return;
    Insets in = nonclient_insets(hwnd);
    RECT rc{0, 0, size.cx, size.cy};
    int frame = in.left;
    if (frame >= kFrameWidth) {
        draw_edge(dc, &rc, COLOR_3DLIGHT, COLOR_3DDKSHADOW);
        draw_edge(dc, &rc, COLOR_BTNHIGHLIGHT, COLOR_BTNSHADOW);
        for (int i = 2; i < frame; ++i)
            draw_edge(dc, &rc, COLOR_BTNFACE, COLOR_BTNFACE);
    } else if (frame == 1) {
        draw_edge(dc, &rc, COLOR_WINDOWFRAME, COLOR_WINDOWFRAME);
    }
    if ((w->style & WS_CAPTION) != WS_CAPTION)
        return;

    bool active = GetActiveWindow() == hwnd;
    RECT bar{rc.left, rc.top, rc.right, rc.top + kCaptionHeight - 1};
    fill(dc, bar, active ? COLOR_ACTIVECAPTION : COLOR_INACTIVECAPTION);
    fill(dc, RECT{rc.left, bar.bottom, rc.right, bar.bottom + 1}, COLOR_BTNFACE);

    RECT close{bar.right - 2 - 16, bar.top + 2, bar.right - 2, bar.top + 2 + 14};
    RECT title{bar.left + 3, bar.top, (w->style & WS_SYSMENU) ? close.left - 2 : bar.right - 2,
               bar.bottom};
    if (HFONT font = font_create_points("MS Sans Serif", 8, FW_BOLD, false)) {
        HGDIOBJ old = SelectObject(dc, font);
        draw_label(dc, w->text.c_str(), title, DT_LEFT | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX,
                   true, GetSysColor(active ? COLOR_CAPTIONTEXT : COLOR_INACTIVECAPTIONTEXT));
        SelectObject(dc, old);
        DeleteObject(font);
    }
    if (w->style & WS_SYSMENU) {
        draw_button_face(dc, &close, false);
        glyph(dc, close, kCross, 7);
    }
}

void draw_child_frame(HDC dc, HWND hwnd, RECT outer)
{
    WindowRef w = window_get(hwnd);
    if (!w)
        return;
    Insets in = nonclient_insets(hwnd);
    RECT rc = outer;
    if (w->exstyle & WS_EX_CLIENTEDGE) {
        draw_edge(dc, &rc, COLOR_BTNSHADOW, COLOR_BTNHIGHLIGHT);
        draw_edge(dc, &rc, COLOR_3DDKSHADOW, COLOR_3DLIGHT);
    } else if (w->style & WS_BORDER) {
        draw_edge(dc, &rc, COLOR_WINDOWFRAME, COLOR_WINDOWFRAME);
    }
    if (in.right > in.left)
        draw_scroll_bar(dc, hwnd, RECT{rc.right - kScrollWidth, rc.top, rc.right, rc.bottom});
}

} // namespace pal
