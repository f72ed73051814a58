/*
 * What the display keeps between the wait's calls: the desktop windows that
 * show top-level windows and the state of the mouse.  Only the display's
 * own thread touches it, except for the set of invalidated windows.
 */
#ifndef PAL_DISPLAY_DISPLAY_STATE_H
#define PAL_DISPLAY_DISPLAY_STATE_H

#include "display/display.h"
#include "user/paint.h"

#include <SDL.h>

#include <map>
#include <memory>
#include <string>

namespace pal {

struct DisplayWindow {
    HWND hwnd = nullptr;
    SDL_Window *win = nullptr;
    Uint32 id = 0;     /* SDL's window id, named by its events */
    uint32_t xwin = 0; /* the X window, 0 on another desktop */
    std::string title; /* as last shown, in the window's code page */
    SIZE size{0, 0};   /* the rendering's size, frame included */
    Insets insets;     /* where the client area starts in the rendering */
    DWORD style = 0;
    bool active = false;
    bool enabled = true;
    bool dirty = true;
};

struct DisplayState {
    bool live = false;
    DWORD owner = 0; /* the thread that drives the display */
    int scale = 1;
    int connfd = -1;        /* the desktop's connection, once a window showed it */
    int wakefd = -1;        /* readable when events wait inside SDL already */
    int repeatfd = -1;      /* Wayland: ticks while a key is held, for its repeats */
    bool repeating = false; /* the repeat timer is ticking */
    std::map<HWND, std::unique_ptr<DisplayWindow>> windows;

    /* The mouse: the window that has it while a button is held, the last
     * press (for double-clicks) and a press on a caption's close box. */
    HWND capture = nullptr;
    UINT buttons = 0; /* MK_LBUTTON | MK_RBUTTON held */
    HWND last_down = nullptr;
    Uint32 last_down_time = 0;
    POINT last_down_at{0, 0};
    HWND close_pressed = nullptr;
};

/* The state, for the display's thread. */
DisplayState &display_state();

/* The desktop window that shows `hwnd`, or that SDL's `id` names; null when
 * there is none. */
DisplayWindow *display_window_of(HWND hwnd);
DisplayWindow *display_window_by_id(Uint32 id);

/* Where the caption's close box lies in a rendering, and the caption bar;
 * empty rectangles when the window has none. */
RECT display_close_box(const DisplayWindow &dw);
RECT display_caption_bar(const DisplayWindow &dw);

/* Handles one SDL event (display_input.cpp). */
void display_handle_event(const SDL_Event &ev);

/* The Windows-1252 text as UTF-8, and UTF-8 as Windows-1252 ('?' for what
 * the code page lacks). */
std::string display_to_utf8(const std::string &ansi);
std::string display_from_utf8(const char *utf8);

} // namespace pal

#endif
