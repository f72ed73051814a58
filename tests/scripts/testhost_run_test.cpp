// Runs on a host of scripts/testhost.sh run, made with
//   --hostname hostx.callmgr.test --hosts-entry "192.0.2.7 extra.callmgr.test xtra"
// (see CMakeLists.txt), each test on a fresh one.
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/stat.h>
#include <sys/vfs.h>
#include <unistd.h>

#include <fstream>
#include <sstream>
#include <string>

#include "scripts/hostprobe.h"

namespace {

constexpr long kTmpfsMagic = 0x01021994;

std::string slurp(const char *path)
{
    std::ifstream in(path);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

TEST(TestHostRun, NameNetworkAndRunAreTheHostsOwn)
{
    char name[256] = "";
    ASSERT_EQ(gethostname(name, sizeof name), 0);
    EXPECT_STREQ(name, "hostx.callmgr.test");
    EXPECT_EQ(hostprobe::env("CALLMGR_HOST_NAME"), "hostx.callmgr.test");
    EXPECT_EQ(hostprobe::env("CALLMGR_HOST_ADDR"), "127.0.1.1");
    EXPECT_EQ(hostprobe::env("CALLMGR_PEER_EXEC"), "");

    EXPECT_EQ(hostprobe::interfaces(), "lo");
    EXPECT_EQ(slurp("/etc/resolv.conf"), "nameserver 127.0.0.1\n");

    struct statfs run {};
    ASSERT_EQ(statfs("/run", &run), 0);
    EXPECT_EQ(static_cast<long>(run.f_type), kTmpfsMagic);
    struct stat sock {};
    ASSERT_EQ(stat("/run/rpcbind.sock", &sock), 0);
    EXPECT_TRUE(S_ISSOCK(sock.st_mode));
}

} // namespace
