// The RPC server inside the message wait: a call that arrives while the
// thread waits for messages is dispatched on that thread, also when the
// thread waits inside a nested loop.
#include <windows.h>
#include <mmsystem.h>
#include <paltest.h>
#include <rpc/rpc.h>

#include <gtest/gtest.h>

#include <thread>

namespace {

const rpcprog_t PROG = 0x20000123;
DWORD served_on = 0;
int calls_served = 0;

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
    PostQuitMessage(result);
}

TEST(RpcWait, ACallIsDispatchedOnTheThreadThatWaitsForMessages)
{
    SVCXPRT *xprt = svcudp_create(RPC_ANYSOCK);
    ASSERT_NE(nullptr, xprt);
    /* Protocol 0: no port mapper involved. */
    ASSERT_TRUE(svc_register(xprt, PROG, 1, dispatch, 0));
    unsigned short port = xprt->xp_port;

    int answer = 0;
    std::thread caller([&] {
        sockaddr_in addr{};
        addr.sin_family = AF_INET;
        addr.sin_port = htons(port);
        addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        int sock = RPC_ANYSOCK;
        timeval wait{5, 0};
        CLIENT *clnt = clntudp_create(&addr, PROG, 1, wait, &sock);
        ASSERT_NE(nullptr, clnt);
        int arg = 41;
        timeval total{25, 0};
        clnt_call(clnt, 1, (xdrproc_t)xdr_int, (char *)&arg, (xdrproc_t)xdr_int, (char *)&answer,
                  total);
        clnt_destroy(clnt);
    });
    MSG m;
    while (GetMessageA(&m, nullptr, 0, 0))
        DispatchMessageA(&m);
    caller.join();
    EXPECT_EQ(42, (int)m.wParam);
    EXPECT_EQ(42, answer);
    EXPECT_EQ(GetCurrentThreadId(), served_on);
    EXPECT_EQ(1, calls_served);
    svc_unregister(PROG, 1);
    svc_destroy(xprt);
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
