/*
 * The call and reply messages of ONC RPC version 2.  Every enumerated field
 * is checked on decoding: a value outside its set fails the message rather
 * than entering the runtime's switches.
 */
#include "msgcore.h"

#include "xdrcore.h"

#include <string.h>

namespace pal {
namespace onc {

namespace {

/* An enumerated field whose valid values are 0 .. `last`. */
template <typename E> bool code_choice(XDR *xdrs, E *value, uint32_t last)
{
    uint32_t bits = xdrs->x_op == XDR_ENCODE ? (uint32_t)*value : 0;
    if (!code_u32(xdrs, &bits) || bits > last)
        return false;
    *value = (E)bits;
    return true;
}

bool code_versions(XDR *xdrs, rpcvers_t *low, rpcvers_t *high)
{
    return code_u32(xdrs, low) && code_u32(xdrs, high);
}

bool code_accepted(XDR *xdrs, struct accepted_reply *reply)
{
    if (!code_auth(xdrs, &reply->ar_verf) || !code_choice(xdrs, &reply->ar_stat, SYSTEM_ERR))
        return false;
    switch (reply->ar_stat) {
    case SUCCESS:
        if (!reply->ar_results.proc)
            return true;
        return run_proc(reply->ar_results.proc, xdrs, reply->ar_results.where);
    case PROG_MISMATCH:
        return code_versions(xdrs, &reply->ar_vers.low, &reply->ar_vers.high);
    default:
        return true;
    }
}

bool code_rejected(XDR *xdrs, struct rejected_reply *reply)
{
    if (!code_choice(xdrs, &reply->rj_stat, AUTH_ERROR))
        return false;
    if (reply->rj_stat == RPC_MISMATCH)
        return code_versions(xdrs, &reply->rj_vers.low, &reply->rj_vers.high);
    return code_choice(xdrs, &reply->rj_why, AUTH_FAILED);
}

} // namespace

bool code_auth(XDR *xdrs, struct opaque_auth *auth)
{
    return code_i32(xdrs, &auth->oa_flavor) &&
           code_bytes(xdrs, &auth->oa_base, &auth->oa_length, MAX_AUTH_BYTES);
}

bool code_call(XDR *xdrs, struct rpc_msg *msg)
{
    struct call_body *body = &msg->rm_call;
    return code_u32(xdrs, &msg->rm_xid) && code_choice(xdrs, &msg->rm_direction, REPLY) &&
           msg->rm_direction == CALL && code_u32(xdrs, &body->cb_rpcvers) &&
           code_u32(xdrs, &body->cb_prog) && code_u32(xdrs, &body->cb_vers) &&
           code_u32(xdrs, &body->cb_proc) && code_auth(xdrs, &body->cb_cred) &&
           code_auth(xdrs, &body->cb_verf);
}

bool code_reply(XDR *xdrs, struct rpc_msg *msg)
{
    struct reply_body *body = &msg->rm_reply;
    if (!code_u32(xdrs, &msg->rm_xid) || !code_choice(xdrs, &msg->rm_direction, REPLY) ||
        msg->rm_direction != REPLY || !code_choice(xdrs, &body->rp_stat, MSG_DENIED))
        return false;
    return body->rp_stat == MSG_ACCEPTED ? code_accepted(xdrs, &body->rp_acpt)
                                         : code_rejected(xdrs, &body->rp_rjct);
}

bool decode_reply(const char *record, u_int length, xdrproc_t proc, void *results, Reply *reply)
{
    memset(&reply->msg, 0, sizeof reply->msg);
    reply->msg.acpted_rply.ar_verf.oa_base = reply->verf;
    reply->msg.acpted_rply.ar_results.where = (caddr_t)results;
    reply->msg.acpted_rply.ar_results.proc = proc;
    XDR xdrs;
    mem_create(&xdrs, (char *)record, length, XDR_DECODE);
    return code_reply(&xdrs, &reply->msg);
}

CallCheck parse_call(const char *record, u_int length, Call *call)
{
    memset(&call->msg, 0, sizeof call->msg);
    call->msg.rm_call.cb_cred.oa_base = call->cred;
    call->msg.rm_call.cb_verf.oa_base = call->verf;
    XDR xdrs;
    mem_create(&xdrs, (char *)record, length, XDR_DECODE);
    struct rpc_msg *msg = &call->msg;
    struct call_body *body = &msg->rm_call;
    if (!code_u32(&xdrs, &msg->rm_xid) || !code_choice(&xdrs, &msg->rm_direction, REPLY) ||
        msg->rm_direction != CALL || !code_u32(&xdrs, &body->cb_rpcvers))
        return CallCheck::GARBAGE;
    if (body->cb_rpcvers != RPC_MSG_VERSION)
        return CallCheck::RPC_MISMATCH;
    if (!code_u32(&xdrs, &body->cb_prog) || !code_u32(&xdrs, &body->cb_vers) ||
        !code_u32(&xdrs, &body->cb_proc) || !code_auth(&xdrs, &body->cb_cred) ||
        !code_auth(&xdrs, &body->cb_verf))
        return CallCheck::GARBAGE;
    call->args_at = get_pos(&xdrs);
    return CallCheck::OK;
}

bool encode_accepted(XDR *xdrs, uint32_t xid, enum accept_stat status, xdrproc_t proc,
                     void *results, rpcvers_t low, rpcvers_t high)
{
    struct rpc_msg msg;
    memset(&msg, 0, sizeof msg);
    msg.rm_xid = xid;
    msg.rm_direction = REPLY;
    msg.rm_reply.rp_stat = MSG_ACCEPTED;
    msg.acpted_rply.ar_verf.oa_flavor = AUTH_NONE;
    msg.acpted_rply.ar_stat = status;
    if (status == SUCCESS) {
        msg.acpted_rply.ar_results.proc = proc;
        msg.acpted_rply.ar_results.where = (caddr_t)results;
    } else if (status == PROG_MISMATCH) {
        msg.acpted_rply.ar_vers.low = low;
        msg.acpted_rply.ar_vers.high = high;
    }
    return code_reply(xdrs, &msg);
}

bool encode_call(uint32_t xid, rpcprog_t prog, rpcvers_t vers, rpcproc_t proc, xdrproc_t args_proc,
                 void *args, std::vector<char> *body)
{
    struct rpc_msg msg;
    memset(&msg, 0, sizeof msg);
    msg.rm_xid = xid;
    msg.rm_direction = CALL;
    msg.rm_call.cb_rpcvers = RPC_MSG_VERSION;
    msg.rm_call.cb_prog = prog;
    msg.rm_call.cb_vers = vers;
    msg.rm_call.cb_proc = proc;
    /* Counted first, then written into a body of that size. */
    body->clear();
    for (int pass = 0; pass < 2; ++pass) {
        XDR xdrs;
        mem_create(&xdrs, pass ? body->data() : nullptr, (u_int)body->size(), XDR_ENCODE);
        if (!code_call(&xdrs, &msg) || (args_proc && !run_proc(args_proc, &xdrs, args)))
            return false;
        body->resize(get_pos(&xdrs));
    }
    return true;
}

bool encode_version_denied(XDR *xdrs, uint32_t xid)
{
    struct rpc_msg msg;
    memset(&msg, 0, sizeof msg);
    msg.rm_xid = xid;
    msg.rm_direction = REPLY;
    msg.rm_reply.rp_stat = MSG_DENIED;
    msg.rjcted_rply.rj_stat = RPC_MISMATCH;
    msg.rjcted_rply.rj_vers.low = RPC_MSG_VERSION;
    msg.rjcted_rply.rj_vers.high = RPC_MSG_VERSION;
    return code_reply(xdrs, &msg);
}

} // namespace onc
} // namespace pal
