/*
 * The call-protocol server: its two transports, their registration with the
 * port mapper, and the dispatch of incoming calls to the server procedures.
 */
#include "protocol/rpc.h"
#include "protocol/exchange.h"

#include <palrpc.h>
#include <string.h>

namespace {

const DWORD LOOPBACK = 0x7F000001u;

DWORD server_users = 0;
SVCXPRT *udp_transport = nullptr;
SVCXPRT *tcp_transport = nullptr;
/* The first reference is looking at the registration and may be waiting. */
bool server_claiming = false;

/* One procedure of the program: how its argument is decoded, how its result
 * is encoded, and the procedure itself. */
struct PROCEDURE {
    xdrproc_t argument;
    xdrproc_t result;
    void *(*run)(void *argument);
};

const PROCEDURE procedures[] = {
    {},
    {RPC_XdrProc(xdr_CALLREQ), RPC_XdrProc(xdr_INT),
     [](void *a) -> void * { return callproc_request_1_svc((CALLREQ *)a); }},
    {RPC_XdrProc(xdr_CALLRPY), RPC_XdrProc(xdr_INT),
     [](void *a) -> void * { return callproc_reply_1_svc((CALLRPY *)a); }},
    {RPC_XdrProc(xdr_CAPINFOMESSAGE), RPC_XdrProc(xdr_CAPINFO),
     [](void *a) -> void * { return callproc_capinfo_1_svc((CAPINFOMESSAGE *)a); }},
};

/*
 * Makes room for this process's registration.  The port mapper keeps a
 * registration until someone removes it, so a process that ended without
 * unregistering (killed, crashed) would refuse every later server on this
 * machine.  A registration whose TCP port does not answer NULLPROC within
 * SERVER_PROBE_TIMEOUT -- refused, silent, or another program there -- is
 * such a leftover and is removed for both transports.  Servers of the
 * program register TCP together with UDP and call over TCP alone, so a UDP
 * registration without a TCP one is a leftover too.  A port mapper that
 * does not answer is left to the registration to judge.  False when a live
 * server holds the program, or when the leftover cannot be removed: the
 * port mapper lets only its owner or root remove a registration.
 */
bool server_claim(void)
{
    WORD tcp = 0, udp = 0;
    if (!EXCH_GetPorts(LOOPBACK, SERVER_PROBE_TIMEOUT, &tcp, &udp) || (tcp == 0 && udp == 0))
        return true;
    if (tcp != 0 && EXCH_Ping(LOOPBACK, tcp, SERVER_PROBE_TIMEOUT))
        return false;
    return pmap_unset(CALLPROG, CALLVERS) != FALSE;
}

} // namespace

extern "C" void palprog_1(struct svc_req *request, SVCXPRT *transport)
{
    rpcproc_t number = request->rq_proc;
    if (number == NULLPROC) {
        svc_sendreply(transport, RPC_XdrProc(xdr_void), nullptr);
        return;
    }
    if (number >= sizeof procedures / sizeof procedures[0]) {
        svcerr_noproc(transport);
        return;
    }
    const PROCEDURE &p = procedures[number];

    /* Zeros, so that decoding allocates every reference and text afresh. */
    union {
        CALLREQ request;
        CALLRPY reply;
        CAPINFOMESSAGE capinfo;
    } argument;
    memset(&argument, 0, sizeof argument);
    if (!svc_getargs(transport, p.argument, (caddr_t)&argument)) {
        svcerr_decode(transport);
        /* A record cut short keeps what was decoded before the cut. */
        svc_freeargs(transport, p.argument, (caddr_t)&argument);
        return;
    }
    void *result = p.run(&argument);
    if (result && !svc_sendreply(transport, p.result, (caddr_t)result))
        svcerr_systemerr(transport);
    svc_freeargs(transport, p.argument, (caddr_t)&argument);
}

extern "C" BOOL SERVER_Startup(void)
{
    if (server_users != 0) {
        ++server_users;
        return TRUE;
    }
    /* Only the first reference probes, before it registers: no TCP
     * registration of this process exists then (the last release removed
     * it; a failed start never made one), so the probe never reaches our
     * own server.  It waits in the message wait, where a handler may start
     * again; two claims at once would remove each other's registration, so
     * the inner one fails. */
    if (server_claiming)
        return FALSE;
    server_claiming = true;
    bool room = server_claim();
    server_claiming = false;
    if (!room)
        return FALSE;
    /* Transports made before a failing step are left to the runtime; the
     * next start makes new ones. */
    udp_transport = svcudp_create(RPC_ANYSOCK);
    if (!udp_transport || !svc_register(udp_transport, CALLPROG, CALLVERS, palprog_1, IPPROTO_UDP))
        return FALSE;
    tcp_transport = svctcp_create(RPC_ANYSOCK, 0, 0);
    if (!tcp_transport || !svc_register(tcp_transport, CALLPROG, CALLVERS, palprog_1, IPPROTO_TCP))
        return FALSE;
    server_users = 1;
    /* Calls are served where the state-machine windows run: here. */
    PalRpcServeOnThisThread(TRUE);
    return TRUE;
}

extern "C" void SERVER_Cleanup(void)
{
    if (server_users == 0)
        return;
    if (--server_users != 0)
        return;
    /* Each unregistration removes one transport's entry. */
    svc_unregister(CALLPROG, CALLVERS);
    svc_destroy(udp_transport);
    udp_transport = nullptr;
    svc_unregister(CALLPROG, CALLVERS);
    svc_destroy(tcp_transport);
    tcp_transport = nullptr;
    PalRpcServeOnThisThread(FALSE);
}

extern "C" DWORD SERVER_Users(void)
{
    return server_users;
}
