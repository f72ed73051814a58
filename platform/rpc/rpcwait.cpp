/*
 * Which thread serves the RPC server's descriptors, and the serving itself.
 *
 * The serving thread is named explicitly; nothing is taken over by whichever
 * thread happens to wait first.  Naming another thread wakes the one named
 * before, so that it leaves the descriptors out of its next wait.  A named
 * thread that ends without giving the service up clears the name, so that a
 * later thread which the system gives the same id never serves by accident.
 *
 * The transports the serving thread serves are those of rpcxprt.h; what
 * stands in for a socket of the runtime is made, and taken down again, here.
 */
#include "rpc/rpcwait.h"
#include "kernel/clock.h"
#include "rpc/rpcxprt.h"
#include "rpc/sigpipe.h"
#include "user/queue.h"

#include <palrpc.h>
#include <windows.h>
#include <rpc/rpc.h>

#include <fcntl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/timerfd.h>
#include <unistd.h>

#include <atomic>
#include <map>
#include <memory>
#include <mutex>
#include <vector>

namespace pal {
using namespace rpcx;
namespace {

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

ino_t inode_of(int fd)
{
    struct stat st;
    return fstat(fd, &st) == 0 ? st.st_ino : 0;
}

/* The runtime's sockets as the last reconciling found them, each with its
 * inode (a number the system gave again to another socket is another
 * socket).  Kept between waits so that a wait allocates nothing, and, as
 * the other tables, never destroyed. */
struct Seen {
    int fd;
    ino_t ino;
};
std::vector<Seen> &seen = *new std::vector<Seen>;

const Seen *seen_find(int fd)
{
    for (const Seen &s : seen)
        if (s.fd == fd)
            return &s;
    return nullptr;
}

/* Brings the layer's records in step with the runtime's descriptors: a new
 * datagram or listening socket is taken over, and what stood in for a
 * socket the runtime no longer has goes. */
void reconcile()
{
    seen.clear();
    for (int i = 0; svc_pollfd && i < svc_max_pollfd; ++i) {
        int fd = svc_pollfd[i].fd;
        if (fd >= 0 && transports.find(fd) == transports.end() && !seen_find(fd))
            seen.push_back({fd, inode_of(fd)});
    }

    for (auto it = listeners.begin(); it != listeners.end();) {
        const Seen *s = seen_find(it->first);
        if (!s || s->ino != it->second.ino) {
            end_listener(it->second);
            it = listeners.erase(it);
        } else {
            ++it;
        }
    }
    for (auto &[origin, t] : datagram_by_origin) {
        const Seen *s = seen_find(origin);
        if (!s || s->ino != t->origin_ino)
            t->dead = true;
    }
    for (auto it = foreign.begin(); it != foreign.end();) {
        const Seen *s = seen_find(it->first);
        if (!s || s->ino != it->second)
            it = foreign.erase(it);
        else
            ++it;
    }
    collect();

    for (const Seen &s : seen) {
        const int fd = s.fd;
        const ino_t ino = s.ino;
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
    if (sweep_timer.fd < 0 && !listeners.empty()) {
        sweep_timer.fd = timerfd_create(CLOCK_MONOTONIC, TFD_NONBLOCK | TFD_CLOEXEC);
        sweep_timer.armed = false;
    }
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
    if (transports.empty() && listeners.empty() && sweep_timer.fd >= 0) {
        close(sweep_timer.fd);
        sweep_timer.fd = -1;
        sweep_timer.armed = false;
    }
}

/* Gives the service up if this thread still has it.  The tables are taken
 * down before another thread can take the name and start on them. */
void release(DWORD me)
{
    std::lock_guard<std::mutex> lock(serving_mutex);
    DWORD expected = me;
    if (serving_thread.compare_exchange_strong(expected, 0)) {
        serving_queue.reset();
        release_transports();
    }
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
    /* The thread named before may be blocked on the descriptors.  The
     * named one is woken as well: an event loop of its own (palevent.h)
     * may already wait on a set that lacks them. */
    if (before && before != mine)
        queue_wake(*before);
    queue_wake(*mine);
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
        fds.push_back({sweep_timer.fd, POLLIN, 0});
    return first;
}

namespace {

/* Serves a connection or datagram socket of this layer that the wait found
 * ready; false when `fd` is not one. */
bool serve_transport(int fd, short revents)
{
    auto t = transports.find(fd);
    if (t == transports.end())
        return false;
    Transport *x = t->second;
    if (x->dead || x->busy)
        return true;
    if (x->kind == Kind::DATAGRAM)
        dispatch_calls(x);
    else
        serve_connection(x, revents);
    return true;
}

} // namespace

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
        if (fd == sweep_timer.fd) {
            uint64_t expirations;
            if (read(sweep_timer.fd, &expirations, sizeof expirations) < 0) {
                /* Already drained; the sweep below runs anyway. */
            }
            /* Spent: the next wait arms it for the end then soonest. */
            sweep_timer.armed = false;
            continue;
        }
        if (serve_transport(fd, revents))
            continue;
        auto l = listeners.find(fd);
        if (l != listeners.end()) {
            int accepted[ACCEPTS_PER_TURN];
            int count = l->second.paused ? 0 : accept_on(l->second, accepted);
            /* A caller sends its call the moment it is connected, so the
             * call has mostly come by now: it is read at once rather than
             * after another wait.  Serving may wait for messages in turn, so
             * each connection is looked up afresh. */
            for (int a = 0; a < count && serves_here(); ++a)
                serve_transport(accepted[a], POLLIN);
            continue;
        }
        if (foreign.count(fd)) {
            SigpipeGuard guard;
            struct pollfd one = fds[i];
            svc_getreq_poll(&one, 1);
        }
    }
    /* A thread the service has left touches the tables no more: the one
     * that serves now, or the one that gave the service up, takes what is
     * left over. */
    if (serves_here())
        sweep(clock_now());
}

void rpc_serve_ready()
{
    if (!serves_here())
        return;
    std::vector<struct pollfd> fds;
    fds.reserve(WAIT_FDS_ROOM);
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
