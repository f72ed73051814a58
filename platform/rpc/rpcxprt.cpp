/*
 * What the layer's two kinds of transport share: the tables of transports
 * and listening sockets, argument decoding, reply encoding, and making,
 * freeing and dispatching a transport.
 */
#include "rpc/rpcxprt.h"
#include "kernel/clock.h"

#include <netinet/in.h>
#include <string.h>
#include <unistd.h>

#include <algorithm>

namespace pal {
namespace rpcx {

std::map<int, Transport *> &transports = *new std::map<int, Transport *>;
std::map<int, Transport *> &datagram_by_origin = *new std::map<int, Transport *>;
std::map<int, Listener> &listeners = *new std::map<int, Listener>;
std::map<int, ino_t> &foreign = *new std::map<int, ino_t>;
size_t connection_count = 0;
size_t input_held = 0;
SweepTimer sweep_timer;

namespace {

bool_t no_control(SVCXPRT *, const u_int, void *)
{
    return FALSE;
}

} // namespace

bool_t getargs(SVCXPRT *x, xdrproc_t proc, void *where)
{
    Transport *t = of(x);
    if (!t->have_call)
        return FALSE;
    return (*proc)(&t->xdrs, where);
}

bool_t freeargs(SVCXPRT *, xdrproc_t proc, void *where)
{
    XDR x;
    memset(&x, 0, sizeof x);
    x.x_op = XDR_FREE;
    return (*proc)(&x, where);
}

bool encode_reply(Transport *t, struct rpc_msg *msg, size_t room, std::vector<char> *bytes)
{
    msg->rm_xid = t->xid;
    xdrproc_t whole = reinterpret_cast<xdrproc_t>(reinterpret_cast<void (*)(void)>(xdr_replymsg));
    unsigned long size = xdr_sizeof(whole, msg);
    if (size == 0 || size > MAX_RECORD)
        return false;
    bytes->assign(room + size, 0);
    XDR x;
    xdrmem_create(&x, bytes->data() + room, (u_int)size, XDR_ENCODE);
    bool ok = xdr_replymsg(&x, msg);
    bytes->resize(room + XDR_GETPOS(&x));
    XDR_DESTROY(&x);
    return ok;
}

void mark_destroy(SVCXPRT *x)
{
    of(x)->dead = true;
}

const struct __rpc_svcxprt::xp_ops2 control_ops = {no_control};

Transport *make_transport(Kind kind, int fd, const struct __rpc_svcxprt::xp_ops *ops)
{
    Transport *t = new Transport();
    t->kind = kind;
    memset(&t->xprt, 0, sizeof t->xprt);
    memset(&t->ext, 0, sizeof t->ext);
    memset(&t->remote, 0, sizeof t->remote);
    memset(&t->local, 0, sizeof t->local);
    t->xprt.xp_fd = fd;
    t->xprt.xp_ops = ops;
    t->xprt.xp_ops2 = &control_ops;
    t->xprt.xp_p1 = t;
    t->xprt.xp_p3 = &t->ext;
    t->xprt.xp_verf.oa_base = t->verifier;
    t->xprt.xp_rtaddr.buf = &t->remote;
    t->xprt.xp_rtaddr.maxlen = sizeof t->remote;
    socklen_t length = sizeof t->local;
    if (getsockname(fd, (struct sockaddr *)&t->local, &length) == 0) {
        t->xprt.xp_ltaddr.buf = &t->local;
        t->xprt.xp_ltaddr.len = length;
        t->xprt.xp_ltaddr.maxlen = sizeof t->local;
        if (t->local.ss_family == AF_INET)
            t->xprt.xp_port = ntohs(((struct sockaddr_in *)&t->local)->sin_port);
        else if (t->local.ss_family == AF_INET6)
            t->xprt.xp_port = ntohs(((struct sockaddr_in6 *)&t->local)->sin6_port);
    }
    t->last_active = clock_now();
    return t;
}

void free_transport(Transport *t)
{
    xprt_unregister(&t->xprt);
    close(t->xprt.xp_fd);
    if (t->kind == Kind::STREAM) {
        --connection_count;
        input_held -= std::min(input_held, t->in.size());
    }
    delete t;
}

/* Frees the transports that are done with and no dispatch holds. */
void collect()
{
    for (auto it = transports.begin(); it != transports.end();) {
        Transport *t = it->second;
        if (t->dead && t->busy == 0) {
            if (t->kind == Kind::DATAGRAM)
                datagram_by_origin.erase(t->origin_fd);
            it = transports.erase(it);
            free_transport(t);
        } else {
            ++it;
        }
    }
}

void dispatch_calls(Transport *t)
{
    ++t->busy;
    t->turn = 0;
    /* No guard against SIGPIPE: the layer's transports write only with
     * MSG_NOSIGNAL. */
    svc_getreq_common(t->xprt.xp_fd);
    --t->busy;
}

} // namespace rpcx
} // namespace pal
