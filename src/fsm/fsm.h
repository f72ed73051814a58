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

/* One host-name lookup whose answer is still to be handled (local memory,
 * wiped before release). */
typedef struct CMLOOKUP {
    struct CMLOOKUP *next;
    /* Nonzero, and no other listed lookup's. */
    DWORD id;
    HWND window;
    UINT message;
    /* The socket library's task while a name is looked up, else null (the
     * answer is on its way to the requester). */
    HANDLE task;
    /* Aligned for the host entry that the socket library lays out in it. */
    alignas(8) char hostentry[LOOKUP_HOSTENTRY];
} CMLOOKUP;

/* The application's state-machine window, owned by `owner`, with the socket
 * library bound and the local-host service taken; null when any of it
 * failed (then nothing is held).  The window's class must be registered
 * (LibMain).  Destroying the window (itself or with its owner) releases
 * exactly what it took, and frees the received calls still queued for it. */
HWND CMFSM_Create(HINSTANCE instance, HWND owner);
/* Ends the state-machine window `hwnd` of an application that is gone: at
 * once, or, while its procedure runs (a handler waits further up the
 * stack), as soon as the outermost call of the procedure returns.  Nothing
 * when `hwnd` is no longer a state-machine window. */
void CMFSM_End(HWND hwnd);
/* Starts a lookup of `host`: message (wParam the id, lParam the address in
 * host order) or message + 1 (lParam the error) arrives later at window.
 * Returns the lookup id, never 0; 0 when no lookup could be started (then
 * nothing will arrive).  The id is no other lookup's until the requester
 * has handled the answer and said so with LOOKUP_Answered (or the window
 * has gone).  A dotted address (and a text that names no host) is answered
 * by a message posted before this returns; a name goes to the socket
 * library, whose answer comes to `window` as FSM_HOSTLOOKUP, so for a name
 * `window` must be a state-machine window.  Needs the lookup service
 * (LOCALHOST_Setup); `host` is copied. */
DWORD LOOKUP_Start(HWND window, UINT message, const char *host);
/* The answer carrying `id` has been handled: the id may be handed out
 * again.  Nothing for an id whose answer is still to come, or unknown. */
void LOOKUP_Answered(WPARAM id);
/* Starts the lookup of a member still resolving; its id goes into the
 * member's `ipaddr`.  A lookup that cannot start is answered as failed
 * through the window (FSM_RESOLVEFAILED), so the member is reported without
 * an address instead of holding its call back for good. */
void LOOKUP_Member(HWND window, CM *member);
/* Posts a notification (wParam: `code` in the high byte, the session id's
 * low byte in the low byte); TRUE when posted, FALSE when it could not be
 * (null app, no window, no message number, the window is gone, or the post
 * failed).  A `lparam` that is a block stays the caller's: see
 * CM_NotifyBlock. */
BOOL CM_Notify(CMAPP *app, WORD session, BYTE code, LPARAM lparam);
/* Posts a notification that hands `block` to the application, which frees
 * it; when it cannot be posted the block is freed here and FALSE returned.
 * Either way the caller no longer owns the block. */
BOOL CM_NotifyBlock(CMAPP *app, WORD session, BYTE code, HGLOBAL block);
/* CM_NotifyBlock of CMN_CALLSTARTED for the new call of `session` (not
 * null), whose block carries the call's datagram sockets: when it cannot be
 * posted they are closed and forgotten (CALLINFO_CloseSockets), since the
 * application never learns of them. */
BOOL CM_NotifyCallStarted(CMAPP *app, CMSESSION *session, HGLOBAL block);

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
/* Closes the datagram sockets that a build kept in `session` and sets them
 * to -1, for a call whose block never reached the application. */
void CALLINFO_CloseSockets(CMSESSION *session);
/* The same for a received call (its `to` is this host): while the local
 * address is still unknown, the block shows the address the inviter used. */
int CALLINFO_BuildReceived(CMAPP *app, CMSESSION *session, CALLCTX *call, HGLOBAL *block,
                           BOOL sockets);
/* Notifies CMN_ADDRESS with a CMMEMBERINFO block (handed to the application)
 * for `member` (borrowed), whose lookup gave `address` (host order).
 * Nothing when the block cannot be had. */
void MEMBERINFO_Post(CMAPP *app, const CM *member, WORD session, DWORD address);
/* A lookup result for the members of the application whose state-machine
 * window is `window`: the member waiting for lookup `id` gets its address
 * (or CMS_NOADDRESS, with CMN_NOADDRESS), and every session of that
 * application whose call waits for no member is told to proceed (FSM_PROCEED
 * posted).  `value` is the address (host order) or, when `failed`, the
 * error.  A result nobody waits for changes nothing.  Either way `id` is
 * handled (LOOKUP_Answered). */
void FSM_Resolved(HWND window, WPARAM id, LPARAM value, BOOL failed);

/* The invitation pass of a session (FSM_PROCEED; `session` its handle).  A
 * pass that is already running over the session's call is only asked to go
 * round once more.  Each invitation is an exchange that dispatches messages,
 * so this is re-entered from within; it holds the call meanwhile, and once
 * done completes the application's deferred clean-up if one is waiting (the
 * application may be gone on return). */
void FSM_Proceed(WPARAM session);
/* A received invitation or update (FSM_INVITED, FSM_UPDATED; `app` the
 * application's id).  Both take `call` over in every case: an accepted
 * invitation gives it to the new session, anything else frees it.  An
 * invitation runs the Invite - RSVP dialog and sends the answer, both of
 * which dispatch messages; the application hears CMN_CALLSTARTED (with a
 * block it owns) or CMN_INVITEREFUSED.  An update of a known call notifies
 * CMN_CALLUPDATED with a block the application owns. */
void FSM_Invited(HWND window, WPARAM app, CALLCTX *call);
void FSM_Updated(HWND window, WPARAM app, CALLCTX *call);
/* CALL_Send on behalf of application `app` (found by id: it may be gone, or
 * go during the exchange), completing the application's deferred clean-up
 * when the exchange was its last.  The records must be looked up again by
 * id afterwards; `call` must stay alive throughout (hold it, CALL_Hold, when
 * it belongs to a session that may go).  Returns what CALL_Send returned. */
INT FSM_Send(WORD app, CALLCTX *call, INT code, BOOL reply);
/* Holds a received invitation or update (FSM_INVITED, FSM_UPDATED for
 * `window`, wParam the application's id) while an exchange of that
 * application waits on this thread, or earlier work of it is held: TRUE
 * when it is held (and posted again, in arrival order, once no exchange
 * waits on the thread), FALSE when nothing conflicts or there is no room,
 * and the caller does the work now, inside whatever wait dispatched it.  A
 * held call that cannot be posted again is freed. */
BOOL FSM_Hold(HWND window, UINT msg, WPARAM wparam, LPARAM lparam);
/* Frees the calls held for `window` and forgets its work (the window is
 * going). */
void FSM_DropHeld(HWND window);
/* Stops the application's ring and completes its deferred clean-up, unless
 * an exchange still runs: the result of APP_CompleteCleanup.  The
 * application's window ends with it (CMFSM_End). */
int FSM_CompleteCleanup(CMAPP *app);

/* The outgoing ring: the calling sound now and every RING_INTERVAL ms until
 * RING_Stop (only while ringing is set and a calling sound named).  One
 * thread timer per application, started once however often RING_Start is
 * called; RING_Stop kills it and silences whatever sound plays.  `app` must
 * not be null. */
#define RING_INTERVAL 4000
#define RING_SOUNDFLAGS (SND_ASYNC | SND_NODEFAULT | SND_NOSTOP)
void RING_Start(CMAPP *app);
void RING_Stop(CMAPP *app);

/* The local host as the lookup service learned it.  The names are static
 * buffers of the module (never null; empty before the first state-machine
 * window), rewritten only when the service is set up afresh: copy them to
 * keep them. */
DWORD FSM_LocalAddress(void); /* host order; all bits set while unknown */
const char *FSM_FullHostName(void);
const char *FSM_ShortHostName(void); /* the full name up to its first "." */

/* The lookup service's own state, for the window procedure.
 * LOCALHOST_Setup takes one reference on the service; the first reads the
 * host name and starts the lookup of its address (FSM_LOCALADDR or
 * FSM_LOCALADDRFAILED at `window`).  TRUE when the reference was taken;
 * FALSE, taking nothing, when the name could not be read or its lookup not
 * started.  Needs the socket library loaded.
 * LOCALHOST_Release drops the reference of `window`, which is going, and
 * forgets the lookups answered to it; the last one forgets every lookup
 * (their answers then find nothing).  The names and address stay.
 * LOOKUP_Complete turns the socket library's answer (FSM_HOSTLOOKUP: wParam
 * the task, lParam the reply) into the requester's message; an unknown task
 * is ignored.
 * LOCALHOST_SetAddress: host order, all bits set for unknown. */
BOOL LOCALHOST_Setup(HWND window);
void LOCALHOST_Release(HWND window);
void LOOKUP_Complete(WPARAM task, LPARAM reply);
void LOCALHOST_SetAddress(DWORD address);

#ifdef __cplusplus
}
#endif

#endif
