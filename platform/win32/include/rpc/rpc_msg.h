/*
 * rpc/rpc_msg.h - the call and reply messages of ONC RPC version 2.
 */
#ifndef PAL_RPC_RPC_MSG_H
#define PAL_RPC_RPC_MSG_H

#include <rpc/auth.h>

#ifdef __cplusplus
extern "C" {
#endif

#define RPC_MSG_VERSION ((uint32_t)2)

enum msg_type { CALL = 0, REPLY = 1 };
enum reply_stat { MSG_ACCEPTED = 0, MSG_DENIED = 1 };
enum accept_stat {
    SUCCESS = 0,
    PROG_UNAVAIL = 1,
    PROG_MISMATCH = 2,
    PROC_UNAVAIL = 3,
    GARBAGE_ARGS = 4,
    SYSTEM_ERR = 5
};
enum reject_stat { RPC_MISMATCH = 0, AUTH_ERROR = 1 };

/* On decode, ar_results.proc decodes the results into ar_results.where
 * when the status is SUCCESS; on encode it writes them. */
struct accepted_reply {
    struct opaque_auth ar_verf;
    enum accept_stat ar_stat;
    union {
        struct {
            rpcvers_t low;
            rpcvers_t high;
        } AR_versions;
        struct {
            caddr_t where;
            xdrproc_t proc;
        } AR_results;
    } ru;
};
#define ar_results ru.AR_results
#define ar_vers ru.AR_versions

struct rejected_reply {
    enum reject_stat rj_stat;
    union {
        struct {
            rpcvers_t low;
            rpcvers_t high;
        } RJ_versions;
        enum auth_stat RJ_why;
    } ru;
};
#define rj_vers ru.RJ_versions
#define rj_why ru.RJ_why

struct reply_body {
    enum reply_stat rp_stat;
    union {
        struct accepted_reply RP_ar;
        struct rejected_reply RP_dr;
    } ru;
};
#define rp_acpt ru.RP_ar
#define rp_rjct ru.RP_dr

/* The call's header; the arguments follow it on the wire. */
struct call_body {
    rpcvers_t cb_rpcvers;
    rpcprog_t cb_prog;
    rpcvers_t cb_vers;
    rpcproc_t cb_proc;
    struct opaque_auth cb_cred;
    struct opaque_auth cb_verf;
};

struct rpc_msg {
    uint32_t rm_xid;
    enum msg_type rm_direction;
    union {
        struct call_body RM_cmb;
        struct reply_body RM_rmb;
    } ru;
};
#define rm_call ru.RM_cmb
#define rm_reply ru.RM_rmb
#define acpted_rply ru.RM_rmb.ru.RP_ar
#define rjcted_rply ru.RM_rmb.ru.RP_dr

/* The call header (without arguments), and the whole reply. */
bool_t xdr_callmsg(XDR *xdrs, struct rpc_msg *cmsg);
bool_t xdr_replymsg(XDR *xdrs, struct rpc_msg *rmsg);

#ifdef __cplusplus
}
#endif

#endif
