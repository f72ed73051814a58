/*
 * rpc/clnt.h - the client side: a connection to one program version on one
 * host, over TCP, and the call made on it.
 */
#ifndef PAL_RPC_CLNT_H
#define PAL_RPC_CLNT_H

#include <rpc/rpc_msg.h>

#ifdef __cplusplus
extern "C" {
#endif

enum clnt_stat {
    RPC_SUCCESS = 0,
    RPC_CANTENCODEARGS = 1,
    RPC_CANTDECODERES = 2,
    RPC_CANTSEND = 3,
    RPC_CANTRECV = 4,
    RPC_TIMEDOUT = 5,
    RPC_VERSMISMATCH = 6,
    RPC_AUTHERROR = 7,
    RPC_PROGUNAVAIL = 8,
    RPC_PROGVERSMISMATCH = 9,
    RPC_PROCUNAVAIL = 10,
    RPC_CANTDECODEARGS = 11,
    RPC_SYSTEMERROR = 12,
    RPC_UNKNOWNHOST = 13,
    RPC_PMAPFAILURE = 14,
    RPC_PROGNOTREGISTERED = 15,
    RPC_FAILED = 16,
    RPC_UNKNOWNPROTO = 17
};

/* Private to the runtime. */
typedef struct CLIENT CLIENT;

/* A client of `prog` version `vers` at `host` (a name or dotted quad), its
 * port asked of the host's port mapper; only "tcp" is offered.  Null on
 * failure. */
CLIENT *clnt_create(const char *host, rpcprog_t prog, rpcvers_t vers, const char *proto);
/* One call: the arguments encoded by `xargs`, the results decoded by
 * `xres` into `res`.  The whole exchange takes at most `timeout`; the call
 * blocks the calling thread meanwhile. */
enum clnt_stat clnt_call(CLIENT *clnt, rpcproc_t proc, xdrproc_t xargs, void *args, xdrproc_t xres,
                         void *res, struct timeval timeout);
/* Releases what a decode of the results allocated. */
bool_t clnt_freeres(CLIENT *clnt, xdrproc_t xres, void *res);
void clnt_destroy(CLIENT *clnt);

#ifdef __cplusplus
}
#endif

#endif
