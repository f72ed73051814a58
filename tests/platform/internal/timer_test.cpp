// Timers in virtual time: exactly when they fall due, their order, and the
// wait that an advance of the clock ends.
#include "support/recorder.h"

#include <paltest.h>

#include <gtest/gtest.h>

#include <thread>

namespace {

class Timers : public ::testing::Test {
  protected:
    void SetUp() override { PalClockSetVirtual(TRUE, 1000); }
    void TearDown() override { PalClockSetVirtual(FALSE, 0); }
};

std::vector<std::pair<UINT_PTR, DWORD>> procs_called;

void CALLBACK timer_proc(HWND hwnd, UINT msg, UINT_PTR id, DWORD ticks)
{
    EXPECT_EQ(nullptr, hwnd);
    EXPECT_EQ((UINT)WM_TIMER, msg);
    procs_called.emplace_back(id, ticks);
}

TEST_F(Timers, AWindowTimerFallsDueExactlyEachPeriod)
{
    register_recording_class("TimerWnd");
    HWND w = make_window("TimerWnd");
    EXPECT_EQ(7u, SetTimer(w, 7, 4000, nullptr));
    MSG m;
    PalClockAdvance(3999);
    EXPECT_FALSE(PeekMessageA(&m, nullptr, 0, 0, PM_REMOVE));
    PalClockAdvance(1);
    ASSERT_TRUE(PeekMessageA(&m, nullptr, 0, 0, PM_REMOVE));
    EXPECT_EQ((UINT)WM_TIMER, m.message);
    EXPECT_FALSE(PeekMessageA(&m, nullptr, 0, 0, PM_REMOVE)) << "one message per period";

    PalClockAdvance(10000);
    ASSERT_TRUE(PeekMessageA(&m, nullptr, 0, 0, PM_REMOVE));
    EXPECT_FALSE(PeekMessageA(&m, nullptr, 0, 0, PM_REMOVE)) << "a late timer is not caught up";

    KillTimer(w, 7);
    SetTimer(w, 8, 1, nullptr);
    PalClockAdvance(9);
    EXPECT_FALSE(PeekMessageA(&m, nullptr, 0, 0, PM_REMOVE)) << "periods are at least 10 ms";
    PalClockAdvance(1);
    EXPECT_TRUE(PeekMessageA(&m, nullptr, 0, 0, PM_REMOVE));
    DestroyWindow(w);
}

TEST_F(Timers, TimersWithoutAWindowGetIdsOfTheirOwnAndCallTheirProcedure)
{
    procs_called.clear();
    UINT_PTR a = SetTimer(nullptr, 0, 100, timer_proc);
    UINT_PTR b = SetTimer(nullptr, 0, 250, timer_proc);
    EXPECT_EQ(a, SetTimer(nullptr, a, 200, timer_proc)) << "an existing id replaces the timer";

    PalClockAdvance(250);
    MSG m;
    while (PeekMessageA(&m, nullptr, 0, 0, PM_REMOVE))
        DispatchMessageA(&m);
    ASSERT_EQ(2u, procs_called.size());
    EXPECT_EQ(a, procs_called[0].first) << "the earlier due time goes first";
    EXPECT_EQ(b, procs_called[1].first);
    EXPECT_EQ(1250u, procs_called[1].second) << "the procedure gets the tick count";

    KillTimer(nullptr, a);
    KillTimer(nullptr, b);
}

TEST_F(Timers, AWaitingThreadWakesWhenAnotherThreadAdvancesTheClock)
{
    register_recording_class("WaitWnd");
    HWND w = make_window("WaitWnd");
    SetTimer(w, 1, 124000, nullptr);
    std::thread advancer([] { PalClockAdvance(124000); });
    MSG m;
    ASSERT_TRUE(GetMessageA(&m, nullptr, 0, 0));
    EXPECT_EQ((UINT)WM_TIMER, m.message);
    advancer.join();
    DestroyWindow(w);
}

BOOL CALLBACK advance_when_idle(void *calls)
{
    ++*(int *)calls;
    PalClockAdvance(4000);
    return TRUE;
}

TEST_F(Timers, TheIdleHookRunsWhenTheThreadWouldBlock)
{
    register_recording_class("IdleWnd");
    HWND w = make_window("IdleWnd");
    SetTimer(w, 2, 4000, nullptr);
    int calls = 0;
    PalSetIdleHook(advance_when_idle, &calls);
    MSG m;
    ASSERT_TRUE(GetMessageA(&m, nullptr, 0, 0));
    PalSetIdleHook(nullptr, nullptr);
    EXPECT_EQ(1, calls);
    EXPECT_EQ(5000u, GetTickCount());
    DestroyWindow(w);
}

} // namespace
