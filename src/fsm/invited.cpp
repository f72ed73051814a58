/*
 * The invited side: an invitation asks the user (or is accepted at once),
 * opens a session for an accepted call and sends the answer back; an update
 * hands the new member list to the application.
 *
 * Both the dialog and the exchange dispatch messages, so the application is
 * found again by id after each, and the received call is held while the
 * answer travels: the session opened for it may be closed meanwhile.
 */
#include "fsm/fsm.h"
#include "members/members.h"
#include "netlib/netlib.h"
#include "ui/ui.h"

namespace {

/* The inviter invites the rest of the conference.  Marking those members
 * invited here keeps this machine's own passes (which run over every call
 * waiting for no address) from inviting them a second time. */
void invited_mark_others(CALLCTX *call)
{
    for (CML *node = call->caller->members; node; node = node->next) {
        CM *m = node->cm;
        if (m && m != call->to && m != call->from &&
            (m->state == CMS_IDLE || m->state == CMS_RESOLVING))
            m->state = CMS_INVITED;
    }
}

/* Takes the call back from a session that is not kept, and removes it
 * with the datagram sockets nobody will own. */
void invited_drop_session(CMAPP *app, CMSESSION *s)
{
    CALLINFO_CloseSockets(s);
    s->call = nullptr;
    SESSION_Destroy(app, s);
}

/* Opens the session of an accepted call: its id, or 0 when it could not
 * be made (nothing is left behind then). */
WORD invited_open(CMAPP *app, CALLCTX *call, HGLOBAL *block)
{
    CMSESSION *s = SESSION_Create(app);
    if (!s)
        return 0;
    invited_mark_others(call);
    s->call = call;
    if (CALLINFO_BuildReceived(app, s, call, block, TRUE) != 0) {
        invited_drop_session(app, s);
        return 0;
    }
    return s->id;
}

} // namespace

extern "C" void FSM_Invited(HWND window, WPARAM app_param, CALLCTX *call)
{
    if (!call)
        return;
    WORD app_id = LOWORD(app_param);
    INT answer = CALL_DECLINE;
    WORD session_id = 0;
    HGLOBAL block = nullptr;

    /* A closing application is not asked. */
    CMAPP *app = APP_Find(app_id);
    if (app && !(app->flags & APP_CLOSING)) {
        answer = RSVP_Run(window, call) == CALL_ACCEPT ? CALL_ACCEPT : CALL_DECLINE;
        app = APP_Find(app_id);
        if (!app || (app->flags & APP_CLOSING))
            answer = CALL_DECLINE;
    }
    if (answer == CALL_ACCEPT) {
        session_id = invited_open(app, call, &block);
        if (!session_id)
            answer = CALL_DECLINE;
    }

    /* The answer goes back also when nobody here could take the call. */
    CALL_Hold(call);
    if (FSM_Send(app_id, call, answer, TRUE) != CALL_DELIVERED)
        answer = CALL_DECLINE;
    app = APP_Find(app_id);
    CMSESSION *s = session_id ? SESSION_Find(session_id, nullptr) : nullptr;
    if (s && (!app || s->call != call))
        s = nullptr;

    bool kept = false;
    if (answer == CALL_ACCEPT && s) {
        call->to->state = CMS_JOINED;
        call->from->state = CMS_JOINED;
        CM_NotifyCallStarted(app, s, block);
        kept = true;
    } else {
        if (app)
            CM_Notify(app, session_id, CMN_INVITEREFUSED, 0);
        if (block) {
            /* The session may be gone with its application: its sockets
             * are known from the block. */
            CMCALLINFO *info = (CMCALLINFO *)GlobalLock(block);
            if (info && !s) {
                NET_Close((SOCKET)info->udpsocket1);
                NET_Close((SOCKET)info->udpsocket2);
            }
            GlobalUnlock(block);
            GlobalFree(block);
        }
        if (s)
            invited_drop_session(app, s);
    }
    /* A call orphaned meanwhile is freed by the release. */
    if (CALL_Release(call) && !kept)
        CALL_Free(call);
}

extern "C" void FSM_Updated(HWND, WPARAM, CALLCTX *call)
{
    if (!call)
        return;
    CMAPP *app = nullptr;
    CMSESSION *s = call->caller ? SESSION_FindByCallId(call->caller->callid, &app) : nullptr;
    HGLOBAL block = nullptr;
    if (s) {
        invited_mark_others(call);
        if (CALLINFO_BuildReceived(app, s, call, &block, FALSE) == 0)
            CM_NotifyBlock(app, s->id, CMN_CALLUPDATED, block);
    }
    CALL_Free(call);
}
