/*
 * The RPC server inside the message wait.  The server's descriptors are
 * waited on together with the thread's queue, and calls that arrive are
 * dispatched on that thread, also inside modal loops, so the server runs
 * without a service loop of its own.  One thread serves them: the first that
 * waits while the server has descriptors, which for the call manager is the
 * thread that runs its applications.
 */
#ifndef PAL_RPC_RPCWAIT_H
#define PAL_RPC_RPCWAIT_H

#include <poll.h>
#include <stddef.h>

#include <vector>

namespace pal {

/* Adds the server's descriptors to `fds` when this thread serves them;
 * returns where they start, or fds.size() when none were added. */
size_t rpc_add_fds(std::vector<struct pollfd> &fds);

/* Dispatches the calls whose descriptors are ready in fds[first..]. */
void rpc_dispatch(std::vector<struct pollfd> &fds, size_t first);

/* Polls the server's descriptors without blocking and dispatches what is
 * ready: the part of message retrieval that handles incoming calls. */
void rpc_serve_ready();

} // namespace pal

#endif
