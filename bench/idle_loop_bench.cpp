/*
 * What a registered application costs while nothing happens, when its own
 * loop waits on the message descriptor (palevent.h): processor time over a
 * stretch of wall time, beside a baseline that only sleeps in poll(2) on a
 * descriptor nobody writes, in the same process just before.  The
 * application is a real one: CMStartup has registered it (the RPC server
 * waits on the thread) and it would answer calls.  Needs a port mapper, so
 * run it on a test host:
 *
 *     bash scripts/testhost.sh run -- ./idle_loop_bench [SECONDS]
 *
 * Exit status 0 when the loop took under 0.1% of a core.
 */
#include <callmgr.h>
#include <palevent.h>
#include <winsock.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/resource.h>
#include <unistd.h>

namespace {

using Clock = std::chrono::steady_clock;

double cpu_seconds()
{
    struct rusage ru;
    getrusage(RUSAGE_SELF, &ru);
    return (double)ru.ru_utime.tv_sec + (double)ru.ru_stime.tv_sec +
           ((double)ru.ru_utime.tv_usec + (double)ru.ru_stime.tv_usec) / 1e6;
}

struct Idle {
    double cpu;
    double wall;
    unsigned wakeups;
};

void report(const char *what, const Idle &r)
{
    std::printf("%-28s %.4f s CPU over %.2f s wall = %.4f%% of a core, %u wake-ups\n", what, r.cpu,
                r.wall, 100.0 * r.cpu / r.wall, r.wakeups);
}

/* Waits `seconds` in poll on `fd` with `timeout()`, calling `turn()` after
 * each wake-up. */
template <typename Timeout, typename Turn>
Idle measure(double seconds, int fd, Timeout timeout, Turn turn)
{
    Idle r{0, 0, 0};
    const auto start = Clock::now();
    const auto until = start + std::chrono::duration<double>(seconds);
    const double cpu0 = cpu_seconds();
    for (auto now = start; now < until; now = Clock::now()) {
        int left = (int)std::chrono::duration_cast<std::chrono::milliseconds>(until - now).count();
        int wait = timeout();
        struct pollfd p = {fd, POLLIN, 0};
        if (poll(&p, 1, wait < 0 || wait > left ? left + 1 : wait) > 0)
            ++r.wakeups;
        turn();
    }
    r.cpu = cpu_seconds() - cpu0;
    r.wall = std::chrono::duration<double>(Clock::now() - start).count();
    return r;
}

const UINT NOTIFY = WM_USER + 1;

} // namespace

int main(int argc, char **argv)
{
    const double seconds = argc > 1 ? std::atof(argv[1]) : 30.0;

    int quiet = eventfd(0, EFD_CLOEXEC);
    Idle base = measure(
        seconds, quiet, [] { return -1; }, [] {});
    close(quiet);

    WSADATA data;
    WNDCLASSA wc{};
    wc.lpfnWndProc = DefWindowProcA;
    wc.lpszClassName = "IdleLoopBench";
    if (WSAStartup(MAKEWORD(1, 1), &data) != 0 || !RegisterClassA(&wc))
        return 2;
    HWND wnd = CreateWindowExA(0, "IdleLoopBench", "", 0, 0, 0, 10, 10, nullptr, nullptr, nullptr,
                               nullptr);
    char host[256];
    WORD app = wnd ? CMStartup(wnd, NOTIFY, host) : (WORD)CMERR_WINDOW;
    if (app >= 128) {
        std::fprintf(stderr, "idle_loop_bench: CMStartup returned %u (is a port mapper there?)\n",
                     (unsigned)app);
        return 2;
    }
    auto drain = [] {
        MSG msg;
        while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&msg);
            DispatchMessageA(&msg);
        }
    };
    /* Registering started the local address's lookup: let it land first. */
    const int fd = PalGetMessageFd();
    measure(
        1.0, fd, [] { return (int)PalGetMessageTimeout(); }, drain);
    Idle loop = measure(
        seconds, fd, [] { return (int)PalGetMessageTimeout(); }, drain);

    report("poll on a quiet descriptor", base);
    report("application's own loop", loop);
    CMCleanup(app);
    DestroyWindow(wnd);
    WSACleanup();
    return loop.cpu / loop.wall < 0.001 ? 0 : 1;
}
