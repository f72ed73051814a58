// The library (host A: its server and CALL_Send) against the foreign peer on
// host B, in both directions.  A declining reply differs from an accepting
// one only in its message code, which the library's own tests cover.
#include "protocol/callsample.h"
#include "protocol/probeapp.h"
#include "api/calltest.h"

#include "fsm/fsm.h"
#include "netlib/netlib.h"
#include "protocol/rpc.h"
#include "support/msgseq.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

const UINT NOTIFY = WM_USER + 21;

// The state-machine window only records, so nothing rings.
struct Invitation {
    WPARAM app = 0;
    CALLCTX *call = nullptr;
};
std::vector<Invitation> invitations;

LRESULT CALLBACK fsm_probe(HWND hwnd, UINT msg, WPARAM wparam, LPARAM lparam)
{
    if (msg == FSM_INVITED) {
        invitations.push_back(Invitation{wparam, (CALLCTX *)lparam});
        return 0;
    }
    return DefWindowProcA(hwnd, msg, wparam, lparam);
}

class ForeignPair : public ::testing::Test {
  protected:
    void SetUp() override
    {
        ASSERT_EQ(1, NET_Startup(resource_instance()));
        SEQ_RegisterClass("ForeignOwner");
        owner = SEQ_CreateWindow("ForeignOwner");
        app = probe_app(owner, NOTIFY, "ForeignFsm", fsm_probe);
        ASSERT_TRUE(SERVER_Startup());
        ASSERT_TRUE(CLIENT_Startup());
        invitations.clear();
        SEQ_Flush();
    }
    void TearDown() override
    {
        for (CMSESSION *s = app->sessions; s; s = s->next) {
            CALL_Free(s->call);
            s->call = nullptr;
        }
        for (Invitation &i : invitations)
            CALL_Free(i.call);
        invitations.clear();
        APP_Destroy(app);
        DestroyWindow(owner);
        NET_Cleanup();
    }

    HWND owner = nullptr;
    CMAPP *app = nullptr;
};

TEST_F(ForeignPair, TheLibrarysInvitationIsAcceptedByTheForeignPeer)
{
    // A call held as host A holds it after resolving: alice on A invites
    // bob on B; a third member differs from bob only in its real name.
    SampleCall sample("foreign-call-1");
    sample.texts[0][0] = "hosta.callmgr.test";
    sample.members[0].host = sample.texts[0][0].data();
    CMSESSION *session = SESSION_Create(app);
    ASSERT_EQ(0, CALL_FromRequest(&session->call, &sample.request));
    CALLCTX *call = session->call;
    LPCM third = call->caller->members->next->next->cm;
    CtPeer peer(ct_peer_command(0, FOREIGN_PEER, "answer"));
    ASSERT_EQ("ready", peer.line());

    EXPECT_EQ(CALL_DELIVERED, CALL_Send(app, call, CALL_INVITE, FALSE));
    EXPECT_EQ("invite msg=0 callid=foreign-call-1 subject=Design review seqno=42 members=3 "
              "to=bob@hostb from=alice@hosta.callmgr.test",
              peer.line());
    // The peer's reply reaches this host's server while the line is awaited.
    EXPECT_EQ("replied msg=1 host=198.18.0.1 answer=16", peer.line());
    EXPECT_EQ(0, peer.finish());
    SEQ_Pump();
    EXPECT_EQ(CMS_JOINED, call->to->state);
    EXPECT_EQ(CMS_IDLE, third->state) << "told apart by its real name";
    ASSERT_EQ(1u, SEQ_Count());
    EXPECT_EQ((WPARAM)((2 << 8) | app->sessions->id), SEQ_Log()[0].wparam);
    EXPECT_EQ((LPARAM)0x020012C6, SEQ_Log()[0].lparam) << "B's address, network order";
    EXPECT_EQ(0u, app->busy);
}

TEST_F(ForeignPair, TheForeignPeersInvitationReachesTheApplicationAndIsAnswered)
{
    CtPeer peer(
        ct_peer_command(0, FOREIGN_PEER, "invite hosta.callmgr.test alice --subject 'From afar'"));
    EXPECT_EQ("answer 16", peer.line());
    SEQ_Pump();
    ASSERT_EQ(1u, invitations.size());
    EXPECT_EQ((WPARAM)app->id, invitations[0].app);
    CALLCTX *call = invitations[0].call;
    ASSERT_TRUE(call && call->caller && call->to && call->from && call->caller->members);
    const std::string callid = call->caller->callid;
    EXPECT_EQ(0u, callid.rfind("3323068418/", 0)) << callid << ": made by 198.18.0.2, B";
    EXPECT_EQ(std::string::npos, callid.find_first_not_of("0123456789", 11)) << callid;
    EXPECT_STREQ("From afar", call->caller->subject);
    EXPECT_EQ(0xC6120001u, call->to->ipaddr);
    EXPECT_STREQ("hostb.callmgr.test", call->from->host);
    EXPECT_EQ(0xC6120002u, call->from->ipaddr);
    EXPECT_EQ(call->from, call->caller->members->cm) << "found again in the copied list";

    // The library's own reply, through CALL_Send, reaches the peer.
    EXPECT_EQ(CALL_DELIVERED, CALL_Send(app, call, CALL_ACCEPT, TRUE));
    EXPECT_EQ("reply msg=1 from=alice@hosta.callmgr.test to=foreign@hostb.callmgr.test "
              "callid=" +
                  callid + " seqno=1",
              peer.line());
    EXPECT_EQ(0, peer.finish());
}

} // namespace
