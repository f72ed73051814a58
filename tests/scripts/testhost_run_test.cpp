// Runs on a host of scripts/testhost.sh run, made with
//   --hostname hostx.callmgr.test --hosts-entry "192.0.2.7 extra.callmgr.test xtra"
// (see CMakeLists.txt), each test on a fresh one.
#include <gtest/gtest.h>
#include <net/if.h>
#include <sys/stat.h>
#include <sys/vfs.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>

namespace {

TEST(TestHostRun, NameNetworkAndRunAreTheHostsOwn)
{
    char name[256] = "";
    ASSERT_EQ(gethostname(name, sizeof name), 0);
    EXPECT_STREQ(name, "hostx.callmgr.test");
    EXPECT_STREQ(std::getenv("CALLMGR_HOST_NAME"), "hostx.callmgr.test");
    EXPECT_STREQ(std::getenv("CALLMGR_HOST_ADDR"), "127.0.1.1");
    EXPECT_EQ(std::getenv("CALLMGR_PEER_EXEC"), nullptr);

    struct if_nameindex *interfaces = if_nameindex();
    ASSERT_NE(interfaces, nullptr);
    EXPECT_STREQ(interfaces[0].if_name, "lo");
    EXPECT_EQ(interfaces[1].if_index, 0u) << "lo alone";
    if_freenameindex(interfaces);
    std::ostringstream resolv;
    resolv << std::ifstream("/etc/resolv.conf").rdbuf();
    EXPECT_EQ(resolv.str(), "nameserver 127.0.0.1\n");

    struct statfs run {};
    ASSERT_EQ(statfs("/run", &run), 0);
    EXPECT_EQ(static_cast<long>(run.f_type), 0x01021994) << "tmpfs";
    struct stat sock {};
    ASSERT_EQ(stat("/run/rpcbind.sock", &sock), 0);
    EXPECT_TRUE(S_ISSOCK(sock.st_mode));
}

} // namespace
