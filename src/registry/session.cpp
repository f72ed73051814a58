/*
 * Sessions: each application's list, newest first.  Session ids are handed
 * out library-wide, so one handle names one session of one application.
 */
#include "registry/registry.h"
#include "members/members.h"

#include <string.h>

namespace {

WORD session_counter = 0;

/* Walks every session of every application in list order and returns the
 * first that `match` accepts. */
template <typename Match> CMSESSION *session_walk(CMAPP **owner, Match match)
{
    for (CMAPP *app = APP_First(); app; app = app->next)
        for (CMSESSION *s = app->sessions; s; s = s->next)
            if (match(s)) {
                if (owner)
                    *owner = app;
                return s;
            }
    if (owner)
        *owner = nullptr;
    return nullptr;
}

bool same_text(const char *a, const char *b)
{
    if (!a || !b)
        return a == b;
    return strcmp(a, b) == 0;
}

} // namespace

extern "C" WORD NEXT_SessionId(void)
{
    /* Ids go round 1..127.  One still held by a live session is passed
     * over: handlers keep a session's id across their waits and find the
     * session again by it, so two live sessions must never share one. */
    for (int tried = 0; tried < 127; ++tried) {
        if (session_counter + 1 >= 128)
            session_counter = 0;
        WORD id = ++session_counter;
        if (!SESSION_Find(id, nullptr))
            return id;
    }
    return 0;
}

extern "C" CMSESSION *SESSION_Create(CMAPP *app)
{
    CMSESSION *s = (CMSESSION *)REC_Alloc(REC_SESSION, 0);
    if (!s)
        return nullptr;
    s->id = NEXT_SessionId();
    if (s->id == 0) {
        REC_Free(s);
        return nullptr;
    }
    s->next = app->sessions;
    s->tcpsocket = INVALID_SOCKET;
    s->udpsocket1 = INVALID_SOCKET;
    s->udpsocket2 = INVALID_SOCKET;
    app->sessions = s;
    return s;
}

extern "C" CMSESSION *SESSION_Find(UINT_PTR handle, CMAPP **app)
{
    WORD want = LOWORD(handle);
    return session_walk(app, [want](CMSESSION *s) { return s->id == want; });
}

extern "C" CMSESSION *SESSION_FindByCallId(const char *callid, CMAPP **app)
{
    return session_walk(app, [callid](CMSESSION *s) {
        return s->call && s->call->caller && same_text(s->call->caller->callid, callid);
    });
}

extern "C" int SESSION_Destroy(CMAPP *app, CMSESSION *session)
{
    if (!app || !session)
        return 0;
    CMSESSION **link = &app->sessions;
    while (*link && *link != session)
        link = &(*link)->next;
    if (!*link)
        return 0;
    *link = session->next;
    SESSION_DiscardCall(session->call);
    REC_Free(session);
    return 1;
}

extern "C" void SESSION_DiscardCall(CALLCTX *call)
{
    if (!call)
        return;
    if (call->users)
        call->orphaned = TRUE;
    else
        CALL_Free(call);
}
