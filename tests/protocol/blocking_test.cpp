// Waiting without stopping the message loop.  PalRunBlocking: the work runs
// on another thread while the calling thread keeps handling posted and sent
// messages and timers, also when it is entered again, and a WM_QUIT met
// meanwhile still ends the caller's loop.  PalWaitSocket: the same loop
// around one descriptor, ended by its readiness or by a limit of the
// platform clock, also nested.
#include <windows.h>
#include <palrpc.h>
#include <paltest.h>

#include <sys/socket.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace {

const UINT PING = WM_USER + 1;
const UINT NESTED = WM_USER + 2;
const UINT WRITE_PEER = WM_USER + 3; // writes a byte to the descriptor in wparam
const UINT WAIT_INNER = WM_USER + 4;

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
int peer_fd = -1;
int inner_fd = -1;

LRESULT CALLBACK proc(HWND hwnd, UINT msg, WPARAM wparam, LPARAM lparam)
{
    switch (msg) {
    case PING:
        note(GetCurrentThreadId() == main_thread ? "ping on caller" : "ping elsewhere");
        return 41 + (LRESULT)wparam;
    case NESTED:
        note("inner result " +
             std::to_string(PalRunBlocking([](void *) -> DWORD WINAPI { return 2; }, nullptr)));
        return 0;
    case WM_TIMER:
        KillTimer(hwnd, wparam);
        note("timer");
        return 0;
    case WRITE_PEER:
        note("write " + std::to_string(wparam));
        EXPECT_EQ(1, write((int)wparam, "x", 1));
        return 0;
    case WAIT_INNER:
        // The inner socket's peer is written from a message handled inside
        // this inner wait.
        PostMessageA(hwnd, WRITE_PEER, (WPARAM)peer_fd, 0);
        note("inner ready " + std::to_string(PalWaitSocket(inner_fd, PAL_SOCKET_READ, 60000)));
        return 0;
    default:
        return DefWindowProcA(hwnd, msg, wparam, lparam);
    }
}

void expect_quit(WPARAM code)
{
    MSG m;
    ASSERT_TRUE(PeekMessageA(&m, nullptr, 0, 0, PM_REMOVE));
    EXPECT_EQ((UINT)WM_QUIT, m.message);
    EXPECT_EQ(code, m.wParam);
    EXPECT_FALSE(PeekMessageA(&m, nullptr, 0, 0, PM_REMOVE)) << "posted once";
}

class Blocking : public ::testing::Test {
  protected:
    void SetUp() override
    {
        WNDCLASSA wc = {};
        wc.lpfnWndProc = proc;
        wc.lpszClassName = "BlockingTarget";
        RegisterClassA(&wc);
        target = CreateWindowExA(0, "BlockingTarget", "", 0, 0, 0, 0, 0, nullptr, nullptr, nullptr,
                                 nullptr);
        main_thread = GetCurrentThreadId();
        events.clear();
    }
    void TearDown() override
    {
        PalSetIdleHook(nullptr, nullptr);
        PalClockSetVirtual(FALSE, 0);
        DestroyWindow(target);
    }
};

TEST_F(Blocking, PostedAndSentMessagesAreHandledOnTheCallerWhileTheWorkRuns)
{
    static DWORD worker_thread = 0;
    DWORD result = PalRunBlocking(
        [](void *) -> DWORD WINAPI {
            worker_thread = GetCurrentThreadId();
            PostMessageA(target, PING, 0, 0);
            await("ping on caller");
            return (DWORD)SendMessageA(target, PING, 1, 0) + 100;
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
    expect_quit(7);
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

// A connected pair of stream sockets; [0] is waited on, [1] is the peer.
struct SocketPair {
    int fd[2] = {-1, -1};
    SocketPair() { EXPECT_EQ(0, socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, fd)); }
    ~SocketPair()
    {
        for (int f : fd)
            if (f >= 0)
                close(f);
    }
};

DWORD advance_step = 0;
BOOL CALLBACK advance_clock(void *)
{
    PalClockAdvance(advance_step);
    return TRUE;
}

using WaitSocket = Blocking;

TEST_F(WaitSocket, ReturnsTheReadinessThatMessagesHandledMeanwhileBrought)
{
    SocketPair pair;
    // Writable at once; not readable until the posted message writes.
    EXPECT_EQ((DWORD)PAL_SOCKET_WRITE, PalWaitSocket(pair.fd[0], PAL_SOCKET_WRITE, 60000));
    PostMessageA(target, WRITE_PEER, (WPARAM)pair.fd[1], 0);
    EXPECT_EQ((DWORD)PAL_SOCKET_READ, PalWaitSocket(pair.fd[0], PAL_SOCKET_READ, 60000));
    EXPECT_EQ((std::vector<std::string>{"write " + std::to_string(pair.fd[1])}), events);

    // A sent message from another thread is handled while waiting too.
    char c;
    ASSERT_EQ(1, read(pair.fd[0], &c, 1));
    std::thread sender([&] { SendMessageA(target, WRITE_PEER, (WPARAM)pair.fd[1], 0); });
    EXPECT_EQ((DWORD)PAL_SOCKET_READ, PalWaitSocket(pair.fd[0], PAL_SOCKET_READ, 60000));
    sender.join();

    // The peer's hang-up is reported whatever was asked for.
    ASSERT_EQ(1, read(pair.fd[0], &c, 1));
    close(pair.fd[1]);
    pair.fd[1] = -1;
    EXPECT_TRUE(PalWaitSocket(pair.fd[0], PAL_SOCKET_READ, 60000) & PAL_SOCKET_HANGUP);
}

TEST_F(WaitSocket, TheLimitFollowsThePlatformClock)
{
    SocketPair pair;
    PalClockSetVirtual(TRUE, 5000);
    advance_step = 700;
    PalSetIdleHook(advance_clock, nullptr);
    EXPECT_EQ(0u, PalWaitSocket(pair.fd[0], PAL_SOCKET_READ, 3000));
    // Waits end at the first look past the limit: 5 steps of 700 ms.
    EXPECT_EQ(5000u + 3500u, GetTickCount());
    // A limit of 0 only dispatches what waits and looks at nothing.
    PostMessageA(target, WRITE_PEER, (WPARAM)pair.fd[1], 0);
    EXPECT_EQ(0u, PalWaitSocket(pair.fd[0], PAL_SOCKET_READ, 0));
    EXPECT_EQ(1u, events.size()) << "the message was handled";
    // Readiness wins over a limit that has not passed.
    EXPECT_EQ((DWORD)PAL_SOCKET_READ, PalWaitSocket(pair.fd[0], PAL_SOCKET_READ, 3000));
    EXPECT_EQ(5000u + 3500u, GetTickCount()) << "no idle moment was needed";
}

TEST_F(WaitSocket, AQuitIsKeptAndAWaitCanNestInAHandler)
{
    SocketPair outer, inner;
    inner_fd = inner.fd[0];
    peer_fd = inner.fd[1];
    PostQuitMessage(3);
    PostMessageA(target, WAIT_INNER, 0, 0);
    // The inner wait handles what was posted before it, the outer's message
    // included; the outer wait then finds its socket ready.
    PostMessageA(target, WRITE_PEER, (WPARAM)outer.fd[1], 0);
    EXPECT_EQ((DWORD)PAL_SOCKET_READ, PalWaitSocket(outer.fd[0], PAL_SOCKET_READ, 60000));
    EXPECT_EQ((std::vector<std::string>{"write " + std::to_string(outer.fd[1]),
                                        "write " + std::to_string(inner.fd[1]), "inner ready 1"}),
              events);
    expect_quit(3);
}

} // namespace
