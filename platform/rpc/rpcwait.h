/*
 * The RPC server inside the message wait.  The server's descriptors are
 * waited on together with the thread's queue, and calls that arrive are
 * dispatched on that thread, also inside modal loops, so the server runs
 * without a service loop of its own.
 *
 * Exactly one thread serves them: the one named with PalRpcServeOnThisThread
 * (for the call manager, the thread that runs its state-machine windows).
 * Every other thread's message wait leaves the descriptors alone, so a
 * helper thread that looks at its own queue never runs a server procedure.
 */
#ifndef PAL_RPC_RPCWAIT_H
#define PAL_RPC_RPCWAIT_H

#include <poll.h>
#include <stddef.h>

#include <vector>

namespace pal {

/* The descriptors a wait usually holds, the server's among them: a wait's
 * list is given room for this many at once, so that adding the server's
 * does not grow it in steps, an allocation each. */
const size_t WAIT_FDS_ROOM = 16;

/* Adds the server's descriptors to `fds` when this thread serves them;
 * returns where they start, or fds.size() when none were added. */
size_t rpc_add_fds(std::vector<struct pollfd> &fds);

/* Dispatches the calls whose descriptors are ready in fds[first..], if this
 * thread still serves. */
void rpc_dispatch(std::vector<struct pollfd> &fds, size_t first);

/* Polls the server's descriptors without blocking and dispatches what is
 * ready: the part of message retrieval that handles incoming calls. */
void rpc_serve_ready();

} // namespace pal

#endif
