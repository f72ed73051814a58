// Runs on a host of scripts/testhost.sh run, made with
//   --hostname hostx.callmgr.test --hosts-entry "192.0.2.7 extra.callmgr.test xtra"
// (see CMakeLists.txt), each test on a fresh one.
#include <gtest/gtest.h>
#include <net/if.h>
#include <netdb.h>
#include <netinet/in.h>
#include <sys/stat.h>
#include <sys/vfs.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "scripts/hostprobe.h"

namespace {

constexpr long kTmpfsMagic = 0x01021994;

std::string slurp(const char* path) {
  std::ifstream in(path);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

std::vector<std::string> interfaces() {
  std::vector<std::string> names;
  struct if_nameindex* list = if_nameindex();
  for (struct if_nameindex* i = list; i != nullptr && i->if_index != 0; ++i) names.push_back(i->if_name);
  if_freenameindex(list);
  return names;
}

TEST(TestHostRun, NameNetworkAndRunAreTheHostsOwn) {
  char name[256] = "";
  ASSERT_EQ(gethostname(name, sizeof name), 0);
  EXPECT_STREQ(name, "hostx.callmgr.test");
  EXPECT_EQ(hostprobe::env("CALLMGR_HOST_NAME"), "hostx.callmgr.test");
  EXPECT_EQ(hostprobe::env("CALLMGR_HOST_ADDR"), "127.0.1.1");
  EXPECT_EQ(hostprobe::env("CALLMGR_PEER_EXEC"), "");

  EXPECT_EQ(interfaces(), std::vector<std::string>{"lo"});
  EXPECT_EQ(slurp("/etc/resolv.conf"), "nameserver 127.0.0.1\n");

  struct statfs run{};
  ASSERT_EQ(statfs("/run", &run), 0);
  EXPECT_EQ(static_cast<long>(run.f_type), kTmpfsMagic);
  struct stat sock{};
  ASSERT_EQ(stat("/run/rpcbind.sock", &sock), 0);
  EXPECT_TRUE(S_ISSOCK(sock.st_mode));
}

TEST(TestHostRun, NamesComeFromTheHostsFileAlone) {
  const std::pair<const char*, const char*> known[] = {
      {"localhost", "127.0.0.1"},          {"hostx.callmgr.test", "127.0.1.1"},
      {"hostx", "127.0.1.1"},              {"extra.callmgr.test", "192.0.2.7"},
      {"xtra", "192.0.2.7"},
  };
  for (const auto& [name, addr] : known) {
    int status = -1;
    EXPECT_EQ(hostprobe::resolve(name, &status), addr) << name;
    EXPECT_EQ(status, 0) << name << ": " << gai_strerror(status);
  }
  hostent* entry = gethostbyname("xtra");
  ASSERT_NE(entry, nullptr);
  ASSERT_EQ(entry->h_length, 4);
  const unsigned char expected[4] = {192, 0, 2, 7};
  EXPECT_EQ(std::memcmp(entry->h_addr_list[0], expected, 4), 0);

  // No resolver is ever asked: an unknown name is refused at once.
  const auto start = std::chrono::steady_clock::now();
  for (const char* unknown : {"nosuch.callmgr.test", "nosuch", "example.com"}) {
    int status = 0;
    EXPECT_EQ(hostprobe::resolve(unknown, &status), "") << unknown;
    EXPECT_EQ(status, EAI_NONAME) << unknown << ": " << gai_strerror(status);
    EXPECT_EQ(gethostbyname(unknown), nullptr) << unknown;
    EXPECT_EQ(h_errno, HOST_NOT_FOUND) << unknown;
  }
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(1));
}

// These two run on different hosts under ctest, in either order or at once:
// the first passes only if the registration of the second never reaches it.
TEST(TestHostRun, FreshRpcbindKnowsOnlyItself) {
  std::string error;
  EXPECT_EQ(hostprobe::rpcbind_programs("127.0.0.1", &error), std::set<unsigned long>{100000});
  EXPECT_EQ(error, "");
}

TEST(TestHostRun, RegistrationLandsInTheHostsRpcbind) {
  ASSERT_TRUE(hostprobe::register_probe("127.0.0.1"));
  std::string error;
  EXPECT_EQ(hostprobe::rpcbind_programs("127.0.0.1", &error),
            (std::set<unsigned long>{100000, hostprobe::kProbeProgram}));
  EXPECT_EQ(error, "");
}

}  // namespace
