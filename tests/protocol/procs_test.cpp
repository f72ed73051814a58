// The server procedures as the dispatch routine calls them: where an
// invitation or update goes, and what a reply does to a member and tells.
#include "protocol/callsample.h"
#include "protocol/probeapp.h"

#include "api/api.h"
#include "fsm/fsm.h"
#include "netlib/netlib.h"
#include "protocol/rpc.h"
#include "support/instance.h"
#include "support/msgseq_gtest.h"

#include <gtest/gtest.h>

namespace {

const UINT NOTIFY = WM_USER + 7;

// "callid|subject|to user (real name)|from user|members" of every call a
// state-machine window received; freed here, so a shared copy shows.
std::vector<std::string> seen;

// Looks at what arrives and releases it; the window owns what it receives.
LRESULT CALLBACK fsm_probe(HWND hwnd, UINT msg, WPARAM wparam, LPARAM lparam)
{
    if (msg != FSM_INVITED && msg != FSM_UPDATED)
        return DefWindowProcA(hwnd, msg, wparam, lparam);
    SEQ_Received(hwnd, msg, wparam, lparam);
    CALLCTX *call = (CALLCTX *)lparam;
    seen.push_back(std::string(call->caller->callid) + "|" + call->caller->subject + "|" +
                   call->to->user + " (" + call->to->realname + ")|" + call->from->user + "|" +
                   std::to_string(list_length(call->caller->members)));
    CALL_Free(call);
    return 0;
}

class Procs : public ::testing::Test {
  protected:
    void SetUp() override
    {
        ASSERT_EQ(1, NET_Startup(resource_instance()));
        SEQ_Only({NOTIFY, FSM_INVITED, FSM_UPDATED});
        SEQ_RegisterClass("ProcsOwner");
        owner = SEQ_CreateWindow("ProcsOwner");
        seen.clear();
        SEQ_Flush();
    }
    void TearDown() override
    {
        while (APP_First())
            APP_Destroy(APP_First()); // with the sessions' calls
        DestroyWindow(owner);
        NET_Cleanup();
        SEQ_Flush();
        SEQ_Only({});
    }

    CMAPP *app() { return probe_app(owner, NOTIFY, "ProcsFsm", fsm_probe); }
    CMSESSION *session_with(CMAPP *a, SampleCall &call)
    {
        CMSESSION *s = SESSION_Create(a);
        EXPECT_EQ(0, CALL_FromRequest(&s->call, &call.request));
        return s;
    }
    INT request(SampleCall &call)
    {
        INT *answer = callproc_request_1_svc(&call.request);
        SEQ_Pump();
        return *answer;
    }

    HWND owner = nullptr;
};

TEST_F(Procs, AnInvitationReachesTheFirstIdleApplicationOrIsAnsweredNotHandled)
{
    SampleCall invite("0123456789ABCDEF");
    EXPECT_EQ(CALL_NOTHANDLED, request(invite)) << "no application at all";
    CMAPP *idle = app();
    CMAPP *busy = app(); // newest: searched first
    SampleCall current("current-call");
    session_with(busy, current);
    invite.request.to = nullptr;
    EXPECT_EQ(CALL_NOTHANDLED, request(invite)) << "a request whose copy cannot be made";
    EXPECT_TRUE(seen.empty());

    invite.request.to = &invite.members[1];
    EXPECT_EQ(CALL_DELIVERED, request(invite));
    /* The first member with the invitee's user and host is the invitee. */
    EXPECT_EQ((std::vector<std::string>{"0123456789ABCDEF|Design review|bob (Bob B)|alice|3"}),
              seen);
    const SEQ_MSG handed[] = {
        {FSM_INVITED, SEQ_POSTED | SEQ_WPARAM | SEQ_HWND, idle->id, 0, idle->fsmwnd},
        {0, 0},
    };
    EXPECT_TRUE(
        SEQ_Ok(handed, "posted to the idle application's window, nothing to the application"));

    session_with(idle, current);
    EXPECT_EQ(CALL_NOTHANDLED, request(invite)) << "every application has a call";
    EXPECT_EQ(1u, seen.size());
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

    // Ids compare as exact texts: neither case nor a prefix matches.
    for (const char *other : {"The-Call", "the-cal"}) {
        SampleCall unknown(other, CALL_UPDATE);
        EXPECT_EQ(CALL_NOTHANDLED, request(unknown)) << other;
    }
    update.request.caller = nullptr;
    EXPECT_EQ(CALL_NOTHANDLED, request(update));
    EXPECT_EQ(1u, seen.size());

    // A window that is gone: the copy is released, the request not handled.
    DestroyWindow(has_call->fsmwnd);
    update.request.caller = &update.caller;
    EXPECT_EQ(CALL_NOTHANDLED, request(update));
    EXPECT_EQ(1u, seen.size());
}

TEST_F(Procs, EachReplyCodeSetsItsStateAndNotifiesCodePlusOne)
{
    SampleCall call{"outgoing"};
    CMAPP *a = app();
    CMSESSION *session = session_with(a, call);
    const CM *member1 = session->call->caller->members->next->cm;
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
        CALLRPY r{row.msg, &call.members[0], &call.members[1], call.callid.data(), 42};
        EXPECT_EQ(CALL_DELIVERED, *callproc_reply_1_svc(&r));
        SEQ_Pump();
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
