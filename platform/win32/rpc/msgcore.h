/*
 * The call and reply messages, and what a server needs of a call record:
 * its header checked and the place where its arguments begin.
 */
#ifndef PAL_WIN32_RPC_MSGCORE_H
#define PAL_WIN32_RPC_MSGCORE_H

#include <rpc/rpc_msg.h>

#include <vector>

namespace pal {
namespace onc {

bool code_auth(XDR *xdrs, struct opaque_auth *auth);
/* The call header; decoding refuses a message that is not a call. */
bool code_call(XDR *xdrs, struct rpc_msg *msg);
/* The whole reply, results included when accepted with SUCCESS. */
bool code_reply(XDR *xdrs, struct rpc_msg *msg);

/* The call of `xid` to `proc` of `prog` version `vers`, its arguments
 * encoded by `args_proc` (none when null), into `body`, sized to fit; false
 * when they cannot be encoded. */
bool encode_call(uint32_t xid, rpcprog_t prog, rpcvers_t vers, rpcproc_t proc, xdrproc_t args_proc,
                 void *args, std::vector<char> *body);

/* A reply as a client reads it: its verifier and, when accepted with
 * SUCCESS, its results (by `proc` into `results`). */
struct Reply {
    struct rpc_msg msg;
    char verf[MAX_AUTH_BYTES];
};
/* Decodes the reply record of `length` bytes into `reply`; false when it is
 * no reply at all. */
bool decode_reply(const char *record, u_int length, xdrproc_t proc, void *results, Reply *reply);

/* A call record as a server sees it. */
struct Call {
    struct rpc_msg msg;
    char cred[MAX_AUTH_BYTES];
    char verf[MAX_AUTH_BYTES];
    u_int args_at; /* where the arguments begin in the record */
};

enum class CallCheck {
    OK,
    GARBAGE,      /* not a call header at all: dropped without a reply */
    RPC_MISMATCH, /* not RPC version 2: denied with RPC_MISMATCH */
};
CallCheck parse_call(const char *record, u_int length, Call *call);

/* Encodes the reply to call `xid` into `xdrs`: accepted with `status` (the
 * results by `proc` from `results` when SUCCESS, the versions `low` and
 * `high` when PROG_MISMATCH). */
bool encode_accepted(XDR *xdrs, uint32_t xid, enum accept_stat status, xdrproc_t proc,
                     void *results, rpcvers_t low, rpcvers_t high);
/* Encodes the denial of a call that is not RPC version 2. */
bool encode_version_denied(XDR *xdrs, uint32_t xid);

} // namespace onc
} // namespace pal

#endif
