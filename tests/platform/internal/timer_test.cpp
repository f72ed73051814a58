// Timers in virtual time: their place after posted messages, their end, a
// late one, and the wait that an advance of the clock ends (exactly when they
// fall due, and timers without a window: fsm/ring_test.cpp, ui/rsvp_test.cpp).
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

TEST_F(Timers, ADueTimerComesAfterPostedMessagesAndEndsWithItsWindow)
{
    EXPECT_EQ(7u, SetTimer(w, 7, 100, nullptr)) << "a window's timer keeps the caller's id";
    PalClockAdvance(100);
    PostMessageA(w, WM_USER, 0, 0);
    ASSERT_TRUE(PeekMessageA(&m, w, 0, 0, PM_REMOVE));
    EXPECT_EQ((UINT)WM_USER, m.message) << "a posted message goes before a due timer";
    ASSERT_TRUE(PeekMessageA(&m, w, 0, 0, PM_REMOVE));
    EXPECT_TRUE(m.message == WM_TIMER && m.wParam == 7);
    EXPECT_TRUE(KillTimer(w, 7));
    EXPECT_FALSE(KillTimer(w, 7)) << "once";

    SetTimer(w, 8, 100, nullptr);
    DestroyWindow(w);
    PalClockAdvance(200);
    EXPECT_FALSE(PeekMessageA(&m, nullptr, WM_TIMER, WM_TIMER, PM_REMOVE))
        << "timers end with their window";
}

TEST_F(Timers, ALateTimerIsNotCaughtUp)
{
    SetTimer(w, 7, 4000, nullptr);
    PalClockAdvance(14000);
    ASSERT_TRUE(PeekMessageA(&m, nullptr, 0, 0, PM_REMOVE));
    EXPECT_EQ((UINT)WM_TIMER, m.message);
    EXPECT_FALSE(PeekMessageA(&m, nullptr, 0, 0, PM_REMOVE)) << "one message for three periods";
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
