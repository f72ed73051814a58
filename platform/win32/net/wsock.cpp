/*
 * Binding the platform's Windows Sockets by name at run time.
 */
#include "wsock.h"

#include <windows.h>

#include <string.h>

namespace pal {
namespace net {

namespace {

template <typename F> bool bind_entry(HMODULE library, const char *name, F *entry)
{
    FARPROC proc = GetProcAddress(library, name);
    *entry = reinterpret_cast<F>(reinterpret_cast<void (*)(void)>(proc));
    return proc != nullptr;
}

bool bind_all(HMODULE library, Sockets *s)
{
    return bind_entry(library, "socket", &s->socket) && bind_entry(library, "bind", &s->bind) &&
           bind_entry(library, "listen", &s->listen) && bind_entry(library, "accept", &s->accept) &&
           bind_entry(library, "connect", &s->connect) && bind_entry(library, "send", &s->send) &&
           bind_entry(library, "recv", &s->recv) && bind_entry(library, "sendto", &s->sendto) &&
           bind_entry(library, "recvfrom", &s->recvfrom) &&
           bind_entry(library, "closesocket", &s->closesocket) &&
           bind_entry(library, "ioctlsocket", &s->ioctlsocket) &&
           bind_entry(library, "getsockname", &s->getsockname) &&
           bind_entry(library, "getsockopt", &s->getsockopt) &&
           bind_entry(library, "setsockopt", &s->setsockopt) &&
           bind_entry(library, "select", &s->select) &&
           bind_entry(library, "gethostbyname", &s->gethostbyname) &&
           bind_entry(library, "inet_addr", &s->inet_addr) &&
           bind_entry(library, "WSAAsyncSelect", &s->WSAAsyncSelect) &&
           bind_entry(library, "WSAGetLastError", &s->WSAGetLastError) &&
           bind_entry(library, "WSAStartup", &s->WSAStartup) &&
           bind_entry(library, "WSACleanup", &s->WSACleanup);
}

/* 0: not tried, 1: bound, -1: unavailable.  The first use comes from the
 * thread that makes a transport or a connection; later uses read the
 * settled state. */
LONG state = 0;
Sockets bound;

} // namespace

const Sockets *sockets()
{
    if (state == 0) {
        HMODULE library = LoadLibraryA("WSOCK32.DLL");
        WSADATA data;
        bool ok =
            library && bind_all(library, &bound) && bound.WSAStartup(MAKEWORD(1, 1), &data) == 0;
        if (!ok && library)
            FreeLibrary(library);
        InterlockedExchange(&state, ok ? 1 : -1);
    }
    return state == 1 ? &bound : nullptr;
}

SOCKET open_bound(int type, u_short port)
{
    const Sockets *s = sockets();
    if (!s)
        return INVALID_SOCKET;
    SOCKET sock = s->socket(AF_INET, type, 0);
    if (sock == INVALID_SOCKET)
        return sock;
    struct sockaddr_in address = {};
    address.sin_family = AF_INET;
    address.sin_port = net_short(port);
    address.sin_addr.s_addr = INADDR_ANY;
    u_long nonblocking = 1;
    if (s->bind(sock, (struct sockaddr *)&address, sizeof address) != 0 ||
        s->ioctlsocket(sock, FIONBIO, &nonblocking) != 0) {
        s->closesocket(sock);
        return INVALID_SOCKET;
    }
    return sock;
}

u_short bound_port(SOCKET sock)
{
    struct sockaddr_in address = {};
    int length = sizeof address;
    if (sockets()->getsockname(sock, (struct sockaddr *)&address, &length) != 0)
        return 0;
    return net_short(address.sin_port);
}

bool would_block()
{
    return sockets()->WSAGetLastError() == WSAEWOULDBLOCK;
}

HINSTANCE own_module()
{
    HMODULE module = nullptr;
    GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS |
                           GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                       (LPCSTR)&own_module, &module);
    return module;
}

bool register_class(const char *name, WNDPROC proc)
{
    HINSTANCE instance = own_module();
    /* A class that an unloaded copy of the module registered points into
     * code that is gone. */
    UnregisterClassA(name, instance);
    WNDCLASSA wc = {};
    wc.lpfnWndProc = proc;
    wc.hInstance = instance;
    wc.lpszClassName = name;
    return RegisterClassA(&wc) != 0;
}

bool in_set(SOCKET sock, const fd_set &set)
{
    for (u_int i = 0; i < set.fd_count && i < FD_SETSIZE; ++i)
        if (set.fd_array[i] == sock)
            return true;
    return false;
}

bool wait_ready(SOCKET sock, bool write, DWORD ms, bool *failed)
{
    fd_set set, errors;
    FD_ZERO(&set);
    FD_SET(sock, &set);
    FD_ZERO(&errors);
    FD_SET(sock, &errors);
    struct timeval wait = {(long)(ms / 1000), (long)(ms % 1000) * 1000};
    if (sockets()->select(0, write ? nullptr : &set, write ? &set : nullptr, &errors, &wait) <= 0)
        return false;
    bool error = in_set(sock, errors);
    if (failed)
        *failed = error;
    return !error;
}

bool host_address(const char *host, u_long *addr)
{
    const Sockets *s = sockets();
    if (!s || !host || !*host)
        return false;
    u_long dotted = s->inet_addr(host);
    if (dotted != INADDR_NONE || strcmp(host, "255.255.255.255") == 0) {
        *addr = dotted;
        return true;
    }
    const struct hostent *entry = s->gethostbyname(host);
    if (!entry || entry->h_addrtype != AF_INET || entry->h_length != 4 || !entry->h_addr_list[0])
        return false;
    memcpy(addr, entry->h_addr_list[0], 4);
    return true;
}

} // namespace net
} // namespace pal
