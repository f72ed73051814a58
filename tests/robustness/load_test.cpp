// Hosts 2 to 4 invite the one application of host 1 at once: no invitation
// is lost, and afterwards the library holds what it held before.
#include "api/callfixture.h"
#include "robustness/alloc_count.h"

#include <memory>
#include <string>
#include <vector>

namespace {

const int INVITING_HOSTS = 3; // hosts 2 .. 4
const int INVITATIONS = 20;   // from each

class Load : public CallFixture {};

TEST_F(Load, ThreeHostsInviteOneApplicationAtOnce)
{
    LIB_Settings.autoaccept = 1;
    LIB_Settings.callring = LIB_Settings.rsvpring = 0;
    WORD app = start();
    // The first wait takes the new server's sockets over: pumped before counting.
    ASSERT_TRUE(ct_wait_until([] { return holdings().local == 0; }));
    ct_pump();

    // Each accepted call's session is closed at once, freeing the application.
    int started = 0, refused = 0;
    ct_on_note() = [&](const Note &n) {
        refused += n.code == CMN_INVITEREFUSED;
        if (n.code != CMN_CALLSTARTED)
            return;
        ++started;
        ct_keep_session_sockets(n.session);
        EXPECT_EQ(0u, CMCloseSession(n.session));
    };
    const Holdings before = holdings();

    std::vector<std::unique_ptr<CtPeer>> hosts;
    for (int host = 2; host < 2 + INVITING_HOSTS; ++host) {
        std::string loop = "-c 'for i in $(seq " + std::to_string(INVITATIONS) + "); do " +
                           FOREIGN_PEER + " invite host1.callmgr.test user$i --timeout 10; done'";
        hosts.push_back(std::make_unique<CtPeer>(ct_peer_command(host, "sh", loop)));
    }
    // Per invitation "answer 3" (not handled), or "answer 16" and its reply.
    int accepted = 0, not_handled = 0;
    std::vector<std::string> lost;
    for (auto &peer : hosts) {
        for (std::string line = peer->line(); line != "<eof>"; line = peer->line()) {
            std::string reply = line == "answer 16" ? peer->line() : line;
            if (line == "answer 3")
                ++not_handled;
            else if (reply.rfind("reply msg=1 ", 0) == 0)
                ++accepted;
            else
                lost.push_back(reply);
        }
        peer->finish();
    }
    ct_pump();
    ct_close_sockets();
    ct_reset();

    EXPECT_TRUE(lost.empty()) << ::testing::PrintToString(lost);
    EXPECT_EQ(INVITING_HOSTS * INVITATIONS, accepted + not_handled);
    EXPECT_GE(accepted, 1);
    EXPECT_EQ(0, refused) << "an idle application accepts at once";
    EXPECT_EQ(accepted, started) << "the inviters saw what the application was told";
    EXPECT_EQ(before, holdings()) << "the library holds what it held before";
    EXPECT_EQ(nullptr, APP_Find(app)->sessions);
    EXPECT_EQ(0u, APP_Find(app)->busy);
}

} // namespace
