// Runs on host A of a fresh pair made by scripts/testhost.sh pair, with the
// default names; B is reached through CALLMGR_PEER_EXEC.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "scripts/hostprobe.h"

namespace {

// B registers a probe of its own, A another: each rpcbind, asked from A over
// the link, lists only its own host's.
TEST(TestHostPair, BIsAHostOfItsOwnReachedOverTheLink)
{
    const std::string exec = hostprobe::env("CALLMGR_PEER_EXEC");
    ASSERT_NE(exec, "");
    const std::string peer = exec + " -- " + TESTHOST_NET_PEER;
    ASSERT_EQ(std::system((peer + " register 2").c_str()), 0);
    ASSERT_TRUE(hostprobe::register_probe("198.18.0.1"));

    FILE *survey = popen((peer + " survey 0").c_str(), "r");
    ASSERT_NE(survey, nullptr);
    char line[256] = "";
    EXPECT_NE(std::fgets(line, sizeof line, survey), nullptr);
    EXPECT_EQ(pclose(survey), 0);
    EXPECT_STREQ(line, "name=hostb.callmgr.test env=hostb.callmgr.test addr=198.18.0.2 "
                       "net-exec=unset size=2 if=lo,eth0\n");

    std::string error;
    EXPECT_EQ(hostprobe::rpcbind_programs("198.18.0.1", &error),
              (std::set<unsigned long>{100000, hostprobe::kProbeProgram}));
    EXPECT_EQ(hostprobe::rpcbind_programs("198.18.0.2", &error),
              (std::set<unsigned long>{100000, hostprobe::kProbeProgram + 2}));
    EXPECT_EQ(error, "");
}

} // namespace
