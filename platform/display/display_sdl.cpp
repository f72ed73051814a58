/*
 * The live display's windows: which back end runs, the desktop windows that
 * show the thread's top-level windows, presenting their renderings, and the
 * descriptors the message wait sleeps on.
 *
 * A desktop window has no frame of its own: the rendering already holds the
 * window's frame and caption as the window manager draws them, so what the
 * person sees is what a headless rendering of the same window holds, pixel
 * for pixel.  The caption drags the window and its close box closes it.
 */
#include "display/display_state.h"
#include "user/dialog.h"
#include "user/window.h"
#include "gdi/gdi.h"

#include <SDL_syswm.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <dlfcn.h>
#include <mutex>
#include <set>
#include <sys/eventfd.h>
#include <sys/timerfd.h>
#include <unistd.h>

namespace pal {
namespace {

std::mutex decide_mutex;
bool decided = false;
bool reopened_headless = false;

std::mutex dirty_mutex;
std::set<HWND> dirty_windows; /* invalidated since the last present */
bool live_flag = false;       /* under dirty_mutex: invalidation matters */

thread_local bool painting = false; /* the display's own rendering runs */

DisplayState *state_ptr = nullptr;

bool inside(const RECT &r, POINT p)
{
    return p.x >= r.left && p.x < r.right && p.y >= r.top && p.y < r.bottom;
}

bool on_display_thread()
{
    return state_ptr && state_ptr->live && state_ptr->owner == GetCurrentThreadId();
}

/* Opens the desktop for the calling thread; false leaves it headless. */
bool open_desktop(DisplayState &s)
{
    SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
    SDL_SetHint(SDL_HINT_VIDEO_X11_NET_WM_BYPASS_COMPOSITOR, "0");
    SDL_SetHint(SDL_HINT_QUIT_ON_LAST_WINDOW_CLOSE, "0");
    SDL_SetHint(SDL_HINT_MOUSE_FOCUS_CLICKTHROUGH, "1");
    /* The renderings carry their own frames: no decoration library, which
     * would also report its plug-in search on the application's stderr. */
    SDL_SetHint(SDL_HINT_VIDEO_WAYLAND_ALLOW_LIBDECOR, "0");
    /* A desktop with X (XWayland included) is driven through X; one with
     * Wayland alone through Wayland.  Either connection is a descriptor the
     * wait sleeps on. */
    if (std::getenv("DISPLAY") && !std::getenv("SDL_VIDEODRIVER"))
        SDL_SetHint(SDL_HINT_VIDEODRIVER, "x11");
    /* The desktop stays open once opened: closing it unloads libraries
     * the desktop library loaded, with what they keep for the process. */
    static bool video_up = false;
    static int wakefd = -1;
    static int repeatfd = -1;
    if (!video_up) {
        if (SDL_InitSubSystem(SDL_INIT_VIDEO) != 0)
            return false;
        /* Under Wayland the desktop library repeats a held key itself, as
         * it is pumped: a timer wakes the wait for it while a key is held. */
        const char *driver = SDL_GetCurrentVideoDriver();
        bool wayland = driver && std::strcmp(driver, "wayland") == 0;
        wakefd = eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
        if (wakefd >= 0 && wayland)
            repeatfd = timerfd_create(CLOCK_MONOTONIC, TFD_NONBLOCK | TFD_CLOEXEC);
        if (wakefd < 0 || (wayland && repeatfd < 0)) {
            if (wakefd >= 0)
                close(wakefd);
            wakefd = -1;
            SDL_QuitSubSystem(SDL_INIT_VIDEO);
            return false;
        }
        video_up = true;
    }
    s.wakefd = wakefd;
    s.repeatfd = repeatfd;
    SDL_StartTextInput();
    return true;
}

SDL_HitTestResult SDLCALL hit_test(SDL_Window *, const SDL_Point *at, void *data)
{
    const DisplayWindow *dw = (const DisplayWindow *)data;
    int scale = display_state().scale;
    POINT p{at->x / scale, at->y / scale};
    RECT bar = display_caption_bar(*dw);
    RECT close = display_close_box(*dw);
    if (inside(bar, p) && !inside(close, p))
        return SDL_HITTEST_DRAGGABLE;
    return SDL_HITTEST_NORMAL;
}

SIZE rendering_size(const WindowRef &w, Insets in)
{
    return SIZE{w->rect.right - w->rect.left + in.left + in.right,
                w->rect.bottom - w->rect.top + in.top + in.bottom};
}

/* The windows the display should show now: the thread's visible top-level
 * windows. */
std::vector<WindowRef> shown_windows(DWORD thread)
{
    std::vector<WindowRef> out;
    for (const WindowRef &w : window_list())
        if (!w->destroying && (w->style & WS_VISIBLE) && !(w->style & WS_CHILD) &&
            GetWindowThreadProcessId(w->handle, nullptr) == thread)
            out.push_back(w);
    return out;
}

/* Whether a key other than a modifier is held down (modifiers do not
 * repeat). */
bool key_held()
{
    int count = 0;
    const Uint8 *keys = SDL_GetKeyboardState(&count);
    for (int i = 0; keys && i < count; ++i)
        if (keys[i] && (i < SDL_SCANCODE_LCTRL || i > SDL_SCANCODE_RGUI))
            return true;
    return false;
}

/* Starts the repeat timer ticking every 10 ms, or stops it; false when the
 * timer could not be set. */
bool arm_repeat(int fd, bool on)
{
    const long tick_ns = 10 * 1000000L;
    struct itimerspec when;
    memset(&when, 0, sizeof when);
    if (on) {
        when.it_value.tv_nsec = tick_ns;
        when.it_interval.tv_nsec = tick_ns;
    }
    return timerfd_settime(fd, 0, &when, nullptr) == 0;
}

/* The descriptor of a Wayland connection, asked of the client library the
 * desktop library has loaded already (it is not linked in); -1 when it is
 * not there. */
int wayland_descriptor(void *display)
{
    void *lib = dlopen("libwayland-client.so.0", RTLD_NOW | RTLD_NOLOAD);
    if (!lib)
        return -1;
    int fd = -1;
    auto get_fd = (int (*)(void *))dlsym(lib, "wl_display_get_fd");
    if (get_fd && display)
        fd = get_fd(display);
    dlclose(lib);
    return fd;
}

/* Learns the window's X window, and the desktop's connection the first
 * time a window shows it. */
void learn_desktop(DisplayState &s, DisplayWindow &dw)
{
    SDL_SysWMinfo info;
    SDL_VERSION(&info.version);
    if (!SDL_GetWindowWMInfo(dw.win, &info))
        return;
#if defined(SDL_VIDEO_DRIVER_X11)
    if (info.subsystem == SDL_SYSWM_X11) {
        dw.xwin = (uint32_t)info.info.x11.window;
        if (s.connfd < 0)
            s.connfd = ConnectionNumber(info.info.x11.display);
    }
#endif
#if defined(SDL_VIDEO_DRIVER_WAYLAND)
    if (info.subsystem == SDL_SYSWM_WAYLAND && s.connfd < 0)
        s.connfd = wayland_descriptor(info.info.wl.display);
#endif
}

DisplayWindow *create_window(DisplayState &s, const WindowRef &w)
{
    auto dw = std::make_unique<DisplayWindow>();
    dw->hwnd = w->handle;
    dw->style = w->style;
    dw->insets = nonclient_insets(w->handle);
    dw->size = rendering_size(w, dw->insets);
    dw->title = w->text;
    int x = SDL_WINDOWPOS_CENTERED, y = SDL_WINDOWPOS_CENTERED;
    if ((w->style & WS_CAPTION) != WS_CAPTION) {
        /* A popup without a caption stays where its owner put it. */
        x = (int)(w->rect.left - dw->insets.left) * s.scale;
        y = (int)(w->rect.top - dw->insets.top) * s.scale;
    }
    dw->win = SDL_CreateWindow(
        display_to_utf8(dw->title).c_str(), x, y, std::max(1, (int)dw->size.cx * s.scale),
        std::max(1, (int)dw->size.cy * s.scale), SDL_WINDOW_BORDERLESS | SDL_WINDOW_SHOWN);
    if (!dw->win)
        return nullptr;
    dw->id = SDL_GetWindowID(dw->win);
    SDL_SetWindowHitTest(dw->win, hit_test, dw.get());
    learn_desktop(s, *dw);
    DisplayWindow *raw = dw.get();
    s.windows[w->handle] = std::move(dw);
    return raw;
}

void destroy_window(DisplayWindow &dw)
{
    if (dw.win)
        SDL_DestroyWindow(dw.win);
    dw.win = nullptr;
}

/* Paints the window and puts the rendering on its desktop window. */
void present(DisplayState &s, DisplayWindow &dw)
{
    painting = true;
    HBITMAP bmp = render_window(dw.hwnd);
    painting = false;
    dw.dirty = false;
    if (!bmp)
        return;
    BITMAP info{};
    GetObjectA(bmp, sizeof info, &info);
    std::vector<BYTE> bits((size_t)info.bmWidthBytes * (size_t)info.bmHeight);
    LONG got = GetBitmapBits(bmp, (LONG)bits.size(), bits.data());
    DeleteObject(bmp);
    if (got <= 0 || info.bmBitsPixel != 32)
        return;
    int w = info.bmWidth * s.scale, h = info.bmHeight * s.scale;
    int cw = 0, ch = 0;
    SDL_GetWindowSize(dw.win, &cw, &ch);
    if (cw != w || ch != h)
        SDL_SetWindowSize(dw.win, w, h);
    SDL_Surface *target = SDL_GetWindowSurface(dw.win);
    /* Packed rows are blue, green, red and a spare byte per pixel. */
    SDL_Surface *image = SDL_CreateRGBSurfaceWithFormatFrom(
        bits.data(), info.bmWidth, info.bmHeight, 32, info.bmWidthBytes, SDL_PIXELFORMAT_XRGB8888);
    if (target && image) {
        if (s.scale == 1) {
            SDL_BlitSurface(image, nullptr, target, nullptr);
        } else {
            SDL_Rect to{0, 0, w, h};
            SDL_BlitScaled(image, nullptr, target, &to);
        }
        SDL_UpdateWindowSurface(dw.win);
    }
    if (image)
        SDL_FreeSurface(image);
}

} // namespace

DisplayMode display_choose(const char *forced, const char *x11, const char *wayland)
{
    if (forced && std::strcmp(forced, "live") == 0)
        return DisplayMode::live;
    if (forced && std::strcmp(forced, "headless") == 0)
        return DisplayMode::headless;
    if ((x11 && *x11) || (wayland && *wayland))
        return DisplayMode::live;
    return DisplayMode::headless;
}

int display_scale_from(const char *text)
{
    if (!text || !*text)
        return 1;
    char *end = nullptr;
    long v = std::strtol(text, &end, 10);
    if (*end || v < 1 || v > 8)
        return 1;
    return (int)v;
}

DisplayState &display_state()
{
    static DisplayState *s = new DisplayState(); /* lives as long as the process */
    return *s;
}

bool display_live()
{
    {
        std::lock_guard<std::mutex> lock(decide_mutex);
        if (!decided) {
            decided = true;
            DisplayState &s = display_state();
            state_ptr = &s;
            if (!reopened_headless &&
                display_choose(std::getenv("CALLMGR_DISPLAY"), std::getenv("DISPLAY"),
                               std::getenv("WAYLAND_DISPLAY")) == DisplayMode::live &&
                open_desktop(s)) {
                s.live = true;
                s.owner = GetCurrentThreadId();
                s.scale = display_scale_from(std::getenv("CALLMGR_DISPLAY_SCALE"));
                std::lock_guard<std::mutex> dlock(dirty_mutex);
                live_flag = true;
            }
        }
    }
    return on_display_thread();
}

DisplayWindow *display_window_of(HWND hwnd)
{
    DisplayState &s = display_state();
    auto it = s.windows.find(hwnd);
    return it == s.windows.end() ? nullptr : it->second.get();
}

DisplayWindow *display_window_by_id(Uint32 id)
{
    for (auto &[hwnd, dw] : display_state().windows)
        if (dw->id == id)
            return dw.get();
    return nullptr;
}

RECT display_caption_bar(const DisplayWindow &dw)
{
    if ((dw.style & WS_CAPTION) != WS_CAPTION)
        return RECT{0, 0, 0, 0};
    int frame = dw.insets.left;
    return RECT{frame, frame, dw.size.cx - frame, frame + kCaptionHeight - 1};
}

RECT display_close_box(const DisplayWindow &dw)
{
    if (!(dw.style & WS_SYSMENU))
        return RECT{0, 0, 0, 0};
    RECT bar = display_caption_bar(dw);
    if (bar.right <= bar.left)
        return bar;
    return RECT{bar.right - 2 - 16, bar.top + 2, bar.right - 2, bar.top + 2 + 14};
}

void display_invalidate(HWND hwnd)
{
    if (painting || !hwnd)
        return;
    std::lock_guard<std::mutex> lock(dirty_mutex);
    if (live_flag)
        dirty_windows.insert(hwnd);
}

void display_present_dirty()
{
    if (!display_live())
        return;
    DisplayState &s = display_state();
    std::set<HWND> invalid;
    {
        std::lock_guard<std::mutex> lock(dirty_mutex);
        invalid.swap(dirty_windows);
    }
    std::set<HWND> tops;
    for (HWND h : invalid)
        if (IsWindow(h))
            tops.insert(top_level_of(h));

    std::vector<WindowRef> now = shown_windows(s.owner);
    /* Windows hidden or destroyed since: their desktop windows go. */
    for (auto it = s.windows.begin(); it != s.windows.end();) {
        bool keep = std::any_of(now.begin(), now.end(),
                                [&](const WindowRef &w) { return w->handle == it->first; });
        if (keep) {
            ++it;
            continue;
        }
        destroy_window(*it->second);
        if (s.capture && (s.capture == it->first || !IsWindow(s.capture) ||
                          top_level_of(s.capture) == it->first))
            s.capture = nullptr;
        it = s.windows.erase(it);
    }
    HWND active = GetActiveWindow();
    for (const WindowRef &w : now) {
        DisplayWindow *dw = display_window_of(w->handle);
        if (!dw && !(dw = create_window(s, w)))
            continue;
        Insets in = nonclient_insets(w->handle);
        SIZE size = rendering_size(w, in);
        bool enabled = !(w->style & WS_DISABLED);
        bool is_active = active == w->handle;
        if (size.cx != dw->size.cx || size.cy != dw->size.cy || in.top != dw->insets.top ||
            w->style != dw->style) {
            dw->size = size;
            dw->insets = in;
            dw->style = w->style;
            dw->dirty = true;
        }
        if (w->text != dw->title) {
            dw->title = w->text;
            SDL_SetWindowTitle(dw->win, display_to_utf8(dw->title).c_str());
            dw->dirty = true;
        }
        if (is_active != dw->active || enabled != dw->enabled) {
            if (is_active && !dw->active)
                SDL_RaiseWindow(dw->win);
            dw->active = is_active;
            dw->enabled = enabled;
            dw->dirty = true;
        }
        if (tops.count(w->handle))
            dw->dirty = true;
        if (dw->dirty)
            present(s, *dw);
    }
}

size_t display_add_fds(std::vector<struct pollfd> &fds)
{
    size_t first = fds.size();
    if (!on_display_thread())
        return first;
    DisplayState &s = display_state();
    /* Events Xlib already read off the connection would not wake the poll:
     * take them into SDL's queue and let the wake descriptor say so. */
    SDL_PumpEvents();
    if (SDL_PeepEvents(nullptr, 1, SDL_PEEKEVENT, SDL_FIRSTEVENT, SDL_LASTEVENT) > 0) {
        uint64_t one = 1;
        if (write(s.wakefd, &one, sizeof one) < 0) {
            /* Saturated: it is readable anyway. */
        }
    }
    fds.push_back(pollfd{s.wakefd, POLLIN, 0});
    if (s.connfd >= 0)
        fds.push_back(pollfd{s.connfd, POLLIN, 0});
    if (s.repeatfd >= 0) {
        bool held = key_held();
        if (held != s.repeating && arm_repeat(s.repeatfd, held))
            s.repeating = held;
        fds.push_back(pollfd{s.repeatfd, POLLIN, 0});
    }
    return first;
}

void display_dispatch(const std::vector<struct pollfd> &fds, size_t first)
{
    if (!on_display_thread())
        return;
    DisplayState &s = display_state();
    bool ready = false;
    /* Only its own entries: others may follow them.  The counters that
     * woke the wait are emptied (one read each; a counter another reader
     * emptied first reads nothing). */
    for (size_t i = first; i < fds.size(); ++i) {
        int fd = fds[i].fd;
        if (!fds[i].revents || (fd != s.wakefd && fd != s.connfd && fd != s.repeatfd))
            continue;
        ready = true;
        uint64_t count;
        if (fd != s.connfd)
            (void)!read(fd, &count, sizeof count);
    }
    if (!ready)
        return;
    SDL_PumpEvents();
    SDL_Event ev;
    while (SDL_PeepEvents(&ev, 1, SDL_GETEVENT, SDL_FIRSTEVENT, SDL_LASTEVENT) > 0)
        display_handle_event(ev);
}

uint32_t display_x11_window(HWND hwnd)
{
    if (!on_display_thread())
        return 0;
    DisplayWindow *dw = display_window_of(hwnd);
    if (!dw)
        return 0;
    /* Asked afresh: the desktop library may have made the X window anew. */
    learn_desktop(display_state(), *dw);
    return dw->xwin;
}

void display_shutdown()
{
    std::lock_guard<std::mutex> lock(decide_mutex);
    if (on_display_thread()) {
        DisplayState &s = display_state();
        for (auto &[hwnd, dw] : s.windows)
            destroy_window(*dw);
        s.windows.clear();
        SDL_StopTextInput();
        SDL_PumpEvents();
        SDL_FlushEvents(SDL_FIRSTEVENT, SDL_LASTEVENT);
        if (s.repeating)
            arm_repeat(s.repeatfd, false);
        s = DisplayState();
    }
    {
        std::lock_guard<std::mutex> dlock(dirty_mutex);
        live_flag = false;
        dirty_windows.clear();
    }
    decided = true;
    reopened_headless = true;
    state_ptr = &display_state();
}

void display_reopen()
{
    std::lock_guard<std::mutex> lock(decide_mutex);
    decided = false;
    reopened_headless = false;
}

} // namespace pal
