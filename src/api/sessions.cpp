/*
 * The session entries: opening and closing a session, its socket
 * information, and placing a call to one address.
 */
#include "api/api.h"
#include "fsm/fsm.h"
#include "members/members.h"
#include "netlib/netlib.h"

#include <callmgr.h>
#include <string.h>

extern "C" WORD WINAPI CMOpenSession(UINT app_id)
{
    CMAPP *app = APP_Find(app_id);
    if (!app)
        return CMERR_BADAPP;
    CMSESSION *s = SESSION_Create(app);
    if (!s)
        return CMERR_SESSION;
    REC_CopyInto(s->username, sizeof s->username, FSM_ShortHostName());
    REC_CopyInto(s->realname, sizeof s->realname, FSM_ShortHostName());
    if (NET_OpenStream(&s->tcpsocket, &s->tcpport, app->netinfo.tcplow, app->netinfo.tcphigh) !=
        0) {
        SESSION_Destroy(app, s);
        return CMERR_SESSION;
    }
    return s->id;
}

extern "C" UINT WINAPI CMCloseSession(UINT session)
{
    CMAPP *app = nullptr;
    CMSESSION *s = SESSION_Find(session, &app);
    if (!s)
        return CMERR_BADSESSION;
    RING_Stop(app);
    return SESSION_Destroy(app, s) ? 0 : CMERR_BADSESSION;
}

extern "C" UINT WINAPI CMGetAppInfo(UINT session, CMAPPINFO *appinfo)
{
    CMSESSION *s = SESSION_Find(session, nullptr);
    if (!s)
        return CMERR_BADSESSION;
    if (!appinfo)
        return CMERR_INVALID;
    appinfo->localaddr = FSM_LocalAddress();
    appinfo->tcpport = s->tcpport;
    appinfo->tcpsocket = (uint32_t)s->tcpsocket;
    return 0;
}

extern "C" UINT WINAPI CMInviteUser(UINT session, LPCSTR address, LPCSTR subject)
{
    CMAPP *app = nullptr;
    CMSESSION *s = SESSION_Find(session, &app);
    if (!s || s->call)
        return CMERR_BADSESSION;
    /* The parse writes into the text: it works on a copy, so the caller's
     * text (which may be read-only) stays as it is.  A text the wire could
     * not carry is refused; a longer subject is cut. */
    char text[WIRE_MAXTEXT + 1];
    if (!address || strnlen(address, sizeof text) >= sizeof text)
        return CMERR_BADMEMBER;
    REC_CopyInto(text, sizeof text, address);
    char topic[WIRE_MAXTEXT + 1];
    if (subject)
        REC_CopyInto(topic, sizeof topic, subject);

    int status = CALL_Create(s, subject ? topic : nullptr);
    if (status != 0)
        return status;
    HGLOBAL block = nullptr;
    status = CALL_AddMember(s, text);
    if (status == 0)
        status = CALLINFO_Build(app, s, s->call, &block, TRUE);
    if (status != 0) {
        /* Nothing half-built stays: the session can place a call again. */
        CALL_Free(s->call);
        s->call = nullptr;
        return status;
    }
    CM_NotifyCallStarted(app, s, block);
    return 0;
}
