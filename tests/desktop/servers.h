/* The desktop servers the tests start for themselves: Xvfb on a display
 * number it picks, and weston shown as a window on it; xdotool drives both.
 * Each ends with the test process. */
#ifndef CALLMGR_TESTS_DESKTOP_SERVERS_H
#define CALLMGR_TESTS_DESKTOP_SERVERS_H

#include <string>
#include <sys/types.h>

struct DesktopServer {
    pid_t pid = -1;
    std::string name;    /* ":N" for X, the socket's name for Wayland */
    std::string problem; /* why it did not start, for the skip message */
};

/* Starts Xvfb and waits until it takes clients; false (and `problem`) when
 * it, xdotool or ImageMagick is missing or it did not start. */
bool desktop_start_x(DesktopServer &x);

/* Starts weston on the X server `x`, with its socket in `runtime_dir`, and
 * waits until it takes clients; false (and `problem`) when it is missing or
 * did not start. */
bool desktop_start_wayland(DesktopServer &wl, const DesktopServer &x,
                           const std::string &runtime_dir);

/* Ends the server (nothing when it never started). */
void desktop_stop(DesktopServer &server);

#endif
