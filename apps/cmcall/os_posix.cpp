/*
 * What cmcall needs from a POSIX system: signals become a posted message,
 * the program's folder comes from /proc, and the desktop from the
 * environment.
 */
#include "os.h"

#include "cmcall.h"

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <thread>

#include <fcntl.h>
#include <pthread.h>
#include <unistd.h>

namespace {

int stop_pipe[2] = {-1, -1};
volatile sig_atomic_t signals_seen = 0;

void OnSignal(int sig)
{
    /* A second signal while the first is handled ends at once. */
    if (signals_seen)
        _exit(128 + sig);
    signals_seen = 1;
    unsigned char byte = static_cast<unsigned char>(sig);
    int saved = errno;
    if (write(stop_pipe[1], &byte, 1) < 0) {
        /* Nothing to do in a handler; the next signal ends the process. */
    }
    errno = saved;
}

/* The handler only writes a byte, and this thread, which alone takes the
 * signals, turns it into the message (posting is safe from any thread). */
void WatchSignals(HWND wnd, UINT msg)
{
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGINT);
    sigaddset(&set, SIGTERM);
    sigaddset(&set, SIGHUP);
    pthread_sigmask(SIG_UNBLOCK, &set, nullptr);
    for (;;) {
        unsigned char byte;
        ssize_t n = read(stop_pipe[0], &byte, 1);
        if (n == 1) {
            PostMessageA(wnd, msg, byte, 0);
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        return;
    }
}

} // namespace

bool CMCALL_WatchStops(HWND wnd, UINT msg)
{
    static_assert(SIGHUP == CMCALL_STOP_HANGUP && SIGINT == CMCALL_STOP_INTERRUPT &&
                  SIGTERM == CMCALL_STOP_TERMINATE);
    if (pipe2(stop_pipe, O_CLOEXEC) != 0)
        return false;
    struct sigaction sa;
    std::memset(&sa, 0, sizeof sa);
    sa.sa_handler = OnSignal;
    sigemptyset(&sa.sa_mask);
    sigaction(SIGINT, &sa, nullptr);
    sigaction(SIGTERM, &sa, nullptr);
    sigaction(SIGHUP, &sa, nullptr);
    signal(SIGPIPE, SIG_IGN);
    /* The message loop's thread, and every thread the library starts from
     * it, leave the signals to the watcher. */
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGINT);
    sigaddset(&set, SIGTERM);
    sigaddset(&set, SIGHUP);
    pthread_sigmask(SIG_BLOCK, &set, nullptr);
    std::thread(WatchSignals, wnd, msg).detach();
    return true;
}

std::string CMCALL_ProgramFolder(void)
{
    char exe[4096];
    ssize_t n = readlink("/proc/self/exe", exe, sizeof exe - 1);
    if (n <= 0)
        return std::string();
    std::string path(exe, (size_t)n);
    size_t slash = path.rfind('/');
    return slash == std::string::npos ? std::string() : path.substr(0, slash);
}

bool CMCALL_DesktopHere(void)
{
    return CMCALL_HasDesktop(std::getenv("CALLMGR_DISPLAY"), std::getenv("DISPLAY"),
                             std::getenv("WAYLAND_DISPLAY"));
}
