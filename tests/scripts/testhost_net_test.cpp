// Runs on host 1 of a fresh net of three hosts made by scripts/testhost.sh
//   net 3 --hosts-entry "192.0.2.9 extra.callmgr.test xtra"
// (see CMakeLists.txt); the others are reached through CALLMGR_NET_EXEC.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

TEST(TestHostNet, EachHostReachesTheOthersAndTheirRpcbindByName)
{
    ASSERT_NE(std::getenv("CALLMGR_NET_EXEC"), nullptr);
    EXPECT_EQ(std::getenv("CALLMGR_PEER_EXEC"), nullptr);
    const std::string others = "1 198.18.0.1 198.18.0.1 rpcbind\n"
                               "2 198.18.0.2 198.18.0.2 rpcbind\n"
                               "3 198.18.0.3 198.18.0.3 rpcbind\n";
    for (int i = 1; i <= 3; ++i) {
        const std::string n = std::to_string(i), name = "host" + n + ".callmgr.test";
        const std::string command =
            std::getenv("CALLMGR_NET_EXEC") + (" " + n) + " -- " TESTHOST_NET_PEER " 3";
        FILE *survey = popen(command.c_str(), "r");
        ASSERT_NE(survey, nullptr);
        std::string out;
        char chunk[512];
        for (size_t got; (got = std::fread(chunk, 1, sizeof chunk, survey)) > 0;)
            out.append(chunk, got);
        EXPECT_EQ(pclose(survey), 0);
        EXPECT_EQ(out, "name=" + name + " env=" + name + " addr=198.18.0." + n + " net-exec=" +
                           (i == 1 ? "set" : "unset") + " size=3 if=lo,eth0\n" + others)
            << "on host " << i;
    }
}

} // namespace
