// Runs on host A of a fresh pair made by scripts/testhost.sh pair, with the
// default names; B is reached through CALLMGR_PEER_EXEC.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "scripts/hostprobe.h"

namespace {

// B's listener tells its port through the pipe before it accepts, so reading
// that line is all the waiting there is.
TEST(TestHostPair, PeerAnswersOverTheLink)
{
    const std::string exec = hostprobe::env("CALLMGR_PEER_EXEC");
    ASSERT_NE(exec, "");
    const std::string command = exec + " -- " + TESTHOST_PEER;
    FILE *peer = popen(command.c_str(), "r");
    ASSERT_NE(peer, nullptr);
    char port_line[32] = "";
    ASSERT_NE(std::fgets(port_line, sizeof port_line, peer), nullptr);
    const int port = std::atoi(port_line);
    ASSERT_GT(port, 0);

    int conn = socket(AF_INET, SOCK_STREAM, 0);
    ASSERT_GE(conn, 0);
    timeval limit{10, 0};
    setsockopt(conn, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
    sockaddr_in where{};
    where.sin_family = AF_INET;
    where.sin_port = htons(static_cast<uint16_t>(port));
    ASSERT_EQ(inet_pton(AF_INET, "198.18.0.2", &where.sin_addr), 1);
    ASSERT_EQ(connect(conn, reinterpret_cast<sockaddr *>(&where), sizeof where), 0);
    ASSERT_EQ(write(conn, "ping\n", 5), 5);
    std::string reply;
    char chunk[128];
    ssize_t got;
    while ((got = read(conn, chunk, sizeof chunk)) > 0)
        reply.append(chunk, static_cast<size_t>(got));
    close(conn);
    EXPECT_EQ(reply, "hostb.callmgr.test 198.18.0.2 198.18.0.1 ping\n");
    EXPECT_EQ(pclose(peer), 0);
}

TEST(TestHostPair, EachHostHasItsOwnRpcbind)
{
    ASSERT_TRUE(hostprobe::register_probe("198.18.0.1"));
    std::string error;
    EXPECT_EQ(hostprobe::rpcbind_programs("198.18.0.1", &error),
              (std::set<unsigned long>{100000, hostprobe::kProbeProgram}));
    EXPECT_EQ(error, "");
    EXPECT_EQ(hostprobe::rpcbind_programs("198.18.0.2", &error), std::set<unsigned long>{100000});
    EXPECT_EQ(error, "");
}

} // namespace
