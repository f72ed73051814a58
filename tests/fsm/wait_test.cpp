// Work that arrives while an exchange waits for 192.0.2.9, a host that drops
// every packet (the test host's --silent): the exchange lasts its whole
// deadline, which virtual time lets pass as soon as the thread would sleep.
#include "api/callfixture.h"

#include "members/members.h"
#include "protocol/callsample.h"

#include <algorithm>
#include <string>

namespace {

const DWORD SILENT = 0xC0000209u; // 192.0.2.9

class ExchangeWait : public CallFixture {
  protected:
    void SetUp() override
    {
        CallFixture::SetUp();
        LIB_Settings.autoaccept = 1;
        caller = start();
        first = CMOpenSession(caller);
        ASSERT_LT(first, 128);
        PalClockSetVirtual(TRUE, 1000);
        PalSetIdleHook(tick, this);
    }
    void TearDown() override
    {
        PalSetIdleHook(nullptr, nullptr);
        PalClockSetVirtual(FALSE, 0);
        CallFixture::TearDown();
    }

    // Whenever the thread would sleep while only the caller's exchange with
    // the silent host waits, a tenth of a second passes.  While another
    // exchange waits, for this host's own port mapper and server, the thread
    // sleeps until they answer: time passing then would end it too.
    static BOOL CALLBACK tick(void *context)
    {
        const ExchangeWait *test = (const ExchangeWait *)context;
        DWORD busy = 0;
        for (const CMAPP *app = APP_First(); app; app = app->next)
            busy += app->busy;
        if (busy != 1 || !test->waiting())
            return FALSE;
        PalClockAdvance(100);
        return TRUE;
    }

    // Whether the caller's exchange with the silent host still waits.
    bool waiting() const { return APP_Find(caller)->busy != 0; }

    // Gives `session` a call to `address`, resolved and not yet invited.
    static CM *add_member(CMSESSION *session, std::string address, WORD state)
    {
        EXPECT_EQ(0, CALL_AddMember(session, address.data()));
        CML *node = session->call->caller->members;
        while (node->next)
            node = node->next;
        node->cm->state = state;
        node->cm->ipaddr = SILENT;
        return node->cm;
    }

    WORD caller = 0, first = 0;
};

// An invitation for an idle application is answered inside another
// application's wait, not after the silent host's deadline.  A second one,
// met while the first's answer travels, waits for the outer exchange to
// return rather than nest in it after the first.
TEST_F(ExchangeWait, AnIdleApplicationAnswersWhileAnotherWaitsForASilentHost)
{
    WORD idle = start();
    SampleCall invitation{"wait-1"}, next{"wait-2"};
    invitation.members[0].ipaddr = next.members[0].ipaddr = 0x7F000001u; // the inviter: this host
    int answered = 0, answered_while_waiting = 0;
    ct_on_note() = [&](const Note &n) {
        if (n.code == CMN_RINGING) {
            EXPECT_EQ(CALL_DELIVERED, *callproc_request_1_svc(&invitation.request));
            EXPECT_EQ(CALL_DELIVERED, *callproc_request_1_svc(&next.request));
        }
        if (n.code == CMN_CALLSTARTED && n.session != first) {
            ++answered;
            answered_while_waiting += waiting();
        }
    };
    const DWORD began = GetTickCount();
    ASSERT_EQ(0u, CMInviteUser(first, "<carol@192.0.2.9>", nullptr));
    ASSERT_TRUE(ct_wait_until([&] { return answered == 2; }, 120));
    ct_pump();
    EXPECT_GE(GetTickCount() - began, CLIENT_TIMEOUT * 1000u) << "silent to the deadline";

    EXPECT_EQ(1, answered_while_waiting);
    EXPECT_EQ((std::vector<int>{CMN_CALLSTARTED, CMN_ADDRESS, CMN_RINGING, CMN_UNREACHABLE}),
              ct_codes_of(first));
    // The inviter is this host: each acceptance reached the newest session
    // holding its call, the one it opened.
    const CMSESSION *opened = APP_Find(idle)->sessions;
    ASSERT_TRUE(opened && opened->next);
    EXPECT_EQ((std::vector<int>{2, CMN_CALLSTARTED}), ct_codes_of(opened->id));
    EXPECT_EQ((std::vector<int>{2, CMN_CALLSTARTED}), ct_codes_of(opened->next->id));
}

// A second session's call is placed, invited and answered inside the first
// session's wait; the first session's pass, asked for again meanwhile, sends
// its update and its invitation once each.
TEST_F(ExchangeWait, ASecondSessionsCallRunsWhileTheFirstWaitsAndEachPassStaysOne)
{
    WORD second = CMOpenSession(caller);
    ASSERT_LT(second, 128);
    CMSESSION *s = SESSION_Find(first, nullptr);
    ASSERT_EQ(0, CALL_Create(s, "grown"));
    CM *joined = add_member(s, "<joined@192.0.2.9>", CMS_JOINED);
    CM *added = add_member(s, "<added@192.0.2.9>", CMS_IDLE);
    s->flags |= SESSION_UPDATEPENDING;

    bool second_done_while_waiting = false;
    ct_on_note() = [&](const Note &n) {
        if (n.code == CMN_UPDATING) {
            EXPECT_EQ(0u, CMInviteUser(second, "<bob@127.0.0.1>", nullptr));
        }
        if (n.code == CMN_UNREACHABLE && n.session == second)
            second_done_while_waiting = waiting();
    };
    PostMessageA(APP_Find(caller)->fsmwnd, FSM_PROCEED, first, 0);
    ASSERT_TRUE(ct_wait_until(
        [&] { return std::ranges::count(ct_codes_of(first), CMN_UNREACHABLE) > 0; }, 120));
    ct_pump();

    EXPECT_TRUE(second_done_while_waiting) << "nobody here takes bob's invitation: answered 3";
    EXPECT_EQ((std::vector<int>{CMN_CALLSTARTED, CMN_ADDRESS, CMN_RINGING, CMN_UNREACHABLE}),
              ct_codes_of(second));
    EXPECT_EQ((std::vector<int>{CMN_UPDATING, CMN_RINGING, CMN_UNREACHABLE}), ct_codes_of(first))
        << "one update, one invitation";
    EXPECT_EQ(CMS_UNREACHABLE, joined->state);
    EXPECT_EQ(CMS_UNREACHABLE, added->state);
    EXPECT_FALSE(s->call->passing);
    EXPECT_EQ(0u, APP_Find(caller)->busy);
}

} // namespace
