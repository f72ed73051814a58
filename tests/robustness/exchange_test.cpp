// CALL_Send against silent or trickling peers and port mappers, and the
// port-mapper cache.  The host runs no rpcbind: port 111 is the test's own.
#include "protocol/callsample.h"
#include "protocol/rpctest.h"

#include "members/members.h"
#include "netlib/netlib.h"
#include "protocol/exchange.h"
#include "protocol/rpc.h"
#include "support/instance.h"
#include "support/recorder.h"

#include <paltest.h>

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <cstring>
#include <memory>
#include <string>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

const UINT NOTIFY = WM_USER + 9;
const DWORD LOOPBACK = 0x7F000001u;
const WORD PMAP_PORT = 111;
const DWORD BUDGET_MS = CLIENT_TIMEOUT * 1000u;
// Virtual milliseconds that pass each time the sender finds nothing to do.
const DWORD STEP_MS = 1000;

// A TCP socket bound to 127.0.0.1:port (0: any), listening or refusing.
struct Port {
    WORD port = 0;
    int fd = -1;
    explicit Port(WORD want, bool listening = true) : fd(tcp_socket(want, &port, listening)) {}
    ~Port() { close(fd); }
};

// A reply record announcing 256 bytes of which 200 ever come, to trickle.
const std::string ENDLESS = std::string("\x80\x00\x01\x00", 4) + std::string(200, '\x01');

// A service of the peer host, played from the sender's idle moments.
// SHAPED sends the service's `reply`, the call's xid put in after its mark,
// at once or (`trickle`) a byte each time the sender finds nothing to do,
// and then closes.
enum class Plays { ANSWER, SILENT, TRICKLE, SHAPED };
struct Service {
    std::unique_ptr<Port> port;
    Plays plays = Plays::ANSWER;
    u_int number = 0; // the answer to a call
    int conn = -1;
    size_t sent = 0;
    int connections = 0;
    std::string reply;
    bool trickle = false;
    bool replying = false;
    void drop()
    {
        if (conn >= 0)
            close(conn);
        conn = -1;
    }
};
Service mapper, program; // the port mapper on port 111, and the call program
CMAPP *watched = nullptr;
DWORD busy_seen = 0;

BOOL CALLBACK play_services(void *)
{
    if (watched && watched->busy > busy_seen)
        busy_seen = watched->busy;
    bool work = false, hostile = false;
    for (Service *s : {&mapper, &program}) {
        if (s->conn < 0 && s->port &&
            (s->conn = accept4(s->port->fd, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC)) >= 0) {
            ++s->connections;
            s->sent = 0;
            work = true;
        }
        char call[512];
        ssize_t got = s->conn < 0 ? -1 : recv(s->conn, call, sizeof call, MSG_DONTWAIT);
        if (s->conn >= 0 && s->plays == Plays::SHAPED && (s->replying || got >= 8)) {
            if (!s->replying) {
                memcpy(&s->reply[4], call + 4, 4);
                s->replying = true;
            }
            size_t n = s->trickle ? 1 : s->reply.size() - s->sent;
            if (send(s->conn, s->reply.data() + s->sent, n, MSG_NOSIGNAL) == (ssize_t)n)
                s->sent += n;
            if (s->sent == s->reply.size()) {
                s->drop();
                s->replying = false;
            }
            work = true;
        } else if (got == 0) {
            s->drop();
        } else if (s->conn >= 0 && s->plays == Plays::ANSWER && got >= 8) {
            uint32_t r[8] = {htonl(0x80000000u | 28), 0, htonl(1), 0, 0, 0, 0, htonl(s->number)};
            memcpy(&r[1], call + 4, 4);
            send(s->conn, r, sizeof r, MSG_NOSIGNAL);
            s->drop();
            work = true;
        } else if (s->conn >= 0 && s->plays != Plays::ANSWER) {
            while (recv(s->conn, call, sizeof call, MSG_DONTWAIT) > 0) {
            }
            if (s->plays == Plays::TRICKLE && s->sent < ENDLESS.size() &&
                send(s->conn, ENDLESS.data() + s->sent, 1, MSG_NOSIGNAL) == 1)
                ++s->sent;
            hostile = true;
        }
    }
    // Time moves only while a hostile service holds the sender.
    if (hostile)
        PalClockAdvance(STEP_MS);
    return work || hostile;
}

class Exchange : public ::testing::Test {
  protected:
    void SetUp() override
    {
        ASSERT_EQ(1, NET_Startup(resource_instance()));
        register_recording_class("ExchangeOwner");
        owner = make_window("ExchangeOwner");
        app = APP_Create(owner, NOTIFY);
        ASSERT_EQ(0, CALL_FromRequest(&call, &sample.request));
        call->to->ipaddr = LOOPBACK;
        PMAP_CacheClear();
        watched = app;
        busy_seen = 0;
    }
    void TearDown() override
    {
        PMAP_CacheClear();
        mapper.drop();
        program.drop();
        mapper = Service{};
        program = Service{};
        watched = nullptr;
        APP_Destroy(app);
        CALL_Free(call);
        DestroyWindow(owner);
        NET_Cleanup();
    }

    // The port mapper on port 111 (or none) and the program playing `plays`.
    void serve(bool with_mapper, Plays plays)
    {
        mapper.drop();
        mapper.connections = 0;
        mapper.port.reset(); // before binding its port again
        mapper.port = with_mapper ? std::make_unique<Port>(PMAP_PORT) : nullptr;
        ASSERT_TRUE(!with_mapper || mapper.port->port == PMAP_PORT);
        if (!program.port) {
            program.port = std::make_unique<Port>(0);
            ASSERT_NE(0, program.port->port);
        }
        mapper.number = program.port->port;
        program.drop();
        program.plays = plays;
        program.number = CALL_DELIVERED;
    }

    // CALL_Send with the services playing; `took`: platform-clock milliseconds.
    INT exchange(bool virtual_time = false)
    {
        PalClockSetVirtual(virtual_time, 1000);
        PalSetIdleHook(play_services, nullptr);
        DWORD start = GetTickCount();
        INT result = CALL_Send(app, call, CALL_INVITE, FALSE);
        took = GetTickCount() - start;
        PalSetIdleHook(nullptr, nullptr);
        PalClockSetVirtual(FALSE, 0);
        return result;
    }

    DWORD took = 0;
    HWND owner = nullptr;
    CMAPP *app = nullptr;
    SampleCall sample{"call-from-alice"};
    CALLCTX *call = nullptr;
};

TEST_F(Exchange, APeerOrPortMapperThatNeverAnswersOrTricklesEndsAtTheDeadline)
{
    static const struct {
        const char *name;
        Plays mapper, program;
    } cases[] = {{"silent peer", Plays::ANSWER, Plays::SILENT},
                 {"trickling peer", Plays::ANSWER, Plays::TRICKLE},
                 {"silent port mapper", Plays::SILENT, Plays::ANSWER}};
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        serve(true, c.program);
        mapper.plays = c.mapper;
        program.connections = 0;
        app->busy = 1;
        busy_seen = 0;
        EXPECT_EQ(CALL_UNREACHABLE, exchange(true));
        EXPECT_GE(took, BUDGET_MS);
        EXPECT_LE(took, BUDGET_MS + STEP_MS) << "one deadline, on the platform clock";
        EXPECT_EQ(c.mapper == Plays::ANSWER, program.connections >= 1) << "the peer was reached";
        EXPECT_EQ(2u, busy_seen) << "counted while waiting";
        EXPECT_EQ(1u, app->busy) << "and only then";
        EXPECT_GE(program.sent, c.program == Plays::TRICKLE ? 20u : 0u) << "kept trickling";
        EXPECT_EQ(0, PMAP_CacheFind(LOOPBACK)) << "a port that failed is not kept";
    }
    app->busy = 0;

    serve(false, Plays::ANSWER);
    EXPECT_EQ(CALL_UNREACHABLE, exchange(true));
    EXPECT_LT(took, BUDGET_MS) << "a refusing port mapper fails at once";
}

TEST_F(Exchange, TheCachedPortIsUsedUntilItRefuses)
{
    serve(true, Plays::ANSWER);
    EXPECT_EQ(CALL_DELIVERED, exchange());
    const WORD first = program.port->port;
    EXPECT_EQ(first, PMAP_CacheFind(LOOPBACK));
    EXPECT_EQ(1, mapper.connections);

    serve(false, Plays::ANSWER);
    EXPECT_EQ(CALL_DELIVERED, exchange());
    EXPECT_EQ(2, program.connections) << "without a port mapper the cached port serves";

    // The cached port refuses (the peer restarted): the port mapper is asked once more.
    Port held(0, false);
    ASSERT_NE(0, held.port);
    PMAP_CacheStore(LOOPBACK, held.port);
    serve(true, Plays::ANSWER);
    EXPECT_EQ(CALL_DELIVERED, exchange());
    EXPECT_EQ(first, PMAP_CacheFind(LOOPBACK));
    EXPECT_EQ(1, mapper.connections);

    // Refused with no port mapper to ask: the entry is dropped.
    PMAP_CacheStore(LOOPBACK, held.port);
    serve(false, Plays::ANSWER);
    EXPECT_EQ(CALL_UNREACHABLE, exchange());
    EXPECT_EQ(0, PMAP_CacheFind(LOOPBACK));
    EXPECT_EQ(0u, app->busy);
}

// A record mark: the fragment's length, its top bit on the last one.
std::string mark(uint32_t length, bool last)
{
    uint32_t m = htonl(length | (last ? 0x80000000u : 0));
    return std::string((const char *)&m, 4);
}

// A reply accepting the call with `number` as its result, `size` bytes
// long (the rest zeros), its xid left zero.
std::string reply_body(u_int number, size_t size)
{
    uint32_t w[7] = {0, htonl(1), 0, 0, 0, 0, htonl(number)};
    std::string b(size, '\0');
    memcpy(&b[0], w, sizeof w);
    return b;
}

TEST_F(Exchange, AReplyIsTakenWhateverItsFragmentsUpToItsBound)
{
    const u_int answer = CALL_DELIVERED;
    const std::string body = reply_body(answer, 28);
    const std::string pieces =
        mark(8, false) + body.substr(0, 8) + mark(0, false) + mark(20, true) + body.substr(8);
    static const size_t LIMIT = 1024; // the longest reply a sender takes
    const struct {
        const char *name;
        std::string reply;
        bool trickle;
        bool taken;
    } cases[] = {
        {"one fragment", mark(28, true) + body, false, true},
        {"three fragments, one of them empty", pieces, false, true},
        {"three fragments a byte at a time", pieces, true, true},
        {"another record behind it", mark(28, true) + body + mark(28, true) + body, false, true},
        {"the longest", mark(LIMIT, true) + reply_body(answer, LIMIT), false, true},
        {"the longest in two fragments",
         mark(LIMIT - 4, false) + reply_body(answer, LIMIT - 4) + mark(4, true) +
             std::string(4, '\0'),
         false, true},
        {"a byte longer", mark(LIMIT + 1, true) + reply_body(answer, LIMIT + 1), false, false},
        {"a byte longer in two fragments",
         mark(LIMIT, false) + reply_body(answer, LIMIT) + mark(1, true) + std::string(1, '\0'),
         false, false},
        {"cut short", mark(28, true) + body.substr(0, 27), false, false},
        {"cut inside a mark", mark(8, false) + body.substr(0, 8) + std::string("\x80\0", 2), true,
         false},
    };
    serve(true, Plays::SHAPED);
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        program.reply = c.reply;
        program.trickle = c.trickle;
        program.sent = 0;
        EXPECT_EQ(c.taken ? (INT)answer : CALL_UNREACHABLE, exchange());
        EXPECT_EQ(c.reply.size(), program.sent) << "the whole reply went";
        EXPECT_LT(took, BUDGET_MS) << "at once, not at the deadline";
    }
}

TEST(PortMapperCache, KeepsOnePortPerHostAndMakesRoomFromTheLeastRecentlyUsed)
{
    PMAP_CacheClear();
    for (DWORD host = 1; host <= PMAP_CACHE_SIZE; ++host)
        PMAP_CacheStore(host, (WORD)(1000 + host));
    PMAP_CacheStore(1, 2001);           // a new answer replaces the old one
    EXPECT_EQ(1002, PMAP_CacheFind(2)); // host 3 is now the least recently used
    PMAP_CacheStore(100, 3000);
    EXPECT_EQ(0, PMAP_CacheFind(3));
    EXPECT_EQ(3000, PMAP_CacheFind(100));
    PMAP_CacheStore(100, 0); // no port: nothing to keep
    EXPECT_EQ(0, PMAP_CacheFind(100));
    PMAP_CacheClear();
}

} // namespace
