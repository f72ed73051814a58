#include "kernel/clock.h"

#include <paltest.h>

#include <atomic>
#include <time.h>

namespace pal {
namespace {

std::atomic<bool> virtual_on{false};
std::atomic<DWORD> virtual_now{0};
std::atomic<void (*)()> listener{nullptr};

DWORD real_now()
{
    struct timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return (DWORD)((uint64_t)ts.tv_sec * 1000u + (uint64_t)ts.tv_nsec / 1000000u);
}

void notify()
{
    if (void (*fn)() = listener.load())
        fn();
}

} // namespace

DWORD clock_now()
{
    return virtual_on.load(std::memory_order_acquire) ? virtual_now.load() : real_now();
}

bool clock_is_virtual() { return virtual_on.load(std::memory_order_acquire); }

void clock_set_listener(void (*fn)()) { listener.store(fn); }

} // namespace pal

using namespace pal;

extern "C" DWORD WINAPI GetTickCount(void) { return clock_now(); }

extern "C" void WINAPI PalClockSetVirtual(BOOL on, DWORD start)
{
    virtual_now.store(start);
    virtual_on.store(on != FALSE, std::memory_order_release);
    notify();
}

extern "C" void WINAPI PalClockAdvance(DWORD ms)
{
    virtual_now.fetch_add(ms);
    notify();
}

extern "C" BOOL WINAPI PalClockIsVirtual(void) { return clock_is_virtual() ? TRUE : FALSE; }
