#include "kernel/clock.h"

#include "kernel/hooks.h"

#include <atomic>
#include <stdint.h>
#include <time.h>

namespace pal {
namespace {

std::atomic<void (*)()> listener{nullptr};

DWORD real_now()
{
    struct timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return (DWORD)((uint64_t)ts.tv_sec * 1000u + (uint64_t)ts.tv_nsec / 1000000u);
}

} // namespace

DWORD clock_now()
{
    const TestHooks *h = test_hooks();
    DWORD now;
    if (h && h->virtual_clock && h->virtual_clock(&now))
        return now;
    return real_now();
}

bool clock_is_virtual()
{
    const TestHooks *h = test_hooks();
    return h && h->virtual_clock && h->virtual_clock(nullptr);
}

void clock_set_listener(void (*fn)())
{
    listener.store(fn);
}

void clock_changed()
{
    if (void (*fn)() = listener.load())
        fn();
}

} // namespace pal

using namespace pal;

extern "C" DWORD WINAPI GetTickCount(void)
{
    return clock_now();
}
