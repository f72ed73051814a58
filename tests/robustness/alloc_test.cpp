// Out of memory at every allocation of the entries and of the invited side,
// one at a time: each run ends as it should, leaving nothing behind.  Host B
// answers A's calls with cmcall and invites A with the foreign peer.
#include "api/callfixture.h"
#include "robustness/alloc_count.h"

#include <fcntl.h>
#include <memory>
#include <set>
#include <string>
#include <unistd.h>

namespace {

// run(point, k, taken) fails the k-th allocation, k = 0, 1, ... until a run
// takes no failure (`taken`); more than 80 sites means no end was found.
template <class Run> void at_every_allocation(Run run)
{
    for (PAL_FAULT point : {PAL_FAULT_HEAPALLOC, PAL_FAULT_GLOBALALLOC, PAL_FAULT_LOCALALLOC})
        for (int k = 0;; ++k) {
            ASSERT_LT(k, 80);
            SCOPED_TRACE(::testing::Message() << "allocator " << point << ", allocation " << k);
            bool taken = false;
            run(point, k, taken);
            if (::testing::Test::HasFatalFailure() || !taken)
                break;
        }
}

// Host B's cmcall auto-accepting until its script's standard input closes.
struct Answerer {
    std::unique_ptr<CtPeer> peer;
    int stop = -1;
    Answerer()
    {
        int fds[2];
        if (pipe2(fds, O_CLOEXEC) != 0)
            return;
        int saved = fcntl(0, F_DUPFD_CLOEXEC, 3);
        dup2(fds[0], 0);
        peer = std::make_unique<CtPeer>(
            ct_peer_command(0, "sh",
                            std::string("-c '") + CMCALL_PROGRAM +
                                " answer --auto-accept --json & p=$!; read x; kill $p; wait $p'"));
        dup2(saved, 0);
        close(saved);
        close(fds[0]);
        stop = fds[1];
    }
    ~Answerer()
    {
        close(stop);
        if (peer)
            peer->finish();
    }
    // Whether a further line contains `text`.
    bool line_with(const std::string &text)
    {
        for (std::string l = peer->line(); l != "<eof>"; l = peer->line())
            if (l.find(text) != std::string::npos)
                return true;
        return false;
    }
};

class AllocFault : public CallFixture {
  protected:
    void SetUp() override
    {
        CallFixture::SetUp();
        LIB_Settings.callring = LIB_Settings.rsvpring = LIB_Settings.autoaccept = 0;
    }

    // Also lets the lookup end and the new server's sockets settle.
    WORD start_app()
    {
        WORD id = start();
        EXPECT_TRUE(ct_wait_until([] { return holdings().local == 0; }));
        ct_pump();
        return id;
    }

    // Its sockets and those of the calls notified are closed once each.
    static void close_session(WORD session)
    {
        ct_keep_session_sockets(session);
        EXPECT_EQ(0u, CMCloseSession(session));
        ct_close_sockets();
        ct_reset();
    }

    static const Note *find_note(BYTE code)
    {
        for (const Note &n : ct_notes())
            if (n.code == code)
                return &n;
        return nullptr;
    }
};

TEST_F(AllocFault, RegistrationUndoesItselfAtEveryAllocation)
{
    const Holdings before = holdings();
    at_every_allocation([&](PAL_FAULT point, int k, bool &taken) {
        // A window of its own each time sets up the local host anew.
        HWND window = CreateWindowExA(0, "CallTestApp", "", 0, 0, 0, 10, 10, nullptr, nullptr,
                                      nullptr, nullptr);
        char name[256] = "stale";
        PalFaultSet(point, k, 1, ERROR_NOT_ENOUGH_MEMORY);
        WORD id = CMStartup(window, CT_NOTIFY, name);
        taken = fault_taken(point, k);
        if (!taken) {
            ASSERT_LT(id, 128);
            EXPECT_TRUE(program_registered(IPPROTO_UDP) && program_registered(IPPROTO_TCP));
            // The resolver's worker may hold a file until the lookup ends.
            EXPECT_TRUE(ct_wait_until([] { return holdings().local == 0; }));
            EXPECT_EQ(0u, CMCleanup(id));
        } else {
            EXPECT_EQ(point == PAL_FAULT_HEAPALLOC ? CMERR_APPALLOC : CMERR_WINDOW, id);
            EXPECT_STREQ("", name);
            EXPECT_EQ(nullptr, APP_First());
        }
        EXPECT_FALSE(program_registered(IPPROTO_UDP) || program_registered(IPPROTO_TCP));
        DestroyWindow(window);
        ct_pump();
        EXPECT_EQ(0u, SERVER_Users() + CLIENT_Users() + NET_Users());
        EXPECT_EQ(before, holdings()) << "the window is gone with what it held";
    });
    EXPECT_TRUE(ct_notes().empty());
}

TEST_F(AllocFault, SessionUndoesItselfAtEveryAllocation)
{
    WORD app = start_app();
    const Holdings before = holdings();
    at_every_allocation([&](PAL_FAULT point, int k, bool &taken) {
        PalFaultSet(point, k, 1, ERROR_NOT_ENOUGH_MEMORY);
        WORD session = CMOpenSession(app);
        taken = fault_taken(point, k);
        if (!taken)
            close_session(session);
        else
            EXPECT_EQ(CMERR_SESSION, session);
        EXPECT_EQ(before, holdings());
    });
    EXPECT_TRUE(ct_notes().empty());
}

// CMInviteUser up to the answer of host B, which accepts every call.
TEST_F(AllocFault, CallEndsCleanlyAtEveryAllocationUpToTheAnswer)
{
    Answerer peer;
    ASSERT_TRUE(peer.line_with("\"waiting\""));
    WORD app = start_app();
    const Holdings before = holdings();
    std::set<std::string> ends;
    at_every_allocation([&](PAL_FAULT point, int k, bool &taken) {
        ct_reset();
        WORD session = CMOpenSession(app);
        ASSERT_LT(session, 128);
        PalFaultSet(point, k, 1, ERROR_NOT_ENOUGH_MEMORY);
        UINT status = CMInviteUser(session, "Bob B <bob@hostb.callmgr.test>", "Review");
        if (status != 0) {
            ends.insert("status");
            EXPECT_TRUE(status == CMERR_CALLALLOC || status == CMERR_BADMEMBER ||
                        status == CMERR_BLOCKALLOC)
                << status;
            EXPECT_EQ(nullptr, SESSION_Find(session, nullptr)->call) << "no call half-built";
            ct_pump();
            EXPECT_TRUE(ct_notes().empty());
        } else {
            // The run ends with the answer, or with the member given up.
            ASSERT_TRUE(ct_wait_until([] {
                return find_note(2) || find_note(CMN_NOADDRESS) || find_note(CMN_UNREACHABLE);
            }));
            ct_pump();
            std::vector<int> codes = ct_codes();
            EXPECT_EQ(CMN_CALLSTARTED, codes.empty() ? 0 : codes.front());
            if (find_note(2)) {
                // B has closed its session and waits for the next call.
                EXPECT_TRUE(peer.line_with("session-closed"));
                EXPECT_EQ(CMS_JOINED,
                          SESSION_Find(session, nullptr)->call->caller->members->next->cm->state);
            } else if (find_note(CMN_NOADDRESS)) {
                EXPECT_EQ((std::vector<int>{CMN_CALLSTARTED, CMN_NOADDRESS}), codes);
            } else {
                ends.insert("unreachable");
                EXPECT_EQ(
                    (std::vector<int>{CMN_CALLSTARTED, CMN_ADDRESS, CMN_RINGING, CMN_UNREACHABLE}),
                    codes);
            }
        }
        taken = fault_taken(point, k);
        bool answered = find_note(2) != nullptr;
        close_session(session);
        ct_pump();
        EXPECT_EQ(before, holdings());
        EXPECT_TRUE(taken || (status == 0 && answered)) << "the call succeeds once memory is back";
    });
    // Failures reach both the entry's own status and the exchange's buffers.
    EXPECT_EQ((std::set<std::string>{"status", "unreachable"}), ends);
}

// An invitation from host B, accepted by the user (GetParam()) or the library.
class InvitedAllocFault : public AllocFault, public ::testing::WithParamInterface<bool> {};

TEST_P(InvitedAllocFault, InvitationEndsCleanlyAtEveryAllocation)
{
    if (GetParam())
        PalOnModalIdle([](HWND dlg) { return PalPressButton(dlg, 6); }); // Accept
    else
        LIB_Settings.autoaccept = 1;
    WORD app = start_app();
    const Holdings before = holdings();
    std::set<std::string> ends;
    at_every_allocation([&](PAL_FAULT point, int k, bool &taken) {
        ct_reset();
        PalFaultSet(point, k, 1, ERROR_NOT_ENOUGH_MEMORY);
        CtPeer peer(
            ct_peer_command(0, FOREIGN_PEER, "invite hosta.callmgr.test alice --timeout 2"));
        std::string answer = peer.line();
        std::string outcome = answer == "answer 16" ? peer.line() : "";
        // The foreign peer ends 0 with a reply, 2 without, 1 when not taken.
        int expected_exit = answer != "answer 16" ? 1 : outcome == "timeout" ? 2 : 0;
        EXPECT_EQ(expected_exit, peer.finish()) << answer << " / " << outcome;
        ct_pump();
        taken = fault_taken(point, k);
        bool joined = outcome.rfind("reply msg=1 ", 0) == 0;
        if (answer == "answer 3") {
            ends.insert("request not copied");
            EXPECT_TRUE(ct_notes().empty());
        } else if (joined) {
            ASSERT_EQ((std::vector<int>{CMN_CALLSTARTED}), ct_codes());
            EXPECT_EQ(1, holdings().sessions);
            close_session(ct_notes()[0].session);
        } else {
            // Declined, or the answer could not be sent: the application hears.
            ASSERT_EQ("answer 16", answer);
            EXPECT_TRUE(outcome == "timeout" || outcome.rfind("reply msg=4 ", 0) == 0) << outcome;
            ends.insert(outcome == "timeout" ? "unanswered" : "declined");
            EXPECT_EQ((std::vector<int>{CMN_INVITEREFUSED}), ct_codes());
        }
        ct_pump();
        EXPECT_EQ(before, holdings());
        EXPECT_EQ(nullptr, APP_Find(app)->sessions);
        EXPECT_TRUE(taken || joined) << "the invitation is accepted once memory is back";
    });
    EXPECT_EQ((std::set<std::string>{"declined", "request not copied", "unanswered"}), ends);
}

INSTANTIATE_TEST_SUITE_P(AutoAcceptOrDialog, InvitedAllocFault, ::testing::Bool());

} // namespace
