// Decoding what another machine sends: over-long texts, records cut short,
// very long member lists, and the release of a partial decode.  Leaks show
// up in the sanitizer build.
#include "protocol/wirebytes.h"

#include <gtest/gtest.h>

#include <rpc/types.h>

namespace {

// A member list of n nodes as it travels, each node holding a small member.
Bytes ListOf(size_t n)
{
    WireBuilder w;
    w.b.reserve(n * 44 + 4);
    for (size_t i = 0; i < n; i++)
        w.U32(1).U32(1).Member(0, static_cast<uint32_t>(i), "h", "u", "", "");
    w.U32(0);
    return w.b;
}

size_t Length(LPCML list)
{
    size_t n = 0;
    for (; list != nullptr; list = list->next)
        n++;
    return n;
}

TEST(WireDecode, OverlongTextLengthsAreRefused)
{
    for (uint32_t length : {256u, 0xFFFFFFFFu}) {
        Bytes in = WireBuilder().U32(4).U32(0x01020304).Text("pc1").U32(length).b;
        in.resize(in.size() + 260, 'x');
        CM m{};
        EXPECT_FALSE(Decode(xdr_CM, in, &m)) << length;
        EXPECT_NE(nullptr, m.host); // decoded before the bad field
        EXPECT_EQ(nullptr, m.user);
        Release(xdr_CM, &m);
        EXPECT_EQ(nullptr, m.host);
    }
}

TEST(WireDecode, RequestCutShortAnywhereIsRefusedAndReleasable)
{
    Bytes full = WireBuilder()
                     .U32s({CALL_INVITE, 1})
                     .Member(0, 1, "beta", "desk", "Front Desk", "Front Desk")
                     .U32(1)
                     .Member(0, 2, "alpha", "me", "Me", "")
                     .U32s({1, 4, 0x80000001, 0, 1, 5000, 5001, 6000})
                     .Texts({"2/2147483649", "233.1.0.1", "233.1.0.2", "", "hello"})
                     .U32(1)
                     .Member(0, 2, "alpha", "me", "Me", "")
                     .U32s({0, 1, 1})
                     .Member(0, 2, "alpha", "me", "Me", "")
                     .U32s({1, 0, 1, 1})
                     .Member(0, 1, "beta", "desk", "Front Desk", "Front Desk")
                     .U32(0)
                     .b;
    CALLREQ req{};
    size_t used = 0;
    ASSERT_TRUE(Decode(xdr_CALLREQ, full, &req, &used));
    EXPECT_EQ(full.size(), used);
    EXPECT_EQ(3u, Length(req.caller->members));
    EXPECT_EQ(0x80000001u, static_cast<uint32_t>(req.caller->starttime));
    Release(xdr_CALLREQ, &req);

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
    EXPECT_EQ(static_cast<size_t>(WIRE_MAXMEMBERS), Length(list));
    Bytes again;
    ASSERT_TRUE(Encode(xdr_LPCML, &list, &again));
    EXPECT_EQ(ListOf(WIRE_MAXMEMBERS), again);
    Release(xdr_LPCML, &list);
    EXPECT_EQ(nullptr, list);

    // One node more, or a hundred thousand, is refused; what was decoded
    // up to the bound is released.
    for (size_t n : {static_cast<size_t>(WIRE_MAXMEMBERS) + 1, static_cast<size_t>(100000)}) {
        ASSERT_FALSE(Decode(xdr_LPCML, ListOf(n), &list)) << n;
        EXPECT_EQ(static_cast<size_t>(WIRE_MAXMEMBERS), Length(list));
        Release(xdr_LPCML, &list);
        EXPECT_EQ(nullptr, list);
    }

    // The bound counts the node that the node routine is handed.
    CML node{};
    Bytes chain = WireBuilder().U32(1).Member(0, 0, "h", "u", "", "").b;
    Bytes rest = ListOf(WIRE_MAXMEMBERS);
    chain.insert(chain.end(), rest.begin(), rest.end());
    EXPECT_FALSE(Decode(xdr_CML, chain, &node));
    EXPECT_EQ(static_cast<size_t>(WIRE_MAXMEMBERS - 1), Length(node.next));
    Release(xdr_CML, &node);
    EXPECT_EQ(nullptr, node.cm);
    EXPECT_EQ(nullptr, node.next);

    // A list made in memory may be longer than the wire allows: it cannot
    // be sent, and freeing it takes no stack per node.
    LPCML big = nullptr;
    for (int i = 0; i < 100000; i++) {
        auto *n = static_cast<LPCML>(mem_alloc(sizeof(CML)));
        ASSERT_NE(nullptr, n);
        n->cm = static_cast<LPCM>(mem_alloc(sizeof(CM)));
        ASSERT_NE(nullptr, n->cm);
        n->next = big;
        big = n;
    }
    Bytes out;
    EXPECT_FALSE(Encode(xdr_LPCML, &big, &out));
    Release(xdr_LPCML, &big);
    EXPECT_EQ(nullptr, big);
}

TEST(WireDecode, AbsentReferencesAndEmptyNodesDecode)
{
    // A request whose to, from and caller are all absent is well formed.
    CALLREQ req{};
    req.msg = -1;
    ASSERT_TRUE(Decode(xdr_CALLREQ, WireBuilder().U32(7).U32(0).U32(0).U32(0).b, &req));
    EXPECT_EQ(CALL_UPDATE, req.msg);
    EXPECT_EQ(nullptr, req.to);
    EXPECT_EQ(nullptr, req.caller);

    // Flags other than 0 count as present, as the runtime's boolean does.
    LPCM m = nullptr;
    ASSERT_TRUE(Decode(xdr_LPCM, WireBuilder().U32(2).Member(1, 2, "h", "u", "r", "a", 3).b, &m));
    ASSERT_NE(nullptr, m);
    EXPECT_STREQ("a", m->address);
    EXPECT_EQ(3, m->reserved);
    Release(xdr_LPCM, &m);
}

} // namespace
