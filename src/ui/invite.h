/*
 * The Invite dialog (INVITE_DIALOG): the user composes an invitation list,
 * typed or picked from the address book, and Call turns it into the
 * session's call, a new one or more members of the one it has.  Nothing is
 * sent from here; CMInvite places what the dialog built.
 *
 * One Invite dialog runs at a time.  The dialog keeps the session's handle,
 * never a pointer: its modal loop dispatches messages, so the session may be
 * closed while the user types, and Call looks it up again.
 */
#ifndef CALLMGR_UI_INVITE_H
#define CALLMGR_UI_INVITE_H

#include "registry/registry.h"

#ifdef __cplusplus
extern "C" {
#endif

/* The dialog's 16-bit result: a low byte of 0 means Call built something
 * (high byte INVITE_NEWCALL or INVITE_ADDED); a low byte of 1 means nothing
 * is to be placed and the high byte is the status for the application. */
#define INVITE_NEWCALL 0
#define INVITE_ADDED 1
#define INVITE_STOP(status) ((WORD)((((unsigned)(status)&0xFFu) << 8) | 1u))
/* An empty invitation list on Call: never leaves the dialog. */
#define INVITE_EMPTYLIST INVITE_STOP(CMERR_NOSELECTION)

/* Runs the Invite dialog for session `session` (its handle), owned by
 * `owner`, with the icon strip of `instance` loaded while it runs.
 * Returns the dialog's result: INVITE_STOP(CMERR_BADSESSION) without a
 * dialog for a handle that matches no session, INVITE_STOP(CMERR_BUSY)
 * without a dialog while another Invite dialog runs, and
 * INVITE_STOP(CMERR_CANCELLED) for Close, Esc and a dialog that could not
 * be made (then nothing was changed).  A Call that fails stops with its
 * status (CALL_Create's or CALL_AddMember's) and leaves the session as it
 * was.  The dialog is modal: it dispatches messages, so the library may be
 * entered again before this returns; look the session up again by its
 * handle afterwards.  A new call it made is the session's. */
WORD INVITE_DoDialog(HINSTANCE instance, HWND owner, WORD session);

/* The number of members the session's call held when the last Call began
 * adding to it (0 for a new call).  Kept until the next Invite dialog: read
 * it right after INVITE_DoDialog. */
DWORD INVITE_MembersBefore(void);

/* Takes back the members that the last Call appended to `session`'s call
 * (those still in its list), for a caller that cannot place them; they are
 * freed.  Does nothing when that Call made a new call or appended nothing,
 * or for a null session, and nothing a second time. */
void INVITE_RemoveAdded(CMSESSION *session);

/* Members in `call`'s list (0 without a call or CALLER). */
DWORD INVITE_CountMembers(const CALLCTX *call);

#ifdef __cplusplus
}
#endif

#endif
