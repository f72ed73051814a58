/*
 * The state-machine window: one hidden window per application through which
 * every call event passes, the host-name lookup service, the knowledge of the
 * local host, and notifications to the application.
 */
#ifndef CALLMGR_FSM_H
#define CALLMGR_FSM_H

#include "registry/registry.h"

#include <mmsystem.h>

#ifdef __cplusplus
extern "C" {
#endif

/* Messages of the state-machine window. */
#define FSM_RESOLVE 0x480
#define FSM_RESOLVED 0x481
#define FSM_RESOLVEFAILED 0x482
#define FSM_INVITED 0x483
#define FSM_UPDATED 0x485
#define FSM_PROCEED 0x486
#define FSM_HOSTLOOKUP 0x600
#define FSM_LOCALADDR 0x601
#define FSM_LOCALADDRFAILED 0x602

/* Size of the host entry buffer of a pending lookup. */
#define LOOKUP_HOSTENTRY 1028

/* One pending host-name lookup (local memory, wiped before release). */
typedef struct CMLOOKUP {
    struct CMLOOKUP *next;
    DWORD id;
    HWND window;
    UINT message;
    /* Aligned for the host entry that the socket library lays out in it. */
    alignas(8) char hostentry[LOOKUP_HOSTENTRY];
} CMLOOKUP;

/* The application's state-machine window, owned by `owner`, with the socket
 * library bound and the local-host service taken; null when any of it
 * failed (then nothing is held). */
HWND CMFSM_Create(HINSTANCE instance, HWND owner);
/* Starts a lookup of `host`: message (wParam the id, lParam the address in
 * host order) or message + 1 (lParam the error) arrives later at window.
 * Returns the lookup id, never 0; 0 when no lookup could be started (then
 * nothing will arrive). */
DWORD LOOKUP_Start(HWND window, UINT message, const char *host);
/* A fresh lookup id from the same counter, for a lookup that could not
 * start and is answered by the caller itself. */
DWORD LOOKUP_NewId(void);
/* Posts a notification; false when it could not be posted (no window, no
 * message number, or the window is gone). */
BOOL CM_Notify(CMAPP *app, WORD session, BYTE code, LPARAM lparam);
/* Posts a notification that hands `block` to the application; when it
 * cannot be posted the block is freed here.  False then. */
BOOL CM_NotifyBlock(CMAPP *app, WORD session, BYTE code, HGLOBAL block);

/* Call information blocks (CMCALLINFO).  A block is refused beyond this many
 * member nodes, as the wire refuses longer lists. */
#define CALLINFO_MAXMEMBERS WIRE_MAXMEMBERS
/* Builds the block of `call` into *block (movable global memory the caller
 * posts or frees) and starts a lookup for every member still resolving.
 * With `sockets`, opens the call's two datagram sockets first (a socket
 * that cannot be opened shows as -1) and, when `session` is given, keeps
 * their handles in it.  Returns 0 or CMERR_BADAPP, CMERR_NOCALL,
 * CMERR_INVALID, CMERR_NOMEMBERS, CMERR_BLOCKALLOC; on failure nothing was
 * opened or started and *block is untouched. */
int CALLINFO_Build(CMAPP *app, CMSESSION *session, CALLCTX *call, HGLOBAL *block, BOOL sockets);
/* The same for a received call (its `to` is this host): while the local
 * address is still unknown, the block shows the address the inviter used. */
int CALLINFO_BuildReceived(CMAPP *app, CMSESSION *session, CALLCTX *call, HGLOBAL *block,
                           BOOL sockets);
/* Notifies CMN_ADDRESS with a CMMEMBERINFO block for `member`, whose lookup
 * gave `address` (host order).  Nothing when the block cannot be had. */
void MEMBERINFO_Post(CMAPP *app, const CM *member, WORD session, DWORD address);
/* A lookup result for the members of the application whose state-machine
 * window is `window`: the member waiting for lookup `id` gets its address
 * (or CMS_NOADDRESS), and every session of that application whose call
 * waits for no member is told to proceed. */
void FSM_Resolved(HWND window, WPARAM id, LPARAM value, BOOL failed);

/* The invitation pass of a session (FSM_PROCEED).  A pass that is already
 * running over the session's call is only asked to go round once more. */
void FSM_Proceed(WPARAM session);
/* A received invitation or update; both own `call` and release it. */
void FSM_Invited(HWND window, WPARAM app, CALLCTX *call);
void FSM_Updated(HWND window, WPARAM app, CALLCTX *call);
/* CALL_Send on behalf of application `app` (found by id: it may be gone, or
 * go during the exchange), completing the application's deferred clean-up
 * when the exchange was its last.  The records must be looked up again by
 * id afterwards. */
INT FSM_Send(WORD app, CALLCTX *call, INT code, BOOL reply);
/* Stops the application's ring and completes its deferred clean-up, unless
 * an exchange still runs: the result of APP_CompleteCleanup. */
int FSM_CompleteCleanup(CMAPP *app);

/* The outgoing ring: the calling sound now and every RING_INTERVAL ms until
 * RING_Stop. */
#define RING_INTERVAL 4000
#define RING_SOUNDFLAGS (SND_ASYNC | SND_NODEFAULT | SND_NOSTOP)
void RING_Start(CMAPP *app);
void RING_Stop(CMAPP *app);

/* The local host as the lookup service learned it. */
DWORD FSM_LocalAddress(void); /* host order; all bits set while unknown */
const char *FSM_FullHostName(void);
const char *FSM_ShortHostName(void);

/* The lookup service's own state, for the window procedure. */
BOOL LOCALHOST_Setup(HWND window);
void LOCALHOST_Release(void);
void LOOKUP_Complete(WPARAM task, LPARAM reply);
void LOCALHOST_SetAddress(DWORD address);

#ifdef __cplusplus
}
#endif

#endif
