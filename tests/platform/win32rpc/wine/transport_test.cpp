/*
 * The Windows RPC runtime on a Windows test host: server transports served
 * from the thread's message waits, the port mapper (the host's own, or the
 * built-in one when the host has none), and calls over UDP and TCP.
 *
 * The serving thread never blocks on its own server: it calls it through
 * PalWaitSocket, which serves while it waits, as the library's exchanges
 * do; blocking callers run on a second thread while this one pumps.
 */
#include "msgcore.h"
#include "pmap.h"
#include "record.h"
#include "svcxprt.h"

#include <gtest/gtest.h>
#include <palrpc.h>
#include <rpc/rpc.h>

#include <thread>
#include <vector>

namespace {

const rpcprog_t TESTPROG = 0x20000151;
const rpcvers_t TESTVERS = 1;
const rpcproc_t PROC_NEXT = 1; /* int -> int + 1 */

template <typename T> xdrproc_t Proc(bool_t (*proc)(XDR *, T *))
{
    return reinterpret_cast<xdrproc_t>(reinterpret_cast<void (*)(void)>(proc));
}

void Serve(struct svc_req *request, SVCXPRT *xprt)
{
    if (request->rq_proc != PROC_NEXT) {
        svcerr_noproc(xprt);
        return;
    }
    int value = 0;
    if (!svc_getargs(xprt, Proc(xdr_int), &value)) {
        svcerr_decode(xprt);
        return;
    }
    ++value;
    svc_sendreply(xprt, Proc(xdr_int), &value);
}

/* Runs `work` on a second thread while this one serves; its result. */
template <typename F> auto WhileServing(F work)
{
    DWORD self = GetCurrentThreadId();
    decltype(work()) result{};
    std::thread other([&] {
        result = work();
        PostThreadMessageA(self, WM_APP, 0, 0);
    });
    MSG msg;
    while (GetMessageA(&msg, nullptr, 0, 0) > 0 && !(msg.hwnd == nullptr && msg.message == WM_APP))
        DispatchMessageA(&msg);
    other.join();
    return result;
}

/* One framed call of PROC_NEXT on `value`, its body padded, as bytes for a
 * stream. */
std::vector<char> CallRecord(uint32_t xid, int value, size_t padding)
{
    std::vector<char> body, record;
    EXPECT_TRUE(
        pal::onc::encode_call(xid, TESTPROG, TESTVERS, PROC_NEXT, Proc(xdr_int), &value, &body));
    body.resize(body.size() + padding);
    pal::onc::record_frame(body.data(), (uint32_t)body.size(), &record);
    return record;
}

class Transports : public ::testing::Test {
  protected:
    void SetUp() override
    {
        PalRpcServeOnThisThread(TRUE);
        udp = svcudp_create(RPC_ANYSOCK);
        tcp = svctcp_create(RPC_ANYSOCK, 0, 0);
        ASSERT_TRUE(udp && tcp);
        ASSERT_TRUE(svc_register(udp, TESTPROG, TESTVERS, Serve, IPPROTO_UDP));
        ASSERT_TRUE(svc_register(tcp, TESTPROG, TESTVERS, Serve, IPPROTO_TCP));
    }
    void TearDown() override
    {
        svc_unregister(TESTPROG, TESTVERS);
        if (udp)
            svc_destroy(udp);
        if (tcp)
            svc_destroy(tcp);
        PalRpcServeOnThisThread(FALSE);
    }

    /* A new connection to the TCP transport, once it is made. */
    int Connect()
    {
        int fd = PalStreamConnect(0x7F000001, tcp->xp_port);
        EXPECT_GE(fd, 0);
        EXPECT_TRUE(PalWaitSocket(fd, PAL_SOCKET_WRITE, 5000) & PAL_SOCKET_WRITE);
        EXPECT_EQ(0, PalStreamConnected(fd));
        return fd;
    }

    /* Sends `record` on a new connection and reads the reply record,
     * serving meanwhile; empty when the connection ends first. */
    std::vector<char> Exchange(const std::vector<char> &record)
    {
        int fd = Connect();
        size_t sent = 0;
        pal::onc::RecordReader reader;
        std::vector<char> reply;
        char chunk[512];
        for (;;) {
            bool sending = sent < record.size();
            int n = sending ? PalStreamSend(fd, record.data() + sent, (int)(record.size() - sent))
                            : PalStreamRecv(fd, chunk, sizeof chunk);
            if (n == PAL_STREAM_WOULDBLOCK) {
                if (!PalWaitSocket(fd, sending ? PAL_SOCKET_WRITE : PAL_SOCKET_READ, 5000))
                    break;
                continue;
            }
            if (n <= 0)
                break;
            size_t taken = 0;
            if (sending) {
                sent += (size_t)n;
            } else if (pal::onc::record_feed(&reader, chunk, (size_t)n, &taken) ==
                       pal::onc::RecordStep::COMPLETE) {
                reply = reader.record;
                break;
            }
        }
        PalStreamClose(fd);
        return reply;
    }

    SVCXPRT *udp = nullptr;
    SVCXPRT *tcp = nullptr;
};

int ReplyValue(const std::vector<char> &reply, uint32_t xid)
{
    int value = -1;
    pal::onc::Reply answer;
    EXPECT_TRUE(
        pal::onc::decode_reply(reply.data(), (u_int)reply.size(), Proc(xdr_int), &value, &answer));
    EXPECT_EQ(xid, answer.msg.rm_xid);
    return value;
}

TEST_F(Transports, TheServingThreadIsServedInsideItsOwnSocketWait)
{
    EXPECT_EQ(42, ReplyValue(Exchange(CallRecord(7, 41, 0)), 7));
    /* A record past the cap ends the connection without a reply. */
    EXPECT_TRUE(Exchange(CallRecord(8, 1, pal::onc::MAX_RECORD)).empty());
    EXPECT_EQ(2, ReplyValue(Exchange(CallRecord(9, 1, 0)), 9));
}

TEST_F(Transports, ANewcomerPastTheLimitClosesTheQuietestAndAQuietWaitTimesOut)
{
    std::vector<int> fds;
    for (size_t i = 0; i <= pal::svc::MAX_CONNECTIONS; ++i) {
        int fd = Connect();
        fds.push_back(fd);
        /* Accepted before the next one comes. */
        PalWaitSocket(fd, PAL_SOCKET_READ, 20);
    }
    /* The first, quiet longest, is closed: its read is the end. */
    char byte;
    EXPECT_NE(0u, PalWaitSocket(fds[0], PAL_SOCKET_READ, 5000));
    EXPECT_EQ(0, PalStreamRecv(fds[0], &byte, 1));
    /* The second still serves. */
    std::vector<char> record = CallRecord(11, 5, 0);
    ASSERT_EQ((int)record.size(), PalStreamSend(fds[1], record.data(), (int)record.size()));
    EXPECT_NE(0u, PalWaitSocket(fds[1], PAL_SOCKET_READ, 5000));
    char reply[64];
    EXPECT_GT(PalStreamRecv(fds[1], reply, sizeof reply), 4);
    /* A wait on a quiet one times out, and keeps a quit for the caller's
     * loop. */
    PostQuitMessage(3);
    DWORD start = GetTickCount();
    EXPECT_EQ(0u, PalWaitSocket(fds[2], PAL_SOCKET_READ, 200));
    DWORD spent = GetTickCount() - start;
    EXPECT_GE(spent, 190u);
    EXPECT_LT(spent, 5000u);
    MSG msg;
    EXPECT_TRUE(PeekMessageA(&msg, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE));
    EXPECT_EQ(3u, msg.wParam);
    for (int fd : fds)
        PalStreamClose(fd);
}

/* The DUMP result as a list of mappings. */
bool_t CodeDump(XDR *xdrs, std::vector<struct pmap> *list)
{
    for (;;) {
        bool_t more = FALSE;
        if (!xdr_bool(xdrs, &more))
            return FALSE;
        if (!more)
            return TRUE;
        struct pmap m = {};
        if (!xdr_pmap(xdrs, &m))
            return FALSE;
        list->push_back(m);
    }
}

/* The port mapper names both transports, through the runtime's own lookup
 * and over UDP, and lists them with itself; a client finds the TCP one and
 * calls over it.  The built-in port mapper stops with the last
 * registration. */
TEST_F(Transports, ThePortMapperNamesBothTransportsAndClientsCallOverTcp)
{
    struct Seen {
        u_short udp_port, tcp_port;
        pal::pmap::Outcome getport, dump;
        u_long port;
        std::vector<struct pmap> list;
        enum clnt_stat status, no_proc;
        int result;
    };
    struct sockaddr_in local = {};
    local.sin_family = AF_INET;
    local.sin_addr.s_addr = pal::pmap::LOOPBACK;
    Seen seen = WhileServing([&local] {
        Seen s = {};
        s.udp_port = pmap_getport(&local, TESTPROG, TESTVERS, IPPROTO_UDP);
        s.tcp_port = pmap_getport(&local, TESTPROG, TESTVERS, IPPROTO_TCP);
        struct pmap ask = {TESTPROG, TESTVERS, IPPROTO_TCP, 0};
        s.getport = pal::pmap::call(pal::pmap::LOOPBACK, PMAPPROC_GETPORT, Proc(xdr_pmap), &ask,
                                    Proc(xdr_u_long), &s.port, 3000);
        s.dump = pal::pmap::call(pal::pmap::LOOPBACK, PMAPPROC_DUMP, nullptr, nullptr,
                                 Proc(CodeDump), &s.list, 3000);
        CLIENT *clnt = clnt_create("127.0.0.1", TESTPROG, TESTVERS, "tcp");
        if (!clnt)
            return s;
        int value = 99;
        struct timeval limit = {5, 0};
        s.status =
            clnt_call(clnt, PROC_NEXT, Proc(xdr_int), &value, Proc(xdr_int), &s.result, limit);
        s.no_proc = clnt_call(clnt, 9, Proc(xdr_int), &value, Proc(xdr_int), &value, limit);
        clnt_destroy(clnt);
        return s;
    });
    EXPECT_EQ(udp->xp_port, seen.udp_port);
    EXPECT_EQ(tcp->xp_port, seen.tcp_port);
    EXPECT_EQ(RPC_SUCCESS, seen.status);
    EXPECT_EQ(100, seen.result);
    EXPECT_EQ(RPC_PROCUNAVAIL, seen.no_proc);
    ASSERT_EQ(pal::pmap::Outcome::DONE, seen.getport);
    EXPECT_EQ(tcp->xp_port, seen.port);
    ASSERT_EQ(pal::pmap::Outcome::DONE, seen.dump);
    /* Ours on both protocols, and the port mapper itself on both. */
    bool listed[4] = {};
    for (const struct pmap &m : seen.list) {
        bool udp_entry = m.pm_prot == IPPROTO_UDP;
        if (m.pm_prog == TESTPROG && m.pm_vers == TESTVERS)
            listed[udp_entry] |= m.pm_port == (udp_entry ? udp->xp_port : tcp->xp_port);
        if (m.pm_prog == PMAPPROG && m.pm_vers == PMAPVERS)
            listed[2 + udp_entry] |= m.pm_port == PMAPPORT;
    }
    EXPECT_TRUE(listed[0] && listed[1] && listed[2] && listed[3]);

    bool builtin = pal::pmap::builtin_active();
    svc_unregister(TESTPROG, TESTVERS);
    EXPECT_FALSE(pal::pmap::builtin_active());
    EXPECT_EQ(0, pmap_getport(&local, TESTPROG, TESTVERS, IPPROTO_TCP));
    if (builtin) {
        struct pmap ask = {PMAPPROG, PMAPVERS, IPPROTO_UDP, 0};
        u_long port = 0;
        EXPECT_EQ(pal::pmap::Outcome::NO_ANSWER,
                  pal::pmap::call(pal::pmap::LOOPBACK, PMAPPROC_GETPORT, Proc(xdr_pmap), &ask,
                                  Proc(xdr_u_long), &port, 1000));
    }
}

} // namespace
