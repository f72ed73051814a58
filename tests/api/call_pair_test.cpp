// Calls between two isolated hosts through the entries, one process on each
// host: host A (this program) invites the application of call_peer on host B.
#include "api/callfixture.h"

#include "members/members.h"

#include <string>

namespace {

class CallPair : public CallFixture {
  protected:
    void SetUp() override
    {
        CallFixture::SetUp();
        app = start_caller(&session);
    }

    /* Invites bob on host B and waits for the answer's code. */
    void invite_and_wait(BYTE code)
    {
        ASSERT_EQ(0u, CMInviteUser(session, "Bob B <bob@hostb.callmgr.test>", "Design review"));
        ASSERT_TRUE(ct_wait_for(code));
        ct_pump();
    }

    /* B's application declines, as its `mode` says. */
    void expect_declined(const char *mode)
    {
        CtPeer peer(ct_peer_command(0, PEER_PROGRAM, mode));
        ASSERT_EQ("ready hostb", peer.line());
        invite_and_wait(5);
        EXPECT_EQ((std::vector<int>{CMN_CALLSTARTED, CMN_ADDRESS, CMN_RINGING, 5}), ct_codes());
        EXPECT_EQ("refused session=0 lparam=0", peer.line());
        EXPECT_EQ("cleanup 0", peer.line());
        EXPECT_EQ(0, peer.finish());
        CMSESSION *s = SESSION_Find(session, nullptr);
        EXPECT_EQ(CMS_DECLINED, s->call->caller->members->next->cm->state);
    }

    WORD app = 0, session = 0;
};

TEST_F(CallPair, AnAutoAcceptingPeerJoinsTheCall)
{
    CtPeer peer(ct_peer_command(0, PEER_PROGRAM, "accept"));
    ASSERT_EQ("ready hostb", peer.line());
    invite_and_wait(2);
    EXPECT_EQ((std::vector<int>{CMN_CALLSTARTED, CMN_ADDRESS, CMN_RINGING, 2}), ct_codes());
    EXPECT_EQ((LPARAM)0x020012C6, ct_notes().back().lparam) << "B's address, network order";
    const CMCALLINFO &mine = ct_info(ct_notes()[0]);
    CMAPPINFO appinfo{};
    ASSERT_EQ(0u, CMGetAppInfo(session, &appinfo));

    /* B's block: the same call seen from B, on the ports A chose. */
    char expected[512];
    snprintf(expected, sizeof expected,
             "started size=948 local=020012c6 origin=010012c6 groups=%08x/%08x tcp=%u "
             "udp=%u/%u sockets=11 subject=Design review count=2 hosta@hosta.callmgr.test/010012c6 "
             "bob@hostb.callmgr.test/020012c6",
             mine.group1, mine.group2, appinfo.tcpport, mine.udpport1, mine.udpport2);
    EXPECT_EQ(expected, peer.line());
    EXPECT_EQ("cleanup 0", peer.line());
    EXPECT_EQ(0, peer.finish());

    CMSESSION *s = SESSION_Find(session, nullptr);
    EXPECT_EQ(CMS_JOINED, s->call->caller->members->next->cm->state);
    EXPECT_EQ(0u, APP_Find(app)->ringtimer) << "the answer stops the ring";
}

TEST_F(CallPair, ADeclinedInvitationIsReported)
{
    expect_declined("decline");
}

TEST_F(CallPair, AnUnansweredDialogDeclinesByItself)
{
    expect_declined("timeout");
}

} // namespace
