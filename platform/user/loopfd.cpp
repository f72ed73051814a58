/*
 * The message descriptor of palevent.h: what an event loop of the
 * application's own waits on in place of the message wait.
 *
 * It is an epoll set that holds the wake counter (posts, sent messages,
 * changes of virtual time), a timer descriptor for the next real-time timer
 * and a second epoll set with the descriptors the message wait would poll
 * besides (the desktop's, and the RPC server's on the serving thread).
 * Those come and go with connections and windows, and are brought in step
 * each time PeekMessageA finds the queue empty, the moment before the
 * application's loop sleeps.  The wake counter is emptied at that moment too,
 * before the queue is looked at a last time, so a post that comes later
 * leaves it readable.
 */
#include "user/queue.h"
#include "kernel/clock.h"

#include <palevent.h>

#include <sys/epoll.h>
#include <sys/stat.h>
#include <sys/timerfd.h>
#include <unistd.h>

static_assert(POLLIN == EPOLLIN && POLLOUT == EPOLLOUT && POLLPRI == EPOLLPRI &&
                  POLLRDNORM == EPOLLRDNORM && POLLRDBAND == EPOLLRDBAND,
              "poll's interest is epoll's");

namespace pal {
namespace {

bool watch(int set, int fd, uint32_t events)
{
    struct epoll_event ev {};
    ev.events = events;
    ev.data.fd = fd;
    return epoll_ctl(set, EPOLL_CTL_ADD, fd, &ev) == 0;
}

/* Makes the second set anew from `want`.  A descriptor epoll refuses (a
 * regular file, always ready) is left out.  When no set can be made the
 * old one stays, and the next update tries again. */
void rebuild_inner(LoopFd &l, const std::vector<WatchedFd> &want)
{
    int fresh = epoll_create1(EPOLL_CLOEXEC);
    if (fresh < 0)
        return;
    for (const WatchedFd &w : want)
        watch(fresh, w.fd, (uint32_t)(unsigned short)w.events);
    if (!watch(l.fd, fresh, EPOLLIN)) {
        close(fresh);
        return;
    }
    if (l.inner >= 0) {
        epoll_ctl(l.fd, EPOLL_CTL_DEL, l.inner, nullptr);
        close(l.inner);
    }
    l.inner = fresh;
    l.watched = want;
}

/* Arms the timer descriptor `ms` milliseconds ahead; at once for 0, never
 * for -1.  Arming also clears an expiry already counted. */
void arm(int timerfd, int ms)
{
    struct itimerspec due {};
    if (ms == 0)
        due.it_value.tv_nsec = 1;
    else if (ms > 0) {
        due.it_value.tv_sec = ms / 1000;
        due.it_value.tv_nsec = (long)(ms % 1000) * 1000000L;
    }
    timerfd_settime(timerfd, 0, &due, nullptr);
}

} // namespace

int loop_fd_open(Queue &q)
{
    LoopFd &l = q.loop;
    if (l.fd >= 0)
        return l.fd;
    l.fd = epoll_create1(EPOLL_CLOEXEC);
    l.timerfd = timerfd_create(CLOCK_MONOTONIC, TFD_NONBLOCK | TFD_CLOEXEC);
    if (l.fd < 0 || l.timerfd < 0 || !watch(l.fd, q.wakefd, EPOLLIN) ||
        !watch(l.fd, l.timerfd, EPOLLIN)) {
        loop_fd_close(l);
        return -1;
    }
    /* Readable from the start: the loop's first pass empties the queue
     * and so fills the sets. */
    queue_wake(q);
    return l.fd;
}

void loop_fd_update(Queue &q, const std::vector<struct pollfd> &fds)
{
    LoopFd &l = q.loop;
    std::vector<WatchedFd> want;
    want.reserve(fds.size());
    for (const struct pollfd &p : fds) {
        struct stat st;
        if (fstat(p.fd, &st) == 0)
            want.push_back(WatchedFd{p.fd, p.events, st.st_dev, st.st_ino});
    }
    if (l.inner < 0 || want != l.watched)
        rebuild_inner(l, want);
    /* Virtual time moves only when a test advances it, which wakes every
     * queue; only a timer due now needs the timer descriptor then. */
    int ms = timer_wait_ms(q, clock_now());
    if (clock_is_virtual() && ms > 0)
        ms = -1;
    arm(l.timerfd, ms);
}

void loop_fd_close(LoopFd &l)
{
    for (int fd : {l.inner, l.timerfd, l.fd})
        if (fd >= 0)
            close(fd);
    l = LoopFd();
}

} // namespace pal

using namespace pal;

extern "C" {

int WINAPI PalGetMessageFd(void)
{
    return loop_fd_open(*queue_current());
}

DWORD WINAPI PalGetMessageTimeout(void)
{
    int ms = timer_wait_ms(*queue_current(), clock_now());
    return ms < 0 ? INFINITE : (DWORD)ms;
}

} // extern "C"
