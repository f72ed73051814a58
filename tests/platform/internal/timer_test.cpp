// Timers in virtual time: exactly when they fall due, and the wait that an
// advance of the clock ends (ids and order: conformance/timer_test.cpp; the
// idle hook drives protocol/send_test.cpp and robustness/exchange_test.cpp).
#include "support/recorder.h"

#include <paltest.h>

#include <gtest/gtest.h>

#include <thread>

namespace {

class Timers : public ::testing::Test {
  protected:
    void SetUp() override
    {
        PalClockSetVirtual(TRUE, 1000);
        register_recording_class("TimerWnd");
        w = make_window("TimerWnd");
    }
    void TearDown() override
    {
        DestroyWindow(w);
        PalClockSetVirtual(FALSE, 0);
    }
    HWND w = nullptr;
    MSG m;
};

TEST_F(Timers, AWindowTimerFallsDueExactlyEachPeriod)
{
    EXPECT_EQ(7u, SetTimer(w, 7, 4000, nullptr));
    PalClockAdvance(3999);
    EXPECT_FALSE(PeekMessageA(&m, nullptr, 0, 0, PM_REMOVE));
    PalClockAdvance(1);
    ASSERT_TRUE(PeekMessageA(&m, nullptr, 0, 0, PM_REMOVE));
    EXPECT_EQ((UINT)WM_TIMER, m.message);
    EXPECT_FALSE(PeekMessageA(&m, nullptr, 0, 0, PM_REMOVE)) << "one message per period";

    PalClockAdvance(10000);
    ASSERT_TRUE(PeekMessageA(&m, nullptr, 0, 0, PM_REMOVE));
    EXPECT_FALSE(PeekMessageA(&m, nullptr, 0, 0, PM_REMOVE)) << "a late timer is not caught up";
}

TEST_F(Timers, AWaitingThreadWakesWhenAnotherThreadAdvancesTheClock)
{
    SetTimer(w, 1, 124000, nullptr);
    std::thread advancer([] { PalClockAdvance(124000); });
    ASSERT_TRUE(GetMessageA(&m, nullptr, 0, 0));
    EXPECT_EQ((UINT)WM_TIMER, m.message);
    advancer.join();
}

} // namespace
