// The message descriptor of an application's own event loop: readable
// exactly while the thread has work (posts from any thread, sent messages,
// due timers, incoming RPC calls), quiet once PeekMessageA has emptied the
// queue, and enough on its own to drive the RPC service.
#include "support/loopcall.h"

#include <windows.h>
#include <palevent.h>
#include <palrpc.h>
#include <paltest.h>
#include <rpc/rpc.h>

#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>

#include <atomic>
#include <future>
#include <thread>
#include <vector>

namespace {

const rpcprog_t PROG = 0x20000124;
const UINT DONE = WM_USER + 0x52;

bool readable(int fd, int ms = 0)
{
    struct pollfd p = {fd, POLLIN, 0};
    return poll(&p, 1, ms) == 1 && (p.revents & POLLIN);
}

/* Empties the queue as the application's loop does; the messages seen, in
 * order. */
std::vector<UINT> drain()
{
    std::vector<UINT> seen;
    MSG m;
    while (PeekMessageA(&m, nullptr, 0, 0, PM_REMOVE)) {
        seen.push_back(m.message);
        TranslateMessage(&m);
        DispatchMessageA(&m);
    }
    return seen;
}

class LoopFd : public ::testing::Test {
  protected:
    void SetUp() override
    {
        fd = PalGetMessageFd();
        ASSERT_GE(fd, 0);
        drain();
        ASSERT_FALSE(readable(fd)) << "quiet once the queue is empty";
    }
    void TearDown() override
    {
        PalClockSetVirtual(FALSE, 0);
        drain();
    }
    int fd = -1;
};

TEST_F(LoopFd, PostsAndSentMessagesMakeItReadableUntilTheQueueIsEmpty)
{
    EXPECT_EQ(fd, PalGetMessageFd()) << "one descriptor for the thread's life";
    int other = -1;
    std::thread([&] { other = PalGetMessageFd(); }).join();
    EXPECT_NE(fd, other) << "each thread has its own";
    EXPECT_EQ(-1, fcntl(other, F_GETFD)) << "closed when its thread ended";

    const DWORD me = GetCurrentThreadId();
    std::thread([me] { PostThreadMessageA(me, WM_USER, 0, 0); }).join();
    EXPECT_TRUE(readable(fd)) << "a post from another thread";
    EXPECT_EQ(std::vector<UINT>{WM_USER}, drain());
    EXPECT_FALSE(readable(fd));

    PostThreadMessageA(me, WM_USER + 1, 0, 0);
    EXPECT_TRUE(readable(fd)) << "a post from the thread itself: its loop did not see it";
    MSG m;
    EXPECT_FALSE(PeekMessageA(&m, nullptr, WM_TIMER, WM_TIMER, PM_REMOVE));
    EXPECT_TRUE(readable(fd)) << "a filtered look leaves the post, and the descriptor readable";
    EXPECT_EQ(std::vector<UINT>{WM_USER + 1}, drain());
    EXPECT_FALSE(readable(fd));

    /* A message sent from another thread waits for this loop. */
    WNDCLASSA wc{};
    wc.lpfnWndProc = [](HWND h, UINT msg, WPARAM wp, LPARAM lp) -> LRESULT {
        return msg == WM_USER ? 7 : DefWindowProcA(h, msg, wp, lp);
    };
    wc.lpszClassName = "LoopFdWnd";
    RegisterClassA(&wc);
    HWND w =
        CreateWindowExA(0, "LoopFdWnd", "", 0, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr);
    ASSERT_NE(nullptr, w);
    drain();
    std::future<LRESULT> sent =
        std::async(std::launch::async, [w] { return SendMessageA(w, WM_USER, 0, 0); });
    EXPECT_TRUE(readable(fd, 10000)) << "a message sent from another thread";
    drain();
    EXPECT_EQ(7, sent.get());
    DestroyWindow(w);
    drain();
    EXPECT_FALSE(readable(fd));
}

TEST_F(LoopFd, DueTimersMakeItReadableAndTheTimeOutCountsDownToThem)
{
    PalClockSetVirtual(TRUE, 1000);
    drain();
    EXPECT_EQ(INFINITE, PalGetMessageTimeout()) << "no timer";
    UINT_PTR id = SetTimer(nullptr, 0, 500, nullptr);
    drain();
    EXPECT_FALSE(readable(fd));
    EXPECT_EQ(500u, PalGetMessageTimeout());

    PalClockAdvance(499);
    EXPECT_TRUE(readable(fd)) << "an advance of the clock wakes the loop";
    EXPECT_EQ(std::vector<UINT>{}, drain()) << "nothing due yet";
    EXPECT_FALSE(readable(fd));
    EXPECT_EQ(1u, PalGetMessageTimeout());

    PalClockAdvance(1);
    EXPECT_EQ(0u, PalGetMessageTimeout()) << "due now";
    EXPECT_TRUE(readable(fd));
    EXPECT_EQ(std::vector<UINT>{WM_TIMER}, drain());
    EXPECT_FALSE(readable(fd));
    EXPECT_EQ(500u, PalGetMessageTimeout()) << "one period on";
    KillTimer(nullptr, id);

    /* In real time the descriptor itself says when the next timer is due. */
    PalClockSetVirtual(FALSE, 0);
    id = SetTimer(nullptr, 0, 20, nullptr);
    const DWORD set_at = GetTickCount();
    drain();
    ASSERT_FALSE(readable(fd));
    ASSERT_TRUE(readable(fd, 10000));
    EXPECT_GE(GetTickCount() - set_at, 20u) << "not before the timer is due";
    EXPECT_EQ(std::vector<UINT>{WM_TIMER}, drain());
    KillTimer(nullptr, id);
    drain();
}

std::atomic<int> calls_served{0};

void serve(struct svc_req *, SVCXPRT *xprt)
{
    ++calls_served;
    int arg = 0;
    svc_getargs(xprt, (xdrproc_t)xdr_int, (char *)&arg);
    int result = arg + 1;
    svc_sendreply(xprt, (xdrproc_t)xdr_int, (char *)&result);
    svc_freeargs(xprt, (xdrproc_t)xdr_int, (char *)&arg);
}

/* Only the descriptor and PeekMessageA serve: a connection accepted in one
 * turn is waited on in the next. */
TEST_F(LoopFd, IncomingCallsAreServedByTheApplicationsLoop)
{
    for (bool tcp : {false, true}) {
        SCOPED_TRACE(tcp ? "TCP" : "UDP");
        SVCXPRT *xprt = tcp ? svctcp_create(RPC_ANYSOCK, 0, 0) : svcudp_create(RPC_ANYSOCK);
        ASSERT_NE(nullptr, xprt);
        ASSERT_TRUE(svc_register(xprt, PROG, 1, serve, 0)); /* no port mapper */
        PalRpcServeOnThisThread(TRUE);
        drain();
        EXPECT_FALSE(readable(fd)) << "the server waits, nothing is pending";

        calls_served = 0;
        const DWORD me = GetCurrentThreadId();
        int answer = 0;
        std::thread client([&, me, port = xprt->xp_port] {
            answer = loopback_call(PROG, port, tcp, 41);
            PostThreadMessageA(me, DONE, 0, 0);
        });
        bool done = false;
        while (!done && readable(fd, 20000)) {
            for (UINT m : drain())
                done = done || m == DONE;
        }
        client.join();
        EXPECT_TRUE(done) << "the loop fell asleep with the call pending";
        EXPECT_EQ(42, answer);
        EXPECT_EQ(1, calls_served);

        PalRpcServeOnThisThread(FALSE);
        svc_unregister(PROG, 1);
        svc_destroy(xprt);
        drain();
        EXPECT_FALSE(readable(fd)) << "the server's descriptors went with it";
    }
}

} // namespace
