// Windows Sockets through the module's ordinals: start-up and WSA error codes
// (the address helpers: netlib/netlib_test.cpp, ui/rsvp_test.cpp).
#include <winsock.h>

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <thread>

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
    int(PASCAL *gethostname)(char *, int) = get<decltype(gethostname)>(57);
    char *(PASCAL *inet_ntoa)(in_addr) = get<decltype(inet_ntoa)>(11);
    ~Ws() { FreeLibrary(m); }
};

TEST(Winsock, NothingWorksBeforeStartupAndCleanupPairsWithIt)
{
    Ws ws;
    EXPECT_EQ(INVALID_SOCKET, ws.socket(AF_INET, SOCK_STREAM, IPPROTO_TCP));
    EXPECT_EQ(WSANOTINITIALISED, WSAGetLastError());
    EXPECT_EQ(SOCKET_ERROR, WSACleanup());

    WSADATA data;
    ASSERT_EQ(0, WSAStartup(MAKEWORD(1, 1), &data));
    ASSERT_EQ(0, WSAStartup(MAKEWORD(1, 0), &data));
    EXPECT_EQ(WSAVERNOTSUPPORTED, WSAStartup(MAKEWORD(0, 9), &data));
    EXPECT_EQ(0, WSACleanup());
    SOCKET s = ws.socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP);
    EXPECT_NE(INVALID_SOCKET, s) << "one start-up is left";
    EXPECT_EQ(0, closesocket(s));
    EXPECT_EQ(0, WSACleanup());
    EXPECT_EQ(SOCKET_ERROR, closesocket(s));
}

TEST(Winsock, AnAddressIsDottedInABufferOfTheCallingThread)
{
    Ws ws;
    const struct {
        uint32_t address;
        const char *text;
    } cases[] = {{0x00000000u, "0.0.0.0"},     {0xFFFFFFFFu, "255.255.255.255"},
                 {0x0A006409u, "10.0.100.9"},  {0x7F000001u, "127.0.0.1"},
                 {0xC6120063u, "198.18.0.99"}, {0x010A6440u, "1.10.100.64"}};
    for (const auto &c : cases) {
        in_addr a;
        a.s_addr = htonl(c.address);
        EXPECT_STREQ(c.text, ws.inet_ntoa(a));
    }
    in_addr mine, other;
    mine.s_addr = htonl(0x0A000001u);
    other.s_addr = htonl(0xC0A80102u);
    char *text = ws.inet_ntoa(mine);
    std::string elsewhere;
    std::thread([&] { elsewhere = ws.inet_ntoa(other); }).join();
    EXPECT_EQ("192.168.1.2", elsewhere);
    EXPECT_STREQ("10.0.0.1", text) << "another thread's call leaves this one's text";
    EXPECT_EQ(text, ws.inet_ntoa(other)) << "the thread's next call overwrites it";
    EXPECT_STREQ("192.168.1.2", text);
}

TEST(Winsock, BindAndHostNameErrors)
{
    Ws ws;
    WSADATA data;
    ASSERT_EQ(0, WSAStartup(MAKEWORD(1, 1), &data));
    SOCKET a = ws.socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    SOCKET b = ws.socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ASSERT_EQ(0, ws.bind(a, (sockaddr *)&addr, sizeof addr));
    int len = sizeof addr;
    ASSERT_EQ(0, ws.getsockname(a, (sockaddr *)&addr, &len));
    EXPECT_NE(0, addr.sin_port) << "port 0 lets the stack choose";
    EXPECT_EQ(SOCKET_ERROR, ws.bind(b, (sockaddr *)&addr, sizeof addr));
    EXPECT_EQ(10048, WSAGetLastError());
    closesocket(a);
    closesocket(b);

    /* The host name needs room for its terminator. */
    char name[256];
    ASSERT_EQ(0, ws.gethostname(name, sizeof name));
    len = (int)strlen(name);
    EXPECT_EQ(SOCKET_ERROR, ws.gethostname(name, len));
    EXPECT_EQ(WSAEFAULT, WSAGetLastError());
    EXPECT_EQ(0, ws.gethostname(name, len + 1));
    WSACleanup();
}

} // namespace
