// The invited side, driven by posting received calls to the state-machine
// window.  The inviter is this host under 127.0.0.1: answers come back here.
#include "api/callfixture.h"

#include "members/members.h"
#include "protocol/callsample.h"

namespace {

class Invited : public CallFixture {
  protected:
    void SetUp() override
    {
        CallFixture::SetUp();
        LIB_Settings.autoaccept = 1;
        app = start();
        rec = APP_Find(app);
        sample.members[0].ipaddr = 0x7F000001u; // the inviter: this host again
        CMSESSION *s = SESSION_Create(rec);
        ASSERT_EQ(0, CALL_FromRequest(&s->call, &sample.request));
        inviter = s->id;
    }

    // Hands the window a received copy of the sample, for application `id`.
    void receive(WPARAM id)
    {
        CALLCTX *call = nullptr;
        ASSERT_EQ(0, CALL_FromRequest(&call, &sample.request));
        PostMessageA(rec->fsmwnd, FSM_INVITED, id, (LPARAM)call);
    }

    static void settle(BYTE code)
    {
        ASSERT_TRUE(ct_wait_for(code));
        ct_pump();
    }

    SampleCall sample{"invited-1"};
    WORD app = 0, inviter = 0;
    CMAPP *rec = nullptr;
};

TEST_F(Invited, AnAcceptedCallGetsASessionAndTheInviterHearsOfIt)
{
    // Its own address unknown, the block shows the one the inviter reached.
    LOCALHOST_SetAddress(0xFFFFFFFFu);
    receive(app);
    settle(CMN_CALLSTARTED);
    CMSESSION *opened = rec->sessions;
    ASSERT_NE(inviter, opened->id);
    // The acceptance reached the newest session holding the call: the new one.
    ASSERT_EQ((std::vector<int>{2, CMN_CALLSTARTED}), ct_codes());
    EXPECT_EQ(opened->id, ct_notes()[1].session);
    EXPECT_EQ(-1, (int)opened->tcpsocket) << "no stream socket for an accepted call";
    const CMCALLINFO &info = ct_info(ct_notes()[1]);
    EXPECT_EQ(0x020012C6u, info.localaddr);
    EXPECT_EQ(5000u, info.udpport1) << "the ports the inviter chose";
    EXPECT_EQ(5002u, info.udpport2);
    EXPECT_EQ(0x010001E9u, info.group1) << "and its groups, 233.1.0.1 in network order";
    EXPECT_EQ(0x020001E9u, info.group2);
    EXPECT_EQ(0x0100007Fu, info.originaddr);
    for (uint32_t sock : {info.udpsocket1, info.udpsocket2})
        EXPECT_TRUE(sock != 0 && sock != ~0u) << "both datagram sockets opened";

    const CALLCTX *call = opened->call;
    EXPECT_EQ(CMS_JOINED, call->to->state);
    EXPECT_EQ(CMS_INVITED, call->caller->members->next->next->cm->state)
        << "the rest of the conference is the inviter's to invite";

    FSM_Proceed(opened->id);
    ct_pump();
    EXPECT_EQ(2u, ct_notes().size()) << "a pass over the accepted call invites no one";
}

TEST_F(Invited, AGoneOrClosingApplicationDeclines)
{
    receive(app + 1);
    settle(5);
    EXPECT_EQ((std::vector<int>{5}), ct_codes()) << "declined, and nobody here to tell";
    EXPECT_EQ(nullptr, rec->sessions->next);

    // A closing application's cleanup completes after the answer.
    rec->flags |= APP_CLOSING;
    receive(app);
    settle(CMN_CLEANEDUP);
    EXPECT_EQ((std::vector<int>{5, 5, CMN_CLEANEDUP}), ct_codes());
    EXPECT_EQ(nullptr, APP_Find(app));
}

TEST_F(Invited, AnAcceptanceUndeliveredOrUntoldKeepsNoDatagramSocket)
{
    sample.members[0].ipaddr = 0xC6120009u; // nothing answers there
    receive(app);
    settle(CMN_INVITEREFUSED);
    ASSERT_EQ(1u, ct_notes().size());
    EXPECT_NE(0, ct_notes()[0].session) << "a session had been opened";
    EXPECT_EQ(inviter, rec->sessions->id) << "and is gone again";
    EXPECT_EQ(nullptr, rec->sessions->next);
    expect_ports_free({5000, 5002});

    sample.members[0].ipaddr = 0x7F000001u;
    rec->notifymsg = 0; // nothing can be posted
    receive(app);
    ASSERT_TRUE(ct_wait_until([&] {
        return rec->sessions->id != inviter && rec->sessions->call->to->state == CMS_JOINED;
    }));
    EXPECT_EQ(INVALID_SOCKET, rec->sessions->udpsocket1) << "forgotten";
    EXPECT_EQ(INVALID_SOCKET, rec->sessions->udpsocket2);
    expect_ports_free({5000, 5002});
}

TEST_F(Invited, AWindowDestroyedWithCallsQueuedReleasesThem)
{
    receive(app);
    receive(app);
    DestroyWindow(rec->fsmwnd); // leak checking tells whether they were freed
    ct_pump();
    EXPECT_TRUE(ct_notes().empty());
}

// Cleaned up while the acceptance travels, the application is gone when the
// exchange returns; its window ends after the handler, which still closes
// the sockets of the call nobody took, and not before.
TEST_F(Invited, ACleanupDuringTheAnswerEndsTheWindowOnceTheHandlerReturns)
{
    const BYTE meanwhile = 0xEE;
    UINT during = 0;
    ct_on_note() = [&](const Note &n) {
        if (n.code == meanwhile)
            during = CMCleanup(app);
    };
    HWND fsm = rec->fsmwnd;
    receive(app);
    PostMessageA(owner, CT_NOTIFY, meanwhile << 8, 0); // met in the answer's wait
    settle(CMN_CLEANEDUP);
    EXPECT_EQ((UINT)CMERR_BUSY, during);
    EXPECT_FALSE(IsWindow(fsm));
    EXPECT_EQ(0u, NET_Users());
    expect_ports_free({5000, 5002});
}

// An exchange with this host, whose wait dispatches what is queued.
INT exchange_meanwhile(WORD app)
{
    SampleCall other{"invited-2"};
    other.members[1].ipaddr = 0x7F000001u;
    CALLCTX *call = nullptr;
    if (CALL_FromRequest(&call, &other.request) != 0)
        return -1;
    INT result = FSM_Send(app, call, CALL_INVITE, FALSE);
    CALL_Free(call);
    return result;
}

// An invitation met in an exchange's wait is answered after it: its own
// exchange would keep the outer one from returning.
TEST_F(Invited, AnInvitationArrivingDuringAnExchangeIsAnsweredAfterIt)
{
    receive(app);
    EXPECT_EQ(CALL_NOTHANDLED, exchange_meanwhile(app));
    EXPECT_TRUE(ct_notes().empty()) << "nothing answered inside the exchange";
    EXPECT_EQ(nullptr, rec->sessions->next) << "no session opened inside it";
    settle(CMN_CALLSTARTED);
    EXPECT_EQ((std::vector<int>{2, CMN_CALLSTARTED}), ct_codes());
}

TEST_F(Invited, AnInvitationHeldWhenItsWindowGoesIsFreed)
{
    receive(app);
    PostMessageA(rec->fsmwnd, WM_CLOSE, 0, 0); // met in the exchange's wait, after the call
    exchange_meanwhile(app);
    ct_pump();
    EXPECT_TRUE(ct_notes().empty()) << "leak checking tells whether the held call was freed";
}

} // namespace
