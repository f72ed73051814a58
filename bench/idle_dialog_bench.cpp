/*
 * What an open dialog nobody touches costs on a live desktop: CPU time
 * over a stretch of wall time while a top-level window is shown and the
 * thread waits as the message wait does (present, sleep on the desktop's
 * descriptors, dispatch).  Needs a desktop (DISPLAY); run it under Xvfb:
 *
 *     xvfb-run -a ./idle_dialog_bench [SECONDS]
 */
#include "display/display.h"

#include <windows.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <poll.h>
#include <sys/resource.h>
#include <vector>

namespace {

double cpu_seconds()
{
    struct rusage ru;
    getrusage(RUSAGE_SELF, &ru);
    return (double)ru.ru_utime.tv_sec + (double)ru.ru_stime.tv_sec +
           ((double)ru.ru_utime.tv_usec + (double)ru.ru_stime.tv_usec) / 1e6;
}

} // namespace

int main(int argc, char **argv)
{
    double seconds = argc > 1 ? std::atof(argv[1]) : 5.0;
    setenv("CALLMGR_DISPLAY", "live", 1);
    if (!pal::display_live()) {
        std::fprintf(stderr, "idle_dialog_bench: no desktop (set DISPLAY, e.g. under xvfb-run)\n");
        return 2;
    }
    HWND win =
        CreateWindowExA(0, "EDIT", "Idle dialog", WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_VISIBLE,
                        100, 100, 320, 120, nullptr, nullptr, nullptr, nullptr);
    if (!win) {
        std::fprintf(stderr, "idle_dialog_bench: no window\n");
        return 2;
    }
    /* Show it and let the first paint settle before measuring. */
    pal::display_present_dirty();
    auto start = std::chrono::steady_clock::now();
    double cpu0 = cpu_seconds();
    auto until = start + std::chrono::duration<double>(seconds);
    unsigned wakeups = 0;
    for (;;) {
        MSG msg;
        while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE))
            DispatchMessageA(&msg);
        pal::display_present_dirty();
        auto now = std::chrono::steady_clock::now();
        if (now >= until)
            break;
        std::vector<pollfd> fds;
        size_t first = pal::display_add_fds(fds);
        int left = (int)std::chrono::duration_cast<std::chrono::milliseconds>(until - now).count();
        if (poll(fds.data(), fds.size(), left + 1) > 0)
            ++wakeups;
        pal::display_dispatch(fds, first);
    }
    double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    double cpu = cpu_seconds() - cpu0;
    std::printf("idle dialog: %.3f s CPU over %.3f s wall = %.3f%% of a core, %u wake-ups\n", cpu,
                wall, 100.0 * cpu / wall, wakeups);
    DestroyWindow(win);
    pal::display_shutdown();
    return cpu / wall < 0.01 ? 0 : 1;
}
