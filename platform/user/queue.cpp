/*
 * Thread message queues: posting, retrieval, sent messages and the wait.
 *
 * Retrieval order is the Windows one: messages sent from other threads are
 * handled first, then posted messages in arrival order, then WM_QUIT, then
 * due timers.  A thread with nothing to do calls its idle hook (tests) and
 * then blocks on its wake descriptor until a post, a sent message, a change
 * of virtual time, its next real-time timer or a call to the RPC server.
 * Incoming RPC calls are dispatched on the waiting thread, like messages.
 *
 * Retrieval itself makes no system call while messages are waiting: the RPC
 * server's descriptors are looked at in the blocking wait, by a PeekMessageA
 * that finds nothing, and (so that a thread flooded with posts still serves)
 * once every SERVE_EVERY retrievals that did not wait.  On a thread that
 * waits in an event loop of the application's own (palevent.h), a
 * PeekMessageA that finds nothing stands in for the wait: it does all the
 * wait does, without blocking.
 */
#include "user/queue.h"
#include "user/window.h"
#include "kernel/clock.h"
#include "kernel/hooks.h"
#include "display/display.h"
#include "rpc/rpcwait.h"

#include <palrpc.h>

#include <cerrno>
#include <map>
#include <pthread.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

static_assert(PAL_SOCKET_READ == POLLIN && PAL_SOCKET_WRITE == POLLOUT &&
                  PAL_SOCKET_ERROR == POLLERR && PAL_SOCKET_HANGUP == POLLHUP,
              "PalWaitSocket reports poll's own events");

namespace pal {
namespace {

std::mutex registry_mutex;
std::map<DWORD, std::weak_ptr<Queue>> registry;

void wake_all()
{
    std::vector<QueueRef> all;
    {
        std::lock_guard<std::mutex> lock(registry_mutex);
        for (auto &[tid, weak] : registry)
            if (QueueRef q = weak.lock())
                all.push_back(q);
    }
    for (const QueueRef &q : all)
        queue_wake(*q);
}

/* Holds the thread's queue and retires it when the thread ends. */
struct ThreadQueue {
    QueueRef q;
    ~ThreadQueue()
    {
        if (!q)
            return;
        /* The event loop's descriptor goes with the thread, even while
         * windows still hold the queue. */
        loop_fd_close(q->loop);
        {
            std::lock_guard<std::mutex> lock(q->mu);
            q->alive = false;
            q->posted.clear();
        }
        q->sent_done.notify_all();
        std::lock_guard<std::mutex> lock(registry_mutex);
        registry.erase(q->tid);
    }
};

thread_local ThreadQueue this_thread_queue;

/* Retrievals between two looks at the RPC server when none waits. */
const unsigned SERVE_EVERY = 32;
thread_local unsigned retrievals_since_serving = 0;

/* Socket waits this thread has begun; a waiter compares it across a
 * dispatch to learn whether a handler waited in turn. */
thread_local unsigned socket_waits_begun = 0;

/* The thread's id, asked of the system once: it is read on every post and
 * every retrieval of the serving thread.  A child made by fork has one
 * thread, with an id of its own, and asks again. */
thread_local DWORD cached_thread_id = 0;

void forget_thread_id()
{
    cached_thread_id = 0;
}

const int thread_id_fork_hook = pthread_atfork(nullptr, nullptr, forget_thread_id);

bool filter_passes(HWND hwnd, UINT message, HWND filter, UINT first, UINT last)
{
    if (filter == (HWND)-1) {
        if (hwnd)
            return false;
    } else if (filter && hwnd != filter) {
        return false;
    }
    if ((first == 0 && last == 0) || first > last)
        return true;
    return message >= first && message <= last;
}

/* Handles the messages other threads sent to this thread's windows. */
void handle_sent(Queue &q)
{
    for (;;) {
        std::shared_ptr<SentMessage> s;
        {
            std::lock_guard<std::mutex> lock(q.mu);
            if (q.sent.empty())
                return;
            s = q.sent.front();
            q.sent.pop_front();
        }
        LRESULT r = 0;
        if (WindowRef w = window_get(s->hwnd))
            r = window_call(w, s->message, s->wparam, s->lparam);
        {
            std::lock_guard<std::mutex> lock(q.mu);
            s->result = r;
            s->done = true;
        }
        q.sent_done.notify_all();
    }
}

/* Takes the first posted message that passes the filter.  A message for a
 * window that is gone, or one that its preparation drops, is discarded and
 * the search goes on.  With PM_NOREMOVE the message goes back where it was,
 * already prepared. */
bool take_posted(Queue &q, MSG *out, HWND filter, UINT first, UINT last, bool remove)
{
    for (;;) {
        Posted p;
        size_t index = 0;
        {
            std::lock_guard<std::mutex> lock(q.mu);
            auto it = q.posted.begin();
            for (; it != q.posted.end(); ++it, ++index)
                if (filter_passes(it->msg.hwnd, it->msg.message, filter, first, last))
                    break;
            if (it == q.posted.end())
                return false;
            p = std::move(*it);
            q.posted.erase(it);
        }
        if (p.msg.hwnd && !window_get(p.msg.hwnd))
            continue;
        if (p.prepare) {
            bool keep = p.prepare(p.msg);
            p.prepare = nullptr;
            if (!keep)
                continue;
        }
        *out = p.msg;
        if (!remove) {
            std::lock_guard<std::mutex> lock(q.mu);
            q.posted.insert(q.posted.begin() + (long)std::min(index, q.posted.size()),
                            std::move(p));
        }
        return true;
    }
}

bool take_quit(Queue &q, MSG *out, bool remove)
{
    std::lock_guard<std::mutex> lock(q.mu);
    if (!q.quit)
        return false;
    *out = MSG{nullptr, WM_QUIT, (WPARAM)q.quit_code, 0, clock_now(), {0, 0}};
    if (remove)
        q.quit = false;
    return true;
}

bool take_timer(Queue &q, MSG *out, HWND filter, UINT first, UINT last, bool remove)
{
    if (!filter_passes(nullptr, WM_TIMER, (HWND)-1, first, last))
        return false;
    DWORD now = clock_now();
    Timer *t = timer_due(q, filter, now);
    if (!t)
        return false;
    *out = MSG{t->hwnd, WM_TIMER, t->id, (LPARAM)t->proc, now, {0, 0}};
    if (remove)
        t->due = now + t->elapse;
    return true;
}

bool take_any(Queue &q, MSG *out, HWND filter, UINT first, UINT last, bool remove)
{
    if (take_posted(q, out, filter, first, last, remove) || take_quit(q, out, remove) ||
        take_timer(q, out, filter, first, last, remove)) {
        q.last_time = out->time;
        return true;
    }
    return false;
}

bool work_waiting(Queue &q)
{
    std::lock_guard<std::mutex> lock(q.mu);
    return !q.posted.empty() || !q.sent.empty() || q.quit;
}

void drain_wake(Queue &q)
{
    uint64_t v;
    if (read(q.wakefd, &v, sizeof v) < 0) {
        /* Nothing to drain: another wait already took the count. */
    }
}

/* What a message wait polls besides its timers: the wake counter first,
 * then the desktop's descriptors, then (on the serving thread) the RPC
 * server's. */
struct WaitSet {
    std::vector<struct pollfd> fds;
    size_t display_first = 0;
    size_t rpc_first = 0;
};

WaitSet wait_set(Queue &q)
{
    WaitSet w;
    w.fds.reserve(WAIT_FDS_ROOM);
    w.fds.push_back({q.wakefd, POLLIN, 0});
    w.display_first = display_add_fds(w.fds);
    w.rpc_first = rpc_add_fds(w.fds);
    return w;
}

/* Handles what a poll of the set found ready. */
void dispatch_ready(Queue &q, WaitSet &w)
{
    if (w.fds[0].revents)
        drain_wake(q);
    rpc_dispatch(w.fds, w.rpc_first);
    display_dispatch(w.fds, w.display_first);
}

/* True for a look at every message of the thread. */
bool unfiltered(HWND filter, UINT first, UINT last)
{
    return !filter && ((first == 0 && last == 0) || first > last);
}

/* What a PeekMessageA that found nothing does before it gives up: true when
 * that brought a message.  It serves the RPC server's calls.  On a thread
 * whose loop waits on its event-loop descriptor, a look at every message
 * does all the blocking wait does without blocking -- presents the
 * desktop, takes its input, empties the wake counter -- and then brings the
 * descriptor in step.  Elsewhere the desktop is left alone: a helper
 * thread's first look would claim it, and a filtered look inside a
 * window's destruction must not paint. */
bool peek_idle(Queue &q, MSG *out, HWND filter, UINT first, UINT last, bool remove)
{
    retrievals_since_serving = 0;
    const bool loop = q.loop.fd >= 0 && unfiltered(filter, first, last);
    if (loop) {
        display_present_dirty();
        WaitSet w = wait_set(q);
        if (poll(w.fds.data(), w.fds.size(), 0) > 0)
            dispatch_ready(q, w);
    } else {
        rpc_serve_ready();
    }
    handle_sent(q);
    if (take_any(q, out, filter, first, last, remove))
        return true;
    if (loop) {
        /* Dispatching may have opened or closed descriptors. */
        WaitSet now = wait_set(q);
        now.fds.erase(now.fds.begin());
        loop_fd_update(q, now.fds);
    }
    return false;
}

/* `idle_work`: do the wait's work when nothing is found (a PeekMessageA;
 * the blocking waits do it anyway). */
bool peek(Queue &q, MSG *out, HWND filter, UINT first, UINT last, bool remove, bool idle_work)
{
    handle_sent(q);
    if (++retrievals_since_serving >= SERVE_EVERY) {
        retrievals_since_serving = 0;
        rpc_serve_ready();
    }
    if (take_any(q, out, filter, first, last, remove))
        return true;
    return idle_work && peek_idle(q, out, filter, first, last, remove);
}

/* The test layer's idle hook (kernel/hooks.h), when one is installed. */
const TestHooks *idle_hooks()
{
    const TestHooks *h = test_hooks();
    return h && h->idle ? h : nullptr;
}

/* Blocks until something may have arrived. */
void wait(Queue &q)
{
    retrievals_since_serving = 0;
    if (const TestHooks *h = idle_hooks(); h && h->idle())
        return;
    display_present_dirty();
    WaitSet w = wait_set(q);
    /* Last look before sleeping: what this thread posted itself did not
     * wake it. */
    if (work_waiting(q))
        return;
    int timeout = clock_is_virtual() ? -1 : timer_wait_ms(q, clock_now());
    if (poll(w.fds.data(), w.fds.size(), timeout) > 0)
        dispatch_ready(q, w);
}

/* One wait of PalWaitSocket: like wait(), with `fd` in the poll and at most
 * `limit` ms of real time.  Returns the descriptor's ready events, 0 when
 * none.  While work waits the descriptor is only looked at, so a ready
 * exchange is never held up by a busy queue; the idle hook runs only when
 * the descriptor is not ready either. */
short wait_socket(Queue &q, int fd, short events, DWORD limit)
{
    retrievals_since_serving = 0;
    display_present_dirty();
    std::vector<struct pollfd> fds;
    fds.reserve(WAIT_FDS_ROOM);
    fds.push_back({q.wakefd, POLLIN, 0});
    fds.push_back({fd, events, 0});
    size_t display_first = display_add_fds(fds);
    size_t rpc_first = rpc_add_fds(fds);
    auto look = [&](int timeout) {
        int n;
        do {
            n = poll(fds.data(), fds.size(), timeout);
        } while (n < 0 && errno == EINTR);
        return n;
    };
    int n;
    const TestHooks *h = idle_hooks();
    if (work_waiting(q)) {
        n = look(0);
    } else if (h && (n = look(0)) != 0) {
        /* Something is ready: not an idle moment. */
    } else if (h && h->idle()) {
        n = look(0);
    } else if (clock_is_virtual()) {
        /* The limit passes only as the clock is advanced, which wakes us. */
        n = look(-1);
    } else {
        int timers = timer_wait_ms(q, clock_now());
        int timeout = limit > 0x7FFFFFFFu ? 0x7FFFFFFF : (int)limit;
        if (timers >= 0 && timers < timeout)
            timeout = timers;
        n = look(timeout);
    }
    if (n <= 0)
        return 0;
    if (fds[0].revents)
        drain_wake(q);
    rpc_dispatch(fds, rpc_first);
    display_dispatch(fds, display_first);
    return (short)(fds[1].revents & (events | POLLERR | POLLHUP | POLLNVAL));
}

/* A look at the descriptor without waiting: its ready events, 0 when none. */
DWORD socket_ready_now(int fd, short wanted)
{
    struct pollfd now = {fd, wanted, 0};
    if (poll(&now, 1, 0) <= 0)
        return 0;
    return (DWORD)(unsigned short)(now.revents & (wanted | POLLERR | POLLHUP | POLLNVAL));
}

} // namespace

Queue::~Queue()
{
    loop_fd_close(loop);
    if (wakefd >= 0)
        close(wakefd);
}

QueueRef queue_current()
{
    if (!this_thread_queue.q) {
        auto q = std::make_shared<Queue>();
        q->tid = GetCurrentThreadId();
        q->wakefd = eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
        {
            std::lock_guard<std::mutex> lock(registry_mutex);
            registry[q->tid] = q;
        }
        clock_set_listener(wake_all);
        this_thread_queue.q = q;
    }
    return this_thread_queue.q;
}

void queue_wake(Queue &q)
{
    uint64_t one = 1;
    if (write(q.wakefd, &one, sizeof one) < 0) {
        /* The counter is saturated: the thread is awake anyway. */
    }
}

bool queue_post(const QueueRef &q, const MSG &msg, PrepareFn prepare)
{
    {
        std::lock_guard<std::mutex> lock(q->mu);
        if (!q->alive)
            return false;
        q->posted.push_back(Posted{msg, std::move(prepare)});
    }
    /* The owning thread is not asleep while it posts, and looks at its
     * queue before it sleeps in a message wait; only other threads must
     * wake it, unless an event loop of its own waits on its descriptor. */
    if (q->tid != GetCurrentThreadId() || q->loop.fd >= 0)
        queue_wake(*q);
    return true;
}

bool post_to_window(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam, PrepareFn prepare)
{
    WindowRef w = window_get(hwnd);
    if (!w) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return false;
    }
    MSG m{hwnd, message, wparam, lparam, clock_now(), {0, 0}};
    if (!queue_post(w->queue, m, std::move(prepare))) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return false;
    }
    return true;
}

} // namespace pal

using namespace pal;

extern "C" {

DWORD WINAPI GetCurrentThreadId(void)
{
    (void)thread_id_fork_hook;
    if (!cached_thread_id)
        cached_thread_id = (DWORD)gettid();
    return cached_thread_id;
}

BOOL WINAPI PostMessageA(HWND hwnd, UINT msg, WPARAM wparam, LPARAM lparam)
{
    if (!hwnd)
        return PostThreadMessageA(GetCurrentThreadId(), msg, wparam, lparam);
    return post_to_window(hwnd, msg, wparam, lparam, {}) ? TRUE : FALSE;
}

BOOL WINAPI PostThreadMessageA(DWORD thread, UINT msg, WPARAM wparam, LPARAM lparam)
{
    QueueRef q;
    if (thread == GetCurrentThreadId()) {
        q = queue_current();
    } else {
        std::lock_guard<std::mutex> lock(registry_mutex);
        auto it = registry.find(thread);
        if (it != registry.end())
            q = it->second.lock();
    }
    if (!q || !queue_post(q, MSG{nullptr, msg, wparam, lparam, clock_now(), {0, 0}})) {
        SetLastError(ERROR_INVALID_THREAD_ID);
        return FALSE;
    }
    return TRUE;
}

void WINAPI PostQuitMessage(int code)
{
    QueueRef q = queue_current();
    {
        std::lock_guard<std::mutex> lock(q->mu);
        q->quit = true;
        q->quit_code = code;
    }
    queue_wake(*q);
}

BOOL WINAPI PeekMessageA(LPMSG msg, HWND hwnd, UINT first, UINT last, UINT remove)
{
    if (!msg)
        return FALSE;
    return peek(*queue_current(), msg, hwnd, first, last, (remove & PM_REMOVE) != 0, true) ? TRUE
                                                                                           : FALSE;
}

BOOL WINAPI GetMessageA(LPMSG msg, HWND hwnd, UINT first, UINT last)
{
    if (!msg) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return -1;
    }
    if (hwnd && hwnd != (HWND)-1 && !window_get(hwnd)) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return -1;
    }
    Queue &q = *queue_current();
    while (!peek(q, msg, hwnd, first, last, true, false))
        wait(q);
    return msg->message == WM_QUIT ? FALSE : TRUE;
}

BOOL WINAPI WaitMessage(void)
{
    Queue &q = *queue_current();
    MSG m;
    if (!peek(q, &m, nullptr, 0, 0, false, false))
        wait(q);
    return TRUE;
}

DWORD WINAPI PalWaitSocket(int fd, DWORD events, DWORD timeout)
{
    QueueRef keep = queue_current();
    Queue &q = *keep;
    const short wanted = (short)(events & (POLLIN | POLLOUT));
    const DWORD start = clock_now();
    ++socket_waits_begun;
    bool quit = false;
    int quit_code = 0;
    DWORD ready = 0;
    for (;;) {
        MSG m;
        while (!ready && peek(q, &m, nullptr, 0, 0, true, false)) {
            if (m.message == WM_QUIT) {
                /* Kept for the caller's own loop. */
                quit = true;
                quit_code = (int)m.wParam;
                continue;
            }
            unsigned waits = socket_waits_begun;
            TranslateMessage(&m);
            DispatchMessageA(&m);
            /* A handler that waited for a socket of its own (an exchange
             * started by a message) ran while this wait's answer may have
             * come.  Then this wait ends before anything more is
             * dispatched: waits nested in one another end as their answers
             * come, instead of each new message nesting one wait deeper
             * under waits that are already done. */
            if (socket_waits_begun != waits)
                ready = socket_ready_now(fd, wanted);
        }
        if (ready)
            break;
        DWORD elapsed = clock_now() - start;
        if (elapsed >= timeout) {
            /* The handlers just run may have taken the time (a dialog left
             * open inside the wait): an answer that came meanwhile is still
             * an answer, so the descriptor gets one last look. */
            ready = socket_ready_now(fd, wanted);
            break;
        }
        /* A connection to this machine is made at once, and a socket
         * mostly has room to write: what is writable already needs no wait,
         * and the rest of the set is not looked at.  What is to be read
         * comes from a peer that has yet to run, so a look first would
         * mostly find nothing. */
        if (wanted == POLLOUT && (ready = socket_ready_now(fd, wanted)) != 0)
            break;
        ready = (DWORD)(unsigned short)wait_socket(q, fd, wanted, timeout - elapsed);
        if (ready)
            break;
    }
    if (quit)
        PostQuitMessage(quit_code);
    return ready;
}

DWORD WINAPI GetMessageTime(void)
{
    return queue_current()->last_time;
}

BOOL WINAPI TranslateMessage(const MSG *msg)
{
    /* Key strokes carry their characters already; nothing to translate. */
    return msg && msg->message == WM_KEYDOWN ? TRUE : FALSE;
}

LRESULT WINAPI DispatchMessageA(const MSG *msg)
{
    if (!msg)
        return 0;
    if (msg->message == WM_TIMER && msg->lParam) {
        /* Only the procedure of a live timer of this thread is called. */
        Queue &q = *queue_current();
        for (const Timer &t : q.timers)
            if (t.hwnd == msg->hwnd && t.id == msg->wParam && (LPARAM)t.proc == msg->lParam) {
                t.proc(msg->hwnd, WM_TIMER, msg->wParam, clock_now());
                return 0;
            }
        return 0;
    }
    if (!msg->hwnd)
        return 0;
    WindowRef w = window_get(msg->hwnd);
    if (!w) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return 0;
    }
    if (w->queue != queue_current()) {
        SetLastError(ERROR_WINDOW_OF_OTHER_THREAD);
        return 0;
    }
    return window_call(w, msg->message, msg->wParam, msg->lParam);
}

/* A message sent to a window of another thread waits until that thread
 * retrieves messages; the sender does not handle messages meanwhile. */
LRESULT WINAPI SendMessageA(HWND hwnd, UINT msg, WPARAM wparam, LPARAM lparam)
{
    WindowRef w = window_get(hwnd);
    if (!w) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return 0;
    }
    if (w->queue == queue_current())
        return window_call(w, msg, wparam, lparam);
    auto s = std::make_shared<SentMessage>(SentMessage{hwnd, msg, wparam, lparam});
    Queue &q = *w->queue;
    std::unique_lock<std::mutex> lock(q.mu);
    if (!q.alive)
        return 0;
    q.sent.push_back(s);
    queue_wake(q);
    q.sent_done.wait(lock, [&] { return s->done || !q.alive; });
    return s->result;
}

} // extern "C"
