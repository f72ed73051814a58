/*
 * Which thread serves the RPC server's descriptors, and the serving itself.
 *
 * The serving thread is named explicitly; nothing is taken over by whichever
 * thread happens to wait first.  Naming another thread wakes the one named
 * before, so that it leaves the descriptors out of its next wait.  A named
 * thread that ends without giving the service up clears the name, so that a
 * later thread which the system gives the same id never serves by accident.
 */
#include "rpc/rpcwait.h"
#include "rpc/sigpipe.h"
#include "user/queue.h"

#include <palrpc.h>
#include <windows.h>
#include <rpc/rpc.h>

#include <atomic>
#include <memory>
#include <mutex>

namespace pal {
namespace {

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

/* Gives the service up if this thread still has it. */
void release(DWORD me)
{
    std::lock_guard<std::mutex> lock(serving_mutex);
    DWORD expected = me;
    if (serving_thread.compare_exchange_strong(expected, 0))
        serving_queue.reset();
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
    for (int i = 0; i < svc_max_pollfd; ++i) {
        fds.push_back(svc_pollfd[i]);
        fds.back().revents = 0;
    }
    return first;
}

void rpc_dispatch(std::vector<struct pollfd> &fds, size_t first)
{
    /* The service may have moved on while this thread waited; what is ready
     * stays ready for the thread that serves now. */
    if (first >= fds.size() || !serves_here())
        return;
    int ready = 0;
    for (size_t i = first; i < fds.size(); ++i)
        if (fds[i].fd >= 0 && fds[i].revents)
            ++ready;
    if (ready > 0) {
        SigpipeGuard guard;
        svc_getreq_poll(fds.data() + first, ready);
    }
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

extern "C" void WINAPI PalRpcServeOnThisThread(BOOL on) { pal::serve_on_this_thread(on != FALSE); }
