// PalRunBlocking: the work runs on another thread while the calling thread
// keeps handling posted and sent messages and timers, also when it is
// entered again, and a WM_QUIT met meanwhile still ends the caller's loop.
#include <windows.h>
#include <palrpc.h>

#include "support/recorder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <condition_variable>
#include <mutex>

namespace {

const UINT PING = WM_USER + 1;
const UINT NESTED = WM_USER + 2;

std::mutex mu;
std::condition_variable cv;
std::vector<std::string> events;

void note(const std::string &e)
{
    std::lock_guard<std::mutex> lock(mu);
    events.push_back(e);
    cv.notify_all();
}

// Waits on the worker until `e` was noted.
void await(const std::string &e)
{
    std::unique_lock<std::mutex> lock(mu);
    cv.wait(lock, [&] { return std::find(events.begin(), events.end(), e) != events.end(); });
}

HWND target = nullptr;
DWORD main_thread = 0;

DWORD WINAPI inner_work(void *) { return 2; }

LRESULT CALLBACK proc(HWND hwnd, UINT msg, WPARAM wparam, LPARAM lparam)
{
    switch (msg) {
    case PING:
        note(GetCurrentThreadId() == main_thread ? "ping on caller" : "ping elsewhere");
        return 41 + (LRESULT)wparam;
    case NESTED:
        note("inner result " + std::to_string(PalRunBlocking(inner_work, nullptr)));
        return 0;
    case WM_TIMER:
        KillTimer(hwnd, wparam);
        note("timer");
        return 0;
    default:
        return DefWindowProcA(hwnd, msg, wparam, lparam);
    }
}

class Blocking : public ::testing::Test {
  protected:
    void SetUp() override
    {
        WNDCLASSA wc = {};
        wc.lpfnWndProc = proc;
        wc.lpszClassName = "BlockingTarget";
        RegisterClassA(&wc);
        target = CreateWindowExA(0, "BlockingTarget", "", 0, 0, 0, 0, 0, nullptr, nullptr,
                                 nullptr, nullptr);
        main_thread = GetCurrentThreadId();
        events.clear();
    }
    void TearDown() override { DestroyWindow(target); }
};

TEST_F(Blocking, PostedAndSentMessagesAreHandledOnTheCallerWhileTheWorkRuns)
{
    static DWORD worker_thread = 0;
    DWORD result = PalRunBlocking(
        [](void *) -> DWORD WINAPI {
            worker_thread = GetCurrentThreadId();
            PostMessageA(target, PING, 0, 0);
            await("ping on caller");
            LRESULT sent = SendMessageA(target, PING, 1, 0);
            return (DWORD)sent + 100;
        },
        nullptr);
    EXPECT_EQ(142u, result);
    EXPECT_NE(main_thread, worker_thread);
    EXPECT_EQ((std::vector<std::string>{"ping on caller", "ping on caller"}), events);
}

TEST_F(Blocking, AQuitMetWhileWaitingIsPostedAgainAfterwards)
{
    PostQuitMessage(7);
    // Timers come after WM_QUIT, so once the timer has run the quit was met.
    SetTimer(target, 1, 0, nullptr);
    PalRunBlocking(
        [](void *) -> DWORD WINAPI {
            await("timer");
            return 0;
        },
        nullptr);
    MSG m;
    ASSERT_TRUE(PeekMessageA(&m, nullptr, 0, 0, PM_REMOVE));
    EXPECT_EQ((UINT)WM_QUIT, m.message);
    EXPECT_EQ(7u, m.wParam);
    EXPECT_FALSE(PeekMessageA(&m, nullptr, 0, 0, PM_REMOVE)) << "posted once";
}

TEST_F(Blocking, TheCallerCanBeEnteredAgainAndWaitInTurn)
{
    DWORD result = PalRunBlocking(
        [](void *) -> DWORD WINAPI {
            PostMessageA(target, NESTED, 0, 0);
            await("inner result 2");
            return 1;
        },
        nullptr);
    EXPECT_EQ(1u, result);
    EXPECT_EQ((std::vector<std::string>{"inner result 2"}), events);
}

} // namespace
