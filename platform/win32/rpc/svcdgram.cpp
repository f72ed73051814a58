/*
 * Datagram transports: each datagram is one call, decoded from its own
 * bytes; a reply that cannot be sent at once is dropped, as a datagram may
 * be.
 */
#include "svcxprt.h"

#include "../net/wsock.h"

namespace pal {
namespace svc {

namespace {

/* The largest datagram taken; a longer one is cut by the system and
 * dropped. */
const int DATAGRAM_ROOM = 65536;

} // namespace

void datagram_ready(Transport *t)
{
    if (t->busy)
        return;
    const net::Sockets *s = net::sockets();
    t->in.resize(DATAGRAM_ROOM);
    for (int turn = 0; turn < TURN; ++turn) {
        int length = sizeof t->peer;
        int n = s->recvfrom(t->xprt.xp_sock, t->in.data(), DATAGRAM_ROOM, 0,
                            (struct sockaddr *)&t->peer, &length);
        if (n == SOCKET_ERROR) {
            /* A datagram cut short or an earlier reply's port unreachable:
             * that datagram is gone, the next may be fine. */
            if (net::would_block())
                return;
            continue;
        }
        dispatch_record(t, t->in.data(), (u_int)n);
        if (t->dead)
            return;
    }
    serve_later(t);
}

bool datagram_send(Transport *t, const std::vector<char> &bytes)
{
    int n = net::sockets()->sendto(t->xprt.xp_sock, bytes.data(), (int)bytes.size(), 0,
                                   (const struct sockaddr *)&t->peer, sizeof t->peer);
    return n == (int)bytes.size();
}

} // namespace svc
} // namespace pal

extern "C" SVCXPRT *svcudp_create(int sock)
{
    SOCKET s = sock == RPC_ANYSOCK ? pal::net::open_bound(SOCK_DGRAM, 0) : (SOCKET)sock;
    if (s == INVALID_SOCKET)
        return nullptr;
    return &pal::svc::make_transport(pal::svc::Kind::DATAGRAM, s)->xprt;
}
