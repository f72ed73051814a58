// CMStartup beside another application of this machine: cmcall answering,
// first alive, then killed without a chance to unregister.
#include "protocol/rpctest.h"

#include "api/api.h"
#include "api/calltest.h"
#include "support/instance.h"
#include "support/msgseq.h"

#include <gtest/gtest.h>

#include <signal.h>

namespace {

const UINT NOTIFY = WM_USER + 5;

// Ends the process `pid` unless it is gone already (-1).
struct Ender {
    pid_t pid;
    ~Ender()
    {
        if (pid > 1)
            kill(pid, SIGTERM);
    }
};

TEST(Startup, AnApplicationKilledLeavesNoRegistrationInTheWayOfTheNext)
{
    LibMain(resource_instance(), DLL_PROCESS_ATTACH, nullptr);
    SEQ_RegisterClass("StartupApp");
    HWND owner = SEQ_CreateWindow("StartupApp");

    // cmcall answering invitations on this host tells its pid, then that it registered.
    CtPeer other(std::string("echo $$; exec ") + CMCALL_PROGRAM + " answer");
    Ender running{atoi(other.line().c_str())};
    ASSERT_GT(running.pid, 1);
    ASSERT_NE(std::string::npos, other.line().find("registered"));
    const unsigned short tcp = mapped_port("tcp"), udp = mapped_port("udp");
    ASSERT_TRUE(tcp && udp);
    EXPECT_EQ(CMERR_SERVER, CMStartup(owner, NOTIFY, nullptr)) << "the live one keeps the program";
    EXPECT_EQ(tcp, mapped_port("tcp"));
    EXPECT_EQ(udp, mapped_port("udp"));

    kill(running.pid, SIGKILL);
    EXPECT_EQ(-1, other.finish()) << "killed";
    running.pid = -1;
    EXPECT_EQ(tcp, mapped_port("tcp")) << "left behind";
    EXPECT_EQ(udp, mapped_port("udp"));
    WORD id = CMStartup(owner, NOTIFY, nullptr);
    EXPECT_LT(id, 128);
    // Only this process is left to answer.
    EXPECT_TRUE(program_ready("-t 127.0.0.1"));
    EXPECT_TRUE(program_ready("-u 127.0.0.1"));
    EXPECT_EQ(0u, CMCleanup(id));
    EXPECT_EQ("", registered_transports());
    DestroyWindow(owner);
}

} // namespace
