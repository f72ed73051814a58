/*
 * The datagram transport: served on a duplicate of the runtime's socket, each
 * datagram decoded from its own bytes (the runtime's transport decodes from
 * its whole receive buffer, so one cut short would be completed with the
 * bytes of the one before), and a reply that cannot be sent at once dropped,
 * as a datagram may be.
 */
#include "rpc/rpcxprt.h"

#include <errno.h>
#include <string.h>

#include <algorithm>

namespace pal {
namespace rpcx {
namespace {

/* A call datagram's largest size, as the runtime's own UDP transport. */
const size_t DATAGRAM_SIZE = 8800;

bool_t dg_recv(SVCXPRT *x, struct rpc_msg *msg)
{
    Transport *t = of(x);
    t->have_call = false;
    if (t->dead)
        return FALSE;
    t->call.resize(DATAGRAM_SIZE);
    socklen_t length = sizeof t->remote;
    ssize_t n;
    do {
        n = recvfrom(x->xp_fd, t->call.data(), DATAGRAM_SIZE, MSG_DONTWAIT | MSG_TRUNC,
                     (struct sockaddr *)&t->remote, &length);
    } while (n < 0 && errno == EINTR);
    /* Shorter than a call header: nothing to answer. */
    if (n < (ssize_t)(4 * sizeof(u_int32_t)))
        return FALSE;
    x->xp_rtaddr.len = length;
    x->xp_addrlen = (int)length;
    memcpy(&x->xp_raddr, &t->remote, std::min((size_t)length, sizeof x->xp_raddr));
    /* Only the datagram's own bytes: one cut short fails to decode. */
    size_t size = std::min((size_t)n, DATAGRAM_SIZE);
    xdrmem_create(&t->xdrs, t->call.data(), (u_int)size, XDR_DECODE);
    if (!xdr_callmsg(&t->xdrs, msg))
        return FALSE;
    t->xid = msg->rm_xid;
    t->have_call = true;
    return TRUE;
}

enum xprt_stat dg_stat(SVCXPRT *)
{
    return XPRT_IDLE;
}

bool_t dg_reply(SVCXPRT *x, struct rpc_msg *msg)
{
    Transport *t = of(x);
    std::vector<char> bytes;
    if (t->dead || !encode_reply(t, msg, 0, &bytes) || bytes.size() > DATAGRAM_SIZE)
        return FALSE;
    ssize_t n;
    do {
        n = sendto(x->xp_fd, bytes.data(), bytes.size(), MSG_DONTWAIT | MSG_NOSIGNAL,
                   (struct sockaddr *)&t->remote, x->xp_rtaddr.len);
    } while (n < 0 && errno == EINTR);
    return n == (ssize_t)bytes.size();
}

} // namespace

const struct __rpc_svcxprt::xp_ops datagram_ops = {dg_recv,  dg_stat,  getargs,
                                                   dg_reply, freeargs, mark_destroy};

} // namespace rpcx
} // namespace pal
