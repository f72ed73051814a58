// CALL_Send to this process's own server: the target chosen by address or
// name, and the failures that all end as CALL_UNREACHABLE.
#include "protocol/callsample.h"
#include "protocol/probeapp.h"

#include "fsm/fsm.h"
#include "netlib/netlib.h"
#include "protocol/rpc.h"
#include "support/msgseq.h"

#include <gtest/gtest.h>

namespace {

const UINT NOTIFY = WM_USER + 9;
const UINT CHANGE_CALL = WM_USER + 11; // posted before an exchange, handled while it waits

std::vector<std::string> subjects; // of the invitations that arrived
std::vector<size_t> member_counts; // and their member lists' lengths

CALLCTX *changing = nullptr;

LRESULT CALLBACK fsm_probe(HWND hwnd, UINT msg, WPARAM wparam, LPARAM lparam)
{
    if (msg == CHANGE_CALL && changing) {
        // As a re-entered entry of the application might.
        REC_Free(changing->to->host);
        changing->to->host = REC_CopyText("nosuch.callmgr.test");
        REC_Free(changing->caller->subject);
        changing->caller->subject = REC_CopyText("Changed");
        changing = nullptr;
    }
    if (msg != FSM_INVITED && msg != FSM_UPDATED)
        return DefWindowProcA(hwnd, msg, wparam, lparam);
    if (msg == FSM_INVITED) {
        subjects.push_back(((const CALLCTX *)lparam)->caller->subject);
        member_counts.push_back(list_length(((const CALLCTX *)lparam)->caller->members));
    }
    CALL_Free((CALLCTX *)lparam); // not answered
    return 0;
}

class Send : public ::testing::Test {
  protected:
    void SetUp() override
    {
        ASSERT_EQ(1, NET_Startup(resource_instance()));
        SEQ_RegisterClass("SendOwner");
        owner = SEQ_CreateWindow("SendOwner");
        sender = probe_app(owner, NOTIFY, "SendFsm", fsm_probe);
        ASSERT_TRUE(SERVER_Startup());
        ASSERT_TRUE(CLIENT_Startup());
        ASSERT_EQ(0, CALL_FromRequest(&call, &sample.request));
        subjects.clear();
        member_counts.clear();
    }
    void TearDown() override
    {
        APP_Destroy(sender);
        CALL_Free(call);
        DestroyWindow(owner);
        NET_Cleanup();
    }

    INT send_invite()
    {
        INT r = CALL_Send(sender, call, CALL_INVITE, FALSE);
        SEQ_Pump();
        return r;
    }
    // No usable address: the host's own name, another loopback address of it.
    void address_by_name(const char *host = getenv("CALLMGR_HOST_NAME"))
    {
        call->to->ipaddr = 0;
        REC_Free(call->to->host);
        call->to->host = host ? REC_CopyText(host) : nullptr;
    }

    HWND owner = nullptr;
    CMAPP *sender = nullptr;
    SampleCall sample{"call-from-alice"};
    CALLCTX *call = nullptr;
};

TEST_F(Send, ARequestReachesTheOwnServerByAddressOrByName)
{
    call->to->ipaddr = 0x7F000001u; // 127.0.0.1; its host text says "hostb"
    EXPECT_EQ(CALL_DELIVERED, send_invite());
    EXPECT_EQ(0u, sender->busy);
    address_by_name();
    EXPECT_EQ(CALL_DELIVERED, send_invite());
    call->to->ipaddr = 0xFFFFFFFFu;
    EXPECT_EQ(CALL_DELIVERED, send_invite());
    EXPECT_EQ(3u, subjects.size());

    // A session with a call makes the application busy: answered 3.
    CMSESSION *s = SESSION_Create(sender);
    ASSERT_EQ(0, CALL_FromRequest(&s->call, &sample.request));
    EXPECT_EQ(CALL_NOTHANDLED, send_invite());
    EXPECT_EQ(3u, subjects.size());
}

TEST_F(Send, TheExchangeSendsTheCallAsItWasWhenItStarted)
{
    address_by_name();
    changing = call;
    PostMessageA(sender->fsmwnd, CHANGE_CALL, 0, 0);
    EXPECT_EQ(CALL_DELIVERED, send_invite());
    EXPECT_EQ(nullptr, changing) << "the call changed while the exchange ran";
    EXPECT_EQ((std::vector<std::string>{"Design review"}), subjects);
    EXPECT_STREQ("Changed", call->caller->subject);
}

TEST_F(Send, AnInvitationTooLongToBeEncodedOnTheStackArrivesWhole)
{
    call->to->ipaddr = 0x7F000001u;
    const u_long first_block = 4096; // encoded on the stack up to this
    // The members twice over, and again, until the record passes the block.
    CALLREQ request = {CALL_INVITE, call->to, call->from, call->caller};
    for (int doubled = 0; xdr_sizeof(RPC_XdrProc(xdr_CALLREQ), &request) <= first_block;
         ++doubled) {
        ASSERT_LT(doubled, 16);
        CML *tail = call->caller->members;
        while (tail->next)
            tail = tail->next;
        tail->next = CML_Copy(call->caller->members);
    }
    const size_t members = list_length(call->caller->members);
    EXPECT_EQ(CALL_DELIVERED, send_invite());
    EXPECT_EQ((std::vector<size_t>{members}), member_counts);

    // One that only just fits the block goes the same way.
    while (xdr_sizeof(RPC_XdrProc(xdr_CALLREQ), &request) > first_block) {
        CML *before = call->caller->members;
        while (before->next->next)
            before = before->next;
        CML_Free(before->next);
        before->next = nullptr;
    }
    EXPECT_EQ(CALL_DELIVERED, send_invite());
    EXPECT_EQ(2u, member_counts.size());
    EXPECT_EQ(list_length(call->caller->members), member_counts.back());
}

TEST_F(Send, EveryFailureOfTheExchangeIsUnreachableAndLeavesBusyAsItWas)
{
    sender->busy = 2;
    // Without a caller nothing is sent at all.
    EXPECT_EQ(CMERR_NOCALL, CALL_Send(sender, nullptr, CALL_INVITE, FALSE));
    LPCALLER caller = call->caller;
    call->caller = nullptr;
    EXPECT_EQ(CMERR_NOCALL, CALL_Send(sender, call, CALL_ACCEPT, TRUE));
    call->caller = caller;
    address_by_name("nosuch.callmgr.test");
    EXPECT_EQ(CALL_UNREACHABLE, send_invite());
    address_by_name(nullptr);
    EXPECT_EQ(CALL_UNREACHABLE, send_invite());
    // A record that cannot be encoded: nothing reaches the server.
    call->to->ipaddr = 0x7F000001u;
    std::string long_subject(300, 's');
    char *subject = call->caller->subject;
    call->caller->subject = long_subject.data();
    EXPECT_EQ(CALL_UNREACHABLE, send_invite());
    call->caller->subject = subject;
    EXPECT_EQ(2u, sender->busy);
    EXPECT_TRUE(subjects.empty());

    // A host whose port mapper does not know the program.
    APP_Destroy(sender); // the last reference takes the server down
    sender = APP_Create(owner, NOTIFY);
    call->to->ipaddr = 0x7F000002u;
    EXPECT_EQ(CALL_UNREACHABLE, send_invite());
}

} // namespace
