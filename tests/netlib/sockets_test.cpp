// The sockets of sessions and calls on real sockets of an isolated host: the
// port ranges, the random start and the walk past ports in use, the failure
// paths and the stack option.  The slots are wrapped to record every call on
// its way to the real socket library; a few tests replace bind outright to
// see which ports would be tried without binding any.
#include "netlib/netlib.h"
#include "support/instance.h"

#include <paltest.h>

#include <gtest/gtest.h>

#include <cstring>
#include <set>
#include <string>
#include <vector>

namespace {

NET_SLOTS real;                 /* the slots as the socket library bound them */
std::vector<std::string> calls; /* what reached the library, in order */
std::vector<DWORD> tried;       /* the port of each bind, host order */

/* Every bind is refused with this error instead of reaching the library
 * (0: binds are real). */
int refuse_bind = 0;

SOCKET PASCAL rec_socket(int af, int type, int protocol)
{
    calls.push_back("socket " + std::to_string(af) + " " + std::to_string(type) + " " +
                    std::to_string(protocol));
    return real.socket(af, type, protocol);
}

std::string bytes(const void *p, size_t n)
{
    std::string out;
    char hex[4];
    for (size_t i = 0; i < n; ++i) {
        snprintf(hex, sizeof hex, "%02x", ((const unsigned char *)p)[i]);
        out += hex;
    }
    return out;
}

int PASCAL rec_bind(SOCKET s, const struct sockaddr *addr, int len)
{
    const unsigned char *b = (const unsigned char *)addr;
    DWORD port = (DWORD)b[2] << 8 | b[3]; /* network order */
    tried.push_back(port);
    /* Family 2 and everything after the port, so a stray byte shows. */
    calls.push_back("bind " + std::to_string(port) + " " + std::to_string(len) + " " +
                    std::to_string(((const struct sockaddr_in *)addr)->sin_family) + " " +
                    bytes(b + 4, 12));
    if (refuse_bind) {
        /* A walk longer than there are ports is cut short, so that it shows
         * as a failure rather than running on. */
        WSASetLastError(tried.size() > 70000 ? WSAEINVAL : refuse_bind);
        return SOCKET_ERROR;
    }
    return real.bind(s, addr, len);
}

int PASCAL rec_getsockname(SOCKET s, struct sockaddr *addr, int *len)
{
    calls.push_back("getsockname " + std::to_string(*len));
    return real.getsockname(s, addr, len);
}

int PASCAL rec_closesocket(SOCKET s)
{
    calls.push_back("closesocket");
    return real.closesocket(s);
}

int PASCAL rec_ioctlsocket(SOCKET s, long cmd, u_long *arg)
{
    char text[64];
    snprintf(text, sizeof text, "ioctlsocket %#lx %lu", (unsigned long)cmd, (unsigned long)*arg);
    calls.push_back(text);
    return real.ioctlsocket(s, cmd, arg);
}

int PASCAL refuse_ioctlsocket(SOCKET, long, u_long *)
{
    calls.push_back("refused");
    WSASetLastError(WSAEINVAL);
    return SOCKET_ERROR;
}

class Sockets : public ::testing::Test {
  protected:
    void SetUp() override
    {
        ASSERT_EQ(1, NET_Startup(resource_instance()));
        real = NET_Slots;
        NET_Slots.socket = rec_socket;
        NET_Slots.bind = rec_bind;
        NET_Slots.getsockname = rec_getsockname;
        NET_Slots.closesocket = rec_closesocket;
        NET_Slots.ioctlsocket = rec_ioctlsocket;
        calls.clear();
        tried.clear();
        refuse_bind = 0;
        PalClockSetVirtual(TRUE, 1000);
    }
    void TearDown() override
    {
        for (SOCKET s : held)
            real.closesocket(s);
        held.clear();
        if (NET_Users())
            NET_Slots = real;
        while (NET_Users())
            NET_Cleanup();
        PalFaultClear();
        PalClockSetVirtual(FALSE, 0);
        refuse_bind = 0;
    }

    /* A socket of the given type bound to `port` outside the code under
     * test, closed at the end of the test. */
    SOCKET occupy(int type, DWORD port)
    {
        SOCKET s = real.socket(AF_INET, type, type == SOCK_STREAM ? IPPROTO_TCP : IPPROTO_UDP);
        EXPECT_NE(INVALID_SOCKET, s);
        struct sockaddr_in a;
        memset(&a, 0, sizeof a);
        a.sin_family = AF_INET;
        a.sin_port = (real.htons)((u_short)port);
        EXPECT_EQ(0, real.bind(s, (struct sockaddr *)&a, sizeof a)) << "port " << port;
        held.push_back(s);
        return s;
    }
    /* The port the socket is really bound to, as the library reports it. */
    DWORD bound_port(SOCKET s)
    {
        struct sockaddr_in a;
        memset(&a, 0, sizeof a);
        int len = sizeof a;
        EXPECT_EQ(0, real.getsockname(s, (struct sockaddr *)&a, &len));
        EXPECT_EQ(0u, a.sin_addr.s_addr) << "bound to any local address";
        return (real.ntohs)(a.sin_port);
    }
    /* The first port a range would try at clock `tick`, found with every
     * bind refused so nothing is bound. */
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
    /* A clock value at which the range starts at `want`. */
    DWORD tick_for(DWORD want, DWORD low, DWORD high)
    {
        for (DWORD tick = 1; tick < 200000; ++tick)
            if (first_port(tick, low, high) == want) {
                PalClockSetVirtual(TRUE, tick);
                tried.clear();
                calls.clear();
                return tick;
            }
        ADD_FAILURE() << "no clock value starts " << low << ".." << high << " at " << want;
        return 0;
    }
    /* The set of first ports over many clock values. */
    std::set<DWORD> starts(DWORD low, DWORD high, DWORD ticks = 3000)
    {
        std::set<DWORD> seen;
        for (DWORD tick = 1; tick <= ticks; ++tick)
            seen.insert(first_port(tick * 7919, low, high));
        return seen;
    }

    std::vector<SOCKET> held;
    /* A handle for walks whose binds are all refused: never reaches the
     * library. */
    const SOCKET unused = 4000000;
};

const std::string zeros = "000000000000000000000000"; /* address 0, eight zero bytes */

TEST_F(Sockets, TheDefaultRangeLetsTheStackChooseWithOneBind)
{
    SOCKET s = 1234;
    DWORD port = 0;
    ASSERT_EQ(0, NET_OpenStream(&s, &port, 0, 0));
    ASSERT_NE(INVALID_SOCKET, s);
    EXPECT_NE(0u, port);
    EXPECT_EQ(port, bound_port(s));
    EXPECT_EQ((std::vector<std::string>{"socket 2 1 6", "bind 0 16 2 " + zeros, "getsockname 16"}),
              calls);
    held.push_back(s);

    calls.clear();
    port = 0;
    ASSERT_EQ(0, NET_OpenDatagram(&s, &port, 0, 0, 0));
    held.push_back(s);
    EXPECT_EQ(port, bound_port(s));
    EXPECT_EQ((std::vector<std::string>{"socket 2 2 17", "bind 0 16 2 " + zeros, "getsockname 16"}),
              calls)
        << "no stack option unless asked";
}

TEST_F(Sockets, ASinglePortRangeTakesThatPortOrFailsAfterOneAttempt)
{
    SOCKET s;
    DWORD port = 0;
    ASSERT_EQ(0, NET_OpenStream(&s, &port, 5000, 5000));
    held.push_back(s);
    EXPECT_EQ(5000u, port);
    EXPECT_EQ(5000u, bound_port(s));

    calls.clear();
    tried.clear();
    port = 0;
    s = 1234;
    EXPECT_EQ(WSAEADDRINUSE, NET_OpenStream(&s, &port, 5000, 5000));
    EXPECT_EQ(INVALID_SOCKET, s);
    EXPECT_EQ(0u, port);
    EXPECT_EQ((std::vector<DWORD>{5000}), tried);
    EXPECT_EQ("closesocket", calls.back()) << "the socket that got no port is closed";

    /* The same port is free for the other protocol. */
    port = 0;
    ASSERT_EQ(0, NET_OpenDatagram(&s, &port, 5000, 5000, 0));
    held.push_back(s);
    EXPECT_EQ(5000u, port);
}

TEST_F(Sockets, ARangeStartsBelowItsTopAndReachesTheTopOnlyByWalking)
{
    EXPECT_EQ((std::set<DWORD>{5000, 5001}), starts(5000, 5002));

    /* Start at 5001 with 5001 in use: the walk goes on to 5002. */
    tick_for(5001, 5000, 5002);
    occupy(SOCK_DGRAM, 5001);
    SOCKET s;
    DWORD port = 0;
    ASSERT_EQ(0, NET_OpenDatagram(&s, &port, 5000, 5002, 0));
    held.push_back(s);
    EXPECT_EQ(5002u, port);
    EXPECT_EQ(5002u, bound_port(s));
    EXPECT_EQ((std::vector<DWORD>{5001, 5002}), tried);

    /* Now 5001 and 5002 are taken: past the top it wraps round to 5000. */
    tried.clear();
    port = 0;
    ASSERT_EQ(0, NET_OpenDatagram(&s, &port, 5000, 5002, 0));
    held.push_back(s);
    EXPECT_EQ(5000u, port);
    EXPECT_EQ((std::vector<DWORD>{5001, 5002, 5000}), tried);

    /* All three taken: three attempts, no more, and the port is 0. */
    tried.clear();
    calls.clear();
    port = 0;
    s = 1234;
    EXPECT_EQ(WSAEADDRINUSE, NET_OpenDatagram(&s, &port, 5000, 5002, 1));
    EXPECT_EQ(INVALID_SOCKET, s);
    EXPECT_EQ(0u, port);
    EXPECT_EQ((std::vector<DWORD>{5001, 5002, 5000}), tried);
    EXPECT_EQ("closesocket", calls.back()) << "and no stack option for a closed socket";

    /* Started at 5000, the walk ends at 5002 before wrapping. */
    tick_for(5000, 5000, 5002);
    occupy(SOCK_STREAM, 5000);
    occupy(SOCK_STREAM, 5001);
    port = 0;
    ASSERT_EQ(0, NET_OpenStream(&s, &port, 5000, 5002));
    held.push_back(s);
    EXPECT_EQ(5002u, port);
    EXPECT_EQ((std::vector<DWORD>{5000, 5001, 5002}), tried);
}

TEST_F(Sockets, RangesFromZeroLeaveTheLowPortsAloneWhenTheyReachPast1024)
{
    std::set<DWORD> seen = starts(0, 2000);
    EXPECT_GE(*seen.begin(), 1024u);
    EXPECT_LE(*seen.rbegin(), 1999u);
    EXPECT_GT(seen.size(), 500u) << "spread over the range";

    seen = starts(0, 800);
    EXPECT_LE(*seen.rbegin(), 799u);
    EXPECT_LT(*seen.begin(), 100u) << "the low ports are in this range";

    /* 0..1024 shrinks to the one port 1024. */
    EXPECT_EQ((std::set<DWORD>{1024}), starts(0, 1024, 50));
    occupy(SOCK_STREAM, 1024);
    tried.clear();
    SOCKET s;
    DWORD port = 0;
    EXPECT_EQ(WSAEADDRINUSE, NET_OpenStream(&s, &port, 0, 1024));
    EXPECT_EQ((std::vector<DWORD>{1024}), tried) << "one attempt";
    EXPECT_EQ(0u, port);
}

TEST_F(Sockets, AStartAtPortZeroLetsTheStackChoose)
{
    tick_for(0, 0, 800);
    SOCKET s;
    DWORD port = 0;
    ASSERT_EQ(0, NET_OpenDatagram(&s, &port, 0, 800, 0));
    held.push_back(s);
    EXPECT_EQ((std::vector<DWORD>{0}), tried);
    EXPECT_NE(0u, port);
    EXPECT_EQ(port, bound_port(s));
}

TEST_F(Sockets, ALowBoundAboveTheHighBoundMakesOneAttemptAtPortZero)
{
    SOCKET s;
    DWORD port = 0;
    ASSERT_EQ(0, NET_OpenStream(&s, &port, 6000, 5000));
    held.push_back(s);
    EXPECT_EQ((std::vector<DWORD>{0}), tried);
    EXPECT_NE(0u, port);
    EXPECT_EQ(port, bound_port(s));

    /* A high bound of 0 is such a range too, not "up to the top". */
    tried.clear();
    port = 0;
    ASSERT_EQ(0, NET_OpenDatagram(&s, &port, 5000, 0, 0));
    held.push_back(s);
    EXPECT_EQ((std::vector<DWORD>{0}), tried);
    EXPECT_EQ(port, bound_port(s));
}

TEST_F(Sockets, AGivenPortIsTheOnlyOneTriedAndIsKeptWhenItIsTaken)
{
    SOCKET s;
    DWORD port = 6001;
    ASSERT_EQ(0, NET_OpenDatagram(&s, &port, 5000, 5002, 0));
    held.push_back(s);
    EXPECT_EQ(6001u, port);
    EXPECT_EQ(6001u, bound_port(s));
    EXPECT_EQ((std::vector<DWORD>{6001}), tried);

    /* 6001 is taken now; the range has free ports but is not looked at. */
    tried.clear();
    calls.clear();
    s = 1234;
    EXPECT_EQ(WSAEADDRINUSE, NET_OpenDatagram(&s, &port, 5000, 5002, 1));
    EXPECT_EQ(INVALID_SOCKET, s);
    EXPECT_EQ(6001u, port) << "the received call's port stays";
    EXPECT_EQ((std::vector<DWORD>{6001}), tried);
    EXPECT_EQ("closesocket", calls.back());

    /* Whatever the range: a given port in use fails and stays. */
    occupy(SOCK_STREAM, 6002);
    port = 6002;
    EXPECT_EQ(WSAEADDRINUSE, NET_OpenStream(&s, &port, 0, 0));
    EXPECT_EQ(6002u, port);
}

TEST_F(Sockets, AnErrorOtherThanAddressInUseEndsTheWalkAtOnce)
{
    tick_for(5000, 5000, 5100);
    PalFaultSet(PAL_FAULT_BIND, 0, -1, WSAEACCES);
    SOCKET s = 1234;
    DWORD port = 0;
    EXPECT_EQ(WSAEACCES, NET_OpenStream(&s, &port, 5000, 5100));
    EXPECT_EQ(INVALID_SOCKET, s);
    EXPECT_EQ(0u, port);
    EXPECT_EQ((std::vector<DWORD>{5000}), tried) << "100 attempts were left";
    EXPECT_EQ("closesocket", calls.back());
    PalFaultClear();

    /* In use, then another error: the walk stops at the second port. */
    occupy(SOCK_STREAM, 5000);
    PalFaultSet(PAL_FAULT_BIND, 1, 1, WSAENOBUFS);
    tried.clear();
    EXPECT_EQ(WSAENOBUFS, NET_OpenStream(&s, &port, 5000, 5100));
    EXPECT_EQ((std::vector<DWORD>{5000, 5001}), tried);
    EXPECT_EQ(0u, port);
}

TEST_F(Sockets, FailuresToCreateOrReadTheSocketLeaveNothingOpen)
{
    PalFaultSet(PAL_FAULT_SOCKET, 0, 1, WSAEMFILE);
    SOCKET s = 1234;
    DWORD port = 0;
    EXPECT_EQ(WSAEMFILE, NET_OpenDatagram(&s, &port, 5000, 5002, 1));
    EXPECT_EQ(INVALID_SOCKET, s);
    EXPECT_EQ(0u, port);
    PalFaultSet(PAL_FAULT_SOCKET, 0, 1, WSAENOBUFS);
    port = 6000;
    EXPECT_EQ(WSAENOBUFS, NET_OpenStream(&s, &port, 0, 0));
    EXPECT_EQ(6000u, port) << "untouched";
    EXPECT_EQ((std::vector<std::string>{"socket 2 2 17", "socket 2 1 6"}), calls)
        << "nothing bound, nothing to close";

    calls.clear();
    PalFaultSet(PAL_FAULT_GETSOCKNAME, 0, 1, WSAENETDOWN);
    port = 0;
    EXPECT_EQ(WSAENETDOWN, NET_OpenDatagram(&s, &port, 5000, 5000, 1));
    EXPECT_EQ(INVALID_SOCKET, s);
    EXPECT_EQ(0u, port);
    EXPECT_EQ((std::vector<std::string>{"socket 2 2 17", "bind 5000 16 2 " + zeros,
                                        "getsockname 16", "closesocket"}),
              calls);
    /* The bound-then-closed port is free again. */
    port = 0;
    ASSERT_EQ(0, NET_OpenDatagram(&s, &port, 5000, 5000, 0));
    held.push_back(s);
}

TEST_F(Sockets, BoundsAboveTheLastPortAreClamped)
{
    /* Every bind refused as in use: the whole walk, port by port. */
    refuse_bind = WSAEADDRINUSE;
    SOCKET s = unused;
    EXPECT_EQ(0u, NET_BindRange(s, 65530, 70000));
    std::set<DWORD> ports(tried.begin(), tried.end());
    EXPECT_EQ(6u, tried.size());
    EXPECT_EQ((std::set<DWORD>{65530, 65531, 65532, 65533, 65534, 65535}), ports);

    tried.clear();
    EXPECT_EQ(0u, NET_BindRange(s, 1, 0xFFFFFFFF));
    EXPECT_EQ(65535u, tried.size()) << "every port once, no more";
    ports = std::set<DWORD>(tried.begin(), tried.end());
    EXPECT_EQ(65535u, ports.size());
    EXPECT_EQ(1u, *ports.begin());
    EXPECT_EQ(65535u, *ports.rbegin());

    tried.clear();
    EXPECT_EQ(0u, NET_BindRange(s, 0, 70000));
    EXPECT_EQ(65535u - 1024 + 1, tried.size());

    tried.clear();
    EXPECT_EQ(0u, NET_BindRange(s, 65535, 70000));
    EXPECT_EQ((std::vector<DWORD>{65535}), tried);
    refuse_bind = 0;

    std::set<DWORD> seen = starts(65530, 70000, 500);
    EXPECT_EQ(65530u, *seen.begin());
    EXPECT_EQ(65534u, *seen.rbegin());

    /* A range that starts above the last port has no port at all. */
    tried.clear();
    calls.clear();
    EXPECT_EQ(0u, NET_BindRange(s, 65536, 70000));
    EXPECT_TRUE(tried.empty());
    s = 1234;
    DWORD port = 0;
    EXPECT_EQ(WSAEINVAL, NET_OpenStream(&s, &port, 65536, 65536));
    EXPECT_EQ(WSAEINVAL, NET_OpenDatagram(&s, &port, 0xFFFFFFFF, 0, 1));
    EXPECT_EQ(INVALID_SOCKET, s);
    EXPECT_EQ(0u, port);
    EXPECT_TRUE(calls.empty()) << "no socket is made for it";

    /* The top port itself is a port. */
    port = 0;
    ASSERT_EQ(0, NET_OpenStream(&s, &port, 65535, 90000));
    held.push_back(s);
    EXPECT_EQ(65535u, port);
    EXPECT_EQ(65535u, bound_port(s));
}

TEST_F(Sockets, TheStackOptionIsSetOnBoundDatagramSocketsOnly)
{
    SOCKET s;
    DWORD port = 0;
    ASSERT_EQ(0, NET_OpenDatagram(&s, &port, 5000, 5000, 1));
    held.push_back(s);
    EXPECT_EQ((std::vector<std::string>{"socket 2 2 17", "bind 5000 16 2 " + zeros,
                                        "getsockname 16", "ioctlsocket 0x4004005e 7"}),
              calls)
        << "after the bind, before the socket is handed over";

    calls.clear();
    port = 0;
    ASSERT_EQ(0, NET_OpenDatagram(&s, &port, 5001, 5001, 0xFFFF0000));
    held.push_back(s);
    EXPECT_EQ("ioctlsocket 0x4004005e 7", calls.back()) << "any nonzero option";

    calls.clear();
    NET_SetStackOption(s, 0);
    NET_SetStackOption(s, 1);
    NET_SetStackOption(s, 0x100);
    NET_SetStackOption(INVALID_SOCKET, 1);
    EXPECT_EQ((std::vector<std::string>{"ioctlsocket 0x4004005e 0", "ioctlsocket 0x4004005e 7",
                                        "ioctlsocket 0x4004005e 7"}),
              calls);

    /* A stack that refuses the option still hands over the socket. */
    NET_Slots.ioctlsocket = refuse_ioctlsocket;
    calls.clear();
    port = 0;
    ASSERT_EQ(0, NET_OpenDatagram(&s, &port, 5002, 5002, 1));
    held.push_back(s);
    EXPECT_EQ(5002u, port);
    EXPECT_EQ("refused", calls.back());
}

TEST_F(Sockets, CloseTakesOnlySocketsAndOnlyWhileBound)
{
    SOCKET s;
    DWORD port = 0;
    ASSERT_EQ(0, NET_OpenStream(&s, &port, 5000, 5000));
    calls.clear();
    NET_Close(INVALID_SOCKET);
    EXPECT_TRUE(calls.empty());
    NET_Close(s);
    EXPECT_EQ((std::vector<std::string>{"closesocket"}), calls);
    port = 0;
    ASSERT_EQ(0, NET_OpenStream(&s, &port, 5000, 5000)) << "the port is free again";
    real.closesocket(s);

    /* Unbound: every slot is empty, nothing is called and nothing opened. */
    NET_Slots = real;
    while (NET_Users())
        NET_Cleanup();
    NET_Close(s);
    NET_SetStackOption(s, 1);
    s = 1234;
    port = 0;
    EXPECT_EQ(WSANOTINITIALISED, NET_OpenStream(&s, &port, 0, 0));
    EXPECT_EQ(WSANOTINITIALISED, NET_OpenDatagram(&s, &port, 0, 0, 1));
    EXPECT_EQ(INVALID_SOCKET, s);
    EXPECT_EQ(0u, port);
}

} // namespace
