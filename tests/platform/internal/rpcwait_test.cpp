// The RPC server inside the message wait: a call is dispatched on the thread
// named to serve, while it waits for messages, also inside a modal dialog or
// blocking work; threads that merely look at their own queues never serve.
#include "support/instance.h"

#include <windows.h>
#include <mmsystem.h>
#include <palrpc.h>
#include <paltest.h>
#include <rpc/rpc.h>

#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <future>
#include <thread>

namespace {

const rpcprog_t PROG = 0x20000123;
/* Posted to a thread when a call (or its part) is over. */
const UINT DONE = WM_USER + 0x51;

std::atomic<DWORD> served_on{0};
std::atomic<int> calls_served{0};
/* Runs on the serving thread after each reply; set before any call. */
std::function<void(int result)> after_serving;

void dispatch(struct svc_req *req, SVCXPRT *xprt)
{
    served_on = GetCurrentThreadId();
    ++calls_served;
    int arg = 0, result = 0;
    if (req->rq_proc == 1 && svc_getargs(xprt, (xdrproc_t)xdr_int, (char *)&arg)) {
        result = arg + 1;
        svc_sendreply(xprt, (xdrproc_t)xdr_int, (char *)&result);
        svc_freeargs(xprt, (xdrproc_t)xdr_int, (char *)&arg);
    } else {
        svcerr_noproc(xprt);
    }
    if (after_serving)
        after_serving(result);
}

/* One call of procedure 1 with 41 to the server on 127.0.0.1:port; the
 * answer, or -1 when none came. */
int call_server(unsigned short port)
{
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(port);
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    int sock = RPC_ANYSOCK;
    timeval retry{5, 0};
    CLIENT *clnt = clntudp_create(&addr, PROG, 1, retry, &sock);
    if (!clnt)
        return -1;
    int arg = 41, answer = -1;
    timeval total{25, 0};
    if (clnt_call(clnt, 1, (xdrproc_t)xdr_int, (char *)&arg, (xdrproc_t)xdr_int, (char *)&answer,
                  total) != RPC_SUCCESS)
        answer = -1;
    clnt_destroy(clnt);
    return answer;
}

/* A call from a thread of its own; DONE goes to thread `notify`, if any. */
struct Caller {
    std::thread thread;
    int answer = 0;

    void start(unsigned short port, DWORD notify)
    {
        thread = std::thread([this, port, notify] {
            answer = call_server(port);
            if (notify)
                PostThreadMessageA(notify, DONE, 0, 0);
        });
    }
    int finish()
    {
        if (thread.joinable())
            thread.join();
        return answer;
    }
};

/* Dispatches the calling thread's messages until DONE arrives. */
void pump_until_done()
{
    MSG m;
    while (GetMessageA(&m, nullptr, 0, 0) > 0) {
        if (!m.hwnd && m.message == DONE)
            return;
        DispatchMessageA(&m);
    }
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
        /* Protocol 0: no port mapper involved. */
        ASSERT_TRUE(svc_register(xprt, PROG, 1, dispatch, 0));
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
    unsigned short port = 0;
};

/* A call is served on the named thread while it waits for messages, never
 * on threads that merely look at their queues. */
TEST_F(RpcWait, ACallIsServedOnTheNamedThreadOnly)
{
    /* The first to look at its queue once the server has descriptors, and
     * then gone: it took nothing with it. */
    std::thread([] {
        MSG m;
        PeekMessageA(&m, nullptr, 0, 0, PM_NOREMOVE);
    }).join();

    /* Another keeps pumping its queue while the call comes in. */
    std::promise<DWORD> pumping;
    std::thread helper([&pumping] {
        MSG m;
        PeekMessageA(&m, nullptr, 0, 0, PM_NOREMOVE);
        pumping.set_value(GetCurrentThreadId());
        while (GetMessageA(&m, nullptr, 0, 0) > 0)
            DispatchMessageA(&m);
    });
    DWORD helper_id = pumping.get_future().get();

    PalRpcServeOnThisThread(TRUE);
    Caller caller;
    caller.start(port, GetCurrentThreadId());
    pump_until_done();
    EXPECT_EQ(42, caller.finish());
    EXPECT_TRUE(PostThreadMessageA(helper_id, WM_QUIT, 0, 0));
    helper.join();
    EXPECT_EQ(GetCurrentThreadId(), served_on);
    EXPECT_EQ(1, calls_served);
}

struct ModalCall {
    unsigned short port;
    Caller caller;
};

INT_PTR CALLBACK modal_proc(HWND dlg, UINT msg, WPARAM, LPARAM lparam)
{
    if (msg != WM_INITDIALOG)
        return FALSE;
    /* The call arrives while the dialog's own loop runs; serving it ends
     * the dialog with the result. */
    after_serving = [dlg](int result) { EndDialog(dlg, result); };
    ModalCall *call = (ModalCall *)lparam;
    call->caller.start(call->port, 0);
    return TRUE;
}

TEST_F(RpcWait, TheNamedThreadServesInsideBlockingWorkAndModalDialogs)
{
    PalRpcServeOnThisThread(TRUE);

    /* A call to its own server from blocking work: only answered because
     * the waiting thread serves meanwhile. */
    struct Work {
        unsigned short port;
        int answer;
    } work{port, 0};
    EXPECT_EQ(7u, PalRunBlocking(
                      [](void *c) -> DWORD {
                          Work *w = (Work *)c;
                          w->answer = call_server(w->port);
                          return 7;
                      },
                      &work));
    EXPECT_EQ(42, work.answer);
    EXPECT_EQ(GetCurrentThreadId(), served_on);
    EXPECT_EQ(1, calls_served);

    served_on = 0;
    ModalCall call{port, {}};
    EXPECT_EQ(42, DialogBoxParamA(resource_instance(), MAKEINTRESOURCEA(400), nullptr, modal_proc,
                                  (LPARAM)&call));
    EXPECT_EQ(42, call.caller.finish());
    EXPECT_EQ(GetCurrentThreadId(), served_on);
    EXPECT_EQ(2, calls_served);
}

/* Serves one call on a thread of its own, named while this thread waits for
 * messages, which gives the service up and says so. With `meddle`, this
 * thread gives up the service it does not hold once the other is named. */
DWORD serve_one_elsewhere(unsigned short port, Caller *caller, bool meddle)
{
    const DWORD main_id = GetCurrentThreadId();
    DWORD other_id = 0;
    std::promise<void> named, go;
    std::thread other([&] {
        other_id = GetCurrentThreadId();
        PalRpcServeOnThisThread(TRUE);
        named.set_value();
        go.get_future().get();
        caller->start(port, GetCurrentThreadId());
        pump_until_done();
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
    return other_id;
}

TEST_F(RpcWait, TheServiceMovesToTheThreadNamedLast)
{
    /* The main thread may be waiting on the descriptors when the other is
     * named; it is woken and lets them go. */
    PalRpcServeOnThisThread(TRUE);
    Caller first;
    EXPECT_EQ(serve_one_elsewhere(port, &first, false), served_on);
    EXPECT_EQ(42, first.finish());

    Caller second;
    EXPECT_EQ(serve_one_elsewhere(port, &second, true), served_on);
    EXPECT_EQ(42, second.finish());

    PalRpcServeOnThisThread(TRUE);
    Caller again;
    again.start(port, GetCurrentThreadId());
    pump_until_done();
    EXPECT_EQ(42, again.finish());
    EXPECT_EQ(GetCurrentThreadId(), served_on);
    EXPECT_EQ(3, calls_served);
}

TEST(Sound, WhatWasAskedToPlayIsRecorded)
{
    PalSoundClear();
    EXPECT_FALSE(sndPlaySoundA("/nonexistent/ring.wav", SND_ASYNC | SND_NODEFAULT | SND_NOSTOP));
    EXPECT_TRUE(sndPlaySoundA(nullptr, 0));
    ASSERT_EQ(2u, PalSoundCount());
    PAL_SOUND s;
    ASSERT_TRUE(PalSoundGet(0, &s));
    EXPECT_FALSE(s.stop);
    EXPECT_STREQ("/nonexistent/ring.wav", s.name);
    EXPECT_EQ(0x13u, s.flags);
    ASSERT_TRUE(PalSoundGet(1, &s));
    EXPECT_TRUE(s.stop);
    EXPECT_FALSE(PalSoundGet(2, &s));
}

} // namespace
