/*
 * Connection transports: a listening socket accepts here; each connection
 * reads what is there without waiting, gathers records up to MAX_RECORD
 * (a longer one closes it), dispatches whole ones, and writes replies
 * without waiting, holding what the peer has not taken and reading nothing
 * more from it meanwhile.
 */
#include "svcxprt.h"

#include "../net/wsock.h"

namespace pal {
namespace svc {

namespace {

const int READ_CHUNK = 65536;
const int LISTEN_BACKLOG = 16;

size_t connection_count()
{
    size_t n = 0;
    for (Transport *t : transports)
        n += t->kind == Kind::CONNECTION;
    return n;
}

/* Makes room for a newcomer by closing the connection quiet longest that
 * no dispatch holds; false when every one is busy. */
bool close_quietest(DWORD now)
{
    Transport *quietest = nullptr;
    for (Transport *t : transports)
        if (t->kind == Kind::CONNECTION && !t->busy &&
            (!quietest || now - t->last_active > now - quietest->last_active))
            quietest = t;
    if (!quietest)
        return false;
    close_transport(quietest);
    return true;
}

/* Writes what is held; true when nothing is left. */
bool flush(Transport *t)
{
    const net::Sockets *s = net::sockets();
    while (t->out_at < t->out.size()) {
        int n = s->send(t->xprt.xp_sock, t->out.data() + t->out_at,
                        (int)(t->out.size() - t->out_at), 0);
        if (n == SOCKET_ERROR) {
            if (!net::would_block())
                close_transport(t);
            return false;
        }
        t->out_at += (size_t)n;
        t->last_active = GetTickCount();
    }
    t->out.clear();
    t->out_at = 0;
    return true;
}

} // namespace

void listener_ready(Transport *t)
{
    const net::Sockets *s = net::sockets();
    for (int turn = 0; turn < TURN; ++turn) {
        struct sockaddr_in peer = {};
        int length = sizeof peer;
        SOCKET sock = s->accept(t->xprt.xp_sock, (struct sockaddr *)&peer, &length);
        if (sock == INVALID_SOCKET) {
            if (net::would_block())
                return;
            continue;
        }
        DWORD now = GetTickCount();
        if (connection_count() >= MAX_CONNECTIONS && !close_quietest(now)) {
            s->closesocket(sock);
            continue;
        }
        u_long nonblocking = 1;
        s->ioctlsocket(sock, FIONBIO, &nonblocking);
        Transport *c = make_transport(Kind::CONNECTION, sock);
        c->listener = t;
        c->peer = peer;
    }
    serve_later(t);
}

void connection_ready(Transport *t, bool)
{
    if (t->busy || t->dead)
        return;
    const net::Sockets *s = net::sockets();
    for (int turn = 0; turn < TURN; ++turn) {
        if (!flush(t))
            return;
        if (t->in_at == t->in.size()) {
            t->in.resize(READ_CHUNK);
            t->in_at = 0;
            int n = s->recv(t->xprt.xp_sock, t->in.data(), READ_CHUNK, 0);
            if (n <= 0) {
                t->in.clear();
                if (n == SOCKET_ERROR && net::would_block())
                    return;
                close_transport(t);
                return;
            }
            t->in.resize((size_t)n);
            t->last_active = GetTickCount();
        }
        size_t taken = 0;
        onc::RecordStep step =
            onc::record_feed(&t->reader, t->in.data() + t->in_at, t->in.size() - t->in_at, &taken);
        t->in_at += taken;
        if (step == onc::RecordStep::TOO_LONG) {
            close_transport(t);
            return;
        }
        if (step == onc::RecordStep::COMPLETE) {
            dispatch_record(t, t->reader.record.data(), (u_int)t->reader.record.size());
            if (t->dead)
                return;
            onc::record_restart(&t->reader);
        }
    }
    serve_later(t);
}

bool connection_send(Transport *t, const std::vector<char> &bytes)
{
    if (t->dead || bytes.size() > onc::MAX_RECORD)
        return false;
    onc::record_frame(bytes.data(), (uint32_t)bytes.size(), &t->out);
    flush(t);
    return true;
}

void sweep_idle(DWORD now)
{
    for (size_t i = transports.size(); i-- > 0;) {
        Transport *t = transports[i];
        if (t->kind == Kind::CONNECTION && !t->busy && now - t->last_active >= IDLE_CLOSE_MS)
            close_transport(t);
    }
}

} // namespace svc
} // namespace pal

extern "C" SVCXPRT *svctcp_create(int sock, u_int, u_int)
{
    const pal::net::Sockets *s = pal::net::sockets();
    SOCKET l = sock == RPC_ANYSOCK ? pal::net::open_bound(SOCK_STREAM, 0) : (SOCKET)sock;
    if (l == INVALID_SOCKET)
        return nullptr;
    if (s->listen(l, pal::svc::LISTEN_BACKLOG) != 0) {
        if (sock == RPC_ANYSOCK)
            s->closesocket(l);
        return nullptr;
    }
    return &pal::svc::make_transport(pal::svc::Kind::LISTENER, l)->xprt;
}
