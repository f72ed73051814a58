/*
 * Painting in the window manager: where windows draw, the non-client parts
 * the window manager draws for them, and the drawing pieces the controls
 * share.
 *
 * Windows are headless: nothing is on a screen.  A window paints onto a
 * surface only while it is being rendered (render_window); at other times
 * its DCs measure text and draw nowhere.
 *
 * Non-client areas: a top-level window's rectangle is its client area, and
 * its frame and caption lie around it.  A child's rectangle is its whole
 * window, as dialog templates give it: its border (drawn sunken, the 3-D
 * look of dialog controls) and a list box's vertical scroll bar lie inside
 * that rectangle, and the child's DCs start at its client area within.
 */
#ifndef PAL_USER_PAINT_H
#define PAL_USER_PAINT_H

#include <windows.h>

namespace pal {

struct Insets {
    int left = 0, top = 0, right = 0, bottom = 0;
};

/* The metrics of the non-client parts, in pixels. */
constexpr int kFrameWidth = 3;     /* a dialog frame */
constexpr int kCaptionHeight = 19; /* the caption bar and the line under it */
constexpr int kEdgeWidth = 2;      /* a control's sunken border */
constexpr int kScrollWidth = 16;   /* a vertical scroll bar */

/* The width of the non-client parts on each side of a window. */
Insets nonclient_insets(HWND hwnd);

/* GetClientRect's rectangle as a value, for the controls' drawing and
 * layout. */
RECT client_area(HWND hwnd);

/* The brush and colours a dialog gives its controls unless its procedure
 * says otherwise (WM_CTLCOLOR...): the window colour for edits and lists,
 * the face colour for the rest. */
HBRUSH control_color_default(UINT msg, HDC dc);

/* Asks a control's parent for its brush and colours, falling back to the
 * defaults. */
HBRUSH control_color(HWND control, UINT msg, HDC dc);

/* A one-pixel frame just inside *rc, `light` (a system colour) on the top
 * and left, `dark` on the bottom and right; *rc shrinks to what is inside. */
void draw_edge(HDC dc, RECT *rc, int light, int dark);

/* A push button's raised face, or its pressed face; *rc shrinks to the face
 * inside the edges. */
void draw_button_face(HDC dc, RECT *rc, bool pressed);

/* Text in a control's colour, or in the disabled look (embossed grey). */
void draw_label(HDC dc, const char *text, RECT rc, UINT format, bool enabled, COLORREF color);

/* The renderer's pieces: a top-level window's frame and caption over the
 * whole surface of `size`, and a child's border and scroll bar inside its
 * rectangle `outer` (DC coordinates). */
void draw_window_frame(HDC dc, HWND hwnd, SIZE size);
void draw_child_frame(HDC dc, HWND hwnd, RECT outer);

/* Handles WM_PAINT for a control: into the DC that wParam gives, as it is
 * (rendering, printing), or else between BeginPaint and EndPaint. */
template <typename Paint> LRESULT paint_message(HWND hwnd, WPARAM wparam, Paint paint)
{
    if (wparam) {
        paint((HDC)wparam);
        return 0;
    }
    PAINTSTRUCT ps;
    if (HDC dc = BeginPaint(hwnd, &ps))
        paint(dc);
    EndPaint(hwnd, &ps);
    return 0;
}

/* Paints a window and its visible descendants onto a new bitmap of the
 * window's full size (frame included); null when the handle names no
 * window.  The caller deletes the bitmap. */
HBITMAP render_window(HWND hwnd);

} // namespace pal

#endif
