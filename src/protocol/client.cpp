/*
 * The call-protocol client: the stubs, and CALL_Send.
 *
 * CALL_Send encodes the record first and sends only those bytes: the
 * exchange (exchange.cpp) waits in the message wait, where the caller's
 * code may run again and change or free the very records it was asked to
 * send.
 */
#include "protocol/rpc.h"
#include "netlib/netlib.h"
#include "protocol/exchange.h"

#include <palrpc.h>
#include <string.h>

namespace {

DWORD client_users = 0;
const struct timeval client_timeout = {CLIENT_TIMEOUT, 0};

INT request_result;
INT reply_result;
CAPINFO capinfo_result;

/* One call on a client; true when it brought a result. */
bool client_call(CLIENT *client, rpcproc_t procedure, xdrproc_t argument_proc, void *argument,
                 xdrproc_t result_proc, void *result)
{
    return clnt_call(client, procedure, argument_proc, (caddr_t)argument, result_proc,
                     (caddr_t)result, client_timeout) == RPC_SUCCESS;
}

/* One message on its way: the host to contact and the encoded argument. */
struct EXCHANGE {
    char host[256];
    rpcproc_t procedure;
    char *bytes; /* the encoded argument */
    u_int length;
};

/* A record is first encoded on the stack, where a call of a few dozen
 * members fits, so that its size need not be counted first (counting runs
 * the whole encoder once more). */
const u_int ENCODE_FIRST_ROOM = 4096;

/* Encodes `record` with `proc` into `bytes`, `room` of them; its length, or
 * 0 when it cannot be encoded there. */
u_int encode_into(xdrproc_t proc, void *record, char *bytes, u_int room)
{
    XDR xdrs;
    xdrmem_create(&xdrs, bytes, room, XDR_ENCODE);
    u_int length = proc(&xdrs, record) ? xdr_getpos(&xdrs) : 0;
    xdr_destroy(&xdrs);
    return length;
}

/* Encodes `record` with `proc` into a local-memory block of its length;
 * false when it cannot be encoded (a text or list beyond the wire bounds)
 * or memory ran out.  A record too long for the stack is counted and
 * encoded into the block directly. */
bool exchange_encode(EXCHANGE *exchange, xdrproc_t proc, void *record)
{
    char first[ENCODE_FIRST_ROOM];
    u_int length = encode_into(proc, record, first, sizeof first);
    u_long size = length ? length : xdr_sizeof(proc, record);
    if (size == 0 || size > 0xFFFFFFFFu)
        return false;
    exchange->bytes = (char *)LocalAlloc(LMEM_FIXED, size);
    if (!exchange->bytes)
        return false;
    exchange->length = (u_int)size;
    if (length) {
        memcpy(exchange->bytes, first, length);
        return true;
    }
    return encode_into(proc, record, exchange->bytes, (u_int)size) == size;
}

/* The host to contact for `target`: its address when it has a usable one,
 * else its host name; false when there is no text. */
bool exchange_host(EXCHANGE *exchange, const CM *target)
{
    const char *host = nullptr;
    if (target && target->ipaddr != 0 && target->ipaddr != 0xFFFFFFFFu) {
        struct in_addr in;
        in.s_addr = (u_long)NET_htonl(target->ipaddr);
        host = NET_inet_ntoa(in);
    } else if (target) {
        host = target->host;
    }
    if (!host || !*host)
        return false;
    return REC_CopyInto(exchange->host, sizeof exchange->host, host) < sizeof exchange->host;
}

} // namespace

extern "C" BOOL CLIENT_Startup(void)
{
    /* The record routines depend on nothing but the runtime, so the first
     * reference has nothing to set up. */
    ++client_users;
    return TRUE;
}

extern "C" void CLIENT_Cleanup(void)
{
    if (client_users != 0)
        --client_users;
}

extern "C" DWORD CLIENT_Users(void)
{
    return client_users;
}

extern "C" INT *callproc_request_1(CALLREQ *argument, CLIENT *client)
{
    memset(&request_result, 0, sizeof request_result);
    return client_call(client, CALLPROC_REQUEST, RPC_XdrProc(xdr_CALLREQ), argument,
                       RPC_XdrProc(xdr_INT), &request_result)
               ? &request_result
               : nullptr;
}

extern "C" INT *callproc_reply_1(CALLRPY *argument, CLIENT *client)
{
    memset(&reply_result, 0, sizeof reply_result);
    return client_call(client, CALLPROC_REPLY, RPC_XdrProc(xdr_CALLRPY), argument,
                       RPC_XdrProc(xdr_INT), &reply_result)
               ? &reply_result
               : nullptr;
}

extern "C" CAPINFO *callproc_capinfo_1(CAPINFOMESSAGE *argument, CLIENT *client)
{
    memset(&capinfo_result, 0, sizeof capinfo_result);
    return client_call(client, CALLPROC_CAPINFO, RPC_XdrProc(xdr_CAPINFOMESSAGE), argument,
                       RPC_XdrProc(xdr_CAPINFO), &capinfo_result)
               ? &capinfo_result
               : nullptr;
}

extern "C" INT CALL_Send(CMAPP *app, CALLCTX *context, INT code, BOOL reply)
{
    if (!context || !context->caller)
        return CMERR_NOCALL;

    /* The records refer to the context's own; they are encoded before the
     * first wait, and only the bytes travel. */
    CALLREQ request = {code, context->to, context->from, context->caller};
    CALLRPY answer = {code, context->from, context->to, context->caller->callid,
                      context->caller->seqno};
    EXCHANGE exchange = {};
    INT result = CALL_UNREACHABLE;
    exchange.procedure = reply ? CALLPROC_REPLY : CALLPROC_REQUEST;
    bool ready = exchange_host(&exchange, reply ? context->from : context->to);

    /* The busy count keeps the application registered while the exchange
     * waits; it is still found again by id rather than trusted. */
    WORD app_id = app ? app->id : 0;
    if (app)
        ++app->busy;
    if (ready)
        ready = reply ? exchange_encode(&exchange, RPC_XdrProc(xdr_CALLRPY), &answer)
                      : exchange_encode(&exchange, RPC_XdrProc(xdr_CALLREQ), &request);
    DWORD addr = 0;
    if (ready)
        ready = PalHostAddress(exchange.host, &addr) != FALSE;
    INT answered = 0;
    if (ready && EXCH_Call(addr, exchange.procedure, exchange.bytes, exchange.length, &answered))
        result = answered;
    if (exchange.bytes)
        LocalFree(exchange.bytes);
    app = app_id ? APP_Find(app_id) : nullptr;
    if (app && app->busy != 0)
        --app->busy;
    return result;
}
