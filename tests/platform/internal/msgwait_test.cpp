// The thread's wait for messages.  Timers in virtual time: their place after
// posted messages, their end, a late one, and the wait that an advance of the
// clock ends (exactly when they fall due, and timers without a window:
// fsm/ring_test.cpp, ui/rsvp_test.cpp).  The RPC server inside the wait: a
// call is served on the thread named to serve while it waits for messages,
// also inside a modal dialog; threads that merely look at their own queues
// never serve.  The message descriptor of an application's own event loop:
// readable exactly while the thread has work (posts from any thread, sent
// messages, due timers, incoming RPC calls), quiet once PeekMessageA has
// emptied the queue, and enough on its own to drive the RPC service.
#include "support/instance.h"
#include "support/loopcall.h"
#include "support/recorder.h"

#include <windows.h>
#include <palevent.h>
#include <palrpc.h>
#include <paltest.h>
#include <rpc/rpc.h>

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <functional>
#include <future>
#include <thread>
#include <vector>

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

TEST_F(Timers, ADueTimerComesAfterPostsIsNotCaughtUpWakesAWaitAndEndsWithItsWindow)
{
    EXPECT_EQ(7u, SetTimer(w, 7, 100, nullptr)) << "a window's timer keeps the caller's id";
    PalClockAdvance(100);
    PostMessageA(w, WM_USER, 0, 0);
    ASSERT_TRUE(PeekMessageA(&m, w, 0, 0, PM_REMOVE));
    EXPECT_EQ((UINT)WM_USER, m.message) << "a posted message goes before a due timer";
    ASSERT_TRUE(PeekMessageA(&m, w, 0, 0, PM_REMOVE));
    EXPECT_TRUE(m.message == WM_TIMER && m.wParam == 7);
    PalClockAdvance(350);
    ASSERT_TRUE(PeekMessageA(&m, nullptr, 0, 0, PM_REMOVE));
    EXPECT_EQ((UINT)WM_TIMER, m.message);
    EXPECT_FALSE(PeekMessageA(&m, nullptr, 0, 0, PM_REMOVE)) << "one message for three periods";
    EXPECT_TRUE(KillTimer(w, 7));
    EXPECT_FALSE(KillTimer(w, 7)) << "once";

    /* A thread waiting for a timer wakes when another advances the clock. */
    SetTimer(w, 1, 124000, nullptr);
    std::thread advancer([] { PalClockAdvance(124000); });
    ASSERT_TRUE(GetMessageA(&m, nullptr, 0, 0));
    EXPECT_EQ((UINT)WM_TIMER, m.message);
    advancer.join();
    KillTimer(w, 1);

    SetTimer(w, 8, 100, nullptr);
    DestroyWindow(w);
    PalClockAdvance(200);
    EXPECT_FALSE(PeekMessageA(&m, nullptr, WM_TIMER, WM_TIMER, PM_REMOVE))
        << "timers end with their window";
}

const rpcprog_t PROG = 0x20000123;
const UINT DONE = WM_USER + 0x51; /* posted to a thread when a call is over */

unsigned short port; /* the test's server */
std::atomic<DWORD> served_on{0};
std::atomic<int> calls_served{0};
std::function<void(int result)> after_serving; /* on the serving thread, after each reply */

void dispatch(struct svc_req *, SVCXPRT *xprt)
{
    served_on = GetCurrentThreadId();
    ++calls_served;
    int arg = 0;
    svc_getargs(xprt, (xdrproc_t)xdr_int, (char *)&arg);
    int result = arg + 1;
    svc_sendreply(xprt, (xdrproc_t)xdr_int, (char *)&result);
    svc_freeargs(xprt, (xdrproc_t)xdr_int, (char *)&arg);
    if (after_serving)
        after_serving(result);
}

/* A call from a thread of its own, which then posts DONE to `notify`, if any. */
std::thread start_call(DWORD notify, int *answer)
{
    return std::thread([=] {
        *answer = loopback_call(PROG, port, false, 41);
        if (notify)
            PostThreadMessageA(notify, DONE, 0, 0);
    });
}

/* Dispatches the calling thread's messages until DONE arrives. */
void pump_until_done()
{
    MSG m;
    while (GetMessageA(&m, nullptr, 0, 0) > 0 && (m.hwnd || m.message != DONE))
        DispatchMessageA(&m);
}

/* Makes one call and checks it is served on this thread while it waits. */
void serve_here()
{
    int answer = 0;
    std::thread t = start_call(GetCurrentThreadId(), &answer);
    pump_until_done();
    t.join();
    EXPECT_EQ(42, answer);
    EXPECT_EQ(GetCurrentThreadId(), served_on);
}

class RpcWait : public ::testing::Test {
  protected:
    void SetUp() override
    {
        served_on = 0;
        calls_served = 0;
        after_serving = nullptr;
        xprt = svcudp_create(RPC_ANYSOCK);
        ASSERT_NE(nullptr, xprt);
        ASSERT_TRUE(svc_register(xprt, PROG, 1, dispatch, 0)); /* no port mapper */
        port = xprt->xp_port;
    }
    void TearDown() override
    {
        PalRpcServeOnThisThread(FALSE);
        svc_unregister(PROG, 1);
        if (xprt)
            svc_destroy(xprt);
        after_serving = nullptr;
    }
    SVCXPRT *xprt = nullptr;
};

std::thread modal_caller;
int modal_answer;

INT_PTR CALLBACK modal_proc(HWND dlg, UINT msg, WPARAM, LPARAM)
{
    if (msg != WM_INITDIALOG)
        return FALSE;
    /* Serving the call that arrives while the dialog's loop runs ends it. */
    after_serving = [dlg](int result) { EndDialog(dlg, result); };
    modal_caller = start_call(0, &modal_answer);
    return TRUE;
}

TEST_F(RpcWait, ACallIsServedOnTheThreadNamedLastOnlyAlsoInsideModalDialogs)
{
    /* Threads that only look at their queues, one of them gone: neither serves. */
    std::thread([] {
        MSG m;
        PeekMessageA(&m, nullptr, 0, 0, PM_NOREMOVE);
    }).join();
    std::promise<DWORD> pumping;
    std::thread helper([&pumping] {
        MSG m;
        PeekMessageA(&m, nullptr, 0, 0, PM_NOREMOVE);
        pumping.set_value(GetCurrentThreadId());
        while (GetMessageA(&m, nullptr, 0, 0) > 0)
            DispatchMessageA(&m);
    });
    DWORD helper_id = pumping.get_future().get();

    /* The service moves to another thread while this one waits on the
     * descriptors (woken, it lets them go); the second time this thread
     * also gives up the service it no longer holds. */
    PalRpcServeOnThisThread(TRUE);
    const DWORD main_id = GetCurrentThreadId();
    for (bool meddle : {false, true}) {
        std::promise<void> named, go;
        std::thread other([&] {
            PalRpcServeOnThisThread(TRUE);
            named.set_value();
            go.get_future().get();
            serve_here();
            PalRpcServeOnThisThread(FALSE);
            PostThreadMessageA(main_id, DONE, 0, 0);
        });
        if (meddle) {
            named.get_future().get();
            PalRpcServeOnThisThread(FALSE);
        }
        go.set_value();
        pump_until_done();
        other.join();
    }
    PalRpcServeOnThisThread(TRUE);
    serve_here();
    EXPECT_TRUE(PostThreadMessageA(helper_id, WM_QUIT, 0, 0));
    helper.join();
    EXPECT_EQ(3, calls_served);

    /* Also inside a modal dialog (inside blocking work: every test of
     * protocol/rpctest.h). */
    served_on = 0;
    EXPECT_EQ(42,
              DialogBoxParamA(resource_instance(), MAKEINTRESOURCEA(400), nullptr, modal_proc, 0));
    modal_caller.join();
    EXPECT_EQ(42, modal_answer);
    EXPECT_EQ(GetCurrentThreadId(), served_on);
}

/* A caller writes its call the moment it is connected.  A call already
 * there when its connection is accepted is answered in that same turn of
 * the loop, not one wait later. */
TEST_F(RpcWait, ACallThatCameWithItsConnectionIsAnsweredInTheTurnThatAcceptsIt)
{
    SVCXPRT *tcp = svctcp_create(RPC_ANYSOCK, 0, 0);
    ASSERT_NE(nullptr, tcp);
    ASSERT_TRUE(svc_register(tcp, PROG, 1, dispatch, 0));
    PalRpcServeOnThisThread(TRUE);
    MSG m;
    EXPECT_FALSE(PeekMessageA(&m, nullptr, 0, 0, PM_NOREMOVE)) << "the listener is taken over";

    char record[128];
    XDR x;
    xdrmem_create(&x, record + 4, sizeof record - 4, XDR_ENCODE);
    struct rpc_msg call = {};
    call.rm_xid = 0x5157;
    call.rm_direction = CALL;
    call.rm_call.cb_rpcvers = RPC_MSG_VERSION;
    call.rm_call.cb_prog = PROG;
    call.rm_call.cb_vers = 1;
    call.rm_call.cb_proc = 1;
    int arg = 41;
    ASSERT_TRUE(xdr_callmsg(&x, &call) && xdr_int(&x, &arg));
    const uint32_t length = xdr_getpos(&x);
    xdr_destroy(&x);
    const uint32_t mark = htonl(0x80000000u | length);
    memcpy(record, &mark, 4);

    int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    ASSERT_GE(fd, 0);
    sockaddr_in to{AF_INET, htons(tcp->xp_port), {htonl(INADDR_LOOPBACK)}, {}};
    ASSERT_EQ(0, connect(fd, (struct sockaddr *)&to, sizeof to));
    ASSERT_EQ((ssize_t)(4 + length), send(fd, record, 4 + length, 0));

    EXPECT_FALSE(PeekMessageA(&m, nullptr, 0, 0, PM_NOREMOVE)) << "one turn: accepted and served";
    EXPECT_EQ(1, calls_served.load());
    struct pollfd reply = {fd, POLLIN, 0};
    EXPECT_EQ(1, poll(&reply, 1, 0)) << "the answer is on its way";
    char answer[128];
    ssize_t got = recv(fd, answer, sizeof answer, MSG_DONTWAIT);
    ASSERT_EQ(4 + 24 + 4, got) << "mark, accepted reply header, the result";
    uint32_t result;
    memcpy(&result, answer + got - 4, 4);
    EXPECT_EQ(42u, ntohl(result));

    close(fd);
    PalRpcServeOnThisThread(FALSE);
    svc_destroy(tcp);
}

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
    HWND w =
        CreateWindowExA(0, "STATIC", "seven", 0, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr);
    ASSERT_NE(nullptr, w);
    drain();
    std::future<LRESULT> sent =
        std::async(std::launch::async, [w] { return SendMessageA(w, WM_GETTEXTLENGTH, 0, 0); });
    EXPECT_TRUE(readable(fd, 10000)) << "a message sent from another thread";
    drain();
    EXPECT_EQ(5, sent.get());
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

/* Only the descriptor and PeekMessageA serve: a connection accepted in one
 * turn is waited on in the next. */
TEST_F(LoopFd, IncomingCallsAreServedByTheApplicationsLoop)
{
    for (bool tcp : {false, true}) {
        SCOPED_TRACE(tcp ? "TCP" : "UDP");
        SVCXPRT *xprt = tcp ? svctcp_create(RPC_ANYSOCK, 0, 0) : svcudp_create(RPC_ANYSOCK);
        ASSERT_NE(nullptr, xprt);
        ASSERT_TRUE(svc_register(xprt, PROG, 1, dispatch, 0)); /* no port mapper */
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
