// The call-protocol server: its registration with the port mapper, its
// references, and how it answers well-formed, unknown and hostile calls.
#include "protocol/callsample.h"
#include "protocol/rpctest.h"

#include "protocol/rpc.h"
#include "registry/registry.h"

#include <paltest.h>

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

TEST(Server, TheFirstReferenceRegistersBothTransportsTheLastRemovesThem)
{
    EXPECT_EQ("", registered_transports());
    ASSERT_TRUE(SERVER_Startup());
    ASSERT_TRUE(SERVER_Startup());
    EXPECT_EQ(2u, SERVER_Users());
    std::string listed = registered_transports();
    EXPECT_EQ(8u, listed.size()) << "one entry per transport: " << listed;
    for (const std::string &target :
         {std::string("127.0.0.1"), std::string(getenv("CALLMGR_HOST_NAME"))})
        for (const char *transport : {"-t ", "-u "})
            EXPECT_TRUE(program_ready(transport + target)) << transport << target;

    SERVER_Cleanup();
    EXPECT_EQ(listed, registered_transports()) << "one reference is still held";
    SERVER_Cleanup();
    EXPECT_EQ("", registered_transports());
    SERVER_Cleanup();
    EXPECT_EQ(0u, SERVER_Users()) << "a release too many does nothing";
}

// The process acts as another user while this lives.
struct OtherUser {
    OtherUser() { EXPECT_EQ(0, seteuid(65534)); }
    ~OtherUser() { EXPECT_EQ(0, seteuid(0)); }
};

TEST(Server, ARegistrationWhosePortRefusesIsReplacedByItsOwnerOrRoot)
{
    // Left by a server that is gone: nothing listens on port 999 of this host.
    for (const char *left : {"tcp udp", "udp"}) {
        SCOPED_TRACE(left);
        ASSERT_TRUE(pmap_set(CALLPROG, CALLVERS, IPPROTO_UDP, 999));
        if (std::string(left) == "tcp udp") {
            ASSERT_TRUE(pmap_set(CALLPROG, CALLVERS, IPPROTO_TCP, 999));
        }
        {
            OtherUser nobody;
            EXPECT_FALSE(SERVER_Startup()) << "only root or the owner may remove it";
        }
        EXPECT_EQ(0u, SERVER_Users());
        EXPECT_EQ(999, mapped_port("udp"));
        EXPECT_EQ(std::string(left) == "udp" ? 0 : 999, mapped_port("tcp"));

        ASSERT_TRUE(SERVER_Startup());
        for (const char *transport : {"-t ", "-u "})
            EXPECT_TRUE(program_ready(transport + std::string("127.0.0.1"))) << transport;
        SERVER_Cleanup();
        EXPECT_EQ("", registered_transports());
    }
}

// Waits of the start that find nothing to do: once the probe's connection
// waits on the silent port, virtual time moves, and the first also starts
// the server again, as a handler of the application might.
struct Silent {
    int listener = -1;
    int waits = 0;
    BOOL inner = TRUE;
};
const DWORD STEP_MS = 100;

BOOL CALLBACK hold_silently(void *context)
{
    Silent *s = static_cast<Silent *>(context);
    if (s->waits++ == 0)
        s->inner = SERVER_Startup();
    pollfd p{s->listener, POLLIN, 0};
    if (poll(&p, 1, 0) != 1)
        return FALSE; // the port mapper is still answering, in real time
    PalClockAdvance(STEP_MS);
    return TRUE;
}

TEST(Server, ARegistrationWhoseServerDoesNotAnswerInTimeIsReplaced)
{
    // A stopped server: its port takes connections and never answers.
    Silent silent;
    silent.listener = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof a;
    ASSERT_EQ(0, bind(silent.listener, (sockaddr *)&a, sizeof a));
    ASSERT_EQ(0, listen(silent.listener, 4));
    ASSERT_EQ(0, getsockname(silent.listener, (sockaddr *)&a, &length));
    ASSERT_TRUE(pmap_set(CALLPROG, CALLVERS, IPPROTO_TCP, ntohs(a.sin_port)));
    ASSERT_TRUE(pmap_set(CALLPROG, CALLVERS, IPPROTO_UDP, 999));

    PalClockSetVirtual(TRUE, 1000);
    PalSetIdleHook(hold_silently, &silent);
    BOOL started = SERVER_Startup();
    DWORD took = GetTickCount() - 1000;
    PalSetIdleHook(nullptr, nullptr);
    PalClockSetVirtual(FALSE, 0);
    close(silent.listener);

    EXPECT_TRUE(started);
    EXPECT_FALSE(silent.inner) << "a start re-entered while the first one probes";
    EXPECT_EQ(1u, SERVER_Users());
    EXPECT_GE(took, (DWORD)SERVER_PROBE_TIMEOUT);
    EXPECT_LE(took, SERVER_PROBE_TIMEOUT + STEP_MS) << "one bound, on the platform clock";
    EXPECT_NE(ntohs(a.sin_port), mapped_port("tcp"));
    EXPECT_TRUE(program_ready("-t 127.0.0.1"));
    SERVER_Cleanup();
    EXPECT_EQ("", registered_transports());
}

class Dispatch : public ::testing::Test {
  protected:
    void SetUp() override
    {
        ASSERT_TRUE(SERVER_Startup());
        tcp = mapped_port("tcp");
        udp = mapped_port("udp");
        ASSERT_TRUE(tcp && udp);
    }
    void TearDown() override { SERVER_Cleanup(); }

    RawReply tcp_call(uint32_t procedure, const Bytes &argument)
    {
        return tcp_exchange(tcp, call_message(77, procedure, argument));
    }
    RawReply udp_call(uint32_t procedure, const Bytes &argument)
    {
        return udp_exchange(udp, call_message(78, procedure, argument), 10000);
    }

    unsigned short tcp = 0, udp = 0;
};

TEST_F(Dispatch, NullProcIsAnsweredEmptyUnknownProceduresAreRefused)
{
    for (bool over_tcp : {true, false})
        for (uint32_t procedure : {(uint32_t)NULLPROC, 4u, 0xFFFFFFFFu}) {
            RawReply r = over_tcp ? tcp_call(procedure, {}) : udp_call(procedure, {});
            ASSERT_TRUE(r.received) << over_tcp << " " << procedure;
            EXPECT_EQ(0u, r.reply_stat);
            EXPECT_EQ(procedure == NULLPROC ? 0u : 3u, r.accept_stat) << "PROC_UNAVAIL";
            EXPECT_TRUE(r.results.empty());
        }
}

TEST_F(Dispatch, AClientGoneBeforeItsRepliesCannotEndTheProcess)
{
    /* Two calls, then the connection closed unread: the first reply makes
     * the client reset it, and the second is written to a connection gone. */
    Bytes both =
        record(call_message(92, NULLPROC, {}), true, record(call_message(91, NULLPROC, {})));
    int fd = tcp_connect(tcp);
    ASSERT_GE(fd, 0);
    ASSERT_EQ((ssize_t)both.size(), write(fd, both.data(), both.size()));
    close(fd);
    /* The process is still here to answer. */
    for (int i = 0; i < 2; ++i)
        EXPECT_TRUE(tcp_call(NULLPROC, {}).received);
}

TEST_F(Dispatch, HostileArgumentsAreRefusedAsGarbage)
{
    Bytes full = request_bytes("subject", 2);
    // One of each kind of fault; the decoding itself is fuzzed.
    std::vector<std::pair<const char *, Bytes>> hostile = {
        {"subject of 256 bytes", request_bytes(std::string(256, 's'), 1)},
        {"member list beyond the bound", request_bytes("s", WIRE_MAXMEMBERS + 1)},
        {"record cut inside a text", Bytes(full.begin(), full.begin() + 26)},
        {"nothing at all", {}},
    };
    RawReply r;
    for (const auto &[what, bytes] : hostile) {
        r = tcp_call(CALLPROC_REQUEST, bytes);
        ASSERT_TRUE(r.received) << what;
        EXPECT_EQ(4u, r.accept_stat) << "GARBAGE_ARGS for " << what;
        RawReply u = bytes.size() < 8000 ? udp_call(CALLPROC_REQUEST, bytes) : r;
        EXPECT_EQ(4u, u.accept_stat) << "over UDP: " << what;
    }
    Bytes long_callid = WireBuilder().U32s({CALL_ACCEPT, 0, 0}).Text(std::string(300, 'c')).b;
    EXPECT_EQ(4u, tcp_call(CALLPROC_REPLY, long_callid).accept_stat);

    // The end of the stream ends an argument cut inside its record.
    Bytes message = call_message(9, CALLPROC_REQUEST, full);
    r = tcp_exchange(tcp, message, message.size() / 2);
    EXPECT_EQ(9u, r.xid);
    EXPECT_EQ(4u, r.accept_stat);
    EXPECT_EQ(0u, tcp_call(NULLPROC, {}).accept_stat);
}

TEST_F(Dispatch, TheStubsAnswerAsTheServerDoes)
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
    EXPECT_FALSE(udp_exchange(udp, call_message(79, CALLPROC_CAPINFO, argument), 300).received);
}

} // namespace
