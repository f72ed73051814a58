// Runs on host 1 of a fresh net of three hosts made by scripts/testhost.sh
//   net 3 --hosts-entry "192.0.2.9 extra.callmgr.test xtra"
// (see CMakeLists.txt); the others are reached through CALLMGR_NET_EXEC.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "scripts/hostprobe.h"

namespace {

struct Outcome {
    int status = -1; // exit status, or -1 when the command did not exit
    std::string out;
};

Outcome run(const std::string &command)
{
    Outcome result;
    FILE *pipe = popen(command.c_str(), "r");
    if (pipe == nullptr)
        return result;
    char chunk[512];
    size_t got;
    while ((got = std::fread(chunk, 1, sizeof chunk, pipe)) > 0)
        result.out.append(chunk, got);
    const int status = pclose(pipe);
    if (WIFEXITED(status))
        result.status = WEXITSTATUS(status);
    return result;
}

std::string on_host(int host, const std::string &command)
{
    return hostprobe::env("CALLMGR_NET_EXEC") + " " + std::to_string(host) + " -- " + command;
}

TEST(TestHostNet, EachHostReachesTheOthersByNameAndHasItsOwnRpcbind)
{
    ASSERT_EQ(hostprobe::env("CALLMGR_NET_SIZE"), "3");
    ASSERT_NE(hostprobe::env("CALLMGR_NET_EXEC"), "");
    EXPECT_EQ(hostprobe::env("CALLMGR_PEER_EXEC"), "");
    // Every host registers its own probe program with its own rpcbind first,
    // so each survey below tells the three rpcbinds apart.
    for (int i = 1; i <= 3; ++i) {
        Outcome registered =
            run(on_host(i, std::string(TESTHOST_NET_PEER) + " register " + std::to_string(i)));
        ASSERT_EQ(registered.status, 0) << "host " << i << ": " << registered.out;
    }
    const std::string others = "1 198.18.0.1 198.18.0.1 rpcbind,probe+1\n"
                               "2 198.18.0.2 198.18.0.2 rpcbind,probe+2\n"
                               "3 198.18.0.3 198.18.0.3 rpcbind,probe+3\n";
    for (int i = 1; i <= 3; ++i) {
        const std::string name = "host" + std::to_string(i) + ".callmgr.test";
        Outcome survey = run(on_host(i, std::string(TESTHOST_NET_PEER) + " survey 3"));
        EXPECT_EQ(survey.status, 0);
        EXPECT_EQ(survey.out, "name=" + name + " env=" + name + " addr=198.18.0." +
                                  std::to_string(i) + " net-exec=" + (i == 1 ? "set" : "unset") +
                                  " size=3 if=lo,eth0\n" + others)
            << "on host " << i;
    }
}

} // namespace
