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
    const Bytes want = {0, 0, 0, 4, 0xC0, 0xA8, 1,   2,   0,   0,   0,   3,   'p', 'c', '1',
                        0, 0, 0, 0, 7,    'A',  'N', 'Y', 'B', 'O', 'D', 'Y', 0,   0,   0,
                        0, 0, 0, 0, 0,    3,    'p', 'c', '1', 0,   0,   0,   0,   0};
    EXPECT_EQ(want, got);

    CM back{};
    size_t used = 0;
    ASSERT_TRUE(Decode(xdr_CM, got, &back, &used));
    EXPECT_EQ(44u, used);
    EXPECT_STREQ("ANYBODY", back.user);
    ASSERT_NE(nullptr, back.realname); // empty, not absent
    EXPECT_STREQ("", back.realname);
    Release(xdr_CM, &back);
}

TEST(WireBytes, TextLengthsPaddingAndAbsentTexts)
{
    CAPINFOMESSAGE msg{};
    Bytes got;

    // Absent travels as the empty text and comes back present and empty.
    msg.text = nullptr;
    ASSERT_TRUE(Encode(xdr_CAPINFOMESSAGE, &msg, &got));
    EXPECT_EQ(WireBuilder().Text("").U32s({0, 0, 0, 0, 0}).b, got);
    CAPINFOMESSAGE back{};
    ASSERT_TRUE(Decode(xdr_CAPINFOMESSAGE, got, &back));
    ASSERT_NE(nullptr, back.text);
    EXPECT_STREQ("", back.text);
    Release(xdr_CAPINFOMESSAGE, &back);

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
    CM m1 = SampleMember();
    CML n2{nullptr, nullptr}; // a node without a member
    CML n1{&m1, &n2};
    c.members = &n1;
    Bytes got;
    ASSERT_TRUE(Encode(xdr_CALLER, &c, &got));
    // Seven ints, the five texts, then originator, local and the list.
    const Bytes member = WireBuilder().Member(4, 0xC0A80102, "pc1", "ANYBODY", "", "pc1").b;
    EXPECT_EQ(WireBuilder()
                  .U32s({0, 0, 0, 0, 0, 0, 0})
                  .Texts({"16909060/123456", "", "", "", ""})
                  .U32s({0, 0, 1, 1})
                  .Append(member)
                  .U32s({1, 0, 0})
                  .b,
              got);
    CALLER back{};
    ASSERT_TRUE(Decode(xdr_CALLER, got, &back));
    ASSERT_TRUE(back.members && back.members->cm && back.members->next);
    EXPECT_EQ(nullptr, back.members->next->cm);
    EXPECT_EQ(nullptr, back.members->next->next);
    Release(xdr_CALLER, &back);
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
                           .U32s({CALL_INVITE, 1})
                           .Append(mOther)
                           .U32(1)
                           .Append(mLocal)
                           .U32s({1, 4, 0, 0, 0, 0, 0, 0})
                           .Texts({"", "", "", "", ""})
                           .U32(1)
                           .Append(mLocal)
                           .U32(1)
                           .Append(mLocal)
                           .U32s({1, 1})
                           .Append(mLocal)
                           .U32s({1, 1})
                           .Append(mOther)
                           .U32(0)
                           .b;
    EXPECT_EQ(want, got);

    CALLREQ back{};
    ASSERT_TRUE(Decode(xdr_CALLREQ, got, &back));
    ASSERT_NE(nullptr, back.caller);
    ASSERT_NE(nullptr, back.caller->subject);
    // Distinct records, one per reference.
    EXPECT_NE(back.from, back.caller->originator);
    EXPECT_NE(back.caller->originator, back.caller->local);
    EXPECT_NE(back.caller->local, back.caller->members->cm);
    Release(xdr_CALLREQ, &back);

    CALLRPY rpy{CALL_DECLINE, &local, nullptr, T("1/2"), 9};
    ASSERT_TRUE(Encode(xdr_CALLRPY, &rpy, &got));
    EXPECT_EQ(WireBuilder().U32(4).U32(1).Append(mLocal).U32(0).Text("1/2").U32(9).b, got);
    LPCALLRPY rpyRef = nullptr;
    ASSERT_TRUE(Decode(xdr_LPCALLRPY, WireBuilder().U32(1).Append(got).b, &rpyRef));
    EXPECT_EQ(nullptr, rpyRef->from);
    Release(xdr_LPCALLRPY, &rpyRef);
}

} // namespace
