/*
 * call.cpp - a session's call: the outgoing call with its local member, the
 * members added from address texts, and the call built from a received
 * request.
 */
#include "members/members.h"
#include "fsm/fsm.h"

namespace {

/* Numbers the calls made by this process; the first call is 1. */
DWORD call_counter = 0;

/* The member that stands for this machine in its own outgoing call. */
LPCM local_member(const CMSESSION *session)
{
    LPCM m = (LPCM)REC_Alloc(REC_CM, 0);
    if (!m)
        return nullptr;
    m->state = CMS_IDLE;
    m->ipaddr = FSM_LocalAddress();
    if (!STR_Dup(&m->host, FSM_FullHostName()) || !STR_Dup(&m->user, session->username) ||
        !STR_Dup(&m->realname, session->realname) || !STR_Dup(&m->address, "")) {
        CM_Free(m);
        return nullptr;
    }
    return m;
}

/* The call's identifier.  Replies find their call by it, so two calls made
 * in the same millisecond must not share it: the tick count in the key is
 * moved on past the keys of calls still held. */
char *call_key(DWORD ticks)
{
    for (DWORD key_ticks = ticks;; ++key_ticks) {
        char *key = CALLKEY_Create(FSM_LocalAddress(), key_ticks);
        if (!key || !SESSION_FindByCallId(key, nullptr))
            return key;
        REC_Free(key);
    }
}

} // namespace

extern "C" char *CALLKEY_Create(DWORD address, DWORD ticks)
{
    CALLKEY *key = (CALLKEY *)REC_Alloc(REC_CALLKEY, 0);
    if (!key)
        return nullptr;
    key->address = address;
    key->ticks = ticks;
    static_assert(sizeof key->text >= 2 * REC_DECIMAL_MAX + 2, "two numbers and a slash fit");
    char *at = REC_PutDecimal(key->text, address);
    *at++ = '/';
    *REC_PutDecimal(at, ticks) = '\0';
    return key->text;
}

extern "C" int CALL_Free(CALLCTX *call)
{
    if (call) {
        CALLER_Free(call->caller);
        REC_Free(call);
    }
    return 0;
}

extern "C" void CALL_Hold(CALLCTX *call)
{
    if (call)
        ++call->users;
}

extern "C" BOOL CALL_Release(CALLCTX *call)
{
    if (!call)
        return FALSE;
    if (call->users)
        --call->users;
    if (call->users == 0 && call->orphaned) {
        CALL_Free(call);
        return FALSE;
    }
    return TRUE;
}

extern "C" int CALL_Create(CMSESSION *session, const char *subject)
{
    DWORD ticks = GetTickCount();
    CMAPP *app = nullptr;
    if (!session || SESSION_Find(session->id, &app) != session)
        return CMERR_BADSESSION;

    CALLCTX *call = (CALLCTX *)REC_Alloc(REC_CALLCTX, 0);
    if (!call)
        return CMERR_CALLALLOC;
    LPCALLER caller = (LPCALLER)REC_Alloc(REC_CALLER, 0);
    if (!caller) {
        CALL_Free(call);
        return CMERR_CALLALLOC;
    }
    call->caller = caller;

    caller->state = CS_NEW;
    caller->starttime = (int32_t)ticks;
    caller->seqno = (INT)++call_counter;
    caller->tcpport = (INT)session->tcpport;
    caller->callid = call_key(ticks);
    bool ok = caller->callid && STR_Dup(&caller->group1, ADDR_NextGroup(app->netinfo.groupbase1)) &&
              STR_Dup(&caller->group2, ADDR_NextGroup(app->netinfo.groupbase2)) &&
              STR_Dup(&caller->spare, "") && STR_Dup(&caller->subject, subject);
    LPCM local = ok ? local_member(session) : nullptr;
    LPCML node = local ? (LPCML)REC_Alloc(REC_CML, 0) : nullptr;
    if (!node) {
        CM_Free(local);
        CALL_Free(call);
        return CMERR_CALLALLOC;
    }
    node->cm = local;
    caller->members = node;
    caller->originator = local;
    call->from = local;
    session->call = call;
    return 0;
}

extern "C" int CALL_AddMember(CMSESSION *session, char *address)
{
    if (!session)
        return CMERR_BADSESSION;
    if (!session->call || !session->call->caller)
        return CMERR_NOCALL;

    LPCM member = (LPCM)REC_Alloc(REC_CM, 0);
    if (!member)
        return CMERR_BADMEMBER;
    member->state = CMS_RESOLVING;
    /* The parse leaves only the name part in the text; that is what the
     * member keeps as its address. */
    LPCML node = nullptr;
    if (!ADDR_Parse(address, &member->user, &member->host, &member->realname) ||
        !STR_Dup(&member->address, address) || !(node = (LPCML)REC_Alloc(REC_CML, 0))) {
        CM_Free(member);
        return CMERR_BADMEMBER;
    }
    node->cm = member;

    LPCML *link = &session->call->caller->members;
    while (*link)
        link = &(*link)->next;
    *link = node;
    return 0;
}

extern "C" int CALL_FromRequest(CALLCTX **out, const CALLREQ *request)
{
    *out = nullptr;
    CALLCTX *call = (CALLCTX *)REC_Alloc(REC_CALLCTX, 0);
    if (!call)
        return CMERR_CALLALLOC;
    if (request && request->caller && request->to && request->from) {
        call->caller = CALLER_Copy(request->caller);
        call->to = CML_Find(call->caller, request->to->user, request->to->host);
        call->from = CML_Find(call->caller, request->from->user, request->from->host);
    }
    if (!call->caller || !call->to || !call->from) {
        CALL_Free(call);
        return CMERR_CALLALLOC;
    }
    *out = call;
    return 0;
}
