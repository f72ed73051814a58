// One exchange of CALL_Send against hostile peers, in virtual time: a peer
// that accepts and never answers, one that trickles its reply a byte at a
// time, a port mapper that never answers -- each ends at the one deadline
// of the exchange, with the busy count raised only meanwhile.  And the
// port-mapper cache: used while the peer stays, dropped and asked again
// once when the cached port refuses, as after the peer restarted elsewhere.
#include "protocol/callsample.h"

#include "fsm/fsm.h"
#include "members/members.h"
#include "netlib/netlib.h"
#include "protocol/exchange.h"
#include "protocol/rpc.h"
#include "support/instance.h"
#include "support/recorder.h"

#include <palrpc.h>
#include <paltest.h>
#include <rpc/pmap_clnt.h>

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <chrono>
#include <fcntl.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

const UINT NOTIFY = WM_USER + 9;
const DWORD LOOPBACK = 0x7F000001u;
const DWORD BUDGET_MS = CLIENT_TIMEOUT * 1000u;
// Virtual milliseconds that pass each time the sender finds nothing to do.
const DWORD STEP_MS = 1000;

// A listening TCP socket on 127.0.0.1 (non-blocking accepts), its port.
struct Listener {
    int fd = -1;
    WORD port = 0;
    Listener()
    {
        fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t len = sizeof a;
        if (bind(fd, (sockaddr *)&a, sizeof a) != 0 || listen(fd, 8) != 0 ||
            getsockname(fd, (sockaddr *)&a, &len) != 0)
            return;
        fcntl(fd, F_SETFL, O_NONBLOCK);
        port = ntohs(a.sin_port);
    }
    ~Listener()
    {
        if (fd >= 0)
            close(fd);
    }
};

// A socket bound to 127.0.0.1:port (0: any free one) and not listening:
// connections to the port are refused, and no one else can take it.  The
// descriptor, or -1.
int hold_port(WORD port)
{
    int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(port);
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (fd >= 0 && bind(fd, (sockaddr *)&a, sizeof a) != 0) {
        close(fd);
        return -1;
    }
    return fd;
}

// The hostile peer, played from the sender's own idle moments: each time
// the sender waits with nothing to do, the peer takes a pending connection,
// drains what was written to it, sends the next byte of its answer (when it
// trickles) and, once connected, lets STEP_MS of virtual time pass.
struct Peer {
    Listener *listener = nullptr;
    int conn = -1;
    std::string answer; // trickled a byte per idle moment; empty: silent
    size_t sent = 0;
    DWORD idle_calls = 0;
    DWORD busy_seen = 0;
    CMAPP *app = nullptr;
};
Peer peer;

BOOL CALLBACK play_peer(void *)
{
    ++peer.idle_calls;
    if (peer.app && peer.app->busy > peer.busy_seen)
        peer.busy_seen = peer.app->busy;
    if (peer.listener && peer.conn < 0)
        peer.conn = accept4(peer.listener->fd, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
    if (peer.conn >= 0) {
        char sink[512];
        while (recv(peer.conn, sink, sizeof sink, MSG_DONTWAIT) > 0) {
        }
        if (peer.sent < peer.answer.size() &&
            send(peer.conn, peer.answer.data() + peer.sent, 1, MSG_NOSIGNAL) == 1)
            ++peer.sent;
    }
    // Until the peer holds the connection, the sender's waits are real
    // ones (the port mapper's answer, the connection): time stands still.
    if (peer.conn < 0)
        return FALSE;
    PalClockAdvance(STEP_MS);
    return TRUE;
}

LRESULT CALLBACK fsm_probe(HWND hwnd, UINT msg, WPARAM wparam, LPARAM lparam)
{
    if (msg == FSM_INVITED || msg == FSM_UPDATED) {
        CALL_Free((CALLCTX *)lparam);
        return 0;
    }
    return DefWindowProcA(hwnd, msg, wparam, lparam);
}

class Exchange : public ::testing::Test {
  protected:
    void SetUp() override
    {
        ASSERT_EQ(1, NET_Startup(resource_instance()));
        register_recording_class("ExchangeOwner");
        WNDCLASSA wc = {};
        wc.lpfnWndProc = fsm_probe;
        wc.hInstance = resource_instance();
        wc.lpszClassName = "ExchangeFsm";
        RegisterClassA(&wc);
        owner = make_window("ExchangeOwner");
        app = APP_Create(owner, NOTIFY);
        app->fsmwnd = CreateWindowExA(0, "ExchangeFsm", "", 0, 0, 0, 0, 0, owner, nullptr,
                                      resource_instance(), nullptr);
        ASSERT_EQ(0, CALL_FromRequest(&call, &sample.request));
        call->to->ipaddr = LOOPBACK;
        PMAP_CacheClear();
        peer = Peer{};
        peer.app = app;
    }
    void TearDown() override
    {
        PalSetIdleHook(nullptr, nullptr);
        PalClockSetVirtual(FALSE, 0);
        EXCH_SetPortMapperPort(0);
        PMAP_CacheClear();
        pmap_unset(CALLPROG, CALLVERS);
        if (peer.conn >= 0)
            close(peer.conn);
        peer = Peer{};
        APP_Destroy(app);
        CALL_Free(call);
        DestroyWindow(owner);
        NET_Cleanup();
    }

    // CALL_Send in virtual time with the peer playing from the idle hook:
    // the result, the virtual and the real milliseconds it took.
    INT send_in_virtual_time(DWORD *virtual_ms, long *real_ms)
    {
        PalClockSetVirtual(TRUE, 1000);
        PalSetIdleHook(play_peer, nullptr);
        auto t0 = std::chrono::steady_clock::now();
        DWORD v0 = GetTickCount();
        INT r = CALL_Send(app, call, CALL_INVITE, FALSE);
        *virtual_ms = GetTickCount() - v0;
        *real_ms = (long)std::chrono::duration_cast<std::chrono::milliseconds>(
                       std::chrono::steady_clock::now() - t0)
                       .count();
        PalSetIdleHook(nullptr, nullptr);
        return r;
    }

    HWND owner = nullptr;
    CMAPP *app = nullptr;
    SampleCall sample{"call-from-alice"};
    CALLCTX *call = nullptr;
};

// A reply record whose mark announces more than will ever come.
std::string endless_reply()
{
    std::string r = {'\x80', '\x00', '\x01', '\x00'}; // last fragment, 256 bytes
    r.append(200, '\x01');
    return r;
}

TEST_F(Exchange, APeerThatNeverAnswersOrTricklesEndsAtTheDeadline)
{
    struct Case {
        const char *what;
        std::string answer;
    };
    for (const Case &c : {Case{"silent", ""}, Case{"trickling", endless_reply()}}) {
        SCOPED_TRACE(c.what);
        Listener program;
        ASSERT_NE(0, program.port);
        ASSERT_TRUE(pmap_set(CALLPROG, CALLVERS, IPPROTO_TCP, program.port));
        if (peer.conn >= 0)
            close(peer.conn);
        peer = Peer{};
        peer.app = app;
        peer.listener = &program;
        peer.answer = c.answer;
        app->busy = 1;

        DWORD virtual_ms = 0;
        long real_ms = 0;
        EXPECT_EQ(CALL_UNREACHABLE, send_in_virtual_time(&virtual_ms, &real_ms));
        EXPECT_GE(virtual_ms, BUDGET_MS);
        EXPECT_LE(virtual_ms, BUDGET_MS + STEP_MS) << "one deadline for the whole exchange";
        EXPECT_LT(real_ms, 10000) << "the deadline followed the platform clock";
        EXPECT_GE(peer.conn, 0) << "the peer was reached";
        EXPECT_EQ(2u, peer.busy_seen) << "counted while waiting";
        EXPECT_EQ(1u, app->busy) << "and only then";
        if (!c.answer.empty()) {
            EXPECT_GE(peer.sent, 20u) << "bytes kept arriving until the deadline";
        }
        EXPECT_EQ(0, PMAP_CacheFind(LOOPBACK)) << "a port that failed is not kept";
        pmap_unset(CALLPROG, CALLVERS);
        PalClockSetVirtual(FALSE, 0);
    }
    app->busy = 0;
}

TEST_F(Exchange, APortMapperThatNeverAnswersEndsAtTheDeadline)
{
    Listener mapper;
    ASSERT_NE(0, mapper.port);
    EXCH_SetPortMapperPort(mapper.port);
    peer.listener = &mapper;
    DWORD virtual_ms = 0;
    long real_ms = 0;
    EXPECT_EQ(CALL_UNREACHABLE, send_in_virtual_time(&virtual_ms, &real_ms));
    EXPECT_GE(virtual_ms, BUDGET_MS);
    EXPECT_LE(virtual_ms, BUDGET_MS + STEP_MS);
    EXPECT_LT(real_ms, 10000);
    EXPECT_GE(peer.conn, 0);
    EXPECT_EQ(0u, app->busy);

    // A port mapper that refuses connections fails at once, in no time.
    EXCH_SetPortMapperPort(1);
    EXPECT_EQ(CALL_UNREACHABLE, send_in_virtual_time(&virtual_ms, &real_ms));
    EXPECT_LT(virtual_ms, BUDGET_MS);
}

TEST_F(Exchange, TheCachedPortIsUsedUntilItRefuses)
{
    // The peer is this process's own server.
    ASSERT_TRUE(SERVER_Startup());
    ASSERT_TRUE(CLIENT_Startup());
    EXPECT_EQ(CALL_DELIVERED, CALL_Send(app, call, CALL_INVITE, FALSE));
    WORD first = PMAP_CacheFind(LOOPBACK);
    ASSERT_NE(0, first);

    // Without a port mapper to ask, the cached port still serves.
    EXCH_SetPortMapperPort(1);
    EXPECT_EQ(CALL_DELIVERED, CALL_Send(app, call, CALL_INVITE, FALSE));
    EXPECT_EQ(first, PMAP_CacheFind(LOOPBACK));

    // The peer restarted elsewhere: the cached port now refuses (a port
    // held bound and not listening).  Asked again once, the port mapper
    // names the port the peer serves on now.
    int old_port = hold_port(0);
    ASSERT_GE(old_port, 0);
    sockaddr_in held{};
    socklen_t len = sizeof held;
    ASSERT_EQ(0, getsockname(old_port, (sockaddr *)&held, &len));
    PMAP_CacheStore(LOOPBACK, ntohs(held.sin_port));
    EXCH_SetPortMapperPort(0);
    EXPECT_EQ(CALL_DELIVERED, CALL_Send(app, call, CALL_INVITE, FALSE));
    EXPECT_EQ(first, PMAP_CacheFind(LOOPBACK));

    // Refused again with no port mapper to ask: the refusal drops the
    // entry, and the one retry finds no port mapper.
    PMAP_CacheStore(LOOPBACK, ntohs(held.sin_port));
    EXCH_SetPortMapperPort(1);
    EXPECT_EQ(CALL_UNREACHABLE, CALL_Send(app, call, CALL_INVITE, FALSE));
    EXPECT_EQ(0, PMAP_CacheFind(LOOPBACK));
    EXPECT_EQ(0u, app->busy);
    close(old_port);
    // The reference taken above goes with the application.
}

TEST(PortMapperCache, KeepsOnePortPerHostAndMakesRoomFromTheLeastRecentlyUsed)
{
    PMAP_CacheClear();
    for (DWORD host = 1; host <= PMAP_CACHE_SIZE; ++host)
        PMAP_CacheStore(host, (WORD)(1000 + host));
    PMAP_CacheStore(1, 2001); // a new answer replaces the old one
    EXPECT_EQ(2001, PMAP_CacheFind(1));
    EXPECT_EQ(1002, PMAP_CacheFind(2)); // host 3 is now the least recently used
    PMAP_CacheStore(100, 3000);
    EXPECT_EQ(0, PMAP_CacheFind(3));
    EXPECT_EQ(3000, PMAP_CacheFind(100));
    for (DWORD host = 4; host <= PMAP_CACHE_SIZE; ++host)
        EXPECT_EQ(1000 + host, PMAP_CacheFind(host)) << host;
    PMAP_CacheStore(100, 0); // no port: nothing to keep
    EXPECT_EQ(0, PMAP_CacheFind(100));
    PMAP_CacheDrop(1);
    EXPECT_EQ(0, PMAP_CacheFind(1));
    EXPECT_EQ(1002, PMAP_CacheFind(2));
    PMAP_CacheClear();
    EXPECT_EQ(0, PMAP_CacheFind(2));
}

} // namespace
