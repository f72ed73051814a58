/*
 * Message queues: one per thread, made on the thread's first use of the
 * window manager.  Posted messages wait in arrival order; timers are kept
 * with the queue of the thread that set them and produce WM_TIMER when they
 * are due and nothing posted is waiting, as on Windows.
 */
#ifndef PAL_USER_QUEUE_H
#define PAL_USER_QUEUE_H

#include <windows.h>
#include <paltest.h>

#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

#include <poll.h>
#include <sys/types.h>

namespace pal {

/* Runs on the receiving thread when a posted message is retrieved, before
 * the caller sees it; false drops the message.  Lets a helper thread hand
 * results over without touching the receiver's data itself. */
using PrepareFn = std::function<bool(MSG &)>;

struct Posted {
    MSG msg;
    PrepareFn prepare;
};

struct SentMessage {
    HWND hwnd;
    UINT message;
    WPARAM wparam;
    LPARAM lparam;
    LRESULT result = 0;
    bool done = false;
};

struct Timer {
    HWND hwnd;
    UINT_PTR id;
    UINT elapse;
    TIMERPROC proc;
    DWORD due;
};

/* A descriptor the thread's event-loop descriptor watches, as it was when
 * added: a descriptor number that now names another file is a new one. */
struct WatchedFd {
    int fd;
    short events;
    dev_t dev;
    ino_t ino;
    bool operator==(const WatchedFd &) const = default;
};

/* The descriptor handed to an event loop of the application's own
 * (palevent.h): an epoll set holding the wake counter, a timer descriptor
 * armed for the next timer, and a second epoll set with the desktop's and
 * the RPC server's descriptors.  That second set is made anew whenever
 * they change: an entry for a descriptor closed under it could neither be
 * removed nor keep reporting the right file. */
struct LoopFd {
    int fd = -1;
    int timerfd = -1;
    int inner = -1;
    std::vector<WatchedFd> watched;
};

struct Queue {
    DWORD tid = 0;
    int wakefd = -1;

    std::mutex mu; /* guards the fields up to `alive` */
    std::condition_variable sent_done;
    std::deque<Posted> posted;
    std::deque<std::shared_ptr<SentMessage>> sent;
    bool quit = false;
    int quit_code = 0;
    bool alive = true;

    /* Touched only by the owning thread. */
    std::vector<Timer> timers;
    DWORD last_time = 0;
    LoopFd loop;

    ~Queue();
};

using QueueRef = std::shared_ptr<Queue>;

/* The calling thread's queue, made on first use. */
QueueRef queue_current();

/* Puts a message into a queue and wakes its thread; false when the thread
 * is gone. */
bool queue_post(const QueueRef &q, const MSG &msg, PrepareFn prepare = {});

/* Posts to a window's queue; false when the window does not exist. */
bool post_to_window(HWND hwnd, UINT msg, WPARAM wparam, LPARAM lparam, PrepareFn prepare);

void queue_wake(Queue &q);

/* Drops the timers of a window that is being destroyed. */
void timers_remove_window(HWND hwnd);

/* The next due timer of the queue that passes the filter, or null. */
Timer *timer_due(Queue &q, HWND filter, DWORD now);

/* Milliseconds until the queue's next timer is due; -1 when none. */
int timer_wait_ms(Queue &q, DWORD now);

/* The event-loop descriptor (user/loopfd.cpp): made on first use, brought
 * in step with what the thread waits on besides its wake counter (`fds`)
 * and with its timers, and closed with the queue. */
int loop_fd_open(Queue &q);
void loop_fd_update(Queue &q, const std::vector<struct pollfd> &fds);
void loop_fd_close(LoopFd &l);

} // namespace pal

#endif
