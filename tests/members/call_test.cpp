// Building, copying, searching and releasing calls and their member lists;
// the numbering of a process's first call, in a fresh copy of this program.
#include "members/members.h"
#include "fsm/fsm.h"

#include <paltest.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <deque>
#include <functional>
#include <iterator>
#include <string>
#include <vector>

namespace {

const DWORD kLocal = 0x01020304; // 1.2.3.4

class CallTest : public ::testing::Test {
  protected:
    void SetUp() override
    {
        PalClockSetVirtual(TRUE, 123456);
        LOCALHOST_SetAddress(kLocal);
        app = APP_Create(nullptr, 0);
        ASSERT_NE(nullptr, app);
        session = SESSION_Create(app);
        ASSERT_NE(nullptr, session);
    }
    void TearDown() override
    {
        PalFaultClear();
        APP_Destroy(app); // with its sessions and their calls
        LOCALHOST_SetAddress(0xFFFFFFFF);
        PalClockSetVirtual(FALSE, 0);
    }

    static std::vector<LPCM> MembersOf(const CALLCTX *call)
    {
        std::vector<LPCM> out;
        for (LPCML n = call->caller->members; n; n = n->next)
            out.push_back(n->cm);
        return out;
    }
    std::vector<LPCM> Members() const { return MembersOf(session->call); }

    int Add(std::string text) { return CALL_AddMember(session, text.data()); }

    CMAPP *app = nullptr;
    CMSESSION *session = nullptr;
};

TEST_F(CallTest, AnOutgoingCallTakesItsMembersInOrderAndRefusesBadInput)
{
    EXPECT_EQ(CMERR_BADSESSION, CALL_AddMember(nullptr, nullptr));
    EXPECT_EQ(CMERR_NOCALL, Add("<alpha>"));
    EXPECT_EQ(CMERR_BADSESSION, CALL_Create(nullptr, nullptr));
    CMSESSION stranger = *session; // same id, not the registered record
    EXPECT_EQ(CMERR_BADSESSION, CALL_Create(&stranger, nullptr));
    EXPECT_EQ(nullptr, stranger.call);

    ASSERT_EQ(0, CALL_Create(session, nullptr));
    ASSERT_EQ(0, Add("Front Desk <desk@alpha>"));
    CALLCTX *call = session->call;
    LPCALLER c = call->caller;
    // The identifier's text (FirstCalls) also reads as the address and clock it was made from.
    const CALLKEY *key = reinterpret_cast<const CALLKEY *>(c->callid);
    EXPECT_EQ(kLocal, key->address);
    EXPECT_EQ(123456u, key->ticks);
    std::vector<LPCM> m = Members();
    ASSERT_EQ(2u, m.size());
    EXPECT_EQ(m[0], c->originator);
    EXPECT_EQ(m[0], call->from);
    EXPECT_STREQ(FSM_FullHostName(), m[0]->host);
    EXPECT_EQ(CMS_RESOLVING, m[1]->state);
    EXPECT_EQ(0, Add("A <a@alpha>"));
    EXPECT_EQ(0, Add("A <a@alpha>")); // no test for duplicates
    EXPECT_EQ(CMERR_BADMEMBER, Add("b@beta"));
    EXPECT_EQ(0, Add("<gamma>"));
    EXPECT_STREQ("gamma", Members().at(4)->host);

    // The next call takes the next number and a copy of its subject.
    CMSESSION *second = SESSION_Create(app);
    char subject[] = "budget";
    ASSERT_EQ(0, CALL_Create(second, subject));
    EXPECT_EQ(c->seqno + 1, second->call->caller->seqno);
    EXPECT_NE(subject, second->call->caller->subject);

    // A call whose list was emptied takes the new member as its head.
    CML_Free(c->members);
    c->members = nullptr;
    c->originator = call->from = nullptr;
    EXPECT_EQ(0, Add("<delta>"));
    ASSERT_EQ(1u, Members().size());
    EXPECT_STREQ("delta", Members()[0]->host);
}

TEST_F(CallTest, AMemberRunningOutOfMemoryLeavesNothingBehind)
{
    ASSERT_EQ(0, CALL_Create(session, "subject"));
    // Member, name, user, host, address and node, in that order; a lost
    // name copy alone still gives a member, without its real name.
    size_t count = 1;
    for (int skip = 0; skip <= 6; skip++) {
        PalFaultSet(PAL_FAULT_HEAPALLOC, skip, 1, 0);
        int rc = Add("Front Desk <desk@alpha>");
        PalFaultClear();
        bool made = skip == 1 || skip == 6;
        EXPECT_EQ(made ? 0 : CMERR_BADMEMBER, rc) << skip;
        count += made;
        ASSERT_EQ(count, Members().size()) << skip;
    }
    EXPECT_EQ(nullptr, Members()[1]->realname);
    EXPECT_STREQ("Front Desk", Members()[1]->address);
}

// A received request as decoded: a record of its own for every reference.
struct Received {
    std::deque<std::string> texts; // stable addresses
    CM cms[5];                     // list: boss, desk; then originator, to, from
    CML nodes[3];                  // the last has no member
    CALLER caller{};
    CALLREQ req{};

    char *T(const char *s) { return texts.emplace_back(s).data(); }
    Received()
    {
        for (int i = 0; i < 5; ++i) {
            const char *user = i % 2 ? "desk" : "boss", *host = i % 2 ? "beta" : "alpha";
            cms[i] = CM{CMS_JOINED, i % 2 ? 20u : 10u, T(host), T(user), T(user), T("addr"), 77};
        }
        nodes[0] = CML{&cms[0], &nodes[1]};
        nodes[1] = CML{&cms[1], &nodes[2]};
        nodes[2] = CML{nullptr, nullptr};
        caller.callid = T("10/2147483649");
        caller.originator = &cms[2];
        caller.members = &nodes[0];
        req = CALLREQ{CALL_INVITE, &cms[3], &cms[4], &caller};
    }
};

TEST_F(CallTest, AContextIsMadeFromAReceivedRequestWhoseReferencesAreInItsList)
{
    Received r;
    CALLCTX *call = nullptr;
    ASSERT_EQ(0, CALL_FromRequest(&call, &r.req));
    LPCALLER c = call->caller;
    EXPECT_STREQ("10/2147483649", c->callid);
    EXPECT_NE(r.caller.callid, c->callid);
    EXPECT_EQ(nullptr, c->local);

    std::vector<LPCM> m = MembersOf(call);
    ASSERT_EQ(3u, m.size());
    // References point into the copied list.
    EXPECT_EQ(m[0], c->originator);
    EXPECT_EQ(m[1], call->to);
    EXPECT_EQ(m[0], call->from);
    // The entry without a member became this station.
    ASSERT_NE(nullptr, m[2]);
    EXPECT_EQ(kLocal, m[2]->ipaddr);
    EXPECT_STREQ(FSM_FullHostName(), m[2]->user);
    EXPECT_EQ(nullptr, m[2]->address);
    CALL_Free(call);

    // Requests that cannot be made into a context.
    call = reinterpret_cast<CALLCTX *>(&call);
    const std::function<void(Received &)> spoil[] = {
        [](Received &r) { r.cms[3].host = r.T("gamma"); }, // `to` names nobody in the list
        [](Received &r) { r.cms[4].user = nullptr; }, // absent matches only absent
        [](Received &r) { r.cms[2].user = r.T("Boss"); }, // case counts: originator lost
        [](Received &r) { r.req.to = nullptr; },
        [](Received &r) { r.req.from = nullptr; },
        [](Received &r) { r.req.caller = nullptr; },
    };
    for (size_t i = 0; i < std::size(spoil); ++i) {
        Received bad;
        spoil[i](bad);
        EXPECT_EQ(CMERR_CALLALLOC, CALL_FromRequest(&call, &bad.req)) << i;
        EXPECT_EQ(nullptr, call) << i;
    }
    EXPECT_EQ(CMERR_CALLALLOC, CALL_FromRequest(&call, nullptr));

    r.caller.originator = nullptr; // no fault
    ASSERT_EQ(0, CALL_FromRequest(&call, &r.req));
    EXPECT_EQ(nullptr, call->caller->originator);
    CALL_Free(call);
}

// Exits 0 when the first call is numbered as after loading: the counters are
// never reset, so only a fresh process (a death test) shows it.
void first_call()
{
    PalClockSetVirtual(TRUE, 123456);
    LOCALHOST_SetAddress(kLocal);
    CMAPP *app = APP_Create(nullptr, 0);
    CMSESSION *s = app ? SESSION_Create(app) : nullptr;
    if (!s || CALL_Create(s, nullptr) != 0)
        exit(2);
    const CALLER *c = s->call->caller;
    std::string got =
        std::to_string(c->seqno) + " " + c->callid + " " + c->group1 + " " + c->group2;
    APP_Destroy(app);
    fprintf(stderr, "%s\n", got.c_str());
    exit(got == "1 16909060/123456 233.1.0.1 233.1.0.2" ? 0 : 1);
}

TEST(FirstCalls, NumbersAndGroupAddressesAfterLoad)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(first_call(), ::testing::ExitedWithCode(0), "");
}

} // namespace
