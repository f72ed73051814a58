/*
 * The sockets of sessions and calls: one stream socket per session, two
 * datagram sockets per call, each bound to a port of a range the
 * application chose.  Within a range the first port tried is random, so
 * that several call managers on one machine do not all race for the same
 * port, and the search walks on, wrapping round, past ports in use.
 *
 * Everything goes through the bound socket library's slots; byte-order
 * slots are called as (NET_Slots.htons)(...) because an optimised build of
 * the C library makes htons and its kin function-like macros.
 */
#include "netlib/netlib.h"

#include <string.h>

namespace {

const DWORD net_port_max = 65535;

/* Ports of 1024 and above are taken when a range starting at 0 reaches
 * them, so that the walk does not hit the reserved ports first. */
const DWORD net_port_user = 1024;

/* The argument of the stack option when it is switched on. */
const u_long net_stackoption_on = 7;

static_assert(sizeof(struct sockaddr_in) == 16, "the bound address is 16 bytes long");

/* The slots a socket of this file needs; without them nothing is opened. */
bool net_bound()
{
    return NET_Slots.socket && NET_Slots.bind && NET_Slots.getsockname && NET_Slots.closesocket &&
           NET_Slots.WSAGetLastError && NET_Slots.htons && NET_Slots.ntohs;
}

int net_open(SOCKET *sock, DWORD *port, DWORD low, DWORD high, int type, int protocol, DWORD option)
{
    *sock = INVALID_SOCKET;
    if (!net_bound())
        return WSANOTINITIALISED;

    /* A port given on entry (the port of a received call, say) is the only
     * one tried, and the caller keeps it even when it cannot be had. */
    DWORD given = *port;
    if (given)
        low = high = given;
    /* Nothing of such a range is a port; no socket is made for it. */
    if (low > net_port_max)
        return WSAEINVAL;

    SOCKET s = (NET_Slots.socket)(AF_INET, type, protocol);
    if (s == INVALID_SOCKET)
        return (NET_Slots.WSAGetLastError)();

    DWORD bound = NET_BindRange(s, low, high);
    if (!bound) {
        /* Read before closing: closesocket may overwrite it. */
        int err = (NET_Slots.WSAGetLastError)();
        (NET_Slots.closesocket)(s);
        if (!given)
            *port = 0;
        /* A failure never reads as success, whatever the library left. */
        return err ? err : WSAEINVAL;
    }
    if (option && NET_Slots.ioctlsocket) {
        /* What the stack makes of the option is its own affair; a stack
         * that refuses it still leaves a usable socket. */
        u_long arg = net_stackoption_on;
        (NET_Slots.ioctlsocket)(s, NET_STACKOPTION, &arg);
    }
    *port = bound;
    *sock = s;
    return 0;
}

/* The first port's draw, from the clock alone: it neither depends on nor
 * disturbs the process's random generator, which the application may use,
 * and costs a few instructions (reseeding that generator for every socket
 * cost thousands).  The bits of the tick are mixed so that ticks close
 * together start far apart. */
DWORD net_draw(DWORD tick)
{
    DWORD x = tick ^ 0x5F3759DFu;
    x ^= x >> 16;
    x *= 0x7FEB352Du;
    x ^= x >> 15;
    x *= 0x846CA68Bu;
    x ^= x >> 16;
    return x;
}

} // namespace

extern "C" int NET_OpenStream(SOCKET *sock, DWORD *port, DWORD low, DWORD high)
{
    return net_open(sock, port, low, high, SOCK_STREAM, IPPROTO_TCP, 0);
}

extern "C" int NET_OpenDatagram(SOCKET *sock, DWORD *port, DWORD low, DWORD high, DWORD option)
{
    return net_open(sock, port, low, high, SOCK_DGRAM, IPPROTO_UDP, option);
}

extern "C" DWORD NET_BindRange(SOCKET sock, DWORD low, DWORD high)
{
    DWORD tick = GetTickCount();

    if (high > net_port_max)
        high = net_port_max;
    if (low > net_port_max)
        return 0;

    DWORD first, attempts;
    if (high > low) {
        if (low == 0 && high >= net_port_user)
            low = net_port_user;
        /* First port in low..high-1: high itself is only reached by
         * walking on.  The range 0..1024 has shrunk to 1024 alone. */
        if (high > low)
            first = low + (net_draw(tick) % (high - low));
        else
            first = low;
        attempts = high - low + 1;
    } else {
        /* One port, or none: a low bound above the high bound - also a
         * nonzero low bound with a high bound of 0 - lets the stack choose,
         * rather than reading the 0 as "up to the top". */
        first = low == high ? low : 0;
        attempts = 1;
    }

    struct sockaddr_in addr;
    memset(&addr, 0, sizeof addr);
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = 0; /* any local address */
    DWORD port = first;
    for (;;) {
        addr.sin_port = (NET_Slots.htons)((u_short)port);
        if ((NET_Slots.bind)(sock, (const struct sockaddr *)&addr, (int)sizeof addr) == 0) {
            struct sockaddr_in got;
            memset(&got, 0, sizeof got);
            int len = (int)sizeof got;
            if ((NET_Slots.getsockname)(sock, (struct sockaddr *)&got, &len) != 0)
                return 0;
            return (NET_Slots.ntohs)(got.sin_port);
        }
        if ((NET_Slots.WSAGetLastError)() != WSAEADDRINUSE)
            return 0;
        if (--attempts == 0)
            return 0;
        port = port >= high ? low : port + 1;
    }
}

extern "C" void NET_SetStackOption(SOCKET sock, DWORD on)
{
    if (sock == INVALID_SOCKET || !NET_Slots.ioctlsocket)
        return;
    u_long arg = on ? net_stackoption_on : 0;
    (NET_Slots.ioctlsocket)(sock, NET_STACKOPTION, &arg);
}

extern "C" void NET_Close(SOCKET sock)
{
    if (sock == INVALID_SOCKET || !NET_Slots.closesocket)
        return;
    (NET_Slots.closesocket)(sock);
}
