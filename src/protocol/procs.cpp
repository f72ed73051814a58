/*
 * The server procedures: a request is copied and handed to the chosen
 * application's state-machine window; a reply moves the replying member's
 * state at once and is passed on to the application as a notification.
 */
#include "protocol/rpc.h"
#include "fsm/fsm.h"
#include "members/members.h"
#include "netlib/netlib.h"

namespace {

INT request_answer;
INT reply_answer;

/* An invitation or an update.  The application is chosen before anything is
 * copied, so a request that no application can take costs no allocation. */
int request_handle(const CALLREQ *request)
{
    CMAPP *app = nullptr;
    UINT message;
    if (request->msg == CALL_INVITE) {
        app = APP_FindIdle();
        if (!app)
            return CMERR_NOAPP;
        message = FSM_INVITED;
    } else {
        if (!request->caller)
            return CMERR_BADMESSAGE;
        if (!SESSION_FindByCallId(request->caller->callid, &app))
            return CMERR_BADAPP;
        message = FSM_UPDATED;
    }
    CALLCTX *call = nullptr;
    int status = CALL_FromRequest(&call, request);
    if (status != 0)
        return status;
    /* The window owns the copy once it is posted; a window that is gone
     * cannot take it, so it is released here and the sender hears that
     * nobody took the request. */
    if (!PostMessageA(app->fsmwnd, message, (WPARAM)app->id, (LPARAM)call)) {
        CALL_Free(call);
        return CMERR_BADAPP;
    }
    return 0;
}

/* The member state a reply brings; codes without a state of their own carry
 * the replying member's.  This library answers only with CALL_ACCEPT and
 * CALL_DECLINE; the other codes come from other peers. */
INT reply_state(INT msg, INT carried)
{
    switch (msg) {
    case CALL_ACCEPT:
        return CMS_JOINED;
    case CALL_DECLINE:
        return CMS_DECLINED;
    case CALL_REPLY6:
        return CMS_REPLIED6;
    case CALL_REPLY12:
        return CMS_REPLIED12;
    case CALL_REPLY13:
        return CMS_REPLIED13;
    case CALL_REPLY15:
        return CMS_REPLIED15;
    default:
        return carried;
    }
}

/* A reply code that would read as one of the notifications with a meaning of
 * their own (and, for some, a block the application would free) is not
 * passed on. */
bool reply_code_is_fixed(BYTE code)
{
    switch (code) {
    case CMN_CALLSTARTED:
    case CMN_CALLUPDATED:
    case CMN_INVITEREFUSED:
    case CMN_UNREACHABLE:
        return true;
    default:
        return code >= CMN_NOADDRESS && code <= CMN_CLEANEDUP;
    }
}

int reply_handle(const CALLRPY *reply)
{
    CMAPP *app = nullptr;
    CMSESSION *session = SESSION_FindByCallId(reply->callid, &app);
    if (!session)
        return CMERR_NOMATCH;
    LPCM member = nullptr;
    if (reply->from)
        for (CML *node = session->call->caller->members; node && !member; node = node->next)
            if (node->cm && CM_Equal(node->cm, reply->from))
                member = node->cm;
    if (!member)
        return CMERR_NOMATCH;
    member->state = reply_state(reply->msg, reply->from->state);
    BYTE code = (BYTE)((reply->msg + 1) & 0xFF);
    if (!reply_code_is_fixed(code))
        CM_Notify(app, session->id, code, (LPARAM)NET_htonl(member->ipaddr));
    RING_Stop(app);
    return 0;
}

} // namespace

extern "C" INT *callproc_request_1_svc(CALLREQ *request)
{
    bool handled = true;
    if (request->msg == CALL_INVITE || request->msg == CALL_UPDATE)
        handled = request_handle(request) == 0;
    request_answer = handled ? CALL_DELIVERED : CALL_NOTHANDLED;
    return &request_answer;
}

extern "C" INT *callproc_reply_1_svc(CALLRPY *reply)
{
    reply_handle(reply);
    reply_answer = CALL_DELIVERED;
    return &reply_answer;
}

extern "C" CAPINFO *callproc_capinfo_1_svc(CAPINFOMESSAGE *)
{
    return nullptr;
}
