/*
 * Call and reply messages: the exact bytes of a call header, each kind of
 * reply, and calls a server must refuse or deny.
 */
#include "msgcore.h"
#include "xdrcore.h"

#include <gtest/gtest.h>
#include <string.h>

#include <vector>

namespace {

using namespace pal::onc;

bool_t CodeInt(XDR *xdrs, int32_t *value)
{
    return code_i32(xdrs, value);
}

xdrproc_t IntProc()
{
    return reinterpret_cast<xdrproc_t>(reinterpret_cast<void (*)(void)>(CodeInt));
}

/* A call header up to its credentials' length: xid 0x11223344, a call of
 * RPC version 2 to procedure 3 of program 391010 version 1, credentials of
 * flavor AUTH_SYS. */
const unsigned char kHead[28] = {0x11, 0x22, 0x33, 0x44, 0, 0, 0, 0, 0, 0, 0, 2, 0, 5,
                                 0xF7, 0x62, 0,    0,    0, 1, 0, 0, 0, 3, 0, 0, 0, AUTH_SYS};

/* That header of `rpcvers`, its credentials `cred_length` zeros (whatever
 * the bound), its verifier AUTH_NONE. */
std::vector<char> CallHeader(uint32_t rpcvers, uint32_t cred_length)
{
    std::vector<char> bytes(40 + cred_length);
    memcpy(bytes.data(), kHead, sizeof kHead);
    bytes[11] = (char)rpcvers;
    for (int i = 0; i < 4; ++i)
        bytes[28 + i] = (char)(cred_length >> (24 - 8 * i));
    return bytes;
}

TEST(MsgCore, CallHeaderBytesAndWhereTheArgumentsBegin)
{
    /* A client's call: the header with no credentials, then the arguments,
     * in a body sized to them whatever it held. */
    int32_t value = -2;
    std::vector<char> body(3, 'x');
    ASSERT_TRUE(encode_call(0x11223344, 391010, 1, 3, IntProc(), &value, &body));
    std::vector<char> expected = CallHeader(2, 0);
    expected[27] = AUTH_NONE;
    expected.insert(expected.end(), {'\xFF', '\xFF', '\xFF', '\xFE'});
    EXPECT_EQ(expected, body);
    Call call;
    ASSERT_EQ(CallCheck::OK, parse_call(body.data(), (u_int)body.size(), &call));
    EXPECT_EQ(40u, call.args_at);
    EXPECT_EQ(3u, call.msg.rm_call.cb_proc);
    /* After credentials of another flavor too; the whole header is needed. */
    std::vector<char> bytes = CallHeader(2, 0);
    ASSERT_EQ(CallCheck::OK, parse_call(bytes.data(), 40, &call));
    EXPECT_EQ(40u, call.args_at);
    EXPECT_EQ(CallCheck::GARBAGE, parse_call(bytes.data(), 39, &call));
}

TEST(MsgCore, CallsTheServerRefusesOrDenies)
{
    Call call;
    std::vector<char> bytes = CallHeader(3, 0);
    EXPECT_EQ(CallCheck::RPC_MISMATCH, parse_call(bytes.data(), (u_int)bytes.size(), &call));
    EXPECT_EQ(0x11223344u, call.msg.rm_xid);

    bytes = CallHeader(2, MAX_AUTH_BYTES);
    EXPECT_EQ(CallCheck::OK, parse_call(bytes.data(), (u_int)bytes.size(), &call));
    bytes = CallHeader(2, MAX_AUTH_BYTES + 4);
    EXPECT_EQ(CallCheck::GARBAGE, parse_call(bytes.data(), (u_int)bytes.size(), &call));

    bytes = CallHeader(2, 0);
    bytes[7] = 1; /* a reply where a call belongs */
    EXPECT_EQ(CallCheck::GARBAGE, parse_call(bytes.data(), (u_int)bytes.size(), &call));
    bytes[7] = 2;
    EXPECT_EQ(CallCheck::GARBAGE, parse_call(bytes.data(), (u_int)bytes.size(), &call));
}

struct Decoded {
    bool ok;
    Reply reply;
    int32_t result;
};

Decoded DecodeReply(const char *bytes, u_int length)
{
    Decoded d;
    d.result = 0;
    d.ok = decode_reply(bytes, length, IntProc(), &d.result, &d.reply);
    return d;
}

TEST(MsgCore, RepliesOfEachKindComeBackAsSent)
{
    char buffer[64];
    XDR xdrs;
    int32_t sixteen = 16;
    mem_create(&xdrs, buffer, sizeof buffer, XDR_ENCODE);
    ASSERT_TRUE(encode_accepted(&xdrs, 7, SUCCESS, IntProc(), &sixteen, 0, 0));
    ASSERT_EQ(28u, get_pos(&xdrs));
    Decoded d = DecodeReply(buffer, 28);
    EXPECT_TRUE(d.ok);
    EXPECT_EQ(7u, d.reply.msg.rm_xid);
    EXPECT_EQ(16, d.result);
    EXPECT_FALSE(DecodeReply(buffer, 27).ok);

    mem_create(&xdrs, buffer, sizeof buffer, XDR_ENCODE);
    ASSERT_TRUE(encode_accepted(&xdrs, 8, PROG_MISMATCH, nullptr, nullptr, 1, 1));
    d = DecodeReply(buffer, get_pos(&xdrs));
    EXPECT_TRUE(d.ok);
    EXPECT_EQ(PROG_MISMATCH, d.reply.msg.acpted_rply.ar_stat);
    EXPECT_EQ(1u, d.reply.msg.acpted_rply.ar_vers.high);

    mem_create(&xdrs, buffer, sizeof buffer, XDR_ENCODE);
    ASSERT_TRUE(encode_version_denied(&xdrs, 9));
    d = DecodeReply(buffer, get_pos(&xdrs));
    EXPECT_TRUE(d.ok);
    EXPECT_EQ(MSG_DENIED, d.reply.msg.rm_reply.rp_stat);
    EXPECT_EQ(RPC_MISMATCH, d.reply.msg.rjcted_rply.rj_stat);
    EXPECT_EQ(2u, d.reply.msg.rjcted_rply.rj_vers.low);

    /* An accept status outside its set fails the reply. */
    mem_create(&xdrs, buffer, sizeof buffer, XDR_ENCODE);
    ASSERT_TRUE(encode_accepted(&xdrs, 7, SYSTEM_ERR, nullptr, nullptr, 0, 0));
    buffer[23] = 6;
    EXPECT_FALSE(DecodeReply(buffer, get_pos(&xdrs)).ok);
}

} // namespace
