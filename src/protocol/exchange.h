/*
 * One exchange of the call protocol with another machine, driven from the
 * thread's message wait: no thread, no client handle.  The steps are those
 * of an ONC RPC call over TCP -- a port-mapper query (GETPORT, program
 * 100000 version 2, TCP port 111) unless the port is cached, a connection,
 * the call written as one record, the reply read -- each a non-blocking
 * step that waits with PalWaitSocket, so the thread keeps dispatching its
 * messages and the calls reaching its own server (a message may be
 * addressed to this very process).  The whole exchange, port-mapper query
 * and retry included, has one deadline of CLIENT_TIMEOUT seconds of the
 * platform clock: no peer, however slowly it trickles its bytes, holds it
 * longer.
 */
#ifndef CALLMGR_PROTOCOL_EXCHANGE_H
#define CALLMGR_PROTOCOL_EXCHANGE_H

#include "protocol/rpc.h"

#ifdef __cplusplus
extern "C" {
#endif

/* Calls procedure `procedure` of CALLPROG version CALLVERS on the host at
 * `addr` (host byte order) with the already encoded argument, and decodes
 * an INT answer.  TRUE with *answer set when the call succeeded; FALSE on
 * every failure (no program registered, refused, timed out, a denied or
 * undecodable reply), *answer then untouched.  `argument` is borrowed for
 * the call.  Dispatches messages and incoming calls while it waits, so the
 * caller's code may run again inside.  Only on the thread that sends: it
 * updates the port-mapper cache, which is not locked. */
BOOL EXCH_Call(DWORD addr, rpcproc_t procedure, const char *argument, u_int length, INT *answer);

/* The ports that the port mapper at `addr` names for CALLPROG version
 * CALLVERS over TCP and over UDP, 0 for a transport it names none for.
 * FALSE when it cannot be reached or both answers do not come within
 * `timeout` milliseconds of the platform clock; the ports are then
 * untouched.  Allocates nothing.  Waits as EXCH_Call does. */
BOOL EXCH_GetPorts(DWORD addr, DWORD timeout, WORD *tcp, WORD *udp);

/* Whether CALLPROG version CALLVERS answers NULLPROC over TCP at
 * `addr`:`port` within `timeout` milliseconds of the platform clock: FALSE
 * when the connection is refused or closed, another program or version
 * answers, or no answer comes in time.  Allocates nothing.  Waits as
 * EXCH_Call does. */
BOOL EXCH_Ping(DWORD addr, WORD port, DWORD timeout);

/*
 * The port-mapper cache: host address -> the TCP port of CALLPROG there.
 *
 * Asking the port mapper costs a second connection and exchange per
 * message, so its answers are kept.  An entry is only a hint: a peer that
 * restarted registers on another port, and the old one then refuses the
 * connection (or is taken by another program, which refuses the call).  An
 * exchange that meets such a refusal on a cached port drops the entry and
 * asks the port mapper again, once, within its own deadline; every other
 * failure on a cached port drops the entry too, so the next exchange asks
 * afresh.  The table is small and fixed; the least recently used entry
 * makes room.  It is touched only by the thread that sends.
 */
#define PMAP_CACHE_SIZE 16
/* The cached port of `addr` (host order), 0 when the host is unknown; a hit
 * counts as a use. */
WORD PMAP_CacheFind(DWORD addr);
/* Records or replaces the host's port, evicting the least recently used
 * entry when the table is full; a port of 0 drops the entry instead. */
void PMAP_CacheStore(DWORD addr, WORD port);
/* Forgets the host (nothing when unknown); PMAP_CacheClear forgets all. */
void PMAP_CacheDrop(DWORD addr);
void PMAP_CacheClear(void);

#ifdef __cplusplus
}
#endif

#endif
