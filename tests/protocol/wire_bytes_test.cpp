// Exact wire bytes of the call protocol's records, and their round trips.
#include "protocol/wirebytes.h"

#include <gtest/gtest.h>

#include <cstring>

namespace {

char *T(const char *s)
{
    return const_cast<char *>(s);
}

CM SampleMember()
{
    CM m{};
    m.state = CMS_JOINED;
    m.ipaddr = 0xC0A80102; // 192.168.1.2
    m.host = T("pc1");
    m.user = T("ANYBODY");
    m.realname = T("");
    m.address = T("pc1");
    return m;
}

TEST(WireBytes, MemberEncodesAsTheFortyFourByteExample)
{
    CM m = SampleMember();
    Bytes got;
    ASSERT_TRUE(Encode(xdr_CM, &m, &got));
    const Bytes want = {0x00, 0x00, 0x00, 0x04, 0xC0, 0xA8, 0x01, 0x02, 0x00, 0x00, 0x00,
                        0x03, 0x70, 0x63, 0x31, 0x00, 0x00, 0x00, 0x00, 0x07, 0x41, 0x4E,
                        0x59, 0x42, 0x4F, 0x44, 0x59, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,
                        0x00, 0x00, 0x03, 0x70, 0x63, 0x31, 0x00, 0x00, 0x00, 0x00, 0x00};
    EXPECT_EQ(want, got);

    CM back{};
    size_t used = 0;
    ASSERT_TRUE(Decode(xdr_CM, got, &back, &used));
    EXPECT_EQ(44u, used);
    EXPECT_EQ(4, back.state);
    EXPECT_EQ(0xC0A80102u, back.ipaddr);
    EXPECT_STREQ("pc1", back.host);
    EXPECT_STREQ("ANYBODY", back.user);
    ASSERT_NE(nullptr, back.realname); // empty, not absent
    EXPECT_STREQ("", back.realname);
    EXPECT_STREQ("pc1", back.address);
    Release(xdr_CM, &back);
    EXPECT_EQ(nullptr, back.host);
    EXPECT_EQ(nullptr, back.realname);
}

TEST(WireBytes, TextLengthsPaddingAndAbsentTexts)
{
    CAPINFOMESSAGE msg{};
    Bytes got;

    // Absent travels as the empty text and comes back present and empty.
    msg.text = nullptr;
    ASSERT_TRUE(Encode(xdr_CAPINFOMESSAGE, &msg, &got));
    EXPECT_EQ(WireBuilder().Text("").U32(0).U32(0).U32(0).U32(0).U32(0).b, got);
    CAPINFOMESSAGE back{};
    ASSERT_TRUE(Decode(xdr_CAPINFOMESSAGE, got, &back));
    ASSERT_NE(nullptr, back.text);
    EXPECT_STREQ("", back.text);
    Release(xdr_CAPINFOMESSAGE, &back);

    msg.text = T("");
    Bytes empty;
    ASSERT_TRUE(Encode(xdr_CAPINFOMESSAGE, &msg, &empty));
    EXPECT_EQ(got, empty);

    std::string longest(255, 'x');
    msg.text = longest.data();
    ASSERT_TRUE(Encode(xdr_CAPINFOMESSAGE, &msg, &got));
    ASSERT_EQ(4u + 256u + 20u, got.size());
    EXPECT_EQ((Bytes{0, 0, 0, 0xFF}), Bytes(got.begin(), got.begin() + 4));
    EXPECT_EQ(0, got[4 + 255]); // the one pad byte
    back = {};
    ASSERT_TRUE(Decode(xdr_CAPINFOMESSAGE, got, &back));
    EXPECT_EQ(longest, back.text);
    Release(xdr_CAPINFOMESSAGE, &back);

    std::string tooLong(256, 'x');
    msg.text = tooLong.data();
    EXPECT_FALSE(Encode(xdr_CAPINFOMESSAGE, &msg, &got));

    // The same bound holds inside a member and a reply.
    CM m = SampleMember();
    m.address = tooLong.data();
    EXPECT_FALSE(Encode(xdr_CM, &m, &got));
    CALLRPY rpy{};
    rpy.callid = tooLong.data();
    EXPECT_FALSE(Encode(xdr_CALLRPY, &rpy, &got));
}

TEST(WireBytes, CallerMemberListFlags)
{
    CALLER c{};
    c.callid = T("16909060/123456");
    // Seven ints, the five texts, then originator, local and the list.
    const Bytes head = WireBuilder()
                           .U32(0).U32(0).U32(0).U32(0).U32(0).U32(0).U32(0)
                           .Text("16909060/123456").Text("").Text("").Text("").Text("")
                           .b;
    Bytes got;
    ASSERT_TRUE(Encode(xdr_CALLER, &c, &got));
    EXPECT_EQ(WireBuilder().Append(head).U32(0).U32(0).U32(0).b, got);

    CM m1 = SampleMember();
    CML n1{&m1, nullptr};
    c.members = &n1;
    ASSERT_TRUE(Encode(xdr_CALLER, &c, &got));
    const Bytes member = WireBuilder().Member(4, 0xC0A80102, "pc1", "ANYBODY", "", "pc1").b;
    EXPECT_EQ(WireBuilder().Append(head).U32(0).U32(0).U32(1).U32(1).Append(member).U32(0).b,
              got);

    // Two nodes, the second without a member.
    CML n2{nullptr, nullptr};
    n1.next = &n2;
    ASSERT_TRUE(Encode(xdr_CALLER, &c, &got));
    EXPECT_EQ(WireBuilder()
                  .Append(head)
                  .U32(0).U32(0)
                  .U32(1).U32(1).Append(member).U32(1).U32(0).U32(0)
                  .b,
              got);
    CALLER back{};
    ASSERT_TRUE(Decode(xdr_CALLER, got, &back));
    ASSERT_NE(nullptr, back.members);
    ASSERT_NE(nullptr, back.members->cm);
    EXPECT_STREQ("pc1", back.members->cm->host);
    ASSERT_NE(nullptr, back.members->next);
    EXPECT_EQ(nullptr, back.members->next->cm);
    EXPECT_EQ(nullptr, back.members->next->next);
    EXPECT_EQ(nullptr, back.originator);
    Release(xdr_CALLER, &back);
    EXPECT_EQ(nullptr, back.members);
    EXPECT_EQ(nullptr, back.callid);

    // A node routine on its own: the member, then the rest of the chain.
    ASSERT_TRUE(Encode(xdr_CML, &n1, &got));
    EXPECT_EQ(WireBuilder().U32(1).Append(member).U32(1).U32(0).U32(0).b, got);
}

TEST(WireBytes, ScalarBitsSurviveTheRoundTrip)
{
    for (uint32_t tick : {0x80000000u, 0xFFFFFFFFu, 0x7FFFFFFFu}) {
        CALLER c{};
        c.starttime = static_cast<int32_t>(tick);
        c.seqno = -1;
        Bytes got;
        ASSERT_TRUE(Encode(xdr_CALLER, &c, &got));
        EXPECT_EQ(WireBuilder().U32(tick).b, Bytes(got.begin() + 4, got.begin() + 8));
        EXPECT_EQ(WireBuilder().U32(0xFFFFFFFF).b, Bytes(got.begin() + 12, got.begin() + 16));
        CALLER back{};
        ASSERT_TRUE(Decode(xdr_CALLER, got, &back));
        EXPECT_EQ(tick, static_cast<uint32_t>(back.starttime));
        EXPECT_EQ(-1, back.seqno);
        Release(xdr_CALLER, &back);
    }

    CM m = SampleMember();
    m.ipaddr = 0xFFFFFFFF;
    m.state = CMS_RESOLVING;
    m.reserved = 0x12345678;
    Bytes got;
    ASSERT_TRUE(Encode(xdr_CM, &m, &got));
    EXPECT_EQ((Bytes{0x00, 0x00, 0x80, 0x00, 0xFF, 0xFF, 0xFF, 0xFF}),
              Bytes(got.begin(), got.begin() + 8));
    EXPECT_EQ((Bytes{0x12, 0x34, 0x56, 0x78}), Bytes(got.end() - 4, got.end()));
    CM back{};
    ASSERT_TRUE(Decode(xdr_CM, got, &back));
    EXPECT_EQ(0xFFFFFFFFu, back.ipaddr);
    EXPECT_EQ(0x12345678, back.reserved);
    Release(xdr_CM, &back);

    // The scalar and enum routines move exactly 4 bytes each.
    ipaddr_t addr = 0x01020304;
    ASSERT_TRUE(Encode(xdr_ipaddr_t, &addr, &got));
    EXPECT_EQ((Bytes{1, 2, 3, 4}), got);
    CallMemberState ms = CMS_RESOLVING;
    ASSERT_TRUE(Encode(xdr_CallMemberState, &ms, &got));
    EXPECT_EQ((Bytes{0, 0, 0x80, 0}), got);
    CallMessage cmsg{};
    ASSERT_TRUE(Decode(xdr_CallMessage, Bytes{0, 0, 0, 7}, &cmsg));
    EXPECT_EQ(CALL_UPDATE, cmsg);
    CallState cs{};
    ASSERT_TRUE(Decode(xdr_CallState, Bytes{0, 0, 0, 3}, &cs));
    EXPECT_EQ(CS_CHANGED, cs);
    INT i = 0;
    ASSERT_TRUE(Decode(xdr_INT, Bytes{0xFF, 0xFF, 0xFF, 0xFE}, &i));
    EXPECT_EQ(-2, i);
}

TEST(WireBytes, CapinfoIsInlineAndItsReferencesAreOptional)
{
    CAPINFOMESSAGE msg{T("ab"), {1, 2, 3, 4, -5}};
    Bytes got;
    ASSERT_TRUE(Encode(xdr_CAPINFOMESSAGE, &msg, &got));
    const Bytes body = WireBuilder().Text("ab").U32(1).U32(2).U32(3).U32(4).U32(0xFFFFFFFB).b;
    EXPECT_EQ(body, got); // no flag between the text and the integers
    EXPECT_EQ(28u, got.size());

    LPCAPINFOMESSAGE ref = &msg;
    ASSERT_TRUE(Encode(xdr_LPCAPINFOMESSAGE, &ref, &got));
    EXPECT_EQ(WireBuilder().U32(1).Append(body).b, got);
    LPCAPINFOMESSAGE backRef = nullptr;
    ASSERT_TRUE(Decode(xdr_LPCAPINFOMESSAGE, got, &backRef));
    ASSERT_NE(nullptr, backRef);
    EXPECT_STREQ("ab", backRef->text);
    EXPECT_EQ(-5, backRef->capinfo.value5);
    Release(xdr_LPCAPINFOMESSAGE, &backRef);
    EXPECT_EQ(nullptr, backRef);

    LPCAPINFO none = nullptr;
    ASSERT_TRUE(Encode(xdr_LPCAPINFO, &none, &got));
    EXPECT_EQ((Bytes{0, 0, 0, 0}), got);
    CAPINFO stale{};
    LPCAPINFO decoded = &stale; // flag 0 makes it absent
    ASSERT_TRUE(Decode(xdr_LPCAPINFO, got, &decoded));
    EXPECT_EQ(nullptr, decoded);
}

TEST(WireBytes, RequestCarriesEverySharedReferenceAsItsOwnCopy)
{
    CM local = SampleMember();
    CM other = SampleMember();
    other.host = T("beta");
    other.user = T("desk");
    CML n2{&other, nullptr};
    CML n1{&local, &n2};
    CALLER c{};
    c.state = CS_ACTIVE;
    c.subject = nullptr; // never given
    c.originator = &local;
    c.local = &local;
    c.members = &n1;
    CALLREQ req{CALL_INVITE, &other, &local, &c};

    Bytes got;
    ASSERT_TRUE(Encode(xdr_CALLREQ, &req, &got));
    const Bytes mLocal = WireBuilder().Member(4, 0xC0A80102, "pc1", "ANYBODY", "", "pc1").b;
    const Bytes mOther = WireBuilder().Member(4, 0xC0A80102, "beta", "desk", "", "pc1").b;
    const Bytes want = WireBuilder()
                           .U32(CALL_INVITE)
                           .U32(1).Append(mOther)
                           .U32(1).Append(mLocal)
                           .U32(1)
                           .U32(4).U32(0).U32(0).U32(0).U32(0).U32(0).U32(0)
                           .Text("").Text("").Text("").Text("").Text("")
                           .U32(1).Append(mLocal)
                           .U32(1).Append(mLocal)
                           .U32(1).U32(1).Append(mLocal).U32(1).U32(1).Append(mOther).U32(0)
                           .b;
    EXPECT_EQ(want, got);

    CALLREQ back{};
    ASSERT_TRUE(Decode(xdr_CALLREQ, got, &back));
    ASSERT_NE(nullptr, back.caller);
    ASSERT_NE(nullptr, back.caller->subject);
    EXPECT_STREQ("", back.caller->subject);
    // Distinct records, one per reference.
    EXPECT_NE(back.from, back.caller->originator);
    EXPECT_NE(back.caller->originator, back.caller->local);
    EXPECT_NE(back.caller->local, back.caller->members->cm);
    EXPECT_STREQ("desk", back.to->user);
    EXPECT_STREQ("beta", back.caller->members->next->cm->host);
    Release(xdr_CALLREQ, &back);
    EXPECT_EQ(nullptr, back.caller);
    EXPECT_EQ(nullptr, back.to);

    CALLRPY rpy{CALL_DECLINE, &local, nullptr, T("1/2"), 9};
    ASSERT_TRUE(Encode(xdr_CALLRPY, &rpy, &got));
    EXPECT_EQ(WireBuilder().U32(4).U32(1).Append(mLocal).U32(0).Text("1/2").U32(9).b, got);
    LPCALLRPY rpyRef = nullptr;
    ASSERT_TRUE(Decode(xdr_LPCALLRPY, WireBuilder().U32(1).Append(got).b, &rpyRef));
    EXPECT_EQ(nullptr, rpyRef->from);
    EXPECT_STREQ("1/2", rpyRef->callid);
    EXPECT_EQ(9, rpyRef->seqno);
    Release(xdr_LPCALLRPY, &rpyRef);
}

} // namespace
