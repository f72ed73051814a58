/*
 * The invitation pass: once no member of a session's call waits for its
 * address, the changed member list goes to the members already joined (when
 * the call has just grown into a conference), then an invitation to every
 * member not yet invited, one exchange at a time, while the calling sound
 * rings.
 *
 * Each exchange dispatches messages, so anything may happen while it waits:
 * a reply may set the member's state, the session may be closed, the
 * application cleaned up, another lookup may ask for a pass over the same
 * call.  The pass therefore holds the call (it outlives a closed session
 * until the pass lets go), finds its application and session again by id
 * after every exchange and stops when either is gone or no longer holds the
 * call; a request for a second pass over the same call only makes the
 * running pass go round once more.
 */
#include "fsm/fsm.h"
#include "members/members.h"
#include "netlib/netlib.h"

namespace {

struct PASS {
    WORD app_id;
    WORD session_id;
    CALLCTX *call;
    CMAPP *app; /* valid until the next exchange */
};

/* Finds the records again after a wait: false when the pass must stop. */
bool pass_refresh(PASS *pass)
{
    CMAPP *app = nullptr;
    CMSESSION *s = SESSION_Find(pass->session_id, &app);
    if (!s || !app || app->id != pass->app_id || s->call != pass->call)
        return false;
    pass->app = app;
    return !(app->flags & APP_CLOSING);
}

/* Members that a pass never sends to: none, the sender, and this host. */
bool pass_skip(const PASS *pass, const CM *m)
{
    return !m || m == pass->call->from || m->ipaddr == FSM_LocalAddress();
}

bool unreachable(INT result)
{
    return result == CALL_UNREACHABLE || result == CALL_NOTHANDLED;
}

/* Sends the changed member list to every joined member. */
bool pass_update(PASS *pass)
{
    for (CML *node = pass->call->caller->members; node; node = node->next) {
        CM *m = node->cm;
        if (pass_skip(pass, m) || m->state != CMS_JOINED)
            continue;
        pass->call->to = m;
        CM_Notify(pass->app, pass->session_id, CMN_UPDATING, (LPARAM)NET_htonl(m->ipaddr));
        INT result = FSM_Send(pass->app_id, pass->call, CALL_UPDATE, FALSE);
        if (unreachable(result) && m->state == CMS_JOINED)
            m->state = CMS_UNREACHABLE;
        if (!pass_refresh(pass))
            return false;
    }
    return true;
}

/* Invites every member not yet invited.  The member is marked invited
 * before its invitation goes, so a reply that arrives while the exchange
 * still waits is not overwritten afterwards. */
bool pass_invite(PASS *pass)
{
    for (CML *node = pass->call->caller->members; node; node = node->next) {
        CM *m = node->cm;
        if (pass_skip(pass, m) || m->state != CMS_IDLE)
            continue;
        pass->call->to = m;
        RING_Start(pass->app);
        CM_Notify(pass->app, pass->session_id, CMN_RINGING, (LPARAM)NET_htonl(m->ipaddr));
        m->state = CMS_INVITED;
        INT result = FSM_Send(pass->app_id, pass->call, CALL_INVITE, FALSE);
        bool alive = pass_refresh(pass);
        if (unreachable(result) && m->state == CMS_INVITED) {
            m->state = CMS_UNREACHABLE;
            /* Not for a session that was closed meanwhile. */
            if (alive)
                CM_Notify(pass->app, pass->session_id, CMN_UNREACHABLE,
                          (LPARAM)NET_htonl(m->ipaddr));
        }
        if (!alive)
            return false;
    }
    return true;
}

/* One round over the call; false when the pass must stop. */
bool pass_round(PASS *pass)
{
    if (!pass_refresh(pass))
        return false;
    CALLER *caller = pass->call->caller;
    caller->state = CS_ACTIVE;
    /* A call placed before the local address was known holds all bits set
     * for its own member; the invitations must carry the real address, or
     * the answers could not come back. */
    DWORD local = FSM_LocalAddress();
    if (caller->originator && caller->originator->ipaddr == 0xFFFFFFFFu && local != 0xFFFFFFFFu)
        caller->originator->ipaddr = local;
    for (CML *node = caller->members; node; node = node->next)
        if (node->cm && node->cm->ipaddr == FSM_LocalAddress()) {
            caller->local = node->cm;
            pass->call->from = node->cm;
            break;
        }
    CMSESSION *s = SESSION_Find(pass->session_id, nullptr);
    if (s->flags & SESSION_UPDATEPENDING) {
        caller->state = CS_CHANGED;
        /* Cleared before the walk: members added meanwhile set it again and
         * get their own round. */
        s->flags &= ~SESSION_UPDATEPENDING;
        if (!pass_update(pass))
            return false;
    }
    return pass_invite(pass);
}

} // namespace

extern "C" void FSM_Proceed(WPARAM session)
{
    CMAPP *app = nullptr;
    CMSESSION *s = SESSION_Find(session, &app);
    if (!s || !s->call || !s->call->caller)
        return;
    CALLCTX *call = s->call;
    if (call->passing) {
        call->again = TRUE;
        return;
    }
    PASS pass = {app->id, s->id, call, app};
    call->passing = TRUE;
    CALL_Hold(call);
    do {
        call->again = FALSE;
    } while (pass_round(&pass) && call->again);
    call->passing = FALSE;
    CALL_Release(call);

    app = APP_Find(pass.app_id);
    if (app && (app->flags & APP_CLOSING))
        FSM_CompleteCleanup(app);
}
