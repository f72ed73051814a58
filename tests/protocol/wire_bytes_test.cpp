// Exact wire bytes of the call protocol's records, and records cut short or
// with very long member lists; leaks of a partial decode show in the
// sanitizer build.  Over-long texts: the server's tests.
#include "protocol/callsample.h"
#include "protocol/wirebytes.h"

#include <gtest/gtest.h>

#include <rpc/types.h>

namespace {

char *T(const char *s)
{
    return const_cast<char *>(s);
}

CM SampleMember()
{
    return CM{CMS_JOINED, 0xC0A80102, T("pc1"), T("ANYBODY"), T(""), T("pc1"), 0};
}

const Bytes kMember = WireBuilder().Member(4, 0xC0A80102, "pc1", "ANYBODY", "", "pc1").b;

// The request of RequestCarriesEverySharedReferenceAsItsOwnCopy.
Bytes RequestWire()
{
    const Bytes other = WireBuilder().Member(4, 0xC0A80102, "beta", "desk", "", "pc1").b;
    WireBuilder w;
    w.U32s({CALL_INVITE, 1}).Append(other).U32(1).Append(kMember); // to and from
    // The caller: its numbers, its five texts empty, its originator and local.
    w.U32s({1, 4, 0, 0, 0, 0, 0, 0}).Text("").Text("").Text("").Text("").Text("");
    w.U32(1).Append(kMember).U32(1).Append(kMember);
    // Its members: local, other and a node without a member.
    w.U32s({1, 1}).Append(kMember).U32s({1, 1}).Append(other).U32s({1, 0, 0});
    return w.b;
}

// A member list of n nodes as it travels, each node holding a small member.
Bytes ListOf(size_t n)
{
    WireBuilder w;
    for (size_t i = 0; i < n; i++)
        w.U32(1).U32(1).Member(0, static_cast<uint32_t>(i), "h", "u", "", "");
    w.U32(0);
    return w.b;
}

const size_t MAX = WIRE_MAXMEMBERS;

TEST(WireBytes, TextLengthsPaddingAndAbsentTexts)
{
    CAPINFOMESSAGE msg{};
    Bytes got;

    // Absent travels as the empty text and comes back present and empty.
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
    EXPECT_EQ(WireBuilder().Text(longest).U32s({0, 0, 0, 0, 0}).b, got);

    std::string tooLong(256, 'x');
    msg.text = tooLong.data();
    EXPECT_FALSE(Encode(xdr_CAPINFOMESSAGE, &msg, &got));
}

TEST(WireBytes, RequestCarriesEverySharedReferenceAsItsOwnCopy)
{
    CM local = SampleMember();
    CM other = SampleMember();
    other.host = T("beta");
    other.user = T("desk");
    CML n3{nullptr, nullptr}; // a node without a member
    CML n2{&other, &n3};
    CML n1{&local, &n2};
    CALLER c{};
    c.state = CS_ACTIVE;
    c.originator = &local;
    c.local = &local;
    c.members = &n1;
    CALLREQ req{CALL_INVITE, &other, &local, &c};

    // The member alone, byte by byte.
    Bytes got;
    ASSERT_TRUE(Encode(xdr_CM, &local, &got));
    const Bytes member = {0, 0, 0, 4, 0xC0, 0xA8, 1,   2,   0,   0,   0,   3,   'p', 'c', '1',
                          0, 0, 0, 0, 7,    'A',  'N', 'Y', 'B', 'O', 'D', 'Y', 0,   0,   0,
                          0, 0, 0, 0, 0,    3,    'p', 'c', '1', 0,   0,   0,   0,   0};
    EXPECT_EQ(member, got);
    EXPECT_EQ(member, kMember);

    ASSERT_TRUE(Encode(xdr_CALLREQ, &req, &got));
    EXPECT_EQ(RequestWire(), got);

    CALLREQ back{};
    ASSERT_TRUE(Decode(xdr_CALLREQ, got, &back));
    // Distinct records, one per reference.
    EXPECT_NE(back.from, back.caller->originator);
    EXPECT_NE(back.caller->originator, back.caller->local);
    EXPECT_NE(back.caller->local, back.caller->members->cm);
    Release(xdr_CALLREQ, &back);

    CALLRPY rpy{CALL_DECLINE, &local, nullptr, T("1/2"), 9};
    ASSERT_TRUE(Encode(xdr_CALLRPY, &rpy, &got));
    EXPECT_EQ(WireBuilder().U32(4).U32(1).Append(kMember).U32(0).Text("1/2").U32(9).b, got);
}

TEST(WireDecode, RequestCutShortAnywhereIsRefusedAndReleasable)
{
    const Bytes full = RequestWire();
    for (size_t cut = 0; cut < full.size(); cut++) {
        Bytes part(full.begin(), full.begin() + cut);
        CALLREQ partial{};
        EXPECT_FALSE(Decode(xdr_CALLREQ, part, &partial)) << "cut at " << cut;
        Release(xdr_CALLREQ, &partial);
        EXPECT_EQ(nullptr, partial.caller);
        EXPECT_EQ(nullptr, partial.to);
    }
}

TEST(WireDecode, MemberListsAreBoundedAndWalkedWithoutRecursion)
{
    LPCML list = nullptr;
    ASSERT_TRUE(Decode(xdr_LPCML, ListOf(WIRE_MAXMEMBERS), &list));
    EXPECT_EQ(MAX, list_length(list));
    Release(xdr_LPCML, &list);

    // One node more, or a hundred thousand, is refused and releasable.
    for (size_t n : {MAX + 1, size_t(100000)}) {
        ASSERT_FALSE(Decode(xdr_LPCML, ListOf(n), &list)) << n;
        EXPECT_EQ(MAX, list_length(list));
        Release(xdr_LPCML, &list);
        EXPECT_EQ(nullptr, list);
    }

    // The bound counts the node that the node routine is handed.
    CML node{};
    Bytes chain =
        WireBuilder().U32(1).Member(0, 0, "h", "u", "", "").Append(ListOf(WIRE_MAXMEMBERS)).b;
    EXPECT_FALSE(Decode(xdr_CML, chain, &node));
    EXPECT_EQ(MAX - 1, list_length(node.next));
    Release(xdr_CML, &node);
    EXPECT_EQ(nullptr, node.next);

    // A list made in memory may be longer than the wire allows: it cannot
    // be sent, and freeing it takes no stack per node.
    LPCML big = nullptr;
    for (int i = 0; i < 100000; i++) {
        auto *n = static_cast<LPCML>(mem_alloc(sizeof(CML)));
        n->cm = static_cast<LPCM>(mem_alloc(sizeof(CM)));
        n->next = big;
        big = n;
    }
    Bytes out;
    EXPECT_FALSE(Encode(xdr_LPCML, &big, &out));
    Release(xdr_LPCML, &big);
    EXPECT_EQ(nullptr, big);
}

} // namespace
