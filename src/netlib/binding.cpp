/*
 * Binding the socket library at run time, by ordinal, with a use count.
 */
#include "netlib/netlib.h"
#include "resources/resource.h"

#include <string.h>

NET_SLOTS NET_Slots;

namespace {

HMODULE net_module = nullptr;
DWORD net_users = 0;

/* A function of the module as the slot's type. */
template <typename T> void net_resolve(T &slot, WORD ordinal)
{
    slot = (T)(void (*)(void))GetProcAddress(net_module, MAKEINTRESOURCEA(ordinal));
}

void net_bind_slots()
{
    /* The order in which the ordinals are taken: 2, 3, 57, 6, 8, 9, 10,
     * 11, 12, 14, 15, 23, 103, 108, 116, 111, 115. */
    net_resolve(NET_Slots.bind, 2);
    net_resolve(NET_Slots.closesocket, 3);
    net_resolve(NET_Slots.gethostname, 57);
    net_resolve(NET_Slots.getsockname, 6);
    net_resolve(NET_Slots.htonl, 8);
    net_resolve(NET_Slots.htons, 9);
    net_resolve(NET_Slots.inet_addr, 10);
    net_resolve(NET_Slots.inet_ntoa, 11);
    net_resolve(NET_Slots.ioctlsocket, 12);
    net_resolve(NET_Slots.ntohl, 14);
    net_resolve(NET_Slots.ntohs, 15);
    net_resolve(NET_Slots.socket, 23);
    net_resolve(NET_Slots.WSAAsyncGetHostByName, 103);
    net_resolve(NET_Slots.WSACancelAsyncRequest, 108);
    net_resolve(NET_Slots.WSACleanup, 116);
    net_resolve(NET_Slots.WSAGetLastError, 111);
    net_resolve(NET_Slots.WSAStartup, 115);
}

} // namespace

extern "C" int NET_Startup(HINSTANCE instance)
{
    if (net_users == 0) {
        char name[32];
        if (!LoadStringA(instance, STR_NETLIBRARY, name, sizeof name))
            return 0;
        net_module = LoadLibraryA(name);
        if (!net_module)
            return 0;
        net_bind_slots();
    }
    ++net_users;
    /* A slot the module does not offer stays empty; without WSAStartup the
     * library cannot be started. */
    if (!NET_Slots.WSAStartup)
        return 0;
    WSADATA data;
    if (NET_Slots.WSAStartup(MAKEWORD(1, 1), &data) == 0)
        return 1;
    return NET_Slots.WSAStartup(MAKEWORD(1, 0), &data) == 0 ? 1 : 0;
}

extern "C" void NET_Cleanup(void)
{
    if (net_users == 0)
        return;
    if (--net_users > 0 || !net_module)
        return;
    if (NET_Slots.WSACleanup)
        NET_Slots.WSACleanup();
    FreeLibrary(net_module);
    net_module = nullptr;
    memset(&NET_Slots, 0, sizeof NET_Slots);
}

extern "C" DWORD NET_Users(void)
{
    return net_users;
}

extern "C" int NET_gethostname(char *name, int len)
{
    return net_module && NET_Slots.gethostname ? NET_Slots.gethostname(name, len) : -1;
}

extern "C" char *NET_inet_ntoa(struct in_addr in)
{
    return net_module && NET_Slots.inet_ntoa ? NET_Slots.inet_ntoa(in) : nullptr;
}

extern "C" u_long NET_inet_addr(const char *text)
{
    return net_module && NET_Slots.inet_addr ? NET_Slots.inet_addr(text) : 0;
}

/* The byte-order slots are called as (NET_Slots.htonl)(...): an optimised
 * build of the C library makes htonl and its kin function-like macros, which
 * would otherwise swallow the member name. */
extern "C" u_long NET_htonl(u_long value)
{
    return net_module && NET_Slots.htonl ? (NET_Slots.htonl)(value) : 0;
}

extern "C" u_long NET_ntohl(u_long value)
{
    return net_module && NET_Slots.ntohl ? (NET_Slots.ntohl)(value) : 0;
}

extern "C" int NET_WSACancelAsyncRequest(HANDLE task)
{
    return net_module && NET_Slots.WSACancelAsyncRequest ? NET_Slots.WSACancelAsyncRequest(task)
                                                         : -1;
}

extern "C" HANDLE NET_WSAAsyncGetHostByName(HWND hwnd, unsigned int msg, const char *name,
                                            char *buf, int buflen)
{
    return net_module && NET_Slots.WSAAsyncGetHostByName
               ? NET_Slots.WSAAsyncGetHostByName(hwnd, msg, name, buf, buflen)
               : nullptr;
}
