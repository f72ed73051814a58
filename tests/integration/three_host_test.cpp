// One application on host 1 of a net of three calls host 2 and host 3 at
// the same time, from two sessions: each answer must find its own session
// through its call's identifier.  call_peer answers on hosts 2 and 3.
#include "api/callfixture.h"
#include "protocol/rpctest.h"

#include "members/members.h"

#include <string>
#include <vector>

namespace {

class ThreeHosts : public CallFixture {
  protected:
    void TearDown() override
    {
        CallFixture::TearDown();
        EXPECT_EQ("", registered_transports()) << "the port mapper lists nothing of ours";
    }
};

CALLER *caller(WORD session)
{
    CMSESSION *s = SESSION_Find(session, nullptr);
    return s && s->call ? s->call->caller : nullptr;
}

TEST_F(ThreeHosts, TwoSessionsCallTwoHostsAtOnceAndEachAnswerFindsItsSession)
{
    PalSoundClear();
    WORD first = 0;
    const WORD app = start_caller(&first);
    // The call identifiers carry the local address (198.18.0.1), checked exactly.
    ASSERT_EQ(0xC6120001u, FSM_LocalAddress());
    CtPeer two(ct_peer_command(2, PEER_PROGRAM, "accept"));
    CtPeer three(ct_peer_command(3, PEER_PROGRAM, "decline"));
    ASSERT_EQ("ready host2", two.line());
    ASSERT_EQ("ready host3", three.line());
    // Within one tick of the clock: the two calls start in the same millisecond.
    const WORD second = CMOpenSession(app);
    ASSERT_LT(second, 128);
    ASSERT_NE(first, second);
    PalClockSetVirtual(TRUE, 500000);
    UINT one = CMInviteUser(first, "Bob B <bob@host2.callmgr.test>", "First call");
    UINT other = CMInviteUser(second, "Carol C <carol@host3.callmgr.test>", "Second call");
    PalClockSetVirtual(FALSE, 0);
    ASSERT_EQ(0u, one);
    ASSERT_EQ(0u, other);
    // Replies find their session by the call identifier alone, so the
    // second call's must differ although its tick count is the same.
    EXPECT_STREQ("3323068417/500000", caller(first)->callid);
    EXPECT_STREQ("3323068417/500001", caller(second)->callid);
    // Started, address, ringing and the answer in each session.
    ASSERT_TRUE(ct_wait_until([&] {
        return ct_codes_of(first).size() >= 4 && ct_codes_of(second).size() >= 4;
    })) << ::testing::PrintToString(ct_codes());

    EXPECT_EQ((std::vector<int>{CMN_CALLSTARTED, CMN_ADDRESS, CMN_RINGING, 2}), ct_codes_of(first));
    EXPECT_EQ((std::vector<int>{CMN_CALLSTARTED, CMN_ADDRESS, CMN_RINGING, 5}),
              ct_codes_of(second));
    // Each session rang, and was answered by, its own host (network order).
    for (const Note &n : ct_notes())
        if (n.code == CMN_RINGING || n.code == 2 || n.code == 5) {
            EXPECT_EQ(n.session == first ? 0x020012C6 : 0x030012C6, n.lparam) << int(n.code);
        }
    EXPECT_EQ(CMS_JOINED, caller(first)->members->next->cm->state);
    EXPECT_EQ(CMS_DECLINED, caller(second)->members->next->cm->state);

    // Host 2 received its own call, not the second session's.
    const std::string started = two.line();
    EXPECT_NE(std::string::npos, started.find(" tcp=" + std::to_string(caller(first)->tcpport) +
                                              " udp=" + std::to_string(caller(first)->udpport1)))
        << started;
    EXPECT_NE(std::string::npos, started.find(" subject=First call ")) << started;
    EXPECT_STRNE(caller(first)->group1, caller(second)->group1);
    EXPECT_EQ("refused session=0 lparam=0", three.line());
    EXPECT_EQ("cleanup 0", two.line());
    EXPECT_EQ("cleanup 0", three.line());
    EXPECT_EQ(0, two.finish());
    EXPECT_EQ(0, three.finish());

    // The ring of both calls stops once both are answered.
    ASSERT_NE(nullptr, APP_Find(app));
    EXPECT_EQ(0u, APP_Find(app)->ringtimer);
    PAL_SOUND last{};
    ASSERT_TRUE(PalSoundGet(PalSoundCount() - 1, &last));
    EXPECT_TRUE(last.stop) << "the last sound request stops the ring";
    EXPECT_EQ(0u, CMCloseSession(first));
    EXPECT_EQ(0u, CMCloseSession(second));
}

} // namespace
