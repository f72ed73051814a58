/*
 * The connection transports: listening sockets accepted on, records gathered
 * without waiting up to MAX_RECORD, replies written as the peer takes them,
 * quiet connections closed, their number capped, and accepting paused while
 * the process has no descriptor to spare.
 */
#include "rpc/rpcxprt.h"
#include "kernel/clock.h"

#include <errno.h>
#include <poll.h>
#include <string.h>
#include <sys/timerfd.h>
#include <unistd.h>

#include <algorithm>

namespace pal {
namespace rpcx {
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
/* Record bytes held by all connections together: a few peers each sending
 * most of a maximal record cannot make the process hold more. */
const size_t INPUT_BUDGET = 8u << 20;
/* Bytes read from one connection per readiness, and calls served from one
 * connection before the others get their turn. */
const size_t READ_CHUNK = 16384;
const int CALLS_PER_TURN = 8;
/* What a readiness brings is read here and only that much is kept: growing
 * a connection's buffer by a whole chunk first would clear 16 KB for the
 * few hundred bytes a call brings.  Its bytes are taken before anything
 * else runs, so one buffer serves every connection. */
char chunk[READ_CHUNK];
/* When the process has no descriptor left for a new connection (and none
 * could be freed), the listening socket is left out of the waits this long:
 * the waiting connection stays in the system's queue, and the thread does
 * not spin on a readiness it cannot take. */
const DWORD ACCEPT_PAUSE_MS = 1000;

const DWORD idle_ms = DEFAULT_IDLE_MS;
const size_t max_connections = DEFAULT_MAX_CONNECTIONS;

bool past(DWORD since, DWORD span, DWORD now)
{
    DWORD elapsed = now - since;
    /* A clock set back (virtual time started below the real one) restarts
     * the span rather than ending it. */
    return elapsed < 0x80000000u && elapsed >= span;
}

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

} // namespace

/* Whether a whole record waits, or the peer shut its side inside one. */
bool record_waiting(Transport *t)
{
    size_t end;
    if (scan_record(t, &end) != 0)
        return true;
    return t->eof && t->in.size() >= 4;
}

namespace {

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

} // namespace

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

namespace {

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

} // namespace

void end_listener(const Listener &l)
{
    for (auto &[fd, t] : transports)
        if (t->kind == Kind::STREAM && t->origin_fd == l.fd && t->origin_ino == l.ino)
            t->dead = true;
}

int accept_on(Listener &l, int (&accepted)[ACCEPTS_PER_TURN])
{
    int count = 0;
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
            return count;
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
        accepted[count++] = fd;
    }
    return count;
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
            ssize_t n;
            do {
                n = recv(t->xprt.xp_fd, chunk, want, MSG_DONTWAIT);
            } while (n < 0 && errno == EINTR);
            if (n > 0) {
                t->in.insert(t->in.end(), chunk, chunk + n);
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
    if (sweep_timer.fd < 0 || clock_is_virtual())
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
    DWORD due = now + soonest;
    if (sweep_timer.armed && (int32_t)(sweep_timer.due - due) <= 0)
        return true;
    struct itimerspec when;
    memset(&when, 0, sizeof when);
    when.it_value.tv_sec = soonest / 1000;
    when.it_value.tv_nsec = (long)(soonest % 1000) * 1000000L;
    sweep_timer.armed = timerfd_settime(sweep_timer.fd, 0, &when, nullptr) == 0;
    sweep_timer.due = due;
    return sweep_timer.armed;
}

} // namespace rpcx
} // namespace pal
