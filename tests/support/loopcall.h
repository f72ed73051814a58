/* One ONC RPC call to a test server on this host that registered with no
 * port mapper: procedure 1 of `prog` version 1, an int argument and an int
 * answer. */
#ifndef CALLMGR_TESTS_LOOPCALL_H
#define CALLMGR_TESTS_LOOPCALL_H

#include <rpc/rpc.h>

/* Sends `arg` over TCP or UDP to 127.0.0.1:`port`; the answer, or -1 when
 * no client could be made (a failed call leaves -1 too). */
int loopback_call(rpcprog_t prog, unsigned short port, bool tcp, int arg);

#endif
