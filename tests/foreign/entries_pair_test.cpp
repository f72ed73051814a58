// The library's entries against the foreign peer on a pair of hosts: an
// application on host A places a call with CMInviteUser to the peer on
// host B and learns of its acceptance; the peer invites an application that
// accepts by itself and gets its acceptance back.
#include "api/callfixture.h"
#include "protocol/rpctest.h"
#include "foreign/linematch.h"

#include "api/settings.h"
#include "fsm/fsm.h"
#include "netlib/netlib.h"
#include "protocol/rpc.h"
#include "registry/registry.h"

#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

// The foreign peer on host B.
class Peer : public CtPeer {
  public:
    explicit Peer(const std::string &args) : CtPeer(ct_peer_command(0, FOREIGN_PEER, args)) {}
};

class ForeignEntries : public CallFixture {
  protected:
    WORD start()
    {
        WORD id = CallFixture::start();
        EXPECT_EQ(0xC6120001u, FSM_LocalAddress());
        return id;
    }
};

TEST_F(ForeignEntries, CMInviteUserReachesTheForeignPeerAndItsAcceptanceComesBack)
{
    WORD app = start();
    WORD session = CMOpenSession(app);
    ASSERT_LT(session, 128);
    Peer peer("answer");
    ASSERT_EQ("ready", peer.line());

    ASSERT_EQ(0u, CMInviteUser(session, "Bob B <bob@hostb.callmgr.test>", "Entry call"));
    ASSERT_TRUE(ct_wait_for(2)) << "the acceptance, as reply code + 1";
    const std::string invited = peer.line();
    EXPECT_TRUE(line_matches(invited, "invite msg=0 callid=3323068417/# subject=Entry call "
                                      "seqno=# members=2 to=bob@hostb.callmgr.test "
                                      "from=*@hosta.callmgr.test"))
        << invited;
    EXPECT_EQ("replied msg=1 host=198.18.0.1 answer=16", peer.line());
    EXPECT_EQ(0, peer.finish());

    const std::vector<int> codes = ct_codes();
    ASSERT_FALSE(codes.empty());
    EXPECT_EQ(CMN_CALLSTARTED, codes.front());
    EXPECT_EQ(2, codes.back());
    const Note &joined = ct_notes().back();
    EXPECT_EQ(session & 0xFF, joined.session);
    EXPECT_EQ((LPARAM)0x020012C6, joined.lparam) << "B's address, network order";
    EXPECT_EQ(0u, CMCloseSession(session));
}

TEST_F(ForeignEntries, AnAutoAcceptingApplicationAnswersTheForeignPeer)
{
    CMINFO info{};
    info.autoaccept = 1;
    ASSERT_TRUE(CMSetInfo(&info));
    start();

    Peer peer("invite hosta.callmgr.test alice --subject 'Auto answer'");
    EXPECT_EQ("answer 16", peer.line());
    // Reading on lets this thread run the invitation's handler, which
    // accepts and replies.
    const std::string reply = peer.line();
    EXPECT_TRUE(line_matches(reply, "reply msg=1 from=alice@hosta.callmgr.test "
                                    "to=foreign@hostb.callmgr.test callid=3323068418/# seqno=1"))
        << reply;
    EXPECT_EQ(0, peer.finish());

    ASSERT_TRUE(ct_wait_for(CMN_CALLSTARTED));
    const Note &started = ct_notes().back();
    ASSERT_EQ(CMN_CALLSTARTED, started.code);
    ASSERT_GE(started.block.size(), sizeof(CMCALLINFO) + sizeof(CMMEMBERENTRY));
    EXPECT_EQ(2u, ct_info(started).count);
    EXPECT_STREQ("Auto answer", ct_info(started).subject);
    EXPECT_STREQ("foreign", ct_entry(started, 0).user) << "the originator first";
    EXPECT_STREQ("alice", ct_entry(started, 1).user);
}

} // namespace
