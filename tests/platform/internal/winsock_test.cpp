// Windows Sockets through the module's ordinals: start-up, WSA error codes,
// address helpers and their static buffer.
#include <paltest.h>
#include <winsock.h>

#include <gtest/gtest.h>

#include <cstring>

namespace {

/* The module's functions as the call manager binds them. */
struct Ws {
    HMODULE m = LoadLibraryA("WSOCK32.DLL");
    template <typename T> T get(WORD ordinal)
    {
        return (T)(void (*)(void))GetProcAddress(m, MAKEINTRESOURCEA(ordinal));
    }
    SOCKET(PASCAL *socket)(int, int, int) = get<decltype(socket)>(23);
    int(PASCAL *bind)(SOCKET, const sockaddr *, int) = get<decltype(bind)>(2);
    int(PASCAL *getsockname)(SOCKET, sockaddr *, int *) = get<decltype(getsockname)>(6);
    u_long(PASCAL *inet_addr)(const char *) = get<decltype(inet_addr)>(10);
    char *(PASCAL *inet_ntoa)(in_addr) = get<decltype(inet_ntoa)>(11);
    int(PASCAL *gethostname)(char *, int) = get<decltype(gethostname)>(57);
    u_short(PASCAL *ntohs)(u_short) = get<decltype(ntohs)>(15);
    ~Ws() { FreeLibrary(m); }
};

sockaddr_in loopback(u_short port_net)
{
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = port_net;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    return a;
}

TEST(Winsock, NothingWorksBeforeStartupAndCleanupPairsWithIt)
{
    Ws ws;
    EXPECT_EQ(INVALID_SOCKET, ws.socket(AF_INET, SOCK_STREAM, IPPROTO_TCP));
    EXPECT_EQ(WSANOTINITIALISED, WSAGetLastError());
    EXPECT_EQ(SOCKET_ERROR, WSACleanup());

    WSADATA data;
    ASSERT_EQ(0, WSAStartup(MAKEWORD(1, 1), &data));
    EXPECT_EQ(MAKEWORD(1, 1), data.wHighVersion);
    ASSERT_EQ(0, WSAStartup(MAKEWORD(1, 0), &data));
    EXPECT_EQ(WSAVERNOTSUPPORTED, WSAStartup(MAKEWORD(0, 9), &data));
    EXPECT_EQ(0, WSACleanup());
    SOCKET s = ws.socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP);
    EXPECT_NE(INVALID_SOCKET, s) << "one start-up is left";
    EXPECT_EQ(0, closesocket(s));
    EXPECT_EQ(0, WSACleanup());
    EXPECT_EQ(SOCKET_ERROR, closesocket(s));

    PalFaultSet(PAL_FAULT_WSASTARTUP, 0, 1, WSASYSNOTREADY);
    EXPECT_EQ(WSASYSNOTREADY, WSAStartup(MAKEWORD(1, 1), &data));
    PalFaultClear();
}

TEST(Winsock, BindIoctlAndHostNameErrors)
{
    Ws ws;
    WSADATA data;
    ASSERT_EQ(0, WSAStartup(MAKEWORD(1, 1), &data));
    SOCKET a = ws.socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    SOCKET b = ws.socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    sockaddr_in addr = loopback(0);
    ASSERT_EQ(0, ws.bind(a, (sockaddr *)&addr, sizeof addr));
    int len = sizeof addr;
    ASSERT_EQ(0, ws.getsockname(a, (sockaddr *)&addr, &len));
    EXPECT_NE(0, (ws.ntohs)(addr.sin_port)) << "port 0 lets the stack choose";
    EXPECT_EQ(SOCKET_ERROR, ws.bind(b, (sockaddr *)&addr, sizeof addr));
    EXPECT_EQ(10048, WSAGetLastError());

    PalFaultSet(PAL_FAULT_BIND, 0, 1, WSAEACCES);
    addr = loopback(0);
    EXPECT_EQ(SOCKET_ERROR, ws.bind(b, (sockaddr *)&addr, sizeof addr));
    EXPECT_EQ(WSAEACCES, WSAGetLastError());
    PalFaultClear();

    u_long value = 7;
    EXPECT_EQ(0, ioctlsocket(b, 0x4004005E, &value)) << "the stack option is accepted";
    EXPECT_EQ(7u, value) << "and ignored";
    EXPECT_EQ(SOCKET_ERROR, ioctlsocket(b, 0x4004005F, &value)) << "no such option here";
    EXPECT_EQ(WSAEINVAL, WSAGetLastError());
    closesocket(a);
    closesocket(b);
    EXPECT_EQ(SOCKET_ERROR, ioctlsocket(b, 0x4004005E, &value)) << "only on a socket";
    EXPECT_EQ(WSAENOTSOCK, WSAGetLastError());

    /* The host name needs room for its terminator. */
    char name[256];
    ASSERT_EQ(0, ws.gethostname(name, sizeof name));
    len = (int)strlen(name);
    EXPECT_EQ(SOCKET_ERROR, ws.gethostname(name, len));
    EXPECT_EQ(WSAEFAULT, WSAGetLastError());
    EXPECT_EQ(0, ws.gethostname(name, len + 1));
    WSACleanup();
}

TEST(Winsock, AddressTextsAndTheStaticBuffer)
{
    Ws ws;
    EXPECT_EQ(0x0302010Au, (uint32_t)ws.inet_addr("10.1.2.3")) << "network byte order";
    EXPECT_EQ(INADDR_NONE, (uint32_t)ws.inet_addr("host.example"));
    in_addr a{}, b{};
    a.s_addr = ws.inet_addr("192.168.1.2");
    b.s_addr = INADDR_NONE;
    char *first = ws.inet_ntoa(a);
    EXPECT_STREQ("192.168.1.2", first);
    char *second = ws.inet_ntoa(b);
    EXPECT_EQ(first, second) << "one buffer, overwritten by the next call";
    EXPECT_STREQ("255.255.255.255", first);
}

} // namespace
