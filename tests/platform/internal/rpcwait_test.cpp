// The RPC server inside the message wait: a call is served on the thread
// named to serve while it waits for messages, also inside a modal dialog;
// threads that merely look at their own queues never serve.
#include "support/instance.h"
#include "support/loopcall.h"

#include <windows.h>
#include <palrpc.h>
#include <paltest.h>
#include <rpc/rpc.h>

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <functional>
#include <future>
#include <thread>

namespace {

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

TEST_F(RpcWait, ACallIsServedOnTheThreadNamedLastOnly)
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
}

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

/* Inside blocking work: every test of protocol/rpctest.h. */
TEST_F(RpcWait, TheNamedThreadServesInsideModalDialogs)
{
    PalRpcServeOnThisThread(TRUE);
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
    struct sockaddr_in to = {};
    to.sin_family = AF_INET;
    to.sin_port = htons(tcp->xp_port);
    to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
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

} // namespace
