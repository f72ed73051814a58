/*
 * Which thread serves the RPC server's descriptors, and the serving itself.
 *
 * The serving thread is named explicitly; nothing is taken over by whichever
 * thread happens to wait first.  Naming another thread wakes the one named
 * before, so that it leaves the descriptors out of its next wait.  A named
 * thread that ends without giving the service up clears the name, so that a
 * later thread which the system gives the same id never serves by accident.
 *
 * The serving thread is the application's own: no peer may hold it.  The
 * runtime's connection transport reads a record blocking (a peer that sends
 * half a record holds the thread until the runtime gives up, and one that
 * trickles holds it without end) and writes a reply blocking or spinning;
 * its datagram transport decodes a call from its whole receive buffer, so a
 * datagram cut short is completed with the bytes of the one before.  So the
 * layer serves the sockets of the transports the system makes itself, by
 * the runtime's public transport interface:
 *
 * - A listening stream socket is accepted on here, never by the runtime.
 *   Each connection is a transport of this file: it reads what is there
 *   without waiting, gathers records up to MAX_RECORD, dispatches complete
 *   ones, and writes replies without waiting, holding what the peer has not
 *   taken and reading nothing more from that peer meanwhile.
 * - A datagram socket is served through a transport of this file on a
 *   duplicate of its descriptor: each datagram is decoded from its own
 *   bytes, and a reply that cannot be sent at once is dropped, as a
 *   datagram may be.
 *
 * Calls still reach the registered dispatch routines through the runtime
 * (svc_getreq_common), which finds the program and checks the credentials.
 * The runtime's own transports stay registered (their ports are the ones in
 * the port mapper) but are never polled; when the system destroys one, what
 * stood in for it goes at the serving thread's next wait.
 */
#include "rpc/rpcwait.h"
#include "kernel/clock.h"
#include "rpc/sigpipe.h"
#include "user/queue.h"

#include <palrpc.h>
#include <windows.h>
#include <rpc/rpc.h>
#include <rpc/svc_mt.h>

#include <errno.h>
#include <fcntl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/timerfd.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <map>
#include <memory>
#include <mutex>
#include <string.h>
#include <vector>

namespace pal {
namespace {

/* ---- Bounds of the served connections ---------------------------------- */

/* A connection that has brought no complete call and taken no reply for this
 * long is closed: a call-protocol exchange is one call answered at once, and
 * a client gives up on its call after 25 s, so 30 s of silence is a peer that
 * holds the descriptor and its memory for nothing -- or that trickles a
 * record a byte at a time. */
const DWORD DEFAULT_IDLE_MS = 30000;
/* Connections open at once.  Each costs a descriptor and its buffers; when a
 * new one comes beyond this, the one that has been quiet longest is closed
 * to make room, so that a peer holding connections open cannot keep others
 * out. */
const size_t DEFAULT_MAX_CONNECTIONS = 64;
/* The largest call record.  A full invitation of typical members (a few
 * dozen bytes of text each) at the member-list bound fits several times; a
 * longer record closes its connection. */
const size_t MAX_RECORD = 1u << 20;
/* Record bytes held by all connections together: a few peers each sending
 * most of a maximal record cannot make the process hold more. */
const size_t INPUT_BUDGET = 8u << 20;
/* Bytes read from one connection per readiness, and calls served from one
 * connection before the others get their turn. */
const size_t READ_CHUNK = 16384;
const int CALLS_PER_TURN = 8;
/* Connections accepted per readiness of a listening socket. */
const int ACCEPTS_PER_TURN = 16;
/* When the process has no descriptor left for a new connection (and none
 * could be freed), the listening socket is left out of the waits this long:
 * the waiting connection stays in the system's queue, and the thread does
 * not spin on a readiness it cannot take. */
const DWORD ACCEPT_PAUSE_MS = 1000;
/* A call datagram's largest size, as the runtime's own UDP transport. */
const size_t DATAGRAM_SIZE = 8800;

const DWORD idle_ms = DEFAULT_IDLE_MS;
const size_t max_connections = DEFAULT_MAX_CONNECTIONS;

/* ---- The serving thread -------------------------------------------------- */

/* The serving thread's id, 0 when none; read without the lock on every
 * message retrieval. */
std::atomic<DWORD> serving_thread{0};

/* The serving thread's queue, to wake it when the service moves away. */
std::mutex serving_mutex;
std::weak_ptr<Queue> serving_queue;

bool serves_here()
{
    DWORD s = serving_thread.load();
    return s != 0 && s == GetCurrentThreadId();
}

/* ---- Transports of this layer -------------------------------------------- */

enum class Kind { DATAGRAM, STREAM };

/* A transport of this layer: the runtime's transport record first, so that
 * the runtime's handle leads back here. */
struct Transport {
    SVCXPRT xprt;
    SVCXPRT_EXT ext;
    char verifier[MAX_AUTH_BYTES];
    Kind kind = Kind::DATAGRAM;
    /* The runtime's socket this one serves: for a datagram transport the
     * descriptor it duplicates, for a connection its listening socket. */
    int origin_fd = -1;
    ino_t origin_ino = 0;
    struct sockaddr_storage remote;
    struct sockaddr_storage local;
    /* The call being served: its bytes and the stream over them. */
    std::vector<char> call;
    XDR xdrs;
    bool have_call = false;
    u_int32_t xid = 0;
    /* Dispatches of this transport in progress (a dispatch routine may wait
     * for messages and so serve again); it is never freed meanwhile. */
    int busy = 0;
    bool dead = false;
    /* Connections only. */
    std::vector<char> in;    /* bytes read and not yet taken as a call */
    size_t scan_at = 0;      /* where the record in progress has been scanned to */
    size_t complete_end = 0; /* where the first whole record ends, 0: none yet */
    std::vector<char> out;   /* reply bytes the peer has not taken yet */
    size_t out_at = 0;
    bool eof = false; /* the peer has shut its side */
    DWORD last_active = 0;
    int turn = 0; /* calls served in this turn */
};

Transport *of(SVCXPRT *x)
{
    return static_cast<Transport *>(x->xp_p1);
}

/* A listening socket of the runtime, accepted on here. */
struct Listener {
    int fd = -1;
    ino_t ino = 0;
    bool paused = false;
    DWORD paused_at = 0;
};

/* Everything below is touched only by the serving thread.  The tables are
 * never destroyed: a thread that ends late may still give its service up. */
std::map<int, Transport *> &transports = *new std::map<int, Transport *>; /* by own descriptor */
std::map<int, Transport *> &datagram_by_origin = *new std::map<int, Transport *>;
std::map<int, Listener> &listeners = *new std::map<int, Listener>; /* by descriptor */
/* Runtime sockets served the runtime's way. */
std::map<int, ino_t> &foreign = *new std::map<int, ino_t>;
size_t connection_count = 0;
size_t input_held = 0;
/* Wakes a real-time wait when a connection's idle time or a listening
 * socket's pause ends. */
int sweep_timer = -1;

ino_t inode_of(int fd)
{
    struct stat st;
    return fstat(fd, &st) == 0 ? st.st_ino : 0;
}

bool past(DWORD since, DWORD span, DWORD now)
{
    DWORD elapsed = now - since;
    /* A clock set back (virtual time started below the real one) restarts
     * the span rather than ending it. */
    return elapsed < 0x80000000u && elapsed >= span;
}

/* ---- Transport operations ------------------------------------------------- */

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

/* Encodes a reply to the call being served, after `room` bytes left free at
 * the start; false when it cannot be encoded. */
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

/* The transport is taken down by this layer once no dispatch uses it. */
void mark_destroy(SVCXPRT *x)
{
    of(x)->dead = true;
}

bool_t no_control(SVCXPRT *, const u_int, void *)
{
    return FALSE;
}

const struct __rpc_svcxprt::xp_ops datagram_ops = {dg_recv,  dg_stat,  getargs,
                                                   dg_reply, freeargs, mark_destroy};
const struct __rpc_svcxprt::xp_ops2 control_ops = {no_control};

/* Writes what the peer will take now.  A peer that has gone ends the
 * connection; one that takes nothing keeps its reply here. */
void flush(Transport *t)
{
    while (t->out_at < t->out.size()) {
        ssize_t n = send(t->xprt.xp_fd, t->out.data() + t->out_at, t->out.size() - t->out_at,
                         MSG_DONTWAIT | MSG_NOSIGNAL);
        if (n > 0) {
            t->out_at += (size_t)n;
            t->last_active = clock_now();
        } else if (n < 0 && errno == EINTR) {
            continue;
        } else {
            if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK)
                t->dead = true;
            return;
        }
    }
    std::vector<char>().swap(t->out);
    t->out_at = 0;
}

uint32_t be32(const char *p)
{
    const unsigned char *u = reinterpret_cast<const unsigned char *>(p);
    return (uint32_t)u[0] << 24 | (uint32_t)u[1] << 16 | (uint32_t)u[2] << 8 | u[3];
}

/* Scans the record at the start of `in` from where the last scan stopped:
 * 1 complete (its raw length in *end), 0 not yet, -1 longer than allowed. */
int scan_record(Transport *t, size_t *end)
{
    if (t->complete_end) {
        *end = t->complete_end;
        return 1;
    }
    for (;;) {
        if (t->in.size() - t->scan_at < 4)
            return 0;
        uint32_t mark = be32(t->in.data() + t->scan_at);
        size_t n = mark & 0x7FFFFFFFu;
        /* Marks count against the bound too: a record of empty fragments
         * is no cheaper to hold. */
        if (n > MAX_RECORD || t->scan_at + 4 + n > MAX_RECORD + 4)
            return -1;
        if (t->in.size() - t->scan_at - 4 < n)
            return 0;
        t->scan_at += 4 + n;
        if (mark & 0x80000000u) {
            *end = t->complete_end = t->scan_at;
            return 1;
        }
    }
}

/* Moves the first `end` raw bytes of `in` into the call buffer, without
 * their record marks.  A cut record (the peer shut its side inside it)
 * keeps the bytes that came. */
void take_record(Transport *t, size_t end)
{
    t->call.clear();
    size_t at = 0;
    while (at + 4 <= end) {
        size_t n = std::min<size_t>(be32(t->in.data() + at) & 0x7FFFFFFFu, end - at - 4);
        t->call.insert(t->call.end(), t->in.begin() + (long)at + 4,
                       t->in.begin() + (long)(at + 4 + n));
        at += 4 + n;
    }
    size_t taken = std::min(end, t->in.size());
    t->in.erase(t->in.begin(), t->in.begin() + (long)taken);
    input_held -= std::min(input_held, taken);
    t->scan_at = 0;
    t->complete_end = 0;
    if (t->in.capacity() > 4 * READ_CHUNK && t->in.size() < READ_CHUNK)
        std::vector<char>(t->in).swap(t->in);
}

/* Whether a whole record waits, or the peer shut its side inside one. */
bool record_waiting(Transport *t)
{
    size_t end;
    if (scan_record(t, &end) != 0)
        return true;
    return t->eof && t->in.size() >= 4;
}

bool_t vc_recv(SVCXPRT *x, struct rpc_msg *msg)
{
    Transport *t = of(x);
    t->have_call = false;
    if (t->dead || t->out_at < t->out.size())
        return FALSE;
    size_t end;
    int found = scan_record(t, &end);
    if (found < 0) {
        t->dead = true;
        return FALSE;
    }
    if (found == 0) {
        if (!t->eof || t->in.size() < 4)
            return FALSE;
        /* The end of the stream ends the record: its call is decoded from
         * what came, and refused if that is not all of it. */
        end = t->in.size();
    }
    take_record(t, end);
    ++t->turn;
    xdrmem_create(&t->xdrs, t->call.data(), (u_int)t->call.size(), XDR_DECODE);
    if (!xdr_callmsg(&t->xdrs, msg)) {
        /* Not a call: the stream cannot be trusted to be in step. */
        t->dead = true;
        return FALSE;
    }
    t->xid = msg->rm_xid;
    t->have_call = true;
    t->last_active = clock_now();
    return TRUE;
}

enum xprt_stat vc_stat(SVCXPRT *x)
{
    Transport *t = of(x);
    if (t->dead || t->out_at < t->out.size() || t->turn >= CALLS_PER_TURN)
        return XPRT_IDLE;
    size_t end;
    return scan_record(t, &end) == 1 ? XPRT_MOREREQS : XPRT_IDLE;
}

bool_t vc_reply(SVCXPRT *x, struct rpc_msg *msg)
{
    Transport *t = of(x);
    std::vector<char> bytes;
    if (t->dead || !encode_reply(t, msg, 4, &bytes))
        return FALSE;
    uint32_t mark = 0x80000000u | (uint32_t)(bytes.size() - 4);
    for (int i = 0; i < 4; ++i)
        bytes[(size_t)i] = (char)(mark >> (24 - 8 * i));
    /* At most one call's replies wait: no further call is taken from a peer
     * until it has taken them. */
    if (t->out.size() - t->out_at + bytes.size() > MAX_RECORD) {
        t->dead = true;
        return FALSE;
    }
    t->out.insert(t->out.end(), bytes.begin(), bytes.end());
    flush(t);
    return t->dead ? FALSE : TRUE;
}

const struct __rpc_svcxprt::xp_ops stream_ops = {vc_recv,  vc_stat,  getargs,
                                                 vc_reply, freeargs, mark_destroy};

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

/* Closes connections quiet past the bound and ends listening pauses. */
void sweep(DWORD now)
{
    for (auto &[fd, t] : transports)
        if (t->kind == Kind::STREAM && t->busy == 0 && past(t->last_active, idle_ms, now))
            t->dead = true;
    for (auto &[fd, l] : listeners)
        if (l.paused && past(l.paused_at, ACCEPT_PAUSE_MS, now))
            l.paused = false;
    collect();
}

/* Closes the connection quiet longest, to make room; false when every one
 * is in the middle of a call. */
bool evict_one()
{
    Transport *oldest = nullptr;
    DWORD now = clock_now();
    for (auto &[fd, t] : transports)
        if (t->kind == Kind::STREAM && !t->dead && t->busy == 0 &&
            (!oldest || now - t->last_active > now - oldest->last_active))
            oldest = t;
    if (!oldest)
        return false;
    oldest->dead = true;
    collect();
    return true;
}

void end_listener(const Listener &l)
{
    for (auto &[fd, t] : transports)
        if (t->kind == Kind::STREAM && t->origin_fd == l.fd && t->origin_ino == l.ino)
            t->dead = true;
}

/* Brings the layer's records in step with the runtime's descriptors: a new
 * datagram or listening socket is taken over, and what stood in for a
 * socket the runtime no longer has goes. */
void reconcile()
{
    std::vector<int> runtime_fds;
    for (int i = 0; svc_pollfd && i < svc_max_pollfd; ++i) {
        int fd = svc_pollfd[i].fd;
        if (fd >= 0 && transports.find(fd) == transports.end())
            runtime_fds.push_back(fd);
    }
    std::map<int, ino_t> seen;
    for (int fd : runtime_fds)
        seen[fd] = inode_of(fd);

    for (auto it = listeners.begin(); it != listeners.end();) {
        auto s = seen.find(it->first);
        if (s == seen.end() || s->second != it->second.ino) {
            end_listener(it->second);
            it = listeners.erase(it);
        } else {
            ++it;
        }
    }
    for (auto &[origin, t] : datagram_by_origin) {
        auto s = seen.find(origin);
        if (s == seen.end() || s->second != t->origin_ino)
            t->dead = true;
    }
    for (auto it = foreign.begin(); it != foreign.end();) {
        auto s = seen.find(it->first);
        if (s == seen.end() || s->second != it->second)
            it = foreign.erase(it);
        else
            ++it;
    }
    collect();

    for (auto &[fd, ino] : seen) {
        if (listeners.count(fd) || foreign.count(fd))
            continue;
        auto d = datagram_by_origin.find(fd);
        if (d != datagram_by_origin.end() && !d->second->dead)
            continue;
        int type = 0, listening = 0;
        socklen_t length = sizeof type;
        if (getsockopt(fd, SOL_SOCKET, SO_TYPE, &type, &length) != 0) {
            foreign[fd] = ino;
            continue;
        }
        length = sizeof listening;
        if (type == SOCK_STREAM &&
            getsockopt(fd, SOL_SOCKET, SO_ACCEPTCONN, &listening, &length) == 0 && listening) {
            int flags = fcntl(fd, F_GETFL);
            if (flags >= 0 && fcntl(fd, F_SETFL, flags | O_NONBLOCK) == 0) {
                Listener l;
                l.fd = fd;
                l.ino = ino;
                listeners[fd] = l;
                continue;
            }
        } else if (type == SOCK_DGRAM) {
            int copy = fcntl(fd, F_DUPFD_CLOEXEC, 0);
            if (copy >= 0) {
                Transport *t = make_transport(Kind::DATAGRAM, copy, &datagram_ops);
                t->origin_fd = fd;
                t->origin_ino = ino;
                transports[copy] = t;
                datagram_by_origin[fd] = t;
                xprt_register(&t->xprt);
                continue;
            }
        }
        /* Anything else, or a socket that could not be taken over, is left
         * to the runtime. */
        foreign[fd] = ino;
    }
    if (sweep_timer < 0 && !listeners.empty())
        sweep_timer = timerfd_create(CLOCK_MONOTONIC, TFD_NONBLOCK | TFD_CLOEXEC);
}

void accept_on(Listener &l)
{
    for (int i = 0; i < ACCEPTS_PER_TURN; ++i) {
        struct sockaddr_storage peer;
        socklen_t length = sizeof peer;
        int fd = accept4(l.fd, (struct sockaddr *)&peer, &length, SOCK_NONBLOCK | SOCK_CLOEXEC);
        if (fd < 0) {
            if (errno == EINTR)
                continue;
            if (errno == EMFILE || errno == ENFILE || errno == ENOBUFS || errno == ENOMEM) {
                if (evict_one())
                    continue;
                l.paused = true;
                l.paused_at = clock_now();
            }
            return;
        }
        if (connection_count >= max_connections && !evict_one()) {
            close(fd);
            continue;
        }
        Transport *t = make_transport(Kind::STREAM, fd, &stream_ops);
        t->origin_fd = l.fd;
        t->origin_ino = l.ino;
        memcpy(&t->remote, &peer, std::min((size_t)length, sizeof t->remote));
        t->xprt.xp_rtaddr.len = length;
        t->xprt.xp_addrlen = (int)length;
        memcpy(&t->xprt.xp_raddr, &peer, std::min((size_t)length, sizeof t->xprt.xp_raddr));
        transports[fd] = t;
        ++connection_count;
        xprt_register(&t->xprt);
    }
}

/* Hands the calls waiting on transport `t` to the runtime's dispatch. */
void dispatch_calls(Transport *t)
{
    ++t->busy;
    t->turn = 0;
    {
        SigpipeGuard guard;
        svc_getreq_common(t->xprt.xp_fd);
    }
    --t->busy;
}

/* Reads what the peer sent and serves the records that are complete. */
void serve_connection(Transport *t, short revents)
{
    if (revents & POLLOUT)
        flush(t);
    bool writing = t->out_at < t->out.size();
    if (!writing && !t->eof && (revents & (POLLIN | POLLHUP | POLLERR))) {
        size_t limit = MAX_RECORD + 4 + 4;
        size_t room = limit > t->in.size() ? limit - t->in.size() : 0;
        size_t want = std::min(READ_CHUNK, room);
        if (want == 0) {
            t->dead = true;
        } else {
            size_t at = t->in.size();
            t->in.resize(at + want);
            ssize_t n;
            do {
                n = recv(t->xprt.xp_fd, t->in.data() + at, want, MSG_DONTWAIT);
            } while (n < 0 && errno == EINTR);
            t->in.resize(at + (n > 0 ? (size_t)n : 0));
            if (n > 0) {
                input_held += (size_t)n;
                if (input_held > INPUT_BUDGET) {
                    /* The peer holding most gives way. */
                    Transport *largest = t;
                    for (auto &[fd, other] : transports)
                        if (other->kind == Kind::STREAM && other->busy == 0 &&
                            other->in.size() > largest->in.size())
                            largest = other;
                    largest->dead = true;
                }
            } else if (n == 0) {
                t->eof = true;
            } else if (errno != EAGAIN && errno != EWOULDBLOCK) {
                t->dead = true;
            }
        }
    }
    size_t end;
    if (!t->dead && scan_record(t, &end) < 0)
        t->dead = true;
    if (!t->dead && t->out_at >= t->out.size() && record_waiting(t))
        dispatch_calls(t);
    /* A peer that has shut its side is closed once it has its replies. */
    if (!t->dead && t->eof && t->out_at >= t->out.size() && !record_waiting(t))
        t->dead = true;
}

/* Arms the sweep timer for the earliest end of an idle span or a pause;
 * true when it is armed.  Virtual time needs none: advancing the clock
 * wakes every waiting thread. */
bool arm_sweep_timer(DWORD now)
{
    if (sweep_timer < 0 || clock_is_virtual())
        return false;
    DWORD soonest = 0xFFFFFFFFu;
    for (auto &[fd, t] : transports)
        if (t->kind == Kind::STREAM) {
            DWORD elapsed = now - t->last_active;
            soonest = std::min(soonest, elapsed >= idle_ms ? 1 : idle_ms - elapsed);
        }
    for (auto &[fd, l] : listeners)
        if (l.paused) {
            DWORD elapsed = now - l.paused_at;
            soonest = std::min(soonest, elapsed >= ACCEPT_PAUSE_MS ? 1 : ACCEPT_PAUSE_MS - elapsed);
        }
    if (soonest == 0xFFFFFFFFu)
        return false;
    struct itimerspec when;
    memset(&when, 0, sizeof when);
    when.it_value.tv_sec = soonest / 1000;
    when.it_value.tv_nsec = (long)(soonest % 1000) * 1000000L;
    return timerfd_settime(sweep_timer, 0, &when, nullptr) == 0;
}

/* Takes everything down when the service ends: no thread serves the
 * connections any more, and what stands in for the runtime's sockets is
 * made again from them when a thread serves next.  A transport in the middle
 * of a call goes when that call is done. */
void release_transports()
{
    for (auto &[fd, t] : transports)
        t->dead = true;
    listeners.clear();
    foreign.clear();
    collect();
    if (transports.empty() && listeners.empty() && sweep_timer >= 0) {
        close(sweep_timer);
        sweep_timer = -1;
    }
}

/* Gives the service up if this thread still has it. */
void release(DWORD me)
{
    bool released = false;
    {
        std::lock_guard<std::mutex> lock(serving_mutex);
        DWORD expected = me;
        if (serving_thread.compare_exchange_strong(expected, 0)) {
            serving_queue.reset();
            released = true;
        }
    }
    if (released)
        release_transports();
}

/* Clears the name when the named thread ends without giving it up. */
struct ServingMark {
    bool named = false;
    ~ServingMark()
    {
        if (named)
            release(GetCurrentThreadId());
    }
};

thread_local ServingMark serving_mark;

void serve_on_this_thread(bool on)
{
    DWORD me = GetCurrentThreadId();
    if (!on) {
        release(me);
        serving_mark.named = false;
        return;
    }
    QueueRef mine = queue_current();
    QueueRef before;
    {
        std::lock_guard<std::mutex> lock(serving_mutex);
        DWORD previous = serving_thread.exchange(me);
        if (previous != me)
            before = serving_queue.lock();
        serving_queue = mine;
    }
    serving_mark.named = true;
    /* The thread named before may be blocked on the descriptors. */
    if (before && before != mine)
        queue_wake(*before);
}

} // namespace

size_t rpc_add_fds(std::vector<struct pollfd> &fds)
{
    size_t first = fds.size();
    if (!serves_here() || svc_max_pollfd <= 0 || !svc_pollfd)
        return first;
    reconcile();
    DWORD now = clock_now();
    sweep(now);
    for (auto &[fd, t] : transports) {
        if (t->dead || t->busy)
            continue; /* in the middle of a call further up this thread */
        short events = POLLIN;
        if (t->kind == Kind::STREAM) {
            /* Replies the peer has not taken: wait until it takes them.
             * Calls already read and left for the next turn: the socket is
             * writable, so the wait returns at once and serves them. */
            if (t->out_at < t->out.size() || record_waiting(t))
                events = POLLOUT;
            else if (t->eof)
                continue;
        }
        fds.push_back({fd, events, 0});
    }
    for (auto &[fd, l] : listeners)
        if (!l.paused)
            fds.push_back({fd, POLLIN, 0});
    for (auto &[fd, ino] : foreign)
        fds.push_back({fd, POLLIN | POLLPRI | POLLRDNORM | POLLRDBAND, 0});
    if (arm_sweep_timer(now))
        fds.push_back({sweep_timer, POLLIN, 0});
    return first;
}

void rpc_dispatch(std::vector<struct pollfd> &fds, size_t first)
{
    /* The service may have moved on while this thread waited; what is ready
     * stays ready for the thread that serves now. */
    for (size_t i = first; i < fds.size(); ++i) {
        if (!serves_here())
            break;
        int fd = fds[i].fd;
        short revents = fds[i].revents;
        if (fd < 0 || !revents)
            continue;
        if (fd == sweep_timer) {
            uint64_t expirations;
            if (read(sweep_timer, &expirations, sizeof expirations) < 0) {
                /* Already drained; the sweep below runs anyway. */
            }
            continue;
        }
        auto t = transports.find(fd);
        if (t != transports.end()) {
            Transport *x = t->second;
            if (x->dead || x->busy)
                continue;
            if (x->kind == Kind::DATAGRAM)
                dispatch_calls(x);
            else
                serve_connection(x, revents);
            continue;
        }
        auto l = listeners.find(fd);
        if (l != listeners.end()) {
            if (!l->second.paused)
                accept_on(l->second);
            continue;
        }
        if (foreign.count(fd)) {
            SigpipeGuard guard;
            struct pollfd one = fds[i];
            svc_getreq_poll(&one, 1);
        }
    }
    if (serves_here())
        sweep(clock_now());
    else
        collect();
}

void rpc_serve_ready()
{
    if (!serves_here())
        return;
    std::vector<struct pollfd> fds;
    size_t first = rpc_add_fds(fds);
    if (first == fds.size())
        return;
    if (poll(fds.data(), fds.size(), 0) > 0)
        rpc_dispatch(fds, first);
}

} // namespace pal

extern "C" void WINAPI PalRpcServeOnThisThread(BOOL on)
{
    pal::serve_on_this_thread(on != FALSE);
}
