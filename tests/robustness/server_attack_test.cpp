// A hostile client on the same network against the call-protocol server:
// stalled and trickling connections, a client that never reads its replies,
// idle connections by the hundred, a process out of descriptors and a
// datagram cut short.  Whatever it does, the process lives, the message
// loop keeps serving others and its timers, and what it holds stays bounded.
#include "protocol/rpctest.h"

#include "protocol/rpc.h"

#include <paltest.h>
#include <windows.h>

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <thread>

namespace {

using Clock = std::chrono::steady_clock;

// Generous: an answer takes milliseconds; a frozen loop takes tens of seconds.
const int ANSWER_MS = 1000;
// The server's bounds: connections quiet this long are closed, and no more
// than this many are held.
const DWORD IDLE_BOUND_MS = 30000;
const int CONNECTION_CAP = 64;

long ms_since(Clock::time_point start)
{
    return (long)std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start)
        .count();
}

// Counted without opening anything, so that it works with the table full.
int open_descriptors()
{
    int n = 0;
    for (int fd = 0; fd < 4096; ++fd)
        n += fcntl(fd, F_GETFD) != -1;
    return n;
}

uint32_t get32(const Bytes &b, size_t at)
{
    return (uint32_t)b[at] << 24 | (uint32_t)b[at + 1] << 16 | (uint32_t)b[at + 2] << 8 | b[at + 3];
}

Bytes record(const Bytes &message, bool last = true)
{
    WireBuilder w;
    w.U32((last ? 0x80000000u : 0u) | (uint32_t)message.size()).Append(message);
    return w.b;
}

// A connected client socket (blocking), -1 when none.
int connect_to(unsigned short port, int receive_buffer = 0)
{
    int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return -1;
    if (receive_buffer)
        setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &receive_buffer, sizeof receive_buffer);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(port);
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (connect(fd, (sockaddr *)&a, sizeof a) != 0) {
        close(fd);
        return -1;
    }
    return fd;
}

// Reads until `want` bytes came, the stream ended or `limit_ms` passed.
Bytes read_for(int fd, size_t want, int limit_ms)
{
    Bytes got;
    Clock::time_point start = Clock::now();
    while (got.size() < want) {
        long left = limit_ms - ms_since(start);
        pollfd p{fd, POLLIN, 0};
        if (left <= 0 || poll(&p, 1, (int)left) != 1)
            break;
        uint8_t buf[4096];
        ssize_t n = read(fd, buf, std::min(sizeof buf, want - got.size()));
        if (n <= 0)
            break;
        got.insert(got.end(), buf, buf + n);
    }
    return got;
}

// Whether the server has closed its end of `fd`: the stream ends (or is
// reset) within `limit_ms`, after whatever replies were still unread.
bool closed_by_server(int fd, int limit_ms)
{
    Clock::time_point start = Clock::now();
    for (;;) {
        long left = limit_ms - ms_since(start);
        pollfd p{fd, POLLIN, 0};
        if (left <= 0 || poll(&p, 1, (int)left) != 1)
            return false;
        uint8_t buf[65536];
        ssize_t n = read(fd, buf, sizeof buf);
        if (n == 0 || (n < 0 && errno == ECONNRESET))
            return true;
        if (n < 0)
            return false;
    }
}

// The exact reply of a call with `xid` refused or answered with nothing:
// REPLY, MSG_ACCEPTED, an empty AUTH_NONE verifier, `accept_stat`.
Bytes bare_reply(uint32_t xid, uint32_t accept_stat)
{
    return WireBuilder().U32(xid).U32(1).U32(0).U32(0).U32(0).U32(accept_stat).b;
}

// Connections made by another process, so that they cost this one no
// descriptor until the server accepts them; they stay open until finish().
struct ForeignClients {
    pid_t child = -1;
    int hold = -1;

    bool start(unsigned short port, int count)
    {
        int ready[2], held[2];
        if (pipe(ready) != 0 || pipe(held) != 0)
            return false;
        child = fork();
        if (child < 0)
            return false;
        if (child == 0) {
            close(ready[0]);
            close(held[1]);
            for (int i = 0; i < count; ++i)
                connect_to(port);
            char c = 'x';
            if (write(ready[1], &c, 1) == 1 && read(held[0], &c, 1) >= 0)
                _exit(0);
            _exit(1);
        }
        close(ready[1]);
        close(held[0]);
        hold = held[1];
        char c;
        bool ok = read(ready[0], &c, 1) == 1;
        close(ready[0]);
        return ok;
    }
    void finish()
    {
        if (hold >= 0)
            close(hold);
        hold = -1;
        int status = 0;
        if (child > 0)
            waitpid(child, &status, 0);
        child = -1;
    }
    ~ForeignClients() { finish(); }
};

// The process's CPU time in milliseconds.
long cpu_ms()
{
    rusage use;
    getrusage(RUSAGE_SELF, &use);
    auto us = [](const timeval &t) { return (long)t.tv_sec * 1000000L + t.tv_usec; };
    return (us(use.ru_utime) + us(use.ru_stime)) / 1000;
}

class Attack : public ::testing::Test {
  protected:
    void SetUp() override
    {
        ASSERT_TRUE(SERVER_Startup());
        tcp = mapped_port("tcp");
        udp = mapped_port("udp");
        ASSERT_TRUE(tcp && udp);
    }
    void TearDown() override
    {
        for (int fd : hostile)
            close(fd);
        hostile.clear();
        SERVER_Cleanup();
        PalClockSetVirtual(FALSE, 0);
    }

    // Real milliseconds until a well-behaved client's NULLPROC over TCP is
    // answered, or -1 when no exact answer came within ANSWER_MS.
    long tcp_nullproc_ms(uint32_t xid = 5150)
    {
        long took = -1;
        run_blocking([&] {
            Clock::time_point start = Clock::now();
            int fd = connect_to(tcp);
            if (fd < 0)
                return;
            Bytes call = record(call_message(xid, NULLPROC, {}));
            if (write(fd, call.data(), call.size()) == (ssize_t)call.size() &&
                read_for(fd, 28, ANSWER_MS) == record(bare_reply(xid, 0)))
                took = ms_since(start);
            close(fd);
        });
        return took;
    }
    long udp_nullproc_ms(uint32_t xid = 5151)
    {
        Clock::time_point start = Clock::now();
        RawReply r = udp_exchange(udp, call_message(xid, NULLPROC, {}), ANSWER_MS);
        return r.received && r.xid == xid && r.accept_stat == 0 ? ms_since(start) : -1;
    }
    // Both answered within the bound, `what` naming the situation.
    void expect_served(const char *what)
    {
        long t = tcp_nullproc_ms();
        EXPECT_GE(t, 0) << "TCP NULLPROC unanswered: " << what;
        EXPECT_LT(t, ANSWER_MS) << what;
        long u = udp_nullproc_ms();
        EXPECT_GE(u, 0) << "UDP NULLPROC unanswered: " << what;
        EXPECT_LT(u, ANSWER_MS) << what;
    }
    // Dispatches this thread's messages until its thread timer of `ms` real
    // milliseconds fires; the real milliseconds that took.
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

    unsigned short tcp = 0, udp = 0;
    std::vector<int> hostile;
};

TEST_F(Attack, StalledAndTricklingConnectionsHoldNeitherCallsNorTimers)
{
    Bytes call = record(call_message(7, NULLPROC, {}));
    Bytes big = record(Bytes(4000, 0));
    for (int i = 0; i < 4; ++i) {
        // Half a record, then nothing.
        int fd = connect_to(tcp);
        ASSERT_GE(fd, 0);
        ASSERT_EQ(20, write(fd, call.data(), 20));
        hostile.push_back(fd);
        // Two bytes of a record mark.
        fd = connect_to(tcp);
        ASSERT_GE(fd, 0);
        ASSERT_EQ(2, write(fd, big.data(), 2));
        hostile.push_back(fd);
    }
    expect_served("eight connections stalled inside a record");

    // Trickling: every step brings one more byte on each connection, and
    // each wakes the loop.
    for (size_t step = 0; step < 6; ++step) {
        for (size_t i = 1; i < hostile.size(); i += 2)
            ASSERT_EQ(1, write(hostile[i], big.data() + 2 + step, 1));
        long fired = timer_fires_after(20);
        EXPECT_LT(fired, ANSWER_MS) << "the timer held up at step " << step;
        expect_served("connections trickling a byte at a time");
    }
}

TEST_F(Attack, AClientThatNeverReadsItsRepliesIsDroppedWithoutHoldingTheLoop)
{
    PalClockSetVirtual(TRUE, 1000);
    // Calls pipelined as fast as they go, replies never read: the client's
    // small receive buffer fills at once.
    int fd = connect_to(tcp, 4096);
    ASSERT_GE(fd, 0);
    hostile.push_back(fd);
    fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) | O_NONBLOCK);
    Bytes calls;
    for (uint32_t xid = 1; xid <= 20000; ++xid) {
        Bytes one = record(call_message(xid, NULLPROC, {}));
        calls.insert(calls.end(), one.begin(), one.end());
    }
    // Writes until the server stops taking calls because its replies wait
    // (they first fill the socket buffers on both sides, a few megabytes),
    // the loop serving others between writes.
    const size_t bound = 64u << 20;
    size_t sent = 0;
    int refused = 0;
    for (int round = 0; round < 200 && sent < bound && refused < 3; ++round) {
        size_t at = sent % calls.size();
        ssize_t n = write(fd, calls.data() + at, calls.size() - at);
        if (n > 0) {
            sent += (size_t)n;
            refused = 0;
        } else {
            ++refused;
        }
        expect_served("a client that never reads");
    }
    EXPECT_EQ(3, refused) << "calls are still taken from a peer that reads nothing: " << sent;

    // It holds a descriptor until its replies have waited past the bound.
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
    for (int i = 0; i < clients; ++i) {
        int fd = connect_to(tcp);
        ASSERT_GE(fd, 0) << i;
        hostile.push_back(fd);
    }
    // The server takes the connections as the loop runs; it never holds
    // more than its cap, the quietest making room for newer ones.
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
    EXPECT_GE(closed, clients - CONNECTION_CAP) << "each accepted past the cap closed one";

    PalClockAdvance(IDLE_BOUND_MS - 2000);
    expect_served("short of the bound");
    EXPECT_GT(open_descriptors() - base - clients, 0) << "closed before the bound";
    PalClockAdvance(3000);
    expect_served("past the bound");
    EXPECT_EQ(base + clients, open_descriptors()) << "every idle connection closed";
    for (int fd : hostile)
        EXPECT_TRUE(closed_by_server(fd, 1000));
}

TEST_F(Attack, ConnectionsFillingTheDescriptorTableMakeRoomWithoutSpinning)
{
    rlimit before;
    ASSERT_EQ(0, getrlimit(RLIMIT_NOFILE, &before));
    const int base = open_descriptors();
    // Kept for the well-behaved client's own socket.
    int spare = open("/dev/null", O_RDONLY | O_CLOEXEC);
    ASSERT_GE(spare, 0);
    rlimit low = before;
    low.rlim_cur = (rlim_t)base + 40;
    ForeignClients clients;
    ASSERT_TRUE(clients.start(tcp, 120));
    ASSERT_EQ(0, setrlimit(RLIMIT_NOFILE, &low));

    long cpu = cpu_ms();
    long elapsed = timer_fires_after(400);
    cpu = cpu_ms() - cpu;
    EXPECT_LT(cpu, elapsed / 2) << "the loop spun with the descriptor table full";
    EXPECT_LT(elapsed, 2 * ANSWER_MS);
    EXPECT_LE(open_descriptors(), base + 40);

    close(spare);
    long t = tcp_nullproc_ms();
    EXPECT_GE(t, 0) << "a connection quiet longest makes room for a new one";
    EXPECT_LT(t, ANSWER_MS);
    setrlimit(RLIMIT_NOFILE, &before);
    clients.finish();
}

TEST_F(Attack, AProcessOutOfDescriptorsWaitsInsteadOfSpinning)
{
    ForeignClients clients;
    ASSERT_TRUE(clients.start(tcp, 8));
    // Every descriptor taken, none by a connection that could make room.
    rlimit before;
    ASSERT_EQ(0, getrlimit(RLIMIT_NOFILE, &before));
    rlimit low = before;
    low.rlim_cur = (rlim_t)open_descriptors() + 64;
    ASSERT_EQ(0, setrlimit(RLIMIT_NOFILE, &low));
    std::vector<int> filler;
    for (int fd; (fd = open("/dev/null", O_RDONLY | O_CLOEXEC)) >= 0;)
        filler.push_back(fd);

    long cpu = cpu_ms();
    long elapsed = timer_fires_after(400);
    cpu = cpu_ms() - cpu;

    for (int fd : filler)
        close(fd);
    setrlimit(RLIMIT_NOFILE, &before);
    EXPECT_LT(cpu, elapsed / 2) << "the loop spun while no descriptor was left";
    EXPECT_LT(elapsed, 2 * ANSWER_MS);

    // Descriptors back: the waiting connections are taken and calls served
    // again once the pause is over.
    Clock::time_point start = Clock::now();
    long t = -1;
    while (t < 0 && ms_since(start) < 5000)
        t = tcp_nullproc_ms();
    EXPECT_GE(t, 0);
    clients.finish();
}

TEST_F(Attack, ADatagramCutShortIsRefusedNotCompletedFromTheOneBefore)
{
    // An invitation with a member list, then the same cut inside its list:
    // the bytes after the cut are still in the server's buffer.
    WireBuilder w;
    w.U32(CALL_INVITE);
    w.U32(1).Member(CMS_IDLE, 0xC6120002u, "hostb", "bob", "Bob", "bob@hostb");
    w.U32(1).Member(CMS_IDLE, 0xC6120001u, "hosta", "al", "Al", "al@hosta");
    w.U32(1).U32(CS_ACTIVE).U32(1).U32(0).U32(1).U32(0).U32(0).U32(0);
    w.Text("call-1").Text("g1").Text("g2").Text("").Text("subject");
    w.U32(0).U32(0);
    for (int i = 0; i < 3; ++i)
        w.U32(1).U32(1).Member(CMS_IDLE, (uint32_t)i, "h", "u", "r", "a");
    w.U32(0);
    Bytes full = w.b;

    auto exchange = [&](uint32_t xid, const Bytes &argument) {
        Bytes reply;
        run_blocking([&] {
            int fd = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
            sockaddr_in a{};
            a.sin_family = AF_INET;
            a.sin_port = htons(udp);
            a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
            Bytes m = call_message(xid, CALLPROC_REQUEST, argument);
            sendto(fd, m.data(), m.size(), 0, (sockaddr *)&a, sizeof a);
            pollfd p{fd, POLLIN, 0};
            if (poll(&p, 1, ANSWER_MS) == 1) {
                uint8_t buf[9000];
                ssize_t n = recv(fd, buf, sizeof buf, 0);
                if (n > 0)
                    reply.assign(buf, buf + n);
            }
            close(fd);
        });
        return reply;
    };
    Bytes whole = exchange(1, full);
    ASSERT_EQ(28u, whole.size());
    EXPECT_EQ(0u, get32(whole, 20)) << "the whole invitation is accepted";

    for (size_t cut : {8u, 40u, 100u}) {
        Bytes shorter(full.begin(), full.end() - (long)cut);
        EXPECT_EQ(bare_reply(2, 4), exchange(2, shorter)) << "GARBAGE_ARGS for a cut of " << cut;
    }
    // The server answers the whole one again afterwards.
    EXPECT_EQ(28u, exchange(3, full).size());
}

TEST_F(Attack, RecordsAreTakenAsSentAndAnOverlongOneEndsOnlyItsConnection)
{
    // Three calls in one write, the second in two fragments written a byte
    // at a time as the loop runs: three replies in order.
    Bytes second = call_message(22, NULLPROC, {});
    Bytes head(second.begin(), second.begin() + 10), tail(second.begin() + 10, second.end());
    Bytes stream = record(call_message(21, NULLPROC, {}));
    Bytes part = record(head, false);
    stream.insert(stream.end(), part.begin(), part.end());
    part = record(tail, true);
    stream.insert(stream.end(), part.begin(), part.end());
    part = record(call_message(23, 99, {}));
    stream.insert(stream.end(), part.begin(), part.end());
    int fd = connect_to(tcp);
    ASSERT_GE(fd, 0);
    hostile.push_back(fd);
    for (size_t i = 0; i < stream.size(); i += 7) {
        size_t n = std::min<size_t>(7, stream.size() - i);
        ASSERT_EQ((ssize_t)n, write(fd, stream.data() + i, n));
        if (i % 21 == 0)
            expect_served("a record arriving in pieces");
    }
    Bytes expected = record(bare_reply(21, 0));
    part = record(bare_reply(22, 0));
    expected.insert(expected.end(), part.begin(), part.end());
    part = record(bare_reply(23, 3));
    expected.insert(expected.end(), part.begin(), part.end());
    Bytes got;
    run_blocking([&] { got = read_for(fd, expected.size(), 2000); });
    EXPECT_EQ(expected, got);

    // A record announced beyond every call's size: its connection ends,
    // others are served.
    int over = connect_to(tcp);
    ASSERT_GE(over, 0);
    hostile.push_back(over);
    Bytes mark = WireBuilder().U32(0x80000000u | 0x7FFFFFF0u).b;
    ASSERT_EQ(4, write(over, mark.data(), mark.size()));
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
    for (int i = 0; i < 3; ++i) {
        ASSERT_TRUE(SERVER_Startup());
        tcp = mapped_port("tcp");
        udp = mapped_port("udp");
        expect_served("a later start");
        int fd = connect_to(tcp);
        ASSERT_GE(fd, 0);
        expect_served("a connection open");
        SERVER_Cleanup();
        EXPECT_TRUE(closed_by_server(fd, 1000)) << "connections end with their server";
        close(fd);
        EXPECT_EQ(base, open_descriptors()) << "cycle " << i;
    }
    ASSERT_TRUE(SERVER_Startup()); // for TearDown
}

} // namespace
