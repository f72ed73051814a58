/*
 * The port mapper as the runtime uses it: the calls it makes to one (over
 * UDP, with a time limit), and the one it serves itself while no other
 * answers on the machine.
 */
#ifndef PAL_WIN32_RPC_PMAP_H
#define PAL_WIN32_RPC_PMAP_H

#include <rpc/rpc.h>

namespace pal {
namespace pmap {

/* The loopback address, network byte order. */
const u_long LOOPBACK = 0x0100007Fu;

enum class Outcome { DONE, NO_ANSWER };
/* One call to the port mapper at `addr` (network byte order) over UDP, the
 * request sent again while none answers, for at most `timeout_ms`. */
Outcome call(u_long addr, rpcproc_t proc, xdrproc_t args_proc, void *args, xdrproc_t result_proc,
             void *result, DWORD timeout_ms);

/* What svc_register does: maps at the local port mapper that answers, or
 * serves one when none does. */
bool register_mapping(struct pmap *mapping);

/* ---- the built-in port mapper (pmapsvc.cpp) ---- */
bool builtin_active();
/* Serves the port mapper on UDP and TCP port 111; false when the ports
 * cannot be had. */
bool builtin_start();
void builtin_stop();
bool builtin_set(const struct pmap &mapping);
bool builtin_unset(rpcprog_t prog, rpcvers_t vers);
u_short builtin_getport(rpcprog_t prog, rpcvers_t vers, u_int protocol);

} // namespace pmap
} // namespace pal

#endif
