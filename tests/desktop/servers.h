/* The desktop servers the tests start for themselves, once for the process
 * (the desktop stays connected to the first server it opens) and ended with
 * it: Xvfb on a display number it picks, and weston shown as a window on it;
 * xdotool drives both. */
#ifndef CALLMGR_TESTS_DESKTOP_SERVERS_H
#define CALLMGR_TESTS_DESKTOP_SERVERS_H

#include <string>
#include <sys/types.h>

struct DesktopServer {
    pid_t pid = -1;      /* -1 when it did not start */
    std::string name;    /* ":N" for X, the socket's name for Wayland */
    std::string dir;     /* Wayland: the XDG_RUNTIME_DIR of its socket */
    std::string problem; /* why it did not start, for the skip message */
    ~DesktopServer();    /* ends it and removes `dir` */
};

/* Xvfb, taking clients; not started when it, xdotool or ImageMagick is
 * missing. */
const DesktopServer &desktop_x();

/* weston on desktop_x(), taking clients; not started when either is missing. */
const DesktopServer &desktop_wayland();

#endif
