// The loader and Windows Sockets through the module's ordinals: built-in
// modules, reference counts, resources, start-up and WSA error codes
// (replacing modules and their entry points, and the address helpers:
// netlib/netlib_test.cpp; the stack library's window: api/libmain_test.cpp).
#include "support/instance.h"

#include <palmodule.h>
#include <winsock.h>

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <thread>

namespace {

TEST(Modules, NamesOrdinalsAndReferenceCounts)
{
    HMODULE a = LoadLibraryA("WSOCK32.DLL");
    ASSERT_NE(nullptr, a);
    EXPECT_EQ(a, LoadLibraryA("wsock32")) << "case and the .DLL ending do not matter";
    EXPECT_EQ((FARPROC)PAL_PROC(WSAStartup), GetProcAddress(a, MAKEINTRESOURCEA(115)));
    EXPECT_EQ(nullptr, GetProcAddress(a, MAKEINTRESOURCEA(999)));
    EXPECT_EQ((DWORD)ERROR_PROC_NOT_FOUND, GetLastError());
    EXPECT_TRUE(FreeLibrary(a));
    EXPECT_EQ(a, GetModuleHandleA("WSOCK32.DLL")) << "one reference left";
    EXPECT_TRUE(FreeLibrary(a));
    EXPECT_EQ(nullptr, GetProcAddress(a, MAKEINTRESOURCEA(115))) << "unloaded";
    EXPECT_EQ((DWORD)ERROR_INVALID_HANDLE, GetLastError());
    EXPECT_EQ(nullptr, LoadLibraryA("NOSUCH.DLL"));
    EXPECT_EQ((DWORD)ERROR_MOD_NOT_FOUND, GetLastError());

    /* Strings come from the resources, cut to the buffer. */
    HINSTANCE inst = resource_instance();
    char buf[128];
    EXPECT_EQ(11, LoadStringA(inst, 107, buf, 12)) << "just room for the terminator";
    EXPECT_STREQ("WSOCK32.DLL", buf);
    EXPECT_EQ(0, LoadStringA(inst, 109, buf, sizeof buf));
    EXPECT_EQ(nullptr, FindResourceA(inst, MAKEINTRESOURCEA(2), RT_STRING));
    EXPECT_EQ((DWORD)ERROR_RESOURCE_NAME_NOT_FOUND, GetLastError());
}

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

TEST(Winsock, StartupCleanupAndErrors)
{
    Ws ws;
    EXPECT_EQ(INVALID_SOCKET, ws.socket(AF_INET, SOCK_STREAM, IPPROTO_TCP));
    EXPECT_EQ(WSANOTINITIALISED, WSAGetLastError()) << "nothing works before start-up";
    EXPECT_EQ(SOCKET_ERROR, WSACleanup());

    WSADATA data;
    ASSERT_EQ(0, WSAStartup(MAKEWORD(1, 1), &data));
    ASSERT_EQ(0, WSAStartup(MAKEWORD(1, 0), &data));
    EXPECT_EQ(WSAVERNOTSUPPORTED, WSAStartup(MAKEWORD(0, 9), &data));
    EXPECT_EQ(0, WSACleanup());
    SOCKET s = ws.socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP);
    EXPECT_NE(INVALID_SOCKET, s) << "one start-up is left";
    EXPECT_EQ(0, closesocket(s));

    SOCKET a = ws.socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    SOCKET b = ws.socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    sockaddr_in addr{AF_INET, 0, {htonl(INADDR_LOOPBACK)}, {}};
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
    for (const auto &c : cases)
        EXPECT_STREQ(c.text, ws.inet_ntoa(in_addr{htonl(c.address)}));
    in_addr mine{htonl(0x0A000001u)}, other{htonl(0xC0A80102u)};
    char *text = ws.inet_ntoa(mine);
    std::string elsewhere;
    std::thread([&] { elsewhere = ws.inet_ntoa(other); }).join();
    EXPECT_EQ("192.168.1.2", elsewhere);
    EXPECT_STREQ("10.0.0.1", text) << "another thread's call leaves this one's text";
    EXPECT_EQ(text, ws.inet_ntoa(other)) << "the thread's next call overwrites it";
    EXPECT_STREQ("192.168.1.2", text);
}

} // namespace
