/*
 * rpc/svc.h - the server side: transports on which calls arrive, the
 * registered dispatch routines, and what a routine does with a call.
 *
 * The transports are served from the message waits of the thread named
 * with PalRpcServeOnThisThread (palrpc.h); dispatch routines run there.
 */
#ifndef PAL_RPC_SVC_H
#define PAL_RPC_SVC_H

#include <rpc/rpc_msg.h>

#ifdef __cplusplus
extern "C" {
#endif

#define RPC_ANYSOCK (-1)

/* A transport.  xp_p1 is the runtime's own. */
typedef struct SVCXPRT {
    SOCKET xp_sock;
    u_short xp_port; /* host byte order */
    void *xp_p1;
} SVCXPRT;

struct svc_req {
    rpcprog_t rq_prog;
    rpcvers_t rq_vers;
    rpcproc_t rq_proc;
    struct opaque_auth rq_cred;
    void *rq_clntcred;
    SVCXPRT *rq_xprt;
};

typedef void (*svc_dispatch_t)(struct svc_req *, SVCXPRT *);

/* A UDP or TCP transport on a new socket bound to an ephemeral port (or on
 * `sock` when it is not RPC_ANYSOCK); null on failure.  The buffer sizes of
 * svctcp_create are accepted and not needed. */
SVCXPRT *svcudp_create(int sock);
SVCXPRT *svctcp_create(int sock, u_int sendsize, u_int recvsize);
void svc_destroy(SVCXPRT *xprt);

/* Routes calls of `prog` version `vers` on `xprt` to `dispatch`; with a
 * protocol (IPPROTO_UDP or IPPROTO_TCP) also maps the program to the
 * transport's port in the port mapper. */
bool_t svc_register(SVCXPRT *xprt, rpcprog_t prog, rpcvers_t vers, svc_dispatch_t dispatch,
                    int protocol);
/* Removes one registration of `prog` version `vers` and its port-mapper
 * entries. */
void svc_unregister(rpcprog_t prog, rpcvers_t vers);

/* Within a dispatch routine: decode the arguments, free them, reply. */
bool_t svc_getargs(SVCXPRT *xprt, xdrproc_t proc, void *args);
bool_t svc_freeargs(SVCXPRT *xprt, xdrproc_t proc, void *args);
bool_t svc_sendreply(SVCXPRT *xprt, xdrproc_t proc, void *results);
void svcerr_noproc(SVCXPRT *xprt);
void svcerr_decode(SVCXPRT *xprt);
void svcerr_systemerr(SVCXPRT *xprt);
void svcerr_noprog(SVCXPRT *xprt);
void svcerr_progvers(SVCXPRT *xprt, rpcvers_t low, rpcvers_t high);

#ifdef __cplusplus
}
#endif

#endif
