/*
 * The Invite - RSVP dialog, which asks the invited user whether to join a
 * call while its ring sounds, and the label that stands for a member in it.
 * The state machine runs it for each invitation received.  The folder's
 * other parts have headers of their own: invite.h (the Invite dialog),
 * addrbook.h and addrkeys.h (the address book store and its dialogs) and
 * lists.h (the owner-drawn address lists).
 */
#ifndef CALLMGR_UI_H
#define CALLMGR_UI_H

#include "registry/registry.h"

#ifdef __cplusplus
extern "C" {
#endif

/* The RSVP ring: a tick every RSVP_RINGPERIOD ms; the dialog declines once
 * ticks * RSVP_RINGPERIOD exceeds RSVP_GIVEUP (the 31st tick). */
#define RSVP_RINGPERIOD 4000
#define RSVP_GIVEUP 120000
#define RSVP_ACCEPT 6
#define RSVP_DECLINE 7

/* Asks the user whether to join `call` (RSVP_DIALOG, owned by `owner`):
 * CALL_ACCEPT or CALL_DECLINE.  With auto-accept on, CALL_ACCEPT at once,
 * without sound or dialog.  The dialog's modal loop dispatches messages, so
 * the library may be entered again before this returns; `call` must stay
 * alive meanwhile (it is read only while the dialog starts).  Only an
 * explicit Accept accepts: a null call, a dialog that could not be made and
 * every other way out decline. */
INT RSVP_Run(HWND owner, const CALLCTX *call);
/* The text that stands for a member: its real name, user, host or dotted
 * address, the first that is not empty; null for an absent member or when
 * none can be had.  Borrowed: a text of `member`, valid while it lives, or
 * the dotted form in the socket library's buffer, valid until its next
 * conversion. */
const char *RSVP_MemberLabel(const CM *member);

#ifdef __cplusplus
}
#endif

#endif
