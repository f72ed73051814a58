/*
 * The Windows Sockets the platform uses itself, bound at run time from
 * "WSOCK32.DLL" so that the library's import table names no socket
 * library.  Each entry has the type of its <winsock.h> declaration.
 */
#ifndef PAL_WIN32_NET_WSOCK_H
#define PAL_WIN32_NET_WSOCK_H

#include <windows.h>
#include <winsock.h>

namespace pal {
namespace net {

struct Sockets {
    decltype(&::socket) socket;
    decltype(&::bind) bind;
    decltype(&::listen) listen;
    decltype(&::accept) accept;
    decltype(&::connect) connect;
    decltype(&::send) send;
    decltype(&::recv) recv;
    decltype(&::sendto) sendto;
    decltype(&::recvfrom) recvfrom;
    decltype(&::closesocket) closesocket;
    decltype(&::ioctlsocket) ioctlsocket;
    decltype(&::getsockname) getsockname;
    decltype(&::getsockopt) getsockopt;
    decltype(&::setsockopt) setsockopt;
    decltype(&::select) select;
    decltype(&::gethostbyname) gethostbyname;
    decltype(&::inet_addr) inet_addr;
    decltype(&::WSAAsyncSelect) WSAAsyncSelect;
    decltype(&::WSAGetLastError) WSAGetLastError;
    decltype(&::WSAStartup) WSAStartup;
    decltype(&::WSACleanup) WSACleanup;
};

/* The bound entries, Windows Sockets started; null when the library or an
 * entry is missing or the start failed.  Bound once, on first use, and
 * kept for the life of the process. */
const Sockets *sockets();

/* The module holding the platform's code (the DLL when it is one), for
 * the window classes it registers. */
HINSTANCE own_module();
/* Registers a window class of `name` with `proc` in own_module(), in place
 * of one left by an earlier load of the module; false on failure. */
bool register_class(const char *name, WNDPROC proc);

/* Byte order of the wire. */
inline u_long net_long(u_long host)
{
    return ((host & 0xFFu) << 24) | ((host & 0xFF00u) << 8) | ((host >> 8) & 0xFF00u) |
           (host >> 24);
}
inline u_short net_short(u_short host)
{
    return (u_short)((host << 8) | (host >> 8));
}

/* A non-blocking socket of `type` (SOCK_DGRAM, SOCK_STREAM) bound to
 * `port` (host order, 0: any) on every address; INVALID_SOCKET on
 * failure. */
SOCKET open_bound(int type, u_short port);
/* The port (host order) a socket is bound to; 0 when unknown. */
u_short bound_port(SOCKET s);
bool would_block();
/* FD_ISSET without the socket library's helper: whether select left
 * `sock` in `set`. */
bool in_set(SOCKET sock, const fd_set &set);
/* Waits up to `ms` for `sock` to be readable, or writable with `write`;
 * false when time runs out, or when the system reports an error on the
 * socket instead (a refusal shows there on some systems), which sets
 * *failed when given. */
bool wait_ready(SOCKET sock, bool write, DWORD ms, bool *failed = nullptr);
/* The IPv4 address (network byte order) of a dotted quad or a host name;
 * false when there is none.  A name lookup may block. */
bool host_address(const char *host, u_long *addr);

} // namespace net
} // namespace pal

#endif
