// Building, copying, searching and releasing calls and their member lists.
#include "members/members.h"
#include "fsm/fsm.h"

#include <paltest.h>

#include <gtest/gtest.h>

#include <cstring>
#include <deque>
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
        snprintf(session->username, sizeof session->username, "me");
        snprintf(session->realname, sizeof session->realname, "Me Myself");
        session->tcpport = 6001;
    }
    void TearDown() override
    {
        PalFaultClear();
        APP_Destroy(app); // with its sessions and their calls
        LOCALHOST_SetAddress(0xFFFFFFFF);
        PalClockSetVirtual(FALSE, 0);
    }

    std::vector<LPCM> Members() const
    {
        std::vector<LPCM> out;
        for (LPCML n = session->call->caller->members; n; n = n->next)
            out.push_back(n->cm);
        return out;
    }

    int Add(const char *text)
    {
        std::string buf(text);
        return CALL_AddMember(session, buf.data());
    }

    CMAPP *app = nullptr;
    CMSESSION *session = nullptr;
};

TEST_F(CallTest, OutgoingCallWithOneInvitee)
{
    ASSERT_EQ(0, CALL_Create(session, nullptr));
    std::string text = "Front Desk <desk@alpha>";
    ASSERT_EQ(0, CALL_AddMember(session, text.data()));
    EXPECT_STREQ("Front Desk", text.c_str()); // the parse cut the caller's text

    CALLCTX *call = session->call;
    LPCALLER c = call->caller;
    EXPECT_EQ(CS_NEW, c->state);
    EXPECT_EQ(123456, c->starttime);
    EXPECT_EQ(0, c->reserved);
    EXPECT_EQ(0, c->udpport1);
    EXPECT_EQ(0, c->udpport2);
    EXPECT_EQ(6001, c->tcpport);
    EXPECT_STREQ("16909060/123456", c->callid);
    const CALLKEY *key = reinterpret_cast<const CALLKEY *>(c->callid);
    EXPECT_EQ(kLocal, key->address);
    EXPECT_EQ(123456u, key->ticks);
    unsigned a, b, cc, d;
    EXPECT_EQ(4, sscanf(c->group1, "%u.%u.%u.%u", &a, &b, &cc, &d)) << c->group1;
    EXPECT_EQ(4, sscanf(c->group2, "%u.%u.%u.%u", &a, &b, &cc, &d)) << c->group2;
    EXPECT_STRNE(c->group1, c->group2);
    ASSERT_NE(nullptr, c->spare);
    EXPECT_STREQ("", c->spare);
    EXPECT_EQ(nullptr, c->subject);
    EXPECT_EQ(nullptr, c->local);
    EXPECT_EQ(nullptr, call->to);

    std::vector<LPCM> m = Members();
    ASSERT_EQ(2u, m.size());
    EXPECT_EQ(m[0], c->originator);
    EXPECT_EQ(m[0], call->from);
    EXPECT_EQ(CMS_IDLE, m[0]->state);
    EXPECT_EQ(kLocal, m[0]->ipaddr);
    EXPECT_STREQ(FSM_FullHostName(), m[0]->host);
    EXPECT_STREQ("me", m[0]->user);
    EXPECT_STREQ("Me Myself", m[0]->realname);
    ASSERT_NE(nullptr, m[0]->address);
    EXPECT_STREQ("", m[0]->address);

    EXPECT_EQ(CMS_RESOLVING, m[1]->state);
    EXPECT_EQ(0u, m[1]->ipaddr);
    EXPECT_STREQ("Front Desk", m[1]->realname);
    EXPECT_STREQ("desk", m[1]->user);
    EXPECT_STREQ("alpha", m[1]->host);
    EXPECT_STREQ("Front Desk", m[1]->address);
    EXPECT_EQ(0, m[1]->reserved);

    // The next call of the process takes the next number; its subject is a
    // copy.
    INT seqno = c->seqno;
    CMSESSION *second = SESSION_Create(app);
    ASSERT_NE(nullptr, second);
    char subject[] = "budget";
    ASSERT_EQ(0, CALL_Create(second, subject));
    EXPECT_EQ(seqno + 1, second->call->caller->seqno);
    EXPECT_STREQ("budget", second->call->caller->subject);
    EXPECT_NE(subject, second->call->caller->subject);
    // Made in the same millisecond, it still gets an identifier of its own.
    EXPECT_EQ(c->starttime, second->call->caller->starttime);
    EXPECT_STRNE(c->callid, second->call->caller->callid);
    CALL_Free(second->call);
    second->call = nullptr;
}

TEST_F(CallTest, AddingMembersKeepsOrderAndRefusesBadText)
{
    EXPECT_EQ(CMERR_BADSESSION, CALL_AddMember(nullptr, nullptr));
    EXPECT_EQ(CMERR_NOCALL, Add("<alpha>"));
    EXPECT_EQ(CMERR_BADSESSION, CALL_Create(nullptr, nullptr));
    CMSESSION stranger = *session; // same id, not the registered record
    EXPECT_EQ(CMERR_BADSESSION, CALL_Create(&stranger, nullptr));
    EXPECT_EQ(nullptr, stranger.call);

    ASSERT_EQ(0, CALL_Create(session, "s"));
    EXPECT_EQ(0, Add("A <a@alpha>"));
    EXPECT_EQ(0, Add("A <a@alpha>")); // no test for duplicates
    EXPECT_EQ(CMERR_BADMEMBER, Add("b@beta"));
    EXPECT_EQ(CMERR_BADMEMBER, CALL_AddMember(session, nullptr));
    EXPECT_EQ(0, Add("<gamma>"));
    std::vector<LPCM> m = Members();
    ASSERT_EQ(4u, m.size());
    EXPECT_NE(m[1], m[2]);
    EXPECT_STREQ("alpha", m[1]->host);
    EXPECT_STREQ("alpha", m[2]->host);
    EXPECT_STREQ("gamma", m[3]->host);
    EXPECT_STREQ("ANYBODY", m[3]->user);
    EXPECT_STREQ("", m[3]->address);

    // A call whose list was emptied takes the new member as its head.
    CML_Free(session->call->caller->members);
    session->call->caller->members = nullptr;
    session->call->caller->originator = session->call->from = nullptr;
    EXPECT_EQ(0, Add("<delta>"));
    m = Members();
    ASSERT_EQ(1u, m.size());
    EXPECT_STREQ("delta", m[0]->host);
}

TEST_F(CallTest, RunningOutOfMemoryLeavesNothingBehind)
{
    int skip = 0;
    for (;; skip++) {
        PalFaultSet(PAL_FAULT_HEAPALLOC, skip, 1, 0);
        int rc = CALL_Create(session, "subject");
        PalFaultClear();
        if (rc == 0)
            break;
        EXPECT_EQ(CMERR_CALLALLOC, rc) << skip;
        EXPECT_EQ(nullptr, session->call) << skip;
        ASSERT_LT(skip, 50);
    }
    // Context, caller, key, two groups, spare, subject, member, four texts
    // and the node.
    EXPECT_EQ(13, skip);

    // Member, name, user, host, address and node, in that order; a lost
    // name copy alone still gives a member, without its real name.
    size_t count = 1;
    for (skip = 0; skip <= 6; skip++) {
        PalFaultSet(PAL_FAULT_HEAPALLOC, skip, 1, 0);
        int rc = Add("Front Desk <desk@alpha>");
        PalFaultClear();
        SCOPED_TRACE(skip);
        if (skip == 1 || skip == 6) {
            EXPECT_EQ(0, rc);
            count++;
        } else {
            EXPECT_EQ(CMERR_BADMEMBER, rc);
        }
        ASSERT_EQ(count, Members().size());
    }
    std::vector<LPCM> m = Members();
    EXPECT_EQ(nullptr, m[1]->realname);
    EXPECT_STREQ("Front Desk", m[1]->address);
    EXPECT_STREQ("Front Desk", m[2]->realname);
}

// A received request as the runtime decodes it: separate records for every
// reference, in ordinary memory.
struct Received {
    std::deque<std::string> texts; // stable addresses
    std::vector<CM> cms;
    std::vector<CML> nodes;
    CALLER caller{};
    CALLREQ req{};

    char *T(const char *s) { return texts.emplace_back(s).data(); }
    CM Member(const char *user, const char *host, ipaddr_t addr)
    {
        CM m{};
        m.state = CMS_JOINED;
        m.ipaddr = addr;
        m.user = T(user);
        m.host = T(host);
        m.realname = T(user);
        m.address = T("addr");
        m.reserved = 77;
        return m;
    }
    Received()
    {
        cms.reserve(8);
        nodes.reserve(8);
        cms.push_back(Member("boss", "alpha", 10));   // 0: originator in the list
        cms.push_back(Member("desk", "beta", 20));    // 1
        cms.push_back(Member("boss", "alpha", 10));   // 2: originator reference
        cms.push_back(Member("desk", "beta", 20));    // 3: to
        cms.push_back(Member("boss", "alpha", 10));   // 4: from
        nodes.push_back(CML{&cms[0], nullptr});
        nodes.push_back(CML{&cms[1], nullptr});
        nodes.push_back(CML{nullptr, nullptr}); // an entry without a member
        nodes[0].next = &nodes[1];
        nodes[1].next = &nodes[2];
        caller.state = CS_ACTIVE;
        caller.starttime = static_cast<int32_t>(0x80000001u);
        caller.seqno = 5;
        caller.udpport1 = 5000;
        caller.udpport2 = 5001;
        caller.tcpport = 6000;
        caller.reserved = 9;
        caller.callid = T("10/2147483649");
        caller.group1 = T("233.1.0.1");
        caller.group2 = T("233.1.0.2");
        caller.spare = T("x");
        caller.subject = T("");
        caller.originator = &cms[2];
        caller.members = &nodes[0];
        req = CALLREQ{CALL_INVITE, &cms[3], &cms[4], &caller};
    }
};

TEST_F(CallTest, ContextFromReceivedRequest)
{
    Received r;
    CALLCTX *call = nullptr;
    ASSERT_EQ(0, CALL_FromRequest(&call, &r.req));
    ASSERT_NE(nullptr, call);
    LPCALLER c = call->caller;
    EXPECT_NE(&r.caller, c);
    EXPECT_EQ(CS_ACTIVE, c->state);
    EXPECT_EQ(0x80000001u, static_cast<uint32_t>(c->starttime));
    EXPECT_EQ(9, c->reserved);
    EXPECT_EQ(5, c->seqno);
    EXPECT_EQ(5000, c->udpport1);
    EXPECT_EQ(5001, c->udpport2);
    EXPECT_EQ(6000, c->tcpport);
    EXPECT_STREQ("10/2147483649", c->callid);
    EXPECT_NE(r.caller.callid, c->callid);
    EXPECT_STREQ("233.1.0.2", c->group2);
    EXPECT_STREQ("x", c->spare);
    ASSERT_NE(nullptr, c->subject);
    EXPECT_STREQ("", c->subject);
    EXPECT_EQ(nullptr, c->local);

    std::vector<LPCM> m;
    for (LPCML n = c->members; n; n = n->next)
        m.push_back(n->cm);
    ASSERT_EQ(3u, m.size());
    // References point into the copied list.
    EXPECT_EQ(m[0], c->originator);
    EXPECT_EQ(m[1], call->to);
    EXPECT_EQ(m[0], call->from);
    EXPECT_EQ(77, m[1]->reserved);
    EXPECT_EQ(CMS_JOINED, m[1]->state);
    EXPECT_STREQ("addr", m[1]->address);
    // The entry without a member became this station.
    ASSERT_NE(nullptr, m[2]);
    EXPECT_EQ(CMS_IDLE, m[2]->state);
    EXPECT_EQ(kLocal, m[2]->ipaddr);
    EXPECT_STREQ(FSM_FullHostName(), m[2]->host);
    EXPECT_STREQ(FSM_FullHostName(), m[2]->user);
    EXPECT_STREQ(FSM_FullHostName(), m[2]->realname);
    EXPECT_EQ(nullptr, m[2]->address);
    CALL_Free(call);
}

TEST_F(CallTest, RequestsThatCannotBeMadeIntoAContext)
{
    CALLCTX *call = reinterpret_cast<CALLCTX *>(&call);
    {
        Received r;
        r.cms[3].host = r.T("gamma"); // to names nobody in the list
        EXPECT_EQ(CMERR_CALLALLOC, CALL_FromRequest(&call, &r.req));
        EXPECT_EQ(nullptr, call);
    }
    {
        Received r;
        r.cms[4].user = nullptr; // an absent user matches only an absent one
        EXPECT_EQ(CMERR_CALLALLOC, CALL_FromRequest(&call, &r.req));
    }
    {
        Received r;
        r.cms[2].user = r.T("Boss"); // case counts; the originator is lost
        EXPECT_EQ(CMERR_CALLALLOC, CALL_FromRequest(&call, &r.req));
    }
    {
        Received r;
        r.req.to = nullptr;
        EXPECT_EQ(CMERR_CALLALLOC, CALL_FromRequest(&call, &r.req));
        r.req.to = r.req.from;
        r.req.from = nullptr;
        EXPECT_EQ(CMERR_CALLALLOC, CALL_FromRequest(&call, &r.req));
    }
    {
        Received r; // an absent originator is no fault
        r.caller.originator = nullptr;
        ASSERT_EQ(0, CALL_FromRequest(&call, &r.req));
        EXPECT_EQ(nullptr, call->caller->originator);
        CALL_Free(call);
    }
    {
        Received r;
        r.req.caller = nullptr;
        EXPECT_EQ(CMERR_CALLALLOC, CALL_FromRequest(&call, &r.req));
        EXPECT_EQ(CMERR_CALLALLOC, CALL_FromRequest(&call, nullptr));
    }

    // Out of memory at any point: nothing delivered, nothing kept.
    Received r;
    int skip = 0;
    for (;; skip++) {
        PalFaultSet(PAL_FAULT_HEAPALLOC, skip, 1, 0);
        int rc = CALL_FromRequest(&call, &r.req);
        PalFaultClear();
        if (rc == 0)
            break;
        EXPECT_EQ(CMERR_CALLALLOC, rc);
        EXPECT_EQ(nullptr, call);
        ASSERT_LT(skip, 100);
    }
    // Context, caller, five texts, and per node: node, member, four texts
    // (three for this station, whose address is absent).
    EXPECT_EQ(2 + 5 + 6 + 6 + 5, skip);
    CALL_Free(call);
}

TEST_F(CallTest, ComparingFindingAndReleasing)
{
    Received r;
    CM a = r.Member("desk", "beta", 20);
    CM b = a;
    b.state = CMS_DECLINED;
    b.address = r.T("other");
    b.reserved = 1;
    EXPECT_TRUE(CM_Equal(&a, &b));
    b.ipaddr = 21;
    EXPECT_FALSE(CM_Equal(&a, &b));
    b.ipaddr = 20;
    b.realname = nullptr;
    EXPECT_FALSE(CM_Equal(&a, &b));
    a.realname = nullptr;
    EXPECT_TRUE(CM_Equal(&a, &b));
    b.host = r.T("Beta");
    EXPECT_FALSE(CM_Equal(&a, &b));
    EXPECT_FALSE(CM_Equal(&a, nullptr));
    EXPECT_FALSE(CM_Equal(nullptr, nullptr));

    EXPECT_TRUE(STR_Equal(nullptr, nullptr));
    EXPECT_FALSE(STR_Equal("", nullptr));
    EXPECT_FALSE(STR_Equal(nullptr, ""));
    EXPECT_TRUE(STR_Equal("", ""));
    EXPECT_FALSE(STR_Equal("a", "A"));
    char *out = r.T("stale");
    EXPECT_TRUE(STR_Dup(&out, nullptr));
    EXPECT_EQ(nullptr, out);
    PalFaultSet(PAL_FAULT_HEAPALLOC, 0, 1, 0);
    EXPECT_FALSE(STR_Dup(&out, "x"));
    PalFaultClear();
    EXPECT_EQ(nullptr, out);

    // The first of two members with the same user and host; nodes without
    // a member are passed over.
    CM twin = r.cms[1];
    CML tail{&twin, nullptr};
    r.nodes[2].next = &tail;
    r.cms[1].realname = r.T("first");
    EXPECT_EQ(&r.cms[1], CML_Find(&r.caller, "desk", "beta"));
    EXPECT_EQ(nullptr, CML_Find(&r.caller, "desk", nullptr));
    EXPECT_EQ(nullptr, CML_Find(nullptr, "desk", "beta"));
    twin.user = nullptr;
    twin.host = nullptr;
    EXPECT_EQ(&twin, CML_Find(&r.caller, nullptr, nullptr));

    LPCML list = CML_Copy(r.caller.members);
    ASSERT_NE(nullptr, list);
    EXPECT_STREQ("first", list->next->cm->realname);
    EXPECT_EQ(nullptr, list->next->next->next->cm->user);
    CML_Free(list);
    EXPECT_EQ(nullptr, CML_Copy(nullptr));

    CALLER bare{};
    LPCALLER copy = CALLER_Copy(&bare);
    ASSERT_NE(nullptr, copy);
    EXPECT_EQ(nullptr, copy->members);
    EXPECT_EQ(nullptr, copy->callid);
    CALLER_Free(copy);

    EXPECT_EQ(nullptr, CALLER_Copy(nullptr));
    EXPECT_EQ(0, CALL_Free(nullptr));
    CALLER_Free(nullptr);
    CML_Free(nullptr);
    CM_Free(nullptr);
}

// A call built here goes through the wire and comes back as a context on
// the receiving side.
TEST_F(CallTest, OutgoingCallSurvivesTheWire)
{
    ASSERT_EQ(0, CALL_Create(session, nullptr));
    ASSERT_EQ(0, Add("Front Desk <desk@alpha>"));
    LPCALLER c = session->call->caller;
    CALLREQ out{CALL_INVITE, c->members->next->cm, session->call->from, c};

    std::vector<char> buf(4096);
    XDR xdrs;
    xdrmem_create(&xdrs, buf.data(), static_cast<u_int>(buf.size()), XDR_ENCODE);
    ASSERT_TRUE(xdr_CALLREQ(&xdrs, &out)); // the absent subject travels as ""
    xdr_destroy(&xdrs);

    CALLREQ in{};
    xdrmem_create(&xdrs, buf.data(), static_cast<u_int>(buf.size()), XDR_DECODE);
    ASSERT_TRUE(xdr_CALLREQ(&xdrs, &in));
    xdr_destroy(&xdrs);

    CALLCTX *call = nullptr;
    ASSERT_EQ(0, CALL_FromRequest(&call, &in));
    xdr_free(reinterpret_cast<xdrproc_t>(reinterpret_cast<void (*)(void)>(xdr_CALLREQ)), &in);
    EXPECT_STREQ("16909060/123456", call->caller->callid);
    EXPECT_STREQ("", call->caller->subject);
    EXPECT_STREQ("desk", call->to->user);
    EXPECT_STREQ("me", call->from->user);
    EXPECT_EQ(call->from, call->caller->originator);
    EXPECT_EQ(call->caller->members->next->cm, call->to);
    CALL_Free(call);
}

} // namespace
