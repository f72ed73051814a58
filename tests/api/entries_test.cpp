// The entries on hosta.callmgr.test (127.0.1.1), where no host answers for
// peer, also re-entered from inside the exchange's wait.
#include "api/callfixture.h"

#include "members/members.h"
#include "ui/dialogs.h"

#include <algorithm>
#include <cstring>
#include <string>

namespace {

class Entries : public CallFixture {
  protected:
    WORD start()
    {
        char name[256];
        WORD id = CallFixture::start(name);
        EXPECT_STREQ("hosta", name);
        return id;
    }
    // A call of `members` built and notified, as CMInviteUser would.
    static void build_call(WORD app, CMSESSION *session,
                           std::initializer_list<const char *> members)
    {
        ASSERT_EQ(0, CALL_Create(session, "two"));
        for (std::string copy : members)
            ASSERT_EQ(0, CALL_AddMember(session, copy.data()));
        HGLOBAL block = nullptr;
        ASSERT_EQ(0, CALLINFO_Build(APP_Find(app), session, session->call, &block, FALSE));
        GlobalFree(block);
    }
};

TEST_F(Entries, RegistrationTakesAndReleasesExactlyItsReferences)
{
    WORD first = CMStartup(nullptr, 0, nullptr); // its window has no owner
    ASSERT_LT(first, 128);
    WORD second = start();
    EXPECT_EQ(2u, SERVER_Users());
    HWND windows[] = {APP_Find(first)->fsmwnd, APP_Find(second)->fsmwnd};

    EXPECT_EQ(0u, CMCleanup(first));
    EXPECT_EQ((UINT)CMERR_BADAPP, CMCleanup(first));
    EXPECT_EQ((UINT)CMERR_BADAPP, CMCleanup(0));
    EXPECT_EQ(0u, CMCleanup(second | 0x10000)) << "ids compare on 16 bits";
    EXPECT_EQ(0u, SERVER_Users() + CLIENT_Users());
    for (HWND window : windows)
        EXPECT_FALSE(IsWindow(window)) << "a state-machine window ends with its application";
    EXPECT_EQ(0u, NET_Users());
}

TEST_F(Entries, SettingsAreCopiedWholeAndBoundedAndSessionsOwnTheirStreamSocket)
{
    EXPECT_FALSE(CMSetInfo(nullptr));
    EXPECT_STREQ("C:\\TEMP\\vorlane.zab", LIB_Settings.addressbook) << "kept";
    // Fields as long as the block allows, and unterminated.
    CMINFO info;
    memset(&info, 'x', sizeof info);
    info.rsvpring = 1;
    info.callring = 2;
    info.autoaccept = 3;
    ASSERT_TRUE(CMSetInfo(&info));
    for (const char *field :
         {LIB_Settings.callsound, LIB_Settings.rsvpsound, LIB_Settings.addressbook})
        EXPECT_EQ(std::string(255, 'x'), field);
    EXPECT_EQ(2, LIB_Settings.callring);
    EXPECT_EQ(3, LIB_Settings.autoaccept);

    WORD app = start();
    CMNETINFO net{};
    EXPECT_EQ((UINT)CMERR_BADAPP, CMGetNetInfo(app + 1, &net));
    EXPECT_EQ((UINT)CMERR_INVALID, CMGetNetInfo(app, nullptr));
    EXPECT_EQ((UINT)CMERR_INVALID, CMSetNetInfo(app, nullptr));
    memset(&net, 0xAB, sizeof net);
    ASSERT_EQ(0u, CMGetNetInfo(app, &net));
    EXPECT_EQ(0u, net.groupbase1 | net.tcphigh | net.stackoption) << "all zero at registration";

    EXPECT_EQ(CMERR_BADAPP, CMOpenSession(app + 1));
    net = {0, 0, 0, 0, 0, 0, 0, 5301, 5301};
    ASSERT_EQ(0u, CMSetNetInfo(app, &net));
    WORD first = CMOpenSession(app);
    ASSERT_LT(first, 128);
    CMAPPINFO about{};
    EXPECT_EQ((UINT)CMERR_INVALID, CMGetAppInfo(first, nullptr));
    ASSERT_EQ(0u, CMGetAppInfo(first, &about));
    EXPECT_EQ(0x7F000101u, about.localaddr) << "host order";
    EXPECT_EQ(5301u, about.tcpport);
    EXPECT_NE(0xFFFFFFFFu, about.tcpsocket);

    // The only port of the range is taken: no session is left behind.
    EXPECT_EQ(CMERR_SESSION, CMOpenSession(app));
    CMAPP *rec = APP_Find(app);
    ASSERT_NE(nullptr, rec->sessions);
    EXPECT_EQ(nullptr, rec->sessions->next);
    EXPECT_STREQ("hosta", rec->sessions->username);

    ct_keep_socket(about.tcpsocket);
    EXPECT_EQ(0u, CMCloseSession(first));
    EXPECT_EQ((UINT)CMERR_BADSESSION, CMCloseSession(first));
    EXPECT_EQ((UINT)CMERR_BADSESSION, CMGetAppInfo(first, &about));
    EXPECT_EQ((UINT)CMERR_BADSESSION, CMInviteUser(first, "<a@b>", nullptr));
}

TEST_F(Entries, InviteUserRefusesWhatItCannotCarryAndLeavesNoCall)
{
    WORD s = CMOpenSession(start());
    ASSERT_LT(s, 128);
    CMSESSION *session = SESSION_Find(s, nullptr);

    std::string over = "<u@" + std::string(252, 'h') + ">"; // 256 characters
    for (const char *bad : {"no angle bracket", (const char *)nullptr, over.c_str()})
        EXPECT_EQ((UINT)CMERR_BADMEMBER, CMInviteUser(s, bad, "x"));
    EXPECT_EQ(nullptr, session->call);

    // A text the caller cannot write to is parsed from a copy.
    static const char address[] = "Nobody <who@nowhere.callmgr.test>";
    ASSERT_EQ(0u, CMInviteUser(s, address, std::string(300, 's').c_str()));
    EXPECT_EQ((UINT)CMERR_BADSESSION, CMInviteUser(s, "<a@b>", nullptr)) << "already has a call";

    EXPECT_TRUE(ct_notes().empty()) << "posted, not sent";
    // Only the notification: the lookup's answer may be in the queue too.
    MSG m;
    ASSERT_TRUE(PeekMessageA(&m, owner, CT_NOTIFY, CT_NOTIFY, PM_REMOVE));
    DispatchMessageA(&m);
    ASSERT_EQ(1u, ct_notes().size());
    const Note started = ct_notes()[0]; // a copy: the notes grow below
    EXPECT_EQ(s, started.session);
    ASSERT_EQ(556u + 196 * 2, started.block.size());
    const CMCALLINFO &info = ct_info(started);
    EXPECT_EQ(std::string(255, 's'), info.subject) << "cut to 255";
    EXPECT_EQ(2u, info.count);
    EXPECT_STREQ("who", ct_entry(started, 1).user);
    EXPECT_STREQ("nowhere.callmgr.test", ct_entry(started, 1).host);
    EXPECT_EQ(std::vector<unsigned char>(196, 0),
              std::vector<unsigned char>(started.block.end() - 196, started.block.end()));

    // The name is unknown: reported without an address, and no one is invited.
    ASSERT_TRUE(ct_wait_for(CMN_NOADDRESS));
    ct_pump();
    EXPECT_EQ((std::vector<int>{CMN_CALLSTARTED, CMN_NOADDRESS}), ct_codes());
    EXPECT_EQ((LPARAM)ct_entry(started, 1).ipaddr, ct_notes()[1].lparam) << "its lookup id";
    EXPECT_EQ(CMS_NOADDRESS, session->call->caller->members->next->cm->state);
}

TEST_F(Entries, AnUnreachableMemberIsReportedAndTheRingGoesOn)
{
    WORD s;
    WORD app = start_caller(&s);
    ASSERT_EQ(0u, CMInviteUser(s, "Peer <bob@peer>", "Review"));
    ASSERT_TRUE(ct_wait_for(CMN_UNREACHABLE));
    ct_pump();
    EXPECT_EQ((std::vector<int>{CMN_CALLSTARTED, CMN_ADDRESS, CMN_RINGING, CMN_UNREACHABLE}),
              ct_codes());

    const CMCALLINFO &info = ct_info(ct_notes()[0]);
    EXPECT_EQ(0x0101007Fu, info.localaddr);
    CMSESSION *session = SESSION_Find(s, nullptr);
    // Network order: two numbers in a row after the default base 233.1.0.0.
    EXPECT_EQ(0x01E9u, info.group1 & 0xFFFF) << "233.1.x.x";
    EXPECT_EQ(__builtin_bswap32(info.group1) + 1, __builtin_bswap32(info.group2));
    EXPECT_TRUE(info.udpport1 >= 7000 && info.udpport1 <= 7099) << info.udpport1;
    EXPECT_TRUE(info.udpport2 >= 7100 && info.udpport2 <= 7199) << info.udpport2;
    EXPECT_EQ(session->udpsocket2, (SOCKET)info.udpsocket2);

    const Note &address = ct_notes()[1];
    ASSERT_EQ(392u, address.block.size());
    const CMMEMBERINFO &member = *(const CMMEMBERINFO *)address.block.data();
    EXPECT_EQ(ct_entry(ct_notes()[0], 1).ipaddr, member.pending.ipaddr);
    EXPECT_EQ(0x090012C6u, member.resolved.ipaddr) << "198.18.0.9, network order";
    EXPECT_STREQ("bob", member.resolved.user);
    EXPECT_EQ((LPARAM)0x090012C6, ct_notes()[3].lparam) << "the member's address";

    CMAPP *rec = APP_Find(app);
    EXPECT_EQ(CMS_UNREACHABLE, session->call->caller->members->next->cm->state);
    EXPECT_NE(0u, rec->ringtimer) << "no answer stops the ring";
    ct_keep_session_sockets(s);
    EXPECT_EQ(0u, CMCloseSession(s));
    EXPECT_EQ(0u, rec->ringtimer);
}

// A new call whose start cannot be told leaves no socket open that nobody
// knows of, placed by either entry: its ports can be bound again.
TEST_F(Entries, ACallStartedUntoldKeepsNoDatagramSocket)
{
    WORD app = CMStartup(owner, 0, nullptr); // nothing can be posted
    ASSERT_LT(app, 128);
    CMNETINFO net{0, 0, 0, 5340, 5340, 5341, 5341, 0, 0}; // udp1, udp2, tcp ranges
    ASSERT_EQ(0u, CMSetNetInfo(app, &net));
    auto sockets_gone = [](WORD s) {
        const CMSESSION *session = SESSION_Find(s, nullptr);
        EXPECT_EQ(INVALID_SOCKET, session->udpsocket1) << "forgotten";
        EXPECT_EQ(INVALID_SOCKET, session->udpsocket2);
        expect_ports_free({5340, 5341});
    };
    WORD s = CMOpenSession(app);
    ASSERT_EQ(0u, CMInviteUser(s, "<bob@10.1.1.1>", nullptr));
    sockets_gone(s);

    WORD t = CMOpenSession(app);
    DialogScript script;
    script.on(100, "an address; Call", [](HWND dlg) {
        return PalTypeText(GetDlgItem(dlg, 102), "bob@10.1.1.2") && PalPressButton(dlg, 110);
    });
    UINT result = 1;
    script.run([&] { result = CMInvite(t); });
    ASSERT_EQ(0u, result);
    sockets_gone(t);
}

// Handlers run inside the exchange's wait; the members are this host under
// another address, so an exchange cannot end before this thread served it.
TEST_F(Entries, CleanupFromInsideTheExchangeCompletesWhenItEnds)
{
    WORD app = start();
    WORD s = CMOpenSession(app);
    UINT during = 0;
    ct_on_note() = [&](const Note &n) {
        if (n.code == CMN_RINGING)
            during = CMCleanup(app);
    };
    ASSERT_EQ(0u, CMInviteUser(s, "<bob@127.0.0.1>", nullptr));
    ASSERT_TRUE(ct_wait_for(CMN_CLEANEDUP));
    EXPECT_EQ((UINT)CMERR_BUSY, during);
    EXPECT_EQ(nullptr, APP_Find(app));
    EXPECT_EQ(0u, SERVER_Users());
}

TEST_F(Entries, ClosingTheSessionFromInsideTheExchangeStopsThePass)
{
    // With its session closed the application takes the invitation itself.
    LIB_Settings.autoaccept = 1;
    WORD app = start();
    WORD s = CMOpenSession(app);
    build_call(app, SESSION_Find(s, nullptr), {"<bob@127.0.0.1>", "<carol@127.0.0.1>"});
    UINT during = 1;
    ct_on_note() = [&](const Note &n) {
        if (n.code == CMN_RINGING) {
            ct_keep_session_sockets(s);
            during = CMCloseSession(s);
        }
    };
    ASSERT_TRUE(ct_wait_for(CMN_RINGING));
    ct_pump();
    EXPECT_EQ(0u, during);
    EXPECT_EQ((std::vector<int>{CMN_ADDRESS, CMN_ADDRESS, CMN_RINGING}), ct_codes_of(s))
        << "the second member is not invited, a closed session gets no report";
    EXPECT_EQ(0u, APP_Find(app)->ringtimer);
}

TEST_F(Entries, ASecondPassOverTheSameCallOnlyGoesRoundAgain)
{
    WORD app = start();
    WORD s = CMOpenSession(app);
    CMSESSION *session = SESSION_Find(s, nullptr);
    build_call(app, session, {"<bob@127.0.0.1>", "<me@hosta>", "<carol@127.0.0.1>"});
    HWND fsm = APP_Find(app)->fsmwnd;
    int nested = 0;
    ct_on_note() = [&](const Note &n) {
        if (n.code == CMN_RINGING && nested++ == 0)
            SendMessageA(fsm, FSM_PROCEED, s, 0);
    };
    ASSERT_TRUE(ct_wait_until([] { return std::ranges::count(ct_codes(), CMN_UNREACHABLE) >= 2; }));
    ct_pump();
    EXPECT_EQ(2, std::ranges::count(ct_codes(), CMN_RINGING))
        << "one invitation per member; this host is never invited";
    const CML *node = session->call->caller->members->next;
    EXPECT_EQ(CMS_UNREACHABLE, node->cm->state);
    EXPECT_EQ(CMS_IDLE, node->next->cm->state) << "this host's own address";
    EXPECT_FALSE(session->call->passing);
}

} // namespace
