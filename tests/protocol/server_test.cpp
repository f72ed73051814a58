// The call-protocol server: its registration with the port mapper and its
// references.  How it answers calls: the robustness tests.
#include "protocol/rpctest.h"

#include "protocol/rpc.h"
#include "registry/registry.h"

#include <paltest.h>

#include <gtest/gtest.h>

#include <poll.h>
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

TEST(Server, ARegistrationWhosePortRefusesIsReplacedByItsOwnerOrRoot)
{
    // Left by a server that is gone: nothing listens on port 999 of this host.
    for (const char *left : {"tcp udp", "udp"}) {
        SCOPED_TRACE(left);
        ASSERT_TRUE(pmap_set(CALLPROG, CALLVERS, IPPROTO_UDP, 999));
        if (std::string(left) == "tcp udp") {
            ASSERT_TRUE(pmap_set(CALLPROG, CALLVERS, IPPROTO_TCP, 999));
        }
        ASSERT_EQ(0, seteuid(65534)); // as another user
        EXPECT_FALSE(SERVER_Startup()) << "only root or the owner may remove it";
        ASSERT_EQ(0, seteuid(0));
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
    unsigned short port = 0;
    silent.listener = tcp_socket(0, &port);
    ASSERT_NE(0, port);
    ASSERT_TRUE(pmap_set(CALLPROG, CALLVERS, IPPROTO_TCP, port));
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
    EXPECT_NE(port, mapped_port("tcp"));
    EXPECT_TRUE(program_ready("-t 127.0.0.1"));
    SERVER_Cleanup();
    EXPECT_EQ("", registered_transports());
}

} // namespace
