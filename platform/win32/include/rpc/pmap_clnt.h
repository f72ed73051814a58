/*
 * rpc/pmap_clnt.h - asking a port mapper: the local one (127.0.0.1) to map
 * and unmap, any host's to find a port.
 */
#ifndef PAL_RPC_PMAP_CLNT_H
#define PAL_RPC_PMAP_CLNT_H

#include <rpc/pmap_prot.h>

#ifdef __cplusplus
extern "C" {
#endif

bool_t pmap_set(rpcprog_t prog, rpcvers_t vers, int protocol, u_short port);
bool_t pmap_unset(rpcprog_t prog, rpcvers_t vers);
/* The port (host byte order) of `prog` version `vers` over `protocol` at
 * the host of `address`, whose port is ignored; 0 when it has none or its
 * port mapper does not answer. */
u_short pmap_getport(struct sockaddr_in *address, rpcprog_t prog, rpcvers_t vers, u_int protocol);

#ifdef __cplusplus
}
#endif

#endif
