/*
 * The desktop display: top-level windows shown as real windows through
 * SDL2, and the person's mouse and keyboard turned into the window messages
 * the controls already handle.
 *
 * Windows stay headless (palpaint.h) unless a desktop is there: the display
 * is live when DISPLAY or WAYLAND_DISPLAY is set, and CALLMGR_DISPLAY=live
 * or CALLMGR_DISPLAY=headless forces either choice.  With DISPLAY set the
 * desktop is driven through X (XWayland included), else through Wayland.
 * CALLMGR_DISPLAY_SCALE (an integer from 1 to 8) enlarges every window by
 * that factor.  When the desktop cannot be opened the display stays
 * headless.
 *
 * The display belongs to the first thread that drives it and shows that
 * thread's visible top-level windows (dialogs, message boxes); on any other
 * thread every function here does nothing.  The thread's message wait
 * drives it in three steps, like the RPC service (rpc/rpcwait.h):
 *
 *   display_present_dirty();                  queue idle, about to block
 *   size_t first = display_add_fds(fds);      wait on the desktop as well
 *   poll(...);
 *   display_dispatch(fds, first);             input becomes posted messages
 *
 * A window is repainted when it appears, changes size, title, activation or
 * enabling, after input reached it, and after display_invalidate names it or
 * one of its descendants (InvalidateRect calls it).
 */
#ifndef PAL_DISPLAY_DISPLAY_H
#define PAL_DISPLAY_DISPLAY_H

#include <windows.h>

#include <cstdint>
#include <poll.h>
#include <vector>

namespace pal {

enum class DisplayMode { headless, live };

/* The choice the environment makes: `forced` is CALLMGR_DISPLAY, `x11` and
 * `wayland` are DISPLAY and WAYLAND_DISPLAY (each may be null). */
DisplayMode display_choose(const char *forced, const char *x11, const char *wayland);

/* The scale CALLMGR_DISPLAY_SCALE asks for: 1 unless it is an integer from
 * 1 to 8. */
int display_scale_from(const char *text);

/* Whether the calling thread drives a live display; the first call decides
 * (from the environment) and opens the desktop. */
bool display_live();

/* Shows, updates and removes the desktop windows of the thread's top-level
 * windows, repainting those that changed. */
void display_present_dirty();

/* Adds the descriptors to wait on for desktop input to `fds` and returns
 * the index of the first one added.  When input is already waiting inside
 * the desktop library, one of them is readable at once. */
size_t display_add_fds(std::vector<struct pollfd> &fds);

/* Turns the desktop's pending events into posted window messages, when one
 * of the descriptors from `first` on is ready. */
void display_dispatch(const std::vector<struct pollfd> &fds, size_t first);

/* The window's look may have changed: its top-level window is repainted at
 * the next present.  Any thread; ignored while the display itself paints. */
void display_invalidate(HWND hwnd);

/* The X window that shows a top-level window, 0 when none does (tests, the
 * benchmark). */
uint32_t display_x11_window(HWND hwnd);

/* Closes every desktop window; the display is headless afterwards until
 * display_reopen, which decides again from the environment (tests). */
void display_shutdown();
void display_reopen();

} // namespace pal

#endif
