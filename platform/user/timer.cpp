/*
 * Timers.  A timer belongs to the queue of the thread that set it (for a
 * window timer, the window's thread) and produces WM_TIMER when it is due
 * and nothing posted waits.  After a WM_TIMER is taken the timer is due
 * again one period later; a late timer is not caught up.
 */
#include "user/queue.h"
#include "user/window.h"
#include "kernel/clock.h"

#include <algorithm>
#include <atomic>

namespace pal {
namespace {

std::atomic<UINT_PTR> next_thread_timer_id{0x7FF0};

bool reached(DWORD now, DWORD due)
{
    return (int32_t)(now - due) >= 0;
}

UINT clamp_elapse(UINT elapse)
{
    if (elapse < USER_TIMER_MINIMUM)
        return USER_TIMER_MINIMUM;
    if (elapse > USER_TIMER_MAXIMUM)
        return USER_TIMER_MAXIMUM;
    return elapse;
}

} // namespace

Timer *timer_due(Queue &q, HWND filter, DWORD now)
{
    Timer *best = nullptr;
    for (Timer &t : q.timers) {
        if (filter == (HWND)-1 ? t.hwnd != nullptr : (filter && t.hwnd != filter))
            continue;
        if (!reached(now, t.due))
            continue;
        if (!best || (int32_t)(t.due - best->due) < 0)
            best = &t;
    }
    return best;
}

int timer_wait_ms(Queue &q, DWORD now)
{
    int best = -1;
    for (const Timer &t : q.timers) {
        int left = reached(now, t.due) ? 0 : (int)(t.due - now);
        if (best < 0 || left < best)
            best = left;
    }
    return best;
}

void timers_remove_window(HWND hwnd)
{
    WindowRef w = window_get(hwnd);
    if (!w)
        return;
    auto &timers = w->queue->timers;
    timers.erase(std::remove_if(timers.begin(), timers.end(),
                                [hwnd](const Timer &t) { return t.hwnd == hwnd; }),
                 timers.end());
}

} // namespace pal

using namespace pal;

extern "C" {

UINT_PTR WINAPI SetTimer(HWND hwnd, UINT_PTR id, UINT elapse, TIMERPROC proc)
{
    QueueRef q = queue_current();
    if (hwnd) {
        WindowRef w = window_get(hwnd);
        if (!w) {
            SetLastError(ERROR_INVALID_WINDOW_HANDLE);
            return 0;
        }
        if (w->queue != q) {
            SetLastError(ERROR_ACCESS_DENIED);
            return 0;
        }
    }
    elapse = clamp_elapse(elapse);
    DWORD due = clock_now() + elapse;
    for (Timer &t : q->timers)
        if (t.hwnd == hwnd && t.id == id && (hwnd || id)) {
            t = Timer{hwnd, id, elapse, proc, due};
            return hwnd ? (id ? id : 1) : id;
        }
    if (!hwnd) {
        /* A timer without a window gets an id no other such timer holds. */
        for (;;) {
            id = ++next_thread_timer_id;
            if (id == 0)
                continue;
            bool used = std::any_of(q->timers.begin(), q->timers.end(),
                                    [id](const Timer &t) { return !t.hwnd && t.id == id; });
            if (!used)
                break;
        }
    }
    q->timers.push_back(Timer{hwnd, id, elapse, proc, due});
    /* The thread is setting it, so it is not asleep: its next message wait
     * counts down to the new timer.  An event loop of its own may already
     * have taken its time-out, so that one is woken to take it again. */
    if (q->loop.fd >= 0)
        queue_wake(*q);
    return hwnd ? (id ? id : 1) : id;
}

BOOL WINAPI KillTimer(HWND hwnd, UINT_PTR id)
{
    QueueRef q = queue_current();
    auto &timers = q->timers;
    auto it = std::find_if(timers.begin(), timers.end(),
                           [&](const Timer &t) { return t.hwnd == hwnd && t.id == id; });
    if (it == timers.end()) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    timers.erase(it);
    return TRUE;
}

} // extern "C"
