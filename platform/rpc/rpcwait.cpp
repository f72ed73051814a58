#include "rpc/rpcwait.h"

#include <windows.h>
#include <rpc/rpc.h>

#include <atomic>

namespace pal {
namespace {

std::atomic<DWORD> serving_thread{0};

bool serves_here()
{
    if (svc_max_pollfd <= 0 || !svc_pollfd)
        return false;
    DWORD me = GetCurrentThreadId();
    DWORD expected = 0;
    return serving_thread.compare_exchange_strong(expected, me) || expected == me;
}

} // namespace

size_t rpc_add_fds(std::vector<struct pollfd> &fds)
{
    size_t first = fds.size();
    if (!serves_here())
        return first;
    bool any = false;
    for (int i = 0; i < svc_max_pollfd; ++i) {
        fds.push_back(svc_pollfd[i]);
        fds.back().revents = 0;
        any = any || svc_pollfd[i].fd >= 0;
    }
    if (!any) {
        /* The server is gone: another thread may serve the next one. */
        fds.resize(first);
        serving_thread.store(0);
    }
    return first;
}

void rpc_dispatch(std::vector<struct pollfd> &fds, size_t first)
{
    int ready = 0;
    for (size_t i = first; i < fds.size(); ++i)
        if (fds[i].fd >= 0 && fds[i].revents)
            ++ready;
    if (ready > 0)
        svc_getreq_poll(fds.data() + first, ready);
}

void rpc_serve_ready()
{
    std::vector<struct pollfd> fds;
    size_t first = rpc_add_fds(fds);
    if (first == fds.size())
        return;
    if (poll(fds.data(), fds.size(), 0) > 0)
        rpc_dispatch(fds, first);
}

} // namespace pal
