/*
 * CMInvite: the Invite dialog builds the session's call (a new one, or more
 * members of the one it has); this places what it built, as CMInviteUser
 * does for one address.
 */
#include "api/api.h"
#include "fsm/fsm.h"
#include "members/members.h"
#include "ui/invite.h"

#include <callmgr.h>

/* A two-party call that grows into a conference: the members already in it
 * must hear of the new member list before the new members are invited. */
static const DWORD CONFERENCE_SIZE = 2;

extern "C" UINT WINAPI CMInvite(UINT session)
{
    CMAPP *app = nullptr;
    CMSESSION *s = SESSION_Find(session, &app);
    if (!s)
        return CMERR_BADSESSION;
    WORD handle = s->id;
    WORD result = INVITE_DoDialog(LIB_Instance, app->notifywnd, handle);
    if (LOBYTE(result) != 0)
        return HIBYTE(result);

    /* The dialog dispatched messages: the session may have gone with its
     * call. */
    s = SESSION_Find(handle, &app);
    if (!s || !app || !s->call)
        return CMERR_BADSESSION;
    bool added = HIBYTE(result) == INVITE_ADDED;
    DWORD before = added ? INVITE_MembersBefore() : 0;
    HGLOBAL block = nullptr;
    int status = CALLINFO_Build(app, s, s->call, &block, added ? FALSE : TRUE);
    if (status != 0) {
        /* Members whose lookups never started would hold the call back for
         * good: what the dialog built is taken back. */
        if (added) {
            INVITE_RemoveAdded(s);
        } else {
            CALL_Free(s->call);
            s->call = nullptr;
        }
        return (UINT)status;
    }
    if (before <= CONFERENCE_SIZE && INVITE_CountMembers(s->call) > CONFERENCE_SIZE)
        s->flags |= SESSION_UPDATEPENDING;
    if (added)
        CM_NotifyBlock(app, s->id, CMN_MEMBERSADDED, block);
    else
        CM_NotifyCallStarted(app, s, block);
    return 0;
}
