// The server procedures called as the dispatch routine calls them: which
// application an invitation or update reaches, what it receives, how a reply
// moves a member and what it tells the application.
#include "protocol/callsample.h"
#include "protocol/probeapp.h"

#include "api/api.h"
#include "fsm/fsm.h"
#include "netlib/netlib.h"
#include "protocol/rpc.h"
#include "support/instance.h"
#include "support/msgseq_gtest.h"

#include <paltest.h>

#include <gtest/gtest.h>

namespace {

const UINT NOTIFY = WM_USER + 7;

// What a state-machine window saw of a received call before releasing it.
// (Which window, which message: the record of msgseq.h.)
struct Seen {
    std::string callid, subject, to_user, to_realname, from_user;
    size_t members = 0;
    bool ends_in_own_list = false, shares_request_records = false;
};
std::vector<Seen> seen;
const CALLREQ *sent_request = nullptr;

// Looks at what arrives and releases it; the window owns what it receives.
LRESULT CALLBACK fsm_probe(HWND hwnd, UINT msg, WPARAM wparam, LPARAM lparam)
{
    if (msg != FSM_INVITED && msg != FSM_UPDATED)
        return DefWindowProcA(hwnd, msg, wparam, lparam);
    SEQ_Received(hwnd, msg, wparam, lparam);
    const CALLCTX *call = (const CALLCTX *)lparam;
    Seen s;
    s.callid = call->caller->callid;
    s.subject = call->caller->subject;
    s.to_user = call->to->user;
    s.to_realname = call->to->realname;
    s.from_user = call->from->user;
    bool to_in = false, from_in = false;
    for (const CML *n = call->caller->members; n; n = n->next) {
        ++s.members;
        to_in = to_in || n->cm == call->to;
        from_in = from_in || n->cm == call->from;
        if (sent_request)
            for (const CML *r = sent_request->caller->members; r; r = r->next)
                s.shares_request_records = s.shares_request_records || r->cm == n->cm;
    }
    s.ends_in_own_list = to_in && from_in;
    seen.push_back(s);
    CALL_Free((CALLCTX *)call);
    return 0;
}

class Procs : public ::testing::Test {
  protected:
    void SetUp() override
    {
        ASSERT_EQ(1, NET_Startup(resource_instance()));
        /* The order pinned: what the state-machine windows and the
         * application's window are handed. */
        SEQ_Only({NOTIFY, FSM_INVITED, FSM_UPDATED});
        SEQ_RegisterClass("ProcsOwner");
        owner = SEQ_CreateWindow("ProcsOwner");
        seen.clear();
        SEQ_Flush();
        PalSoundClear();
    }
    void TearDown() override
    {
        PalFaultClear();
        while (APP_First())
            APP_Destroy(APP_First()); // with the sessions' calls
        DestroyWindow(owner);
        NET_Cleanup();
        SEQ_Flush();
        SEQ_Only({});
    }

    CMAPP *app() { return probe_app(owner, NOTIFY, "ProcsFsm", fsm_probe); }
    // A session of `a` holding a copy of `call` as its call.
    CMSESSION *session_with(CMAPP *a, SampleCall &call)
    {
        CMSESSION *s = SESSION_Create(a);
        CALLCTX *c = nullptr;
        EXPECT_EQ(0, CALL_FromRequest(&c, &call.request));
        s->call = c;
        return s;
    }
    INT request(SampleCall &call)
    {
        sent_request = &call.request;
        INT *answer = callproc_request_1_svc(&call.request);
        SEQ_Pump();
        return *answer;
    }

    HWND owner = nullptr;
};

TEST_F(Procs, AnInvitationReachesTheFirstIdleApplicationAsAFaithfulCopy)
{
    CMAPP *older = app();
    CMAPP *busy = app(); // newest: searched first
    SampleCall current("current-call");
    CMSESSION *idle_session = SESSION_Create(busy);
    session_with(busy, current); // the newest session has a call
    ASSERT_NE(idle_session, busy->sessions);

    SampleCall invite("0123456789ABCDEF");
    EXPECT_EQ(CALL_DELIVERED, request(invite));
    ASSERT_EQ(1u, seen.size());
    const Seen &s = seen[0];
    EXPECT_EQ("0123456789ABCDEF", s.callid);
    EXPECT_EQ("Design review", s.subject);
    EXPECT_EQ(3u, s.members);
    EXPECT_EQ("bob", s.to_user);
    EXPECT_EQ("Bob B", s.to_realname) << "the first member with that user and host";
    EXPECT_EQ("alice", s.from_user);
    EXPECT_TRUE(s.ends_in_own_list);
    EXPECT_FALSE(s.shares_request_records);
    const SEQ_MSG handed[] = {
        {FSM_INVITED, SEQ_POSTED | SEQ_WPARAM | SEQ_HWND, older->id, 0, older->fsmwnd},
        {0, 0},
    };
    /* An older idle session does not make the newest application busy. */
    EXPECT_TRUE(
        SEQ_Ok(handed, "posted to the idle application's window, nothing to the application"));
}

TEST_F(Procs, AnInvitationNoApplicationCanTakeIsAnsweredNotHandled)
{
    SampleCall invite("nobody-home");
    EXPECT_EQ(CALL_NOTHANDLED, request(invite)) << "no application at all";

    CMAPP *a = app();
    SampleCall current("current-call");
    CMSESSION *s = session_with(a, current);
    EXPECT_EQ(CALL_NOTHANDLED, request(invite));
    EXPECT_TRUE(seen.empty());

    CALL_Free(s->call); // the answer is decided afresh
    s->call = nullptr;
    EXPECT_EQ(CALL_DELIVERED, request(invite));
    EXPECT_EQ(1u, seen.size());

    // A request whose copy cannot be made is not handled either.
    invite.request.to = nullptr;
    EXPECT_EQ(CALL_NOTHANDLED, request(invite));
    invite.request.to = &invite.members[1];
    PalFaultSet(PAL_FAULT_HEAPALLOC, 3, 1, 0);
    EXPECT_EQ(CALL_NOTHANDLED, request(invite));
    PalFaultClear();
    EXPECT_EQ(1u, seen.size());
    EXPECT_EQ(CALL_DELIVERED, request(invite));
    EXPECT_EQ(2u, seen.size());
}

TEST_F(Procs, AnUpdateReachesTheApplicationThatHasTheCall)
{
    CMAPP *has_call = app();
    CMAPP *newer = app();
    SampleCall current("the-call");
    session_with(has_call, current);
    SESSION_Create(newer);

    SampleCall update("the-call", CALL_UPDATE);
    EXPECT_EQ(CALL_DELIVERED, request(update));
    const SEQ_MSG handed[] = {
        {FSM_UPDATED, SEQ_POSTED | SEQ_WPARAM | SEQ_HWND, has_call->id, 0, has_call->fsmwnd},
        {0, 0},
    };
    EXPECT_TRUE(SEQ_Ok(handed, "the update"));

    SampleCall unknown("The-Call", CALL_UPDATE); // ids compare case-sensitively
    EXPECT_EQ(CALL_NOTHANDLED, request(unknown));
    update.request.caller = nullptr;
    EXPECT_EQ(CALL_NOTHANDLED, request(update));
    EXPECT_EQ(1u, seen.size());

    // A window that is gone: the copy is released and the sender hears that
    // nobody took the request.
    DestroyWindow(has_call->fsmwnd);
    update.request.caller = &update.caller;
    EXPECT_EQ(CALL_NOTHANDLED, request(update));
    EXPECT_EQ(1u, seen.size());
}

class Replies : public Procs {
  protected:
    void SetUp() override
    {
        Procs::SetUp();
        a = app();
        session = session_with(a, call);
        member1 = session->call->caller->members->next->cm;
        member2 = session->call->caller->members->next->next->cm;
        ring_timer = SetTimer(nullptr, 0, 4000, CLIENT_TimerProc);
        a->ringtimer = (UINT)ring_timer;
        a->ringproc = CLIENT_TimerProc;
    }
    INT reply(INT msg, CM *from, const char *callid = "outgoing")
    {
        std::string id = callid;
        CALLRPY r{msg, &call.members[0], from, id.data(), 42};
        INT *answer = callproc_reply_1_svc(&r);
        SEQ_Pump();
        return *answer;
    }
    SampleCall call{"outgoing"};
    CMAPP *a = nullptr;
    CMSESSION *session = nullptr;
    CM *member1 = nullptr, *member2 = nullptr;
    UINT_PTR ring_timer = 0;
};

TEST_F(Replies, AnAcceptanceJoinsTheMemberNotifiesAndStopsTheRing)
{
    call.members[2].state = CMS_INVITED;
    EXPECT_EQ(CALL_DELIVERED, reply(CALL_ACCEPT, &call.members[2]));
    EXPECT_EQ(CMS_JOINED, member2->state);
    EXPECT_EQ(CMS_IDLE, member1->state) << "told apart by the real name alone";
    const SEQ_MSG accepted[] = {
        /* The member's address in network order. */
        {NOTIFY, SEQ_POSTED | SEQ_WPARAM | SEQ_LPARAM, (WPARAM)((2 << 8) | session->id),
         0x020012C6},
        {0, 0},
    };
    EXPECT_TRUE(SEQ_Ok(accepted, "the acceptance"));
    EXPECT_EQ(0u, a->ringtimer);
    EXPECT_EQ(nullptr, a->ringproc);
    EXPECT_FALSE(KillTimer(nullptr, ring_timer)) << "the timer is gone";
    ASSERT_EQ(1u, PalSoundCount());
    PAL_SOUND s;
    PalSoundGet(0, &s);
    EXPECT_TRUE(s.stop);
}

TEST_F(Replies, EachReplyCodeSetsItsStateAndNotifiesCodePlusOne)
{
    /* A code whose notification would read as another one (some of which
     * carry a block) is not passed on; the code byte wraps. */
    const struct {
        INT msg;
        INT state;
        int code; // -1: not notified
    } table[] = {{CALL_ACCEPT, CMS_JOINED, 2},
                 {CALL_DECLINE, CMS_DECLINED, 5},
                 {6, 5, 7},
                 {20, 0x4321, 21},
                 {255, 0x4321, 0},
                 {0, 0x4321, -1},
                 {7, 0x4321, -1},
                 {47, 0x4321, 48},
                 {48, 0x4321, -1}};
    call.members[1].state = 0x4321; // what the other codes carry over
    for (const auto &row : table) {
        SEQ_Flush();
        a->ringtimer = (UINT)SetTimer(nullptr, 0, 4000, CLIENT_TimerProc);
        EXPECT_EQ(CALL_DELIVERED, reply(row.msg, &call.members[1]));
        EXPECT_EQ(row.state, member1->state) << row.msg;
        EXPECT_EQ(0u, a->ringtimer) << "every reply stops the ring";
        std::vector<SEQ_MSG> told;
        if (row.code >= 0)
            told.push_back(
                {NOTIFY, SEQ_POSTED | SEQ_WPARAM, (WPARAM)((row.code << 8) | session->id)});
        std::string what = "reply " + std::to_string(row.msg);
        EXPECT_TRUE(SEQ_Ok(told, what.c_str()));
    }
}

} // namespace
