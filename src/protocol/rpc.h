/*
 * The call protocol's server and client: starting and stopping the server
 * with the first and last application, the dispatch of incoming calls to the
 * server procedures, one client stub per procedure, and CALL_Send, the one
 * way the state machine delivers a request or a reply to a member.
 *
 * Incoming calls are dispatched on the thread that runs the state-machine
 * windows: the platform's message wait serves the server's descriptors.
 */
#ifndef CALLMGR_PROTOCOL_RPC_H
#define CALLMGR_PROTOCOL_RPC_H

#include "registry/registry.h"

#include <cmwire.h>

#ifdef __cplusplus
extern "C" {
#endif

/* Seconds a client call waits for its answer; also the bound of a whole
 * CALL_Send exchange. */
#define CLIENT_TIMEOUT 25

/* Milliseconds that a server registered for the program on this machine is
 * given to answer NULLPROC before its registration counts as left behind
 * by a process that ended without unregistering.  A live server answers
 * from its thread's message wait -- inside modal loops and its own
 * exchanges too -- within a millisecond over loopback; a second leaves a
 * loaded machine's scheduler ample room, yet an application whose start
 * meets a stopped or hung server waits only a moment.  A server that stays
 * silent that long could not take a call in time either. */
#define SERVER_PROBE_TIMEOUT 1000

/* One reference on the server; the first makes the UDP and TCP transports
 * and registers the program with the port mapper, after replacing a
 * registration whose server no longer answers (SERVER_PROBE_TIMEOUT).
 * False when any step failed, when another server of the program answers,
 * when a stale registration cannot be removed (it is another user's), or
 * when re-entered from the first reference's wait; the count is then
 * unchanged.  The first reference dispatches messages while it waits. */
BOOL SERVER_Startup(void);
/* Releases one reference; the last one unregisters and destroys both
 * transports. */
void SERVER_Cleanup(void);
/* The server's start count. */
DWORD SERVER_Users(void);

/* The client's reference count.  CLIENT_Startup takes one and always
 * succeeds (TRUE): the record routines need nothing set up.  CLIENT_Cleanup
 * releases one; nothing when none is held. */
BOOL CLIENT_Startup(void);
void CLIENT_Cleanup(void);
DWORD CLIENT_Users(void);

/* Client stubs: one call on an existing client (the caller's; `argument`
 * borrowed), blocking for up to CLIENT_TIMEOUT seconds.  The result lives in
 * the stub's static holder until the stub's next call (nothing to free);
 * null when the call failed.  The library itself sends through CALL_Send. */
INT *callproc_request_1(CALLREQ *argument, CLIENT *client);
INT *callproc_reply_1(CALLRPY *argument, CLIENT *client);
CAPINFO *callproc_capinfo_1(CAPINFOMESSAGE *argument, CLIENT *client);

/* Sends a request (reply false: CALLREQ to the context's `to`) or a reply
 * (CALLRPY to its `from`) with message code `code`, in one exchange over a
 * new TCP connection (exchange.h): at most CLIENT_TIMEOUT seconds, the
 * port-mapper query included.  Returns the remote procedure's answer,
 * CALL_UNREACHABLE when none came, or CMERR_NOCALL when the context has no
 * CALLER.  The calling thread keeps dispatching its messages and incoming
 * calls meanwhile, so the caller's code may run again inside; `app->busy`
 * counts the exchange (a null `app` counts nothing). */
INT CALL_Send(CMAPP *app, CALLCTX *context, INT code, BOOL reply);

/* Server procedures, called by the dispatcher on the thread that serves the
 * program.  The argument is the dispatcher's decoded record, freed when the
 * procedure returns: whatever is kept is copied.  Each answer lives in its
 * procedure's static holder until the procedure's next call; null sends no
 * reply.  A request answers CALL_DELIVERED (posted to an application's
 * state-machine window, or a code it ignores; a post that fails drops the
 * copy and still answers so) or CALL_NOTHANDLED (no application takes it,
 * or it could not be copied); a reply always answers CALL_DELIVERED, a stale
 * one being dropped; capinfo answers nothing. */
INT *callproc_request_1_svc(CALLREQ *request);
INT *callproc_reply_1_svc(CALLRPY *reply);
CAPINFO *callproc_capinfo_1_svc(CAPINFOMESSAGE *message);

#ifdef __cplusplus
}

/* An XDR routine of a typed record as the runtime's generic routine type. */
template <typename T> inline xdrproc_t RPC_XdrProc(bool_t (*proc)(XDR *, T *))
{
    return reinterpret_cast<xdrproc_t>(reinterpret_cast<void (*)(void)>(proc));
}
/* The runtime's own routine of nothing, declared without parameters. */
inline xdrproc_t RPC_XdrProc(bool_t (*proc)())
{
    return reinterpret_cast<xdrproc_t>(reinterpret_cast<void (*)(void)>(proc));
}
#endif

#endif
