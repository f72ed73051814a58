/*
 * rpc/pmap_prot.h - the port mapper, program 100000 version 2.
 */
#ifndef PAL_RPC_PMAP_PROT_H
#define PAL_RPC_PMAP_PROT_H

#include <rpc/xdr.h>

#ifdef __cplusplus
extern "C" {
#endif

#define PMAPPORT ((u_short)111)
#define PMAPPROG ((rpcprog_t)100000)
#define PMAPVERS ((rpcvers_t)2)
#define PMAPPROC_NULL ((rpcproc_t)0)
#define PMAPPROC_SET ((rpcproc_t)1)
#define PMAPPROC_UNSET ((rpcproc_t)2)
#define PMAPPROC_GETPORT ((rpcproc_t)3)
#define PMAPPROC_DUMP ((rpcproc_t)4)
#define PMAPPROC_CALLIT ((rpcproc_t)5)

/* One mapping; the port in host byte order. */
struct pmap {
    uint32_t pm_prog;
    uint32_t pm_vers;
    uint32_t pm_prot;
    uint32_t pm_port;
};

bool_t xdr_pmap(XDR *xdrs, struct pmap *regs);

#ifdef __cplusplus
}
#endif

#endif
