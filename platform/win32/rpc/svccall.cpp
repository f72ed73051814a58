/*
 * One call on a transport: its header checked, the program found, the
 * dispatch routine run, and the replies it or the runtime sends.
 */
#include "svcxprt.h"

#include "xdrcore.h"

namespace pal {
namespace svc {

namespace {

/* The reply's bytes: `encode` run on a counting stream, then on a buffer
 * of exactly that size. */
template <typename F> bool encode_reply(F encode, std::vector<char> *bytes)
{
    XDR xdrs;
    onc::mem_create(&xdrs, nullptr, 0, XDR_ENCODE);
    if (!encode(&xdrs))
        return false;
    bytes->resize(onc::get_pos(&xdrs));
    onc::mem_create(&xdrs, bytes->data(), (u_int)bytes->size(), XDR_ENCODE);
    return encode(&xdrs);
}

bool reply_accepted(Transport *t, enum accept_stat status, xdrproc_t proc, void *results,
                    rpcvers_t low = 0, rpcvers_t high = 0)
{
    if (!t->record)
        return false;
    uint32_t xid = t->call.msg.rm_xid;
    std::vector<char> bytes;
    return encode_reply(
               [&](XDR *xdrs) {
                   return onc::encode_accepted(xdrs, xid, status, proc, results, low, high);
               },
               &bytes) &&
           send_reply(t, bytes);
}

} // namespace

bool send_reply(Transport *t, const std::vector<char> &bytes)
{
    return t->kind == Kind::DATAGRAM ? datagram_send(t, bytes) : connection_send(t, bytes);
}

void dispatch_record(Transport *t, const char *record, u_int length)
{
    onc::CallCheck check = onc::parse_call(record, length, &t->call);
    if (check == onc::CallCheck::GARBAGE)
        return;
    t->record = record;
    t->record_length = length;
    ++t->busy;
    if (check == onc::CallCheck::RPC_MISMATCH) {
        std::vector<char> bytes;
        uint32_t xid = t->call.msg.rm_xid;
        if (encode_reply([&](XDR *xdrs) { return onc::encode_version_denied(xdrs, xid); }, &bytes))
            send_reply(t, bytes);
    } else {
        const struct call_body &body = t->call.msg.rm_call;
        bool found = false;
        rpcvers_t low = 0, high = 0;
        svc_dispatch_t dispatch = find_dispatch(body.cb_prog, body.cb_vers, &found, &low, &high);
        if (dispatch) {
            struct svc_req request = {};
            request.rq_prog = body.cb_prog;
            request.rq_vers = body.cb_vers;
            request.rq_proc = body.cb_proc;
            request.rq_cred = body.cb_cred;
            request.rq_xprt = &t->xprt;
            dispatch(&request, &t->xprt);
        } else if (found) {
            reply_accepted(t, PROG_MISMATCH, nullptr, nullptr, low, high);
        } else {
            reply_accepted(t, PROG_UNAVAIL, nullptr, nullptr);
        }
    }
    --t->busy;
    t->record = nullptr;
    t->record_length = 0;
}

} // namespace svc
} // namespace pal

using pal::svc::of;

extern "C" {

bool_t svc_getargs(SVCXPRT *xprt, xdrproc_t proc, void *args)
{
    pal::svc::Transport *t = of(xprt);
    if (!t->record)
        return FALSE;
    XDR xdrs;
    pal::onc::mem_create(&xdrs, (char *)t->record + t->call.args_at,
                         t->record_length - t->call.args_at, XDR_DECODE);
    return pal::onc::run_proc(proc, &xdrs, args);
}

bool_t svc_freeargs(SVCXPRT *, xdrproc_t proc, void *args)
{
    pal::onc::free_object(proc, args);
    return TRUE;
}

bool_t svc_sendreply(SVCXPRT *xprt, xdrproc_t proc, void *results)
{
    return pal::svc::reply_accepted(of(xprt), SUCCESS, proc, results);
}

void svcerr_noproc(SVCXPRT *xprt)
{
    pal::svc::reply_accepted(of(xprt), PROC_UNAVAIL, nullptr, nullptr);
}

void svcerr_decode(SVCXPRT *xprt)
{
    pal::svc::reply_accepted(of(xprt), GARBAGE_ARGS, nullptr, nullptr);
}

void svcerr_systemerr(SVCXPRT *xprt)
{
    pal::svc::reply_accepted(of(xprt), SYSTEM_ERR, nullptr, nullptr);
}

void svcerr_noprog(SVCXPRT *xprt)
{
    pal::svc::reply_accepted(of(xprt), PROG_UNAVAIL, nullptr, nullptr);
}

void svcerr_progvers(SVCXPRT *xprt, rpcvers_t low, rpcvers_t high)
{
    pal::svc::reply_accepted(of(xprt), PROG_MISMATCH, nullptr, nullptr, low, high);
}
}
