// The RPC server inside the message wait: a call is served on the thread
// named to serve while it waits for messages, also inside a modal dialog or
// blocking work; threads that merely look at their own queues never serve.
#include "support/instance.h"

#include <windows.h>
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
const UINT DONE = WM_USER + 0x51; /* posted to a thread when a call is over */

std::atomic<DWORD> served_on{0};
std::atomic<int> calls_served{0};
std::function<void(int result)> after_serving; /* on the serving thread, after each reply */

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

/* Calls procedure 1 with 41 on 127.0.0.1:port: the answer, or -1. */
int call_server(unsigned short port)
{
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(port);
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    int sock = RPC_ANYSOCK;
    CLIENT *clnt = clntudp_create(&addr, PROG, 1, timeval{5, 0}, &sock);
    if (!clnt)
        return -1;
    int arg = 41, answer = -1;
    const timeval total{25, 0};
    if (clnt_call(clnt, 1, (xdrproc_t)xdr_int, (char *)&arg, (xdrproc_t)xdr_int, (char *)&answer,
                  total) != RPC_SUCCESS)
        answer = -1;
    clnt_destroy(clnt);
    return answer;
}

/* A call from a thread of its own; DONE then goes to thread `notify`, if any. */
std::thread start_call(unsigned short port, DWORD notify, int *answer)
{
    return std::thread([=] {
        *answer = call_server(port);
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
void serve_here(unsigned short port)
{
    int answer = 0;
    std::thread t = start_call(port, GetCurrentThreadId(), &answer);
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
    unsigned short port = 0;
};

TEST_F(RpcWait, ACallIsServedOnTheThreadNamedLastOnly)
{
    /* The first to look at its queue once the server has descriptors, and
     * then gone: it took nothing with it. */
    std::thread([] {
        MSG m;
        PeekMessageA(&m, nullptr, 0, 0, PM_NOREMOVE);
    }).join();
    /* Another keeps pumping its queue while the calls come in. */
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
            serve_here(port);
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
    serve_here(port);
    EXPECT_TRUE(PostThreadMessageA(helper_id, WM_QUIT, 0, 0));
    helper.join();
    EXPECT_EQ(3, calls_served);
}

struct ModalCall {
    unsigned short port;
    std::thread thread;
    int answer;
};

INT_PTR CALLBACK modal_proc(HWND dlg, UINT msg, WPARAM, LPARAM lparam)
{
    if (msg != WM_INITDIALOG)
        return FALSE;
    /* The call arrives while the dialog's own loop runs; serving it ends
     * the dialog with the result. */
    after_serving = [dlg](int result) { EndDialog(dlg, result); };
    ModalCall *call = (ModalCall *)lparam;
    call->thread = start_call(call->port, 0, &call->answer);
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
                          ((Work *)c)->answer = call_server(((Work *)c)->port);
                          return 7;
                      },
                      &work));
    EXPECT_EQ(42, work.answer);
    EXPECT_EQ(GetCurrentThreadId(), served_on);

    served_on = 0;
    ModalCall call{port, {}, 0};
    EXPECT_EQ(42, DialogBoxParamA(resource_instance(), MAKEINTRESOURCEA(400), nullptr, modal_proc,
                                  (LPARAM)&call));
    call.thread.join();
    EXPECT_EQ(42, call.answer);
    EXPECT_EQ(GetCurrentThreadId(), served_on);
    EXPECT_EQ(2, calls_served);
}

} // namespace
