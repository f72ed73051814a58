// The call-protocol server against unknown, hostile and vanishing clients:
// whatever they do, the process lives, its loop serves others and its
// timers, its holdings stay bounded.
#include "protocol/callsample.h"
#include "protocol/rpctest.h"

#include "protocol/rpc.h"

#include <paltest.h>
#include <windows.h>

#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <sys/resource.h>
#include <unistd.h>

#include <chrono>

namespace {

using Clock = std::chrono::steady_clock;

// Generous: an answer takes milliseconds; a frozen loop takes tens of seconds.
const int ANSWER_MS = 1000;
// The server closes connections quiet this long and holds no more than the cap.
const DWORD IDLE_BOUND_MS = 30000;
const int CONNECTION_CAP = 64;

// Counted without opening anything, so that it works with the table full.
int open_descriptors()
{
    int n = 0;
    for (int fd = 0; fd < 4096; ++fd)
        n += fcntl(fd, F_GETFD) != -1;
    return n;
}

// Whether the server has closed its end of `fd` within `limit_ms`.
bool closed_by_server(int fd, int limit_ms)
{
    bool ended = false;
    read_for(fd, SIZE_MAX, limit_ms, &ended);
    return ended;
}

// The exact reply (no results) to the call `xid`, with an AUTH_NONE verifier.
Bytes bare_reply(uint32_t xid, uint32_t accept_stat)
{
    return WireBuilder().U32(xid).U32(1).U32(0).U32(0).U32(0).U32(accept_stat).b;
}

// The descriptor limit lowered to `limit` until destroyed.
struct DescriptorLimit {
    rlimit before{};
    explicit DescriptorLimit(int limit)
    {
        getrlimit(RLIMIT_NOFILE, &before);
        rlimit low = before;
        low.rlim_cur = (rlim_t)limit;
        EXPECT_EQ(0, setrlimit(RLIMIT_NOFILE, &low));
    }
    ~DescriptorLimit() { setrlimit(RLIMIT_NOFILE, &before); }
};

long cpu_ms()
{
    rusage use;
    getrusage(RUSAGE_SELF, &use);
    auto ms = [](const timeval &t) { return (long)t.tv_sec * 1000L + t.tv_usec / 1000; };
    return ms(use.ru_utime) + ms(use.ru_stime);
}

class Attack : public ::testing::Test {
  protected:
    void SetUp() override { start_server(); }
    void TearDown() override
    {
        for (int fd : hostile)
            close(fd);
        SERVER_Cleanup();
        PalClockSetVirtual(FALSE, 0);
    }
    void start_server()
    {
        ASSERT_TRUE(SERVER_Startup());
        tcp = mapped_port("tcp");
        udp = mapped_port("udp");
        ASSERT_TRUE(tcp && udp);
    }

    RawReply tcp_call(uint32_t xid, uint32_t procedure, const Bytes &argument = {},
                      int limit_ms = 10000)
    {
        return tcp_exchange(tcp, call_message(xid, procedure, argument), 0, limit_ms);
    }
    RawReply udp_call(uint32_t xid, uint32_t procedure, const Bytes &argument = {},
                      int limit_ms = 10000)
    {
        return udp_exchange(udp, call_message(xid, procedure, argument), limit_ms);
    }
    // Whether a NULLPROC over TCP gets its exact answer within ANSWER_MS.
    bool tcp_served()
    {
        return tcp_call(5150, NULLPROC, {}, ANSWER_MS).raw == record(bare_reply(5150, 0));
    }
    // A TCP and a UDP NULLPROC are answered in time.
    void expect_served(const char *what)
    {
        EXPECT_TRUE(tcp_served()) << "TCP NULLPROC unanswered: " << what;
        EXPECT_EQ(bare_reply(5151, 0), udp_call(5151, NULLPROC, {}, ANSWER_MS).raw) << what;
    }
    // The real milliseconds until a thread timer of `ms` fires.
    static long timer_fires_after(UINT ms)
    {
        Clock::time_point start = Clock::now();
        UINT_PTR id = SetTimer(nullptr, 0, ms, nullptr);
        MSG m;
        while (GetMessageA(&m, nullptr, 0, 0) > 0)
            if (m.message == WM_TIMER && m.wParam == id)
                break;
        KillTimer(nullptr, id);
        return ms_since(start);
    }
    // A timer of 400 ms fires in time, the loop mostly asleep meanwhile.
    static void expect_waits_without_spinning(const char *what)
    {
        long cpu = cpu_ms();
        long elapsed = timer_fires_after(400);
        EXPECT_LT(cpu_ms() - cpu, elapsed / 2) << "the loop spun " << what;
        EXPECT_LT(elapsed, 2 * ANSWER_MS) << what;
    }

    // A connection (closed by TearDown) that wrote `length` bytes of `prefix`.
    int hostile_connection(const Bytes &prefix = {}, size_t length = SIZE_MAX, int buffer = 0)
    {
        int fd = tcp_connect(tcp, buffer);
        length = std::min(length, prefix.size());
        if (fd < 0 || write(fd, prefix.data(), length) != (ssize_t)length)
            ADD_FAILURE() << "no hostile connection";
        hostile.push_back(fd);
        return fd;
    }

    unsigned short tcp = 0, udp = 0;
    std::vector<int> hostile;
};

TEST_F(Attack, StalledAndTricklingConnectionsHoldNeitherCallsNorTimers)
{
    Bytes call = record(call_message(7, NULLPROC, {}));
    Bytes big = record(Bytes(4000, 0));
    for (int i = 0; i < 4; ++i) {
        hostile_connection(call, 20); // half a record, then nothing
        hostile_connection(big, 2);   // two bytes of a record mark
    }
    expect_served("eight connections stalled inside a record");

    // Each step brings one more byte on every other connection, waking the loop.
    for (size_t step = 0; step < 6; ++step) {
        for (size_t i = 1; i < hostile.size(); i += 2)
            ASSERT_EQ(1, write(hostile[i], big.data() + 2 + step, 1));
        EXPECT_LT(timer_fires_after(20), ANSWER_MS) << "the timer held up at step " << step;
        expect_served("connections trickling a byte at a time");
    }
}

TEST_F(Attack, AClientThatNeverReadsItsRepliesIsDroppedWithoutHoldingTheLoop)
{
    PalClockSetVirtual(TRUE, 1000);
    // Calls pipelined as fast as they go into a small receive buffer never read.
    int fd = hostile_connection({}, 0, 4096);
    fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) | O_NONBLOCK);
    Bytes calls;
    for (uint32_t xid = 1; xid <= 20000; ++xid)
        calls = record(call_message(xid, NULLPROC, {}), true, std::move(calls));
    // Past the socket buffers (a few megabytes) the server must stop taking calls.
    const size_t bound = 64u << 20;
    size_t sent = 0;
    int refused = 0;
    for (int round = 0; round < 200 && sent < bound && refused < 3; ++round) {
        size_t at = sent % calls.size();
        ssize_t n = write(fd, calls.data() + at, calls.size() - at);
        sent += n > 0 ? (size_t)n : 0;
        refused = n > 0 ? 0 : refused + 1;
        expect_served("a client that never reads");
    }
    EXPECT_EQ(3, refused) << "calls are still taken from a peer that reads nothing: " << sent;

    PalClockAdvance(IDLE_BOUND_MS + 1000);
    expect_served("after the bound");
    EXPECT_TRUE(closed_by_server(fd, 2000));
}

TEST_F(Attack, IdleConnectionsAreCappedAndClosedAfterTheBound)
{
    PalClockSetVirtual(TRUE, 1000);
    expect_served("before");
    const int base = open_descriptors();
    const int clients = 100;
    for (int i = 0; i < clients; ++i)
        hostile_connection();
    // The quietest connection makes room for each newer one past the cap.
    int closed = 0;
    for (int round = 0; round < 40; ++round) {
        expect_served("idle connections waiting");
        int held = open_descriptors() - base - clients;
        EXPECT_LE(held, CONNECTION_CAP + 1) << "round " << round;
        closed = 0;
        for (int fd : hostile) {
            pollfd p{fd, POLLIN, 0};
            closed += poll(&p, 1, 0) == 1;
        }
        if (held + closed >= clients)
            break;
    }
    EXPECT_GE(closed, clients - CONNECTION_CAP);

    PalClockAdvance(IDLE_BOUND_MS - 2000);
    expect_served("short of the bound");
    EXPECT_GT(open_descriptors() - base - clients, 0) << "closed before the bound";
    PalClockAdvance(3000);
    expect_served("past the bound");
    EXPECT_EQ(base + clients, open_descriptors()) << "every idle connection closed";
}

TEST_F(Attack, ConnectionsFillingTheDescriptorTableMakeRoomWithoutSpinning)
{
    for (int i = 0; i < 120; ++i)
        hostile_connection();
    int spare = open("/dev/null", O_RDONLY | O_CLOEXEC); // for the good client's socket
    ASSERT_GE(spare, 0);
    const int limit = open_descriptors() + 40;
    DescriptorLimit low(limit);

    expect_waits_without_spinning("with the descriptor table full");
    EXPECT_LE(open_descriptors(), limit);
    close(spare);
    EXPECT_TRUE(tcp_served()) << "a connection quiet longest makes room for a new one";
}

TEST_F(Attack, AProcessOutOfDescriptorsWaitsInsteadOfSpinning)
{
    for (int i = 0; i < 8; ++i)
        hostile_connection(); // waiting to be accepted
    // Every descriptor taken, none by a connection that could make room.
    {
        DescriptorLimit limit(open_descriptors() + 64);
        std::vector<int> filler;
        for (int fd; (fd = open("/dev/null", O_RDONLY | O_CLOEXEC)) >= 0;)
            filler.push_back(fd);
        expect_waits_without_spinning("while no descriptor was left");
        for (int fd : filler)
            close(fd);
    }
    // Once the pause is over, the waiting connections are taken and calls served.
    Clock::time_point start = Clock::now();
    bool served = false;
    while (!served && ms_since(start) < 5000)
        served = tcp_served();
    EXPECT_TRUE(served);
}

TEST_F(Attack, UnknownProceduresAndHostileArgumentsAreRefused)
{
    for (uint32_t procedure : {4u, 0xFFFFFFFFu}) {
        EXPECT_EQ(record(bare_reply(1, 3)), tcp_call(1, procedure).raw) << "PROC_UNAVAIL";
        EXPECT_EQ(bare_reply(2, 3), udp_call(2, procedure).raw) << procedure;
    }
    const Bytes full = request_bytes("subject", 3);
    // One of each kind of fault; the decoding itself is fuzzed.
    std::vector<std::pair<const char *, Bytes>> faults = {
        {"subject of 256 bytes", request_bytes(std::string(256, 's'), 1)},
        {"member list beyond the bound", request_bytes("s", WIRE_MAXMEMBERS + 1)},
        {"record cut inside a text", Bytes(full.begin(), full.begin() + 26)},
        {"nothing at all", {}},
    };
    for (const auto &[what, bytes] : faults) {
        RawReply r = tcp_call(3, CALLPROC_REQUEST, bytes);
        ASSERT_TRUE(r.received) << what;
        EXPECT_EQ(4u, r.accept_stat) << "GARBAGE_ARGS for " << what;
        if (bytes.size() < 8000) {
            EXPECT_EQ(bare_reply(4, 4), udp_call(4, CALLPROC_REQUEST, bytes).raw) << what;
        }
    }
    Bytes long_callid = WireBuilder().U32s({CALL_ACCEPT, 0, 0}).Text(std::string(300, 'c')).b;
    EXPECT_EQ(4u, tcp_call(5, CALLPROC_REPLY, long_callid).accept_stat);

    // A datagram cut short is refused, not completed from the whole one
    // before it, whose bytes are still in the server's buffer.
    RawReply whole = udp_call(6, CALLPROC_REQUEST, full);
    EXPECT_TRUE(whole.xid == 6 && whole.reply_stat == 0 && whole.accept_stat == 0);
    EXPECT_EQ(4u, whole.results.size());
    for (long cut : {8, 40, 100}) {
        Bytes part(full.begin(), full.end() - cut);
        EXPECT_EQ(bare_reply(7, 4), udp_call(7, CALLPROC_REQUEST, part).raw) << cut;
    }
    EXPECT_EQ(0u, udp_call(8, CALLPROC_REQUEST, full).accept_stat);

    // The end of the stream ends an argument cut inside its record.
    Bytes message = call_message(9, CALLPROC_REQUEST, full);
    RawReply r = tcp_exchange(tcp, message, message.size() / 2);
    EXPECT_EQ(9u, r.xid);
    EXPECT_EQ(4u, r.accept_stat);
    expect_served("after an argument cut short");
}

TEST_F(Attack, AClientGoneBeforeItsRepliesCannotEndTheProcess)
{
    /* Two calls, then the connection closed unread: the first reply makes
     * the client reset it, and the second is written to a connection gone. */
    int fd = hostile_connection(
        record(call_message(92, NULLPROC, {}), true, record(call_message(91, NULLPROC, {}))));
    close(fd);
    hostile.pop_back();
    /* The process is still here to answer. */
    for (int i = 0; i < 2; ++i)
        EXPECT_TRUE(tcp_served());
}

TEST_F(Attack, TheStubsAnswerAsTheServerDoes)
{
    SampleCall sample("stub-call");
    CALLRPY reply{CALL_ACCEPT, &sample.members[0], &sample.members[1], sample.callid.data(), 42};
    INT invited = 0, replied = 0;
    run_blocking([&] {
        CLIENT *client = clnt_create("127.0.0.1", CALLPROG, CALLVERS, "tcp");
        ASSERT_NE(nullptr, client);
        INT *r = callproc_request_1(&sample.request, client);
        invited = r ? *r : -1;
        r = callproc_reply_1(&reply, client);
        replied = r ? *r : -1;
        clnt_destroy(client);
    });
    EXPECT_EQ(CALL_NOTHANDLED, invited) << "no application to take it";
    EXPECT_EQ(CALL_DELIVERED, replied);
    // Procedure 3 is never answered.
    std::string text = "caps";
    CAPINFOMESSAGE caps{text.data(), {1, 2, 3, 4, 5}};
    Bytes argument;
    ASSERT_TRUE(Encode(xdr_CAPINFOMESSAGE, &caps, &argument));
    EXPECT_FALSE(udp_call(10, CALLPROC_CAPINFO, argument, 300).received);
}

TEST_F(Attack, RecordsAreTakenAsSentAndAnOverlongOneEndsOnlyItsConnection)
{
    // Three calls, the second in two fragments, written 7 bytes at a time as
    // the loop runs: three replies in order.
    Bytes second = call_message(22, NULLPROC, {});
    Bytes stream = record(call_message(21, NULLPROC, {}));
    stream = record(Bytes(second.begin(), second.begin() + 10), false, stream);
    stream = record(Bytes(second.begin() + 10, second.end()), true, stream);
    stream = record(call_message(23, 99, {}), true, stream);
    int fd = hostile_connection();
    for (size_t i = 0; i < stream.size(); i += 7) {
        size_t n = std::min<size_t>(7, stream.size() - i);
        ASSERT_EQ((ssize_t)n, write(fd, stream.data() + i, n));
        if (i % 21 == 0)
            expect_served("a record arriving in pieces");
    }
    Bytes expected =
        record(bare_reply(23, 3), true, record(bare_reply(22, 0), true, record(bare_reply(21, 0))));
    Bytes got;
    run_blocking([&] { got = read_for(fd, expected.size(), 2000); });
    EXPECT_EQ(expected, got);

    int over = hostile_connection(WireBuilder().U32(0x80000000u | 0x7FFFFFF0u).b);
    expect_served("an overlong record announced");
    bool ended = false;
    run_blocking([&] { ended = closed_by_server(over, 2000); });
    EXPECT_TRUE(ended);
}

TEST_F(Attack, TheServerLeavesNoDescriptorBehind)
{
    expect_served("first start");
    SERVER_Cleanup();
    const int base = open_descriptors();
    start_server();
    int fd = tcp_connect(tcp);
    ASSERT_GE(fd, 0);
    expect_served("a connection open");
    SERVER_Cleanup();
    EXPECT_TRUE(closed_by_server(fd, 1000)) << "connections end with their server";
    close(fd);
    EXPECT_EQ(base, open_descriptors());
    start_server(); // for TearDown
}

} // namespace
