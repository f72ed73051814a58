// Timers: their ids, their place after posted messages, and their end. Time
// is real under Wine, so only the order of events is pinned, never a tick.
#include "conformance.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

class Timers : public ::testing::Test {
  protected:
    void SetUp() override { conf::begin_time(); }
    void TearDown() override { conf::end_time(); }
};

std::vector<UINT_PTR> procs_called;

void CALLBACK timer_proc(HWND hwnd, UINT msg, UINT_PTR id, DWORD)
{
    EXPECT_EQ(nullptr, hwnd);
    EXPECT_EQ((UINT)WM_TIMER, msg);
    procs_called.push_back(id);
}

TEST_F(Timers, ADueTimerComesAfterPostedMessagesAndEndsWithKillTimer)
{
    conf::register_class("ConfTimer", DefWindowProcA);
    HWND w = CreateWindowExA(0, "ConfTimer", "", 0, 0, 0, 10, 10, nullptr, nullptr,
                             conf::instance(), nullptr);
    ASSERT_NE(nullptr, w);
    EXPECT_EQ(7u, SetTimer(w, 7, 100, nullptr)) << "a window's timer keeps the caller's id";
    conf::pass_time(100);
    PostMessageA(w, WM_USER, 0, 0);
    MSG m;
    ASSERT_TRUE(PeekMessageA(&m, w, 0, 0, PM_REMOVE));
    EXPECT_EQ((UINT)WM_USER, m.message) << "a posted message goes before a due timer";
    ASSERT_TRUE(PeekMessageA(&m, w, 0, 0, PM_REMOVE));
    EXPECT_EQ((UINT)WM_TIMER, m.message);
    EXPECT_TRUE(m.wParam == 7 && m.hwnd == w);

    EXPECT_TRUE(KillTimer(w, 7));
    EXPECT_FALSE(KillTimer(w, 7)) << "once";
    conf::pass_time(200);
    EXPECT_FALSE(PeekMessageA(&m, w, WM_TIMER, WM_TIMER, PM_REMOVE)) << "a killed timer is quiet";

    SetTimer(w, 8, 100, nullptr);
    DestroyWindow(w);
    conf::pass_time(200);
    EXPECT_FALSE(PeekMessageA(&m, nullptr, WM_TIMER, WM_TIMER, PM_REMOVE))
        << "timers end with their window";
}

TEST_F(Timers, TimersWithoutAWindowGetIdsOfTheirOwnAndCallTheirProcedure)
{
    procs_called.clear();
    UINT_PTR a = SetTimer(nullptr, 0, 100, timer_proc);
    UINT_PTR b = SetTimer(nullptr, 0, 100, timer_proc);
    ASSERT_TRUE(a && b && a != b);
    EXPECT_EQ(a, SetTimer(nullptr, a, 100, timer_proc)) << "an existing id replaces the timer";

    conf::pass_time(100);
    MSG m;
    while (PeekMessageA(&m, nullptr, WM_TIMER, WM_TIMER, PM_REMOVE))
        DispatchMessageA(&m);
    EXPECT_EQ(2u, procs_called.size());
    for (UINT_PTR id : procs_called)
        EXPECT_TRUE(id == a || id == b) << id;
    EXPECT_TRUE(KillTimer(nullptr, a));
    EXPECT_TRUE(KillTimer(nullptr, b));
    EXPECT_FALSE(KillTimer(nullptr, b));
}

} // namespace
