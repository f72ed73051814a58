// PalWaitSocket keeps the message loop going while it waits, also when a
// handler waits in turn, ends as soon as its answer is there once a nested
// wait is over, and keeps a WM_QUIT met for the caller's own loop.
#include <windows.h>
#include <palrpc.h>
#include <paltest.h>

#include <sys/socket.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

const UINT WRITE_PEER = WM_USER + 3; // writes a byte to the descriptor in wparam
const UINT WAIT_INNER = WM_USER + 4;
const UINT LINGER = WM_USER + 5;      // writes the peer in wparam, then takes a minute
const UINT ANSWER_BOTH = WM_USER + 6; // answers the outer and the inner wait, then waits
const UINT LATER = WM_USER + 7;

std::vector<std::string> events;
int peer_fd = -1;
int inner_fd = -1;

LRESULT CALLBACK proc(HWND hwnd, UINT msg, WPARAM wparam, LPARAM lparam)
{
    switch (msg) {
    case WRITE_PEER:
        events.push_back("write " + std::to_string(wparam));
        EXPECT_EQ(1, write((int)wparam, "x", 1));
        return 0;
    case WAIT_INNER:
        // Its peer is written from a message handled inside this inner wait.
        PostMessageA(hwnd, WRITE_PEER, (WPARAM)peer_fd, 0);
        events.push_back("inner ready " +
                         std::to_string(PalWaitSocket(inner_fd, PAL_SOCKET_READ, 60000)));
        return 0;
    case ANSWER_BOTH:
        // As an exchange started by a message while another waits: both
        // answers are in before this handler's own wait ends.
        EXPECT_EQ(1, write(peer_fd, "x", 1));
        EXPECT_EQ(1, write((int)wparam, "x", 1));
        events.push_back("inner ready " +
                         std::to_string(PalWaitSocket(inner_fd, PAL_SOCKET_READ, 60000)));
        PostMessageA(hwnd, LATER, 0, 0);
        return 0;
    case LATER:
        events.push_back("later");
        return 0;
    case LINGER:
        // As a dialog left open inside the wait: the answer comes at once,
        // the handler returns only after the waiter's time has passed.
        EXPECT_EQ(1, write((int)wparam, "x", 1));
        PalClockAdvance(60000);
        return 0;
    default:
        return DefWindowProcA(hwnd, msg, wparam, lparam);
    }
}

// A connected pair of stream sockets; [0] is waited on, [1] is the peer.
struct SocketPair {
    int fd[2] = {-1, -1};
    SocketPair() { EXPECT_EQ(0, socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, fd)); }
    ~SocketPair()
    {
        close(fd[0]);
        close(fd[1]);
    }
};

// A window of `proc`; its class is registered by the first call.
HWND target_window()
{
    WNDCLASSA wc = {};
    wc.lpfnWndProc = proc;
    wc.lpszClassName = "BlockingTarget";
    RegisterClassA(&wc);
    return CreateWindowExA(0, "BlockingTarget", "", 0, 0, 0, 0, 0, nullptr, nullptr, nullptr,
                           nullptr);
}

// An outer wait on one pair and a handler's inner wait on another.
class NestedWait : public ::testing::Test {
  protected:
    void SetUp() override
    {
        events.clear();
        inner_fd = inner.fd[0];
        peer_fd = inner.fd[1];
    }
    void TearDown() override { DestroyWindow(target); }

    HWND target = target_window();
    SocketPair outer, inner;
};

TEST_F(NestedWait, AQuitIsKeptAndAWaitCanNestInAHandler)
{
    PostQuitMessage(3);
    PostMessageA(target, WAIT_INNER, 0, 0);
    // The inner wait handles what was posted before it, the outer's message
    // included; the outer wait then finds its socket ready.
    PostMessageA(target, WRITE_PEER, (WPARAM)outer.fd[1], 0);
    EXPECT_EQ((DWORD)PAL_SOCKET_READ, PalWaitSocket(outer.fd[0], PAL_SOCKET_READ, 60000));
    EXPECT_EQ((std::vector<std::string>{"write " + std::to_string(outer.fd[1]),
                                        "write " + std::to_string(inner.fd[1]), "inner ready 1"}),
              events);
    MSG m;
    ASSERT_TRUE(PeekMessageA(&m, nullptr, 0, 0, PM_REMOVE));
    EXPECT_EQ((UINT)WM_QUIT, m.message);
    EXPECT_EQ(3u, m.wParam);
    EXPECT_FALSE(PeekMessageA(&m, nullptr, 0, 0, PM_REMOVE)) << "posted once";
}

TEST_F(NestedWait, AWaitWhoseAnswerCameDuringANestedWaitEndsBeforeDispatchingMore)
{
    PostMessageA(target, ANSWER_BOTH, (WPARAM)outer.fd[1], 0);
    EXPECT_EQ((DWORD)PAL_SOCKET_READ, PalWaitSocket(outer.fd[0], PAL_SOCKET_READ, 60000));
    EXPECT_EQ((std::vector<std::string>{"inner ready 1"}), events);
    // What the handler posted is left for the caller's loop.
    MSG m;
    ASSERT_TRUE(PeekMessageA(&m, nullptr, 0, 0, PM_REMOVE));
    EXPECT_EQ(LATER, m.message);
}

TEST(WaitSocket, AnAnswerThatCameWhileAHandlerTookTheTimeIsReported)
{
    HWND target = target_window();
    PalClockSetVirtual(TRUE, 1000);
    SocketPair pair;
    PostMessageA(target, LINGER, (WPARAM)pair.fd[1], 0);
    EXPECT_EQ((DWORD)PAL_SOCKET_READ, PalWaitSocket(pair.fd[0], PAL_SOCKET_READ, 25000));
    // Nothing more to read: the time is up and nothing is reported.
    char byte;
    EXPECT_EQ(1, read(pair.fd[0], &byte, 1));
    EXPECT_EQ(0u, PalWaitSocket(pair.fd[0], PAL_SOCKET_READ, 0));
    PalClockSetVirtual(FALSE, 0);
    DestroyWindow(target);
}

} // namespace
