// A two-party call grows into a conference on a net of three hosts: host 2
// gets the new member list before host 3 is invited, whose dialog shows all
// three members.
#include "api/callfixture.h"
#include "ui/dialogs.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>

namespace {

class Conference : public CallFixture {
  protected:
    void SetUp() override
    {
        ASSERT_NE(nullptr, getenv("CALLMGR_NET_EXEC")) << "runs on host 1 of a net";
        CallFixture::SetUp();
        app = start();
        session = CMOpenSession(app);
        ASSERT_LT(session, 128);
    }

    WORD app = 0, session = 0;
};

TEST_F(Conference, AThirdMemberIsAnnouncedToTheJoinedOneFirst)
{
    CtPeer bob(ct_peer_command(2, PEER_PROGRAM, "stay"));
    CtPeer carol(ct_peer_command(3, PEER_PROGRAM, "rsvp"));
    ASSERT_EQ("ready host2", bob.line());
    ASSERT_EQ("ready host3", carol.line());

    ASSERT_EQ(0u, CMInviteUser(session, "Bob <bob@host2.callmgr.test>", "Growing"));
    ASSERT_TRUE(ct_wait_for(2));
    EXPECT_EQ(0, bob.line().find("started size=948 "));

    UINT invited = 1;
    DialogScript()
        .on(100, "type carol's address, Call",
            [](HWND dlg) {
                return PalTypeText(GetDlgItem(dlg, 102), "Carol <carol@host3.callmgr.test>") &&
                       PalPressButton(dlg, 110);
            })
        .run([&] { invited = CMInvite(session); });
    ASSERT_EQ(0u, invited);
    ASSERT_TRUE(ct_wait_until([] { return std::ranges::count(ct_codes(), 2) == 2; }));
    ct_pump();
    EXPECT_EQ((std::vector<int>{CMN_CALLSTARTED, CMN_ADDRESS, CMN_RINGING, 2, CMN_MEMBERSADDED,
                                CMN_ADDRESS, CMN_UPDATING, CMN_RINGING, 2}),
              ct_codes_of(session));
    EXPECT_EQ((LPARAM)0x020012C6, ct_notes()[6].lparam) << "the update went to bob";
    EXPECT_EQ((LPARAM)0x030012C6, ct_notes()[7].lparam) << "then carol was invited";

    /* Bob's application got the new member list; carol saw all three. */
    std::string updated = bob.line();
    EXPECT_EQ(0, updated.find("updated size=1144 ")) << updated;
    EXPECT_NE(std::string::npos, updated.find(" count=3 ")) << updated;
    EXPECT_NE(std::string::npos, updated.find("carol@host3.callmgr.test/030012c6")) << updated;
    EXPECT_EQ("cleanup 0", bob.line());
    EXPECT_EQ(0, bob.finish());
    EXPECT_EQ("rsvp subject=Growing from=host1 label=Members: (3) members=Bob Carol host1",
              carol.line());
    EXPECT_EQ(0, carol.line().find("started size=1144 "));
    EXPECT_EQ("cleanup 0", carol.line());
    EXPECT_EQ(0, carol.finish());

    EXPECT_EQ(0u, CMCleanup(app));
}

} // namespace
