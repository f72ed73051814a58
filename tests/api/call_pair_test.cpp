// A call between two isolated hosts through the entries: host A (this
// program) invites call_peer's auto-accepting application on host B, and
// both see the same call.  (Declines: tests/integration/three_host_test.)
#include "api/callfixture.h"

#include "members/members.h"

#include <string>

namespace {

class CallPair : public CallFixture {};

TEST_F(CallPair, AnAutoAcceptingPeerJoinsTheCall)
{
    WORD session = 0;
    WORD app = start_caller(&session);
    CtPeer peer(ct_peer_command(0, PEER_PROGRAM, "accept"));
    ASSERT_EQ("ready hostb", peer.line());
    ASSERT_EQ(0u, CMInviteUser(session, "Bob B <bob@hostb.callmgr.test>", "Design review"));
    ASSERT_TRUE(ct_wait_for(2));
    ct_pump();
    EXPECT_EQ((std::vector<int>{CMN_CALLSTARTED, CMN_ADDRESS, CMN_RINGING, 2}), ct_codes());
    EXPECT_EQ((LPARAM)0x020012C6, ct_notes().back().lparam) << "B's address, network order";
    const CMCALLINFO &mine = ct_info(ct_notes()[0]);
    CMAPPINFO appinfo{};
    ASSERT_EQ(0u, CMGetAppInfo(session, &appinfo));

    // B's block: the same call seen from B, on the ports A chose.
    char expected[512];
    snprintf(expected, sizeof expected,
             "started size=948 local=020012c6 origin=010012c6 groups=%08x/%08x tcp=%u "
             "udp=%u/%u sockets=11 subject=Design review count=2 hosta@hosta.callmgr.test/010012c6 "
             "bob@hostb.callmgr.test/020012c6",
             mine.group1, mine.group2, appinfo.tcpport, mine.udpport1, mine.udpport2);
    EXPECT_EQ(expected, peer.line());
    EXPECT_EQ("cleanup 0", peer.line());
    EXPECT_EQ(0, peer.finish());
    EXPECT_EQ(CMS_JOINED, SESSION_Find(session, nullptr)->call->caller->members->next->cm->state);
    EXPECT_EQ(0u, APP_Find(app)->ringtimer) << "the answer stops the ring";
}

} // namespace
