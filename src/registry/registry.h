/*
 * The registry of applications and sessions, and the typed record
 * allocator that every record of the library comes from.
 *
 * A record block is a tag word, a total-size word, the body the caller sees
 * and a zero trailer word.  Blocks are zero-filled when made and wiped before
 * they are released.
 *
 * Nothing here is locked: the registry and every record in it are used only
 * on the thread that runs the state-machine windows.  A pointer found here
 * is borrowed: any call that dispatches messages (a dialog, a network
 * exchange) may free the record, so such callers keep ids and look the
 * record up again afterwards.
 */
#ifndef CALLMGR_REGISTRY_H
#define CALLMGR_REGISTRY_H

#include <windows.h>
#include <winsock.h>

#include <callmgr.h>
#include <cmwire.h>

#ifdef __cplusplus
extern "C" {
#endif

/* Record types of the allocator. */
enum {
    REC_APP = 0,
    REC_SESSION = 1,
    REC_CALLCTX = 2,
    REC_CALLER = 3,
    REC_CALLKEY = 4,
    REC_CML = 5,
    REC_CM = 6,
    REC_TEXT = 7
};

#define REC_MAGIC 0xBAABu

/* Closing flag of CMAPP.flags: set by CMCleanup while an exchange runs. */
#define APP_CLOSING 0x10000000u

/* Bit of CMSESSION.flags: a member-list update is pending. */
#define SESSION_UPDATEPENDING 0x00000001u

/* A session's call: the owned CALLER and the two members between which the
 * next message goes (both point into the CALLER's member list).
 *
 * The handlers that wait in a network exchange or a dialog hold the call
 * (`users`) for the time they use it.  A session that goes meanwhile only
 * marks its call `orphaned`; the last user then frees it.  `passing` is set
 * while an invitation pass runs over the call, and `again` asks that pass to
 * go round once more. */
typedef struct CALLCTX {
    LPCM to;
    LPCM from;
    LPCALLER caller;
    DWORD users;
    BOOL orphaned;
    BOOL passing;
    BOOL again;
} CALLCTX;

typedef struct CMSESSION {
    struct CMSESSION *next;
    WORD id;
    char username[64];
    char realname[64];
    CALLCTX *call;
    DWORD flags;
    SOCKET tcpsocket;
    SOCKET udpsocket1;
    SOCKET udpsocket2;
    DWORD tcpport;
} CMSESSION;

typedef struct CMAPP {
    struct CMAPP *next;
    CMNETINFO netinfo;
    CMSESSION *sessions;
    WORD id;
    HWND fsmwnd;
    HWND notifywnd;
    UINT notifymsg;
    TIMERPROC ringproc;
    UINT ringtimer;
    DWORD flags;
    DWORD busy;
} CMAPP;

/* The identifier of an outgoing call.  The text comes first, so the record
 * serves wherever the call id text is expected. */
typedef struct CALLKEY {
    char text[24];
    DWORD address;
    DWORD ticks;
} CALLKEY;

/* The body of a new record of `type` (a REC_* value) with `extra` zero
 * bytes after the type's own size (a text's characters); zero-filled.  Null
 * when memory ran out or the total would not fit its 32-bit size word.  The
 * caller owns it and releases it with REC_Free (or the release operation of
 * whatever record it is linked into). */
void *REC_Alloc(int type, size_t extra);
/* Wipes and frees a body that REC_Alloc made; nothing for null.  Always 1. */
int REC_Free(void *body);
/* A type-7 copy of a text, which the caller releases with REC_Free; null for
 * an absent text or when memory ran out. */
char *REC_CopyText(const char *text);
/* Copies `text` into a field of `size` bytes, cut to fit and terminated
 * (a field of no bytes is left alone); the length of `text`, so that a
 * result of `size` or more says it was cut.  The bounded copy of every
 * text field, without a format to read. */
size_t REC_CopyInto(char *field, size_t size, const char *text);
/* The longest decimal text of a DWORD. */
#define REC_DECIMAL_MAX 10
/* Writes the decimal digits of `value` at `at`, which has room for
 * REC_DECIMAL_MAX, without a terminator; where they end. */
char *REC_PutDecimal(char *at, DWORD value);

/* The next application id: 1..127, wrapping back to 1, not checked against
 * those still in use. */
WORD NEXT_AppId(void);
/* The next session id: 1..127, wrapping back to 1, passing over the ids of
 * live sessions; 0 when all 127 are in use (SESSION_Create then fails). */
WORD NEXT_SessionId(void);

/* Registers an application (newest first) with a fresh id and no sessions;
 * it takes no protocol references and makes no window (CMStartup does).  The
 * record is the registry's: APP_Destroy or APP_Unregister frees it.  Null
 * when memory ran out (nothing registered). */
CMAPP *APP_Create(HWND notifywnd, UINT notifymsg);
/* The application whose id is the low word of `id`; null when none. */
CMAPP *APP_Find(UINT_PTR id);
/* Unregisters and frees `app` with its sessions and their calls (a call in
 * use is freed by its last user), releasing its protocol references: 1, or
 * CMERR_INVALID when `app` is not registered (nothing done) -- both nonzero,
 * so the result is not a truth value.  Neither the state-machine window
 * (the callers end it), the ring nor the sessions' sockets (the
 * application's) are touched. */
int APP_Destroy(CMAPP *app);
/* The same without releasing protocol references: for a registration that
 * failed before it took them.  1, or CMERR_INVALID. */
int APP_Unregister(CMAPP *app);
/* The application that takes an incoming invitation: the first in list order
 * that is not closing and has no session or whose newest session has no
 * call; null when none. */
CMAPP *APP_FindIdle(void);
/* Finishes a deferred clean-up: CMERR_BADAPP for null, CMERR_BUSY while an
 * exchange runs, else 0 after APP_Destroy and CMN_CLEANEDUP (posted when the
 * notification window still exists); `app` is freed then. */
int APP_CompleteCleanup(CMAPP *app);
/* Head of the registry (newest application first). */
CMAPP *APP_First(void);

/* Opens a session of `app` (not null): first in its list, a fresh id, no
 * call, every socket -1.  The record belongs to the application's list
 * (SESSION_Destroy, or APP_Destroy with the application).  Null when memory
 * ran out. */
CMSESSION *SESSION_Create(CMAPP *app);
/* The session whose id is the low word of `handle`, in any application;
 * *app (when `app` is given) receives its application, or null when none
 * is found.  Null when none. */
CMSESSION *SESSION_Find(UINT_PTR handle, CMAPP **app);
/* The same for the session whose call's CALLER has exactly `callid` (an
 * absent one matches only an absent one). */
CMSESSION *SESSION_FindByCallId(const char *callid, CMAPP **app);
/* Unlinks and frees `session` and its call (see CALLCTX); 1, or 0 for a null
 * argument or a session not in app's list (nothing done).  The session's
 * sockets are not closed: they were handed to the application.  A caller
 * that keeps the call detaches it first (session->call = null). */
int SESSION_Destroy(CMAPP *app, CMSESSION *session);
/* Frees a session's call now, or once its last user has released it (it is
 * then only marked orphaned).  Nothing for null. */
void SESSION_DiscardCall(CALLCTX *call);

#ifdef __cplusplus
}
#endif

#endif
