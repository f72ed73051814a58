// Session and call sockets on real sockets of an isolated host.  The slots
// record every call; with `refuse_bind` set no bind reaches the library.
#include "netlib/netlib.h"
#include "support/instance.h"

#include <paltest.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <set>
#include <string>
#include <vector>

namespace {

NET_SLOTS real;
std::vector<std::string> calls; /* what reached the library, in order */
std::vector<DWORD> tried;       /* the port of each bind, host order */
int refuse_bind = 0;            /* nonzero: every bind fails with this */

const std::string zeros(12, '0');
const std::string kOption = "ioctlsocket " + std::to_string(0x4004005e) + " ";

class Sockets : public ::testing::Test {
  protected:
    void SetUp() override
    {
        ASSERT_EQ(1, NET_Startup(resource_instance()));
        real = NET_Slots;
        NET_Slots.socket = [](int af, int type, int protocol) {
            calls.push_back("socket " + std::to_string(af) + " " + std::to_string(type) + " " +
                            std::to_string(protocol));
            return real.socket(af, type, protocol);
        };
        NET_Slots.bind = [](SOCKET s, const struct sockaddr *addr, int len) {
            const unsigned char *b = (const unsigned char *)addr;
            DWORD port = (DWORD)b[2] << 8 | b[3];
            tried.push_back(port);
            std::string rest; /* everything after the port, so a stray byte shows */
            for (int i = 4; i < 16; ++i)
                rest += b[i] ? "x" : "0";
            calls.push_back("bind " + std::to_string(port) + " " + std::to_string(len) + " " +
                            std::to_string(((const sockaddr_in *)addr)->sin_family) + " " + rest);
            if (!refuse_bind)
                return real.bind(s, addr, len);
            /* A walk longer than there are ports shows as a failure. */
            WSASetLastError(tried.size() > 70000 ? WSAEINVAL : refuse_bind);
            return SOCKET_ERROR;
        };
        NET_Slots.getsockname = [](SOCKET s, struct sockaddr *addr, int *len) {
            calls.push_back("getsockname " + std::to_string(*len));
            return real.getsockname(s, addr, len);
        };
        NET_Slots.closesocket = [](SOCKET s) {
            calls.push_back("closesocket");
            return real.closesocket(s);
        };
        NET_Slots.ioctlsocket = [](SOCKET s, long cmd, u_long *arg) {
            calls.push_back("ioctlsocket " + std::to_string(cmd) + " " + std::to_string(*arg));
            return real.ioctlsocket(s, cmd, arg);
        };
        calls.clear();
        tried.clear();
        PalClockSetVirtual(TRUE, 1000);
    }
    void TearDown() override
    {
        /* The held sockets close even when the test released the library. */
        WSADATA data;
        bool started = WSAStartup(MAKEWORD(1, 1), &data) == 0;
        for (SOCKET s : held)
            EXPECT_EQ(0, closesocket(s));
        if (started)
            WSACleanup();
        if (NET_Users())
            NET_Slots = real;
        while (NET_Users())
            NET_Cleanup();
        PalFaultClear();
        PalClockSetVirtual(FALSE, 0);
        refuse_bind = 0;
    }

    /* A socket bound to `port` outside the code under test. */
    void occupy(int type, DWORD port)
    {
        SOCKET s = real.socket(AF_INET, type, type == SOCK_STREAM ? IPPROTO_TCP : IPPROTO_UDP);
        struct sockaddr_in a = {};
        a.sin_family = AF_INET;
        a.sin_port = (real.htons)((u_short)port);
        EXPECT_EQ(0, real.bind(s, (struct sockaddr *)&a, sizeof a)) << "port " << port;
        held.push_back(s);
    }
    /* Opens a socket as sessions and calls do.  A socket it gets must be bound
     * where it says; a failure must leave no socket, nor a bound one open. */
    DWORD open(int want, bool stream, DWORD port, DWORD low, DWORD high)
    {
        calls.clear();
        tried.clear();
        SOCKET s = 1234;
        EXPECT_EQ(want, stream ? NET_OpenStream(&s, &port, low, high)
                               : NET_OpenDatagram(&s, &port, low, high, 1));
        if (want) {
            EXPECT_EQ(INVALID_SOCKET, s);
            EXPECT_TRUE(tried.empty() || calls.back() == "closesocket")
                << "a bound socket is closed, with no stack option";
            return port;
        }
        held.push_back(s);
        struct sockaddr_in a = {};
        int len = sizeof a;
        EXPECT_EQ(0, real.getsockname(s, (struct sockaddr *)&a, &len));
        EXPECT_EQ(0u, a.sin_addr.s_addr) << "bound to any local address";
        EXPECT_EQ(port, (DWORD)(real.ntohs)(a.sin_port));
        return port;
    }
    /* The first port a range would try at clock `tick`; nothing is bound. */
    DWORD first_port(DWORD tick, DWORD low, DWORD high)
    {
        PalClockSetVirtual(TRUE, tick);
        refuse_bind = WSAEACCES;
        tried.clear();
        EXPECT_EQ(0u, NET_BindRange(unused, low, high));
        refuse_bind = 0;
        EXPECT_EQ(1u, tried.size());
        return tried.empty() ? ~0u : tried[0];
    }
    /* Sets the clock so that the range starts at `want`. */
    void start_at(DWORD want, DWORD low, DWORD high)
    {
        for (DWORD tick = 1; tick < 200000; ++tick)
            if (first_port(tick, low, high) == want)
                return; // the clock stays at `tick`
        ADD_FAILURE() << "no clock value starts " << low << ".." << high << " at " << want;
    }
    std::set<DWORD> starts(DWORD low, DWORD high, DWORD ticks = 3000)
    {
        std::set<DWORD> seen;
        for (DWORD tick = 1; tick <= ticks; ++tick)
            seen.insert(first_port(tick * 7919, low, high));
        return seen;
    }

    std::vector<SOCKET> held;
    const SOCKET unused = 4000000; /* never reaches the library */
};

TEST_F(Sockets, ARangeStartsBelowItsTopPast1024AndIsWalkedWhileItsPortsAreInUse)
{
    EXPECT_EQ((std::set<DWORD>{5000, 5001}), starts(5000, 5002));

    start_at(5001, 5000, 5002);
    occupy(SOCK_DGRAM, 5001);
    EXPECT_EQ(5002u, open(0, false, 0, 5000, 5002));
    EXPECT_EQ((std::vector<DWORD>{5001, 5002}), tried);
    EXPECT_EQ(5000u, open(0, false, 0, 5000, 5002)) << "wraps round past the top";
    EXPECT_EQ((std::vector<DWORD>{5001, 5002, 5000}), tried);
    EXPECT_EQ(0u, open(WSAEADDRINUSE, false, 0, 5000, 5002));
    EXPECT_EQ((std::vector<DWORD>{5001, 5002, 5000}), tried) << "each port once";

    /* An error other than "address in use" ends the walk at once. */
    start_at(5000, 5000, 5100);
    occupy(SOCK_STREAM, 5000);
    PalFaultSet(PAL_FAULT_BIND, 1, 1, WSAENOBUFS);
    EXPECT_EQ(0u, open(WSAENOBUFS, true, 0, 5000, 5100));
    EXPECT_EQ((std::vector<DWORD>{5000, 5001}), tried) << "99 attempts were left";

    /* Ranges from 0 leave the low ports alone when they reach past 1024. */
    std::set<DWORD> seen = starts(0, 2000);
    EXPECT_GE(*seen.begin(), 1024u);
    EXPECT_LE(*seen.rbegin(), 1999u);
    EXPECT_GT(seen.size(), 500u) << "spread over the range";

    seen = starts(0, 800);
    EXPECT_LE(*seen.rbegin(), 799u);
    EXPECT_LT(*seen.begin(), 100u) << "the low ports are in this range";

    EXPECT_EQ((std::set<DWORD>{1024}), starts(0, 1024, 50)) << "0..1024 is the one port 1024";
    occupy(SOCK_STREAM, 1024);
    EXPECT_EQ(0u, open(WSAEADDRINUSE, true, 0, 0, 1024));
    EXPECT_EQ((std::vector<DWORD>{1024}), tried);
}

TEST_F(Sockets, TheDrawLeavesTheProcesssRandomGeneratorAlone)
{
    /* An application that seeds the generator for its own draws gets the
     * same numbers whether or not sockets are opened in between. */
    srand(4242);
    const int first = rand();
    const int second = rand();
    srand(4242);
    EXPECT_EQ(first, rand());
    DWORD port = open(0, false, 0, 6000, 6100);
    EXPECT_TRUE(port >= 6000 && port <= 6100) << port;
    EXPECT_NE(~0u, first_port(1234, 5000, 5100));
    EXPECT_EQ(second, rand());
}

TEST_F(Sockets, AGivenPortPortZeroAndEmptyRangesAreOneAttemptAndBoundsAreClamped)
{
    /* A start at port 0, low above high, and a high bound of 0 (not "up to
     * the top") each bind once to a port the system picks. */
    start_at(0, 0, 800);
    for (auto [low, high] : {std::pair<DWORD, DWORD>{0, 800}, {6000, 5000}, {5000, 0}}) {
        EXPECT_NE(0u, open(0, low == 6000, 0, low, high)) << low << ".." << high;
        EXPECT_EQ((std::vector<DWORD>{0}), tried);
    }

    /* A given port is the only one tried, and is kept when it is taken. */
    EXPECT_EQ(6001u, open(0, false, 6001, 5000, 5002));
    EXPECT_EQ((std::vector<DWORD>{6001}), tried);
    EXPECT_EQ(6001u, open(WSAEADDRINUSE, false, 6001, 5000, 5002));
    EXPECT_EQ((std::vector<DWORD>{6001}), tried) << "the free range is not looked at";

    /* Bounds above the last port are clamped. */
    refuse_bind = WSAEADDRINUSE;
    tried.clear();
    EXPECT_EQ(0u, NET_BindRange(unused, 1, 0xFFFFFFFF));
    const std::set<DWORD> ports(tried.begin(), tried.end());
    EXPECT_EQ(65535u, tried.size()) << "every port once, no more";
    EXPECT_EQ(65535u, ports.size());
    EXPECT_EQ(65535u, *ports.rbegin());

    tried.clear();
    EXPECT_EQ(0u, NET_BindRange(unused, 65536, 70000));
    EXPECT_TRUE(tried.empty()) << "a range above the last port has no port";
    refuse_bind = 0;

    EXPECT_EQ(0u, open(WSAEINVAL, true, 0, 65536, 65536));
    EXPECT_EQ(0u, open(WSAEINVAL, false, 0, 0xFFFFFFFF, 0));
    EXPECT_TRUE(calls.empty()) << "no socket is made for it";
    EXPECT_EQ(65535u, open(0, true, 0, 65535, 90000)) << "the top port itself is a port";
}

TEST_F(Sockets, FailuresToCreateOrReadTheSocketLeaveNothingOpen)
{
    PalFaultSet(PAL_FAULT_SOCKET, 0, 1, WSAEMFILE);
    EXPECT_EQ(0u, open(WSAEMFILE, false, 0, 5000, 5002));
    EXPECT_EQ((std::vector<std::string>{"socket 2 2 17"}), calls) << "nothing to close";
    PalFaultSet(PAL_FAULT_SOCKET, 0, 1, WSAENOBUFS);
    EXPECT_EQ(6000u, open(WSAENOBUFS, true, 6000, 0, 0));

    PalFaultSet(PAL_FAULT_GETSOCKNAME, 0, 1, WSAENETDOWN);
    EXPECT_EQ(0u, open(WSAENETDOWN, false, 0, 5000, 5000));
    EXPECT_EQ((std::vector<std::string>{"socket 2 2 17", "bind 5000 16 2 " + zeros,
                                        "getsockname 16", "closesocket"}),
              calls);
    EXPECT_EQ(5000u, open(0, false, 0, 5000, 5000)) << "the port is free again";
}

TEST_F(Sockets, TheStackOptionAndCloseReachOnlyBoundSockets)
{
    EXPECT_EQ(5000u, open(0, false, 0, 5000, 5000));
    EXPECT_EQ((std::vector<std::string>{"socket 2 2 17", "bind 5000 16 2 " + zeros,
                                        "getsockname 16", kOption + "7"}),
              calls)
        << "after the bind, before the socket is handed over";
    SOCKET s;
    DWORD port = 0;
    ASSERT_EQ(0, NET_OpenStream(&s, &port, 5000, 5000));
    calls.clear();
    NET_SetStackOption(held.back(), 0);
    NET_SetStackOption(held.back(), 0x100); // any nonzero option
    NET_SetStackOption(INVALID_SOCKET, 1);
    NET_Close(INVALID_SOCKET);
    NET_Close(s);
    EXPECT_EQ((std::vector<std::string>{kOption + "0", kOption + "7", "closesocket"}), calls);

    /* Unbound: nothing is called and nothing opened. */
    NET_Slots = real;
    while (NET_Users())
        NET_Cleanup();
    NET_Close(s);
    NET_SetStackOption(s, 1);
    EXPECT_EQ(0u, open(WSANOTINITIALISED, true, 0, 0, 0));
    EXPECT_EQ(0u, open(WSANOTINITIALISED, false, 0, 0, 0));
}

} // namespace
