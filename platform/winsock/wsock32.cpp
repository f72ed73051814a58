/*
 * "WSOCK32.DLL": the Windows Sockets 1.1 subset on POSIX sockets.
 *
 * A SOCKET is the descriptor itself.  Every entry but the byte-order and
 * address helpers needs a successful WSAStartup first, and every failure
 * leaves a WSA error code for WSAGetLastError.
 */
#include <sys/ioctl.h>

/* The host's request; winsock.h gives FIONREAD its Windows value. */
static const unsigned long host_fionread = FIONREAD;

#include <winsock.h>

#include "kernel/fault.h"
#include "winsock/wsock.h"

#include <atomic>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace pal {
namespace {

std::atomic<int> startups{0};

bool started()
{
    if (startups.load() > 0)
        return true;
    wsa_set(WSANOTINITIALISED);
    return false;
}

/* Fails a call at an armed fault point with its WSA error. */
bool faulted(PAL_FAULT point)
{
    int err = WSAENETDOWN;
    if (!fault_hit(point, &err))
        return false;
    wsa_set(err);
    return true;
}

int fail_errno()
{
    wsa_set(wsa_error_from_errno(errno));
    return SOCKET_ERROR;
}

SOCKET PASCAL ws_socket(int af, int type, int protocol)
{
    if (!started() || faulted(PAL_FAULT_SOCKET))
        return INVALID_SOCKET;
    int fd = ::socket(af, type | SOCK_CLOEXEC, protocol);
    if (fd < 0) {
        fail_errno();
        return INVALID_SOCKET;
    }
    return (SOCKET)fd;
}

int PASCAL ws_bind(SOCKET s, const struct sockaddr *addr, int len)
{
    if (!started() || faulted(PAL_FAULT_BIND))
        return SOCKET_ERROR;
    if (!addr || len < (int)sizeof(struct sockaddr_in)) {
        wsa_set(WSAEFAULT);
        return SOCKET_ERROR;
    }
    return ::bind((int)s, addr, (socklen_t)len) == 0 ? 0 : fail_errno();
}

int PASCAL ws_getsockname(SOCKET s, struct sockaddr *addr, int *len)
{
    if (!started() || faulted(PAL_FAULT_GETSOCKNAME))
        return SOCKET_ERROR;
    if (!addr || !len || *len < 0) {
        wsa_set(WSAEFAULT);
        return SOCKET_ERROR;
    }
    socklen_t l = (socklen_t)*len;
    if (::getsockname((int)s, addr, &l) != 0)
        return fail_errno();
    *len = (int)l;
    return 0;
}

u_long PASCAL ws_htonl(u_long v)
{
    return htonl((uint32_t)v);
}
u_short PASCAL ws_htons(u_short v)
{
    return htons(v);
}
u_long PASCAL ws_ntohl(u_long v)
{
    return ntohl((uint32_t)v);
}
u_short PASCAL ws_ntohs(u_short v)
{
    return ntohs(v);
}

/* The dotted forms of BSD inet_addr; INADDR_NONE (all bits set) for
 * anything else, an empty text included. */
u_long PASCAL ws_inet_addr(const char *cp)
{
    if (!cp)
        return INADDR_NONE;
    return (uint32_t)::inet_addr(cp);
}

/* Per-thread static buffer, overwritten by the thread's next call.  The
 * four numbers are written here: the C library's goes through its printf,
 * a few thousand instructions for every address a call hands on. */
char *PASCAL ws_inet_ntoa(struct in_addr in)
{
    static thread_local char text[sizeof "255.255.255.255"];
    const unsigned char *part = (const unsigned char *)&in.s_addr;
    char *at = text;
    for (int i = 0; i < 4; ++i) {
        unsigned v = part[i];
        if (v >= 100)
            *at++ = (char)('0' + v / 100);
        if (v >= 10)
            *at++ = (char)('0' + v / 10 % 10);
        *at++ = (char)('0' + v % 10);
        *at++ = i < 3 ? '.' : '\0';
    }
    return text;
}

int PASCAL ws_gethostname(char *name, int namelen)
{
    if (!started() || faulted(PAL_FAULT_GETHOSTNAME))
        return SOCKET_ERROR;
    if (!name || namelen <= 0) {
        wsa_set(WSAEFAULT);
        return SOCKET_ERROR;
    }
    char full[256];
    if (::gethostname(full, sizeof full) != 0)
        return fail_errno();
    full[sizeof full - 1] = 0;
    size_t n = std::strlen(full);
    if (n + 1 > (size_t)namelen) {
        wsa_set(WSAEFAULT);
        return SOCKET_ERROR;
    }
    std::memcpy(name, full, n + 1);
    return 0;
}

} // namespace
} // namespace pal

using namespace pal;

extern "C" {

int PASCAL WSAStartup(WORD version, LPWSADATA data)
{
    int err = WSASYSNOTREADY;
    if (fault_hit(PAL_FAULT_WSASTARTUP, &err))
        return err;
    if (!data)
        return WSAEFAULT;
    BYTE major = LOBYTE(version), minor = HIBYTE(version);
    std::memset(data, 0, sizeof *data);
    data->wHighVersion = MAKEWORD(1, 1);
    data->wVersion = (major > 1 || (major == 1 && minor >= 1)) ? MAKEWORD(1, 1) : version;
    if (major < 1)
        return WSAVERNOTSUPPORTED;
    std::snprintf(data->szDescription, sizeof data->szDescription, "Windows Sockets 1.1 on POSIX");
    std::snprintf(data->szSystemStatus, sizeof data->szSystemStatus, "Running");
    data->iMaxSockets = 32767;
    data->iMaxUdpDg = 65467;
    ++startups;
    return 0;
}

int PASCAL WSACleanup(void)
{
    int n = startups.load();
    while (n > 0 && !startups.compare_exchange_weak(n, n - 1)) {
    }
    if (n <= 0) {
        wsa_set(WSANOTINITIALISED);
        return SOCKET_ERROR;
    }
    if (n == 1)
        async_cancel_all();
    return 0;
}

int PASCAL closesocket(SOCKET s)
{
    if (!started())
        return SOCKET_ERROR;
    return ::close((int)s) == 0 ? 0 : fail_errno();
}

/* The stack-specific option the call manager sets on its datagram sockets. */
static const long stack_option = 0x4004005E;

int PASCAL ioctlsocket(SOCKET s, long cmd, u_long *argp)
{
    if (!started())
        return SOCKET_ERROR;
    if (!argp) {
        wsa_set(WSAEFAULT);
        return SOCKET_ERROR;
    }
    if (cmd == FIONBIO) {
        int flags = ::fcntl((int)s, F_GETFL);
        if (flags < 0)
            return fail_errno();
        flags = *argp ? (flags | O_NONBLOCK) : (flags & ~O_NONBLOCK);
        return ::fcntl((int)s, F_SETFL, flags) == 0 ? 0 : fail_errno();
    }
    if (cmd == FIONREAD) {
        int avail = 0;
        if (::ioctl((int)s, host_fionread, &avail) != 0)
            return fail_errno();
        *argp = (u_long)avail;
        return 0;
    }
    if (cmd == stack_option) {
        /* The TCP/IP stack's own flag word has nothing to switch on POSIX
         * sockets: accepted and ignored, for a socket that exists. */
        if (::fcntl((int)s, F_GETFD) < 0)
            return fail_errno();
        return 0;
    }
    /* Options of other stacks are not known here. */
    wsa_set(WSAEINVAL);
    return SOCKET_ERROR;
}

} // extern "C"

namespace pal {

bool wsa_started()
{
    return startups.load() > 0;
}

/* The host-name lookups live with the asynchronous ones (asynclookup.cpp). */
struct hostent *PASCAL ws_gethostbyname(const char *name);

namespace {

const PAL_EXPORT wsock32_exports[] = {
    {2, "bind", PAL_PROC(ws_bind)},
    {3, "closesocket", PAL_PROC(closesocket)},
    {6, "getsockname", PAL_PROC(ws_getsockname)},
    {8, "htonl", PAL_PROC(ws_htonl)},
    {9, "htons", PAL_PROC(ws_htons)},
    {10, "inet_addr", PAL_PROC(ws_inet_addr)},
    {11, "inet_ntoa", PAL_PROC(ws_inet_ntoa)},
    {12, "ioctlsocket", PAL_PROC(ioctlsocket)},
    {14, "ntohl", PAL_PROC(ws_ntohl)},
    {15, "ntohs", PAL_PROC(ws_ntohs)},
    {23, "socket", PAL_PROC(ws_socket)},
    {52, "gethostbyname", PAL_PROC(ws_gethostbyname)},
    {57, "gethostname", PAL_PROC(ws_gethostname)},
    {103, "WSAAsyncGetHostByName", PAL_PROC(WSAAsyncGetHostByName)},
    {108, "WSACancelAsyncRequest", PAL_PROC(WSACancelAsyncRequest)},
    {111, "WSAGetLastError", PAL_PROC(WSAGetLastError)},
    {112, "WSASetLastError", PAL_PROC(WSASetLastError)},
    {115, "WSAStartup", PAL_PROC(WSAStartup)},
    {116, "WSACleanup", PAL_PROC(WSACleanup)},
};

} // namespace

const PAL_MODULEDESC wsock32_module = {
    "WSOCK32.DLL", wsock32_exports, sizeof wsock32_exports / sizeof wsock32_exports[0],
    nullptr,       nullptr,         0};

} // namespace pal
