// Many invitations at once: hosts 2, 3 and 4 each invite the one answering
// application of host 1 (this program) again and again, as fast as their
// answers come, all three at the same time.  Every invitation must get an
// answer -- accepted, declined, or not handled while the application was
// still in its previous call -- none may be lost, and once the calls are
// closed the library holds what it held before.
//
// The inviters are the foreign peer, which reports what its request was
// answered (16 taken, 3 not handled) and the reply that followed.
#include "api/calltest.h"
#include "robustness/alloc_count.h"

#include "api/settings.h"
#include "fsm/fsm.h"
#include "netlib/netlib.h"
#include "protocol/rpc.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

namespace {

const int INVITING_HOSTS = 3; // hosts 2 .. 4
const int INVITATIONS = 20;   // from each

struct Tally {
    int accepted = 0;
    int declined = 0;
    int not_handled = 0;
    int lost = 0;
    std::vector<std::string> strange;
};

// Reads one inviting host's report to its end.  Each invitation prints
// "answer N", and when it was taken the reply ("reply msg=M ...") or
// "timeout"; a request that reached nobody prints "answer none: ...".
void read_report(CtPeer &peer, Tally &tally)
{
    for (std::string line = peer.line(); line != "<eof>"; line = peer.line()) {
        if (line == "answer 3") {
            ++tally.not_handled;
        } else if (line == "answer 16") {
            std::string reply = peer.line();
            if (reply.rfind("reply msg=1 ", 0) == 0)
                ++tally.accepted;
            else if (reply.rfind("reply msg=4 ", 0) == 0)
                ++tally.declined;
            else {
                ++tally.lost;
                tally.strange.push_back(reply);
            }
        } else {
            ++tally.lost;
            tally.strange.push_back(line);
        }
    }
}

class Load : public ::testing::Test {
  protected:
    void SetUp() override
    {
        saved = LIB_Settings;
        owner = ct_start_window();
        ASSERT_NE(nullptr, owner);
        LIB_Settings.callring = 0;
        LIB_Settings.rsvpring = 0;
    }
    void TearDown() override
    {
        for (CMAPP *app = APP_First(); app; app = APP_First()) {
            app->busy = 0;
            CMCleanup(app->id);
        }
        DestroyWindow(owner);
        ct_pump();
        ct_reset();
        LIB_Settings = saved;
        EXPECT_EQ(0u, SERVER_Users());
    }

    CMSETTINGS saved;
    HWND owner = nullptr;
};

TEST_F(Load, ThreeHostsInviteOneApplicationAtOnce)
{
    LIB_Settings.autoaccept = 1;
    WORD app = CMStartup(owner, CT_NOTIFY, nullptr);
    ASSERT_LT(app, 128);
    /* The address stays known from an earlier registration; the lookup's
     * own record goes when its answer arrives. */
    ASSERT_TRUE(
        ct_wait_until([] { return FSM_LocalAddress() != 0xFFFFFFFFu && holdings().local == 0; }));

    /* As a conferencing application that takes one call after the other:
     * an accepted call's session is closed at once (with its sockets), so
     * that the application is free for the next invitation. */
    int started = 0, refused = 0, close_failures = 0;
    ct_on_note() = [&](const Note &n) {
        if (n.code == CMN_INVITEREFUSED)
            ++refused;
        if (n.code != CMN_CALLSTARTED)
            return;
        ++started;
        if (CMCloseSession(n.session) != 0)
            ++close_failures;
        NET_Close((SOCKET)(int)ct_info(n).udpsocket1);
        NET_Close((SOCKET)(int)ct_info(n).udpsocket2);
    };
    const Holdings before = holdings();

    std::vector<std::unique_ptr<CtPeer>> hosts;
    for (int host = 2; host < 2 + INVITING_HOSTS; ++host) {
        std::string loop = "-c 'for i in $(seq " + std::to_string(INVITATIONS) + "); do " +
                           FOREIGN_PEER + " invite host1.callmgr.test user$i --timeout 10; done'";
        hosts.push_back(std::make_unique<CtPeer>(ct_peer_command(host, "sh", loop)));
    }
    /* This thread serves every invitation while it waits for the reports. */
    Tally tally;
    for (auto &peer : hosts) {
        read_report(*peer, tally);
        peer->finish();
    }
    ct_pump();

    const int total = INVITING_HOSTS * INVITATIONS;
    EXPECT_EQ(0, tally.lost) << ::testing::PrintToString(tally.strange);
    EXPECT_EQ(total, tally.accepted + tally.declined + tally.not_handled);
    EXPECT_GE(tally.accepted, 1);
    EXPECT_EQ(0, tally.declined) << "an idle application accepts at once";
    /* What the inviters saw is what the application was told. */
    EXPECT_EQ(tally.accepted, started);
    EXPECT_EQ(tally.declined, refused);
    EXPECT_EQ(0, close_failures);
    EXPECT_EQ(before, holdings()) << "the library holds what it held before";
    EXPECT_EQ(nullptr, APP_Find(app)->sessions);
    EXPECT_EQ(0u, APP_Find(app)->busy);
    std::printf("load: %d accepted, %d declined, %d not handled of %d\n", tally.accepted,
                tally.declined, tally.not_handled, total);
}

} // namespace
