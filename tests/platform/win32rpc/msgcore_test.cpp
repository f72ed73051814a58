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

std::vector<char> CallHeader(uint32_t rpcvers, uint32_t cred_length)
{
    std::vector<char> bytes(64 + MAX_AUTH_BYTES + 8);
    char cred[MAX_AUTH_BYTES + 8] = {};
    struct rpc_msg msg;
    memset(&msg, 0, sizeof msg);
    msg.rm_xid = 0x11223344;
    msg.rm_direction = CALL;
    msg.rm_call.cb_rpcvers = rpcvers;
    msg.rm_call.cb_prog = 391010;
    msg.rm_call.cb_vers = 1;
    msg.rm_call.cb_proc = 3;
    msg.rm_call.cb_cred.oa_flavor = AUTH_SYS;
    msg.rm_call.cb_cred.oa_base = cred;
    XDR xdrs;
    mem_create(&xdrs, bytes.data(), (u_int)bytes.size(), XDR_ENCODE);
    EXPECT_TRUE(code_call(&xdrs, &msg));
    /* Written past the bound by hand: the encoder keeps to it. */
    uint32_t at = 28, length = cred_length;
    set_pos(&xdrs, at);
    code_u32(&xdrs, &length);
    bytes.resize(40 + cred_length);
    return bytes;
}

TEST(MsgCore, CallHeaderBytesAndWhereTheArgumentsBegin)
{
    std::vector<char> bytes = CallHeader(2, 0);
    const unsigned char expected[40] = {0x11, 0x22, 0x33, 0x44, 0, 0, 0, 0, 0, 0, 0, 2, 0, 5,
                                        0xF7, 0x62, 0,    0,    0, 1, 0, 0, 0, 3, 0, 0, 0, 1,
                                        0,    0,    0,    0,    0, 0, 0, 0, 0, 0, 0, 0};
    ASSERT_EQ(40u, bytes.size());
    EXPECT_EQ(0, memcmp(expected, bytes.data(), 40));
    Call call;
    ASSERT_EQ(CallCheck::OK, parse_call(bytes.data(), 40, &call));
    EXPECT_EQ(40u, call.args_at);
    EXPECT_EQ(3u, call.msg.rm_call.cb_proc);
    EXPECT_EQ(CallCheck::GARBAGE, parse_call(bytes.data(), 39, &call));
}

/* A client's call: the header with no credentials, then the arguments,
 * in a body sized to them whatever it held. */
TEST(MsgCore, AClientsCallIsItsHeaderAndArgumentsExactly)
{
    int32_t value = -2;
    std::vector<char> body(3, 'x');
    ASSERT_TRUE(encode_call(0x11223344, 391010, 1, 3, IntProc(), &value, &body));
    const unsigned char expected[44] = {0x11, 0x22, 0x33, 0x44, 0,    0, 0, 0,    0,    0,    0,
                                        2,    0,    5,    0xF7, 0x62, 0, 0, 0,    1,    0,    0,
                                        0,    3,    0,    0,    0,    0, 0, 0,    0,    0,    0,
                                        0,    0,    0,    0,    0,    0, 0, 0xFF, 0xFF, 0xFF, 0xFE};
    ASSERT_EQ(sizeof expected, body.size());
    EXPECT_EQ(0, memcmp(expected, body.data(), sizeof expected));
    Call call;
    ASSERT_EQ(CallCheck::OK, parse_call(body.data(), (u_int)body.size(), &call));
    EXPECT_EQ(40u, call.args_at);
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
    struct rpc_msg msg;
    int32_t result;
};

Decoded DecodeReply(const char *bytes, u_int length)
{
    Decoded d;
    memset(&d.msg, 0, sizeof d.msg);
    char verifier[MAX_AUTH_BYTES];
    d.msg.acpted_rply.ar_verf.oa_base = verifier;
    d.msg.acpted_rply.ar_results.where = (caddr_t)&d.result;
    d.msg.acpted_rply.ar_results.proc = IntProc();
    d.result = 0;
    XDR xdrs;
    mem_create(&xdrs, (char *)bytes, length, XDR_DECODE);
    d.ok = code_reply(&xdrs, &d.msg);
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
    EXPECT_EQ(7u, d.msg.rm_xid);
    EXPECT_EQ(16, d.result);
    EXPECT_FALSE(DecodeReply(buffer, 27).ok);

    mem_create(&xdrs, buffer, sizeof buffer, XDR_ENCODE);
    ASSERT_TRUE(encode_accepted(&xdrs, 8, PROG_MISMATCH, nullptr, nullptr, 1, 1));
    d = DecodeReply(buffer, get_pos(&xdrs));
    EXPECT_TRUE(d.ok);
    EXPECT_EQ(PROG_MISMATCH, d.msg.acpted_rply.ar_stat);
    EXPECT_EQ(1u, d.msg.acpted_rply.ar_vers.high);

    mem_create(&xdrs, buffer, sizeof buffer, XDR_ENCODE);
    ASSERT_TRUE(encode_version_denied(&xdrs, 9));
    d = DecodeReply(buffer, get_pos(&xdrs));
    EXPECT_TRUE(d.ok);
    EXPECT_EQ(MSG_DENIED, d.msg.rm_reply.rp_stat);
    EXPECT_EQ(RPC_MISMATCH, d.msg.rjcted_rply.rj_stat);
    EXPECT_EQ(2u, d.msg.rjcted_rply.rj_vers.low);

    /* An accept status outside its set fails the reply. */
    mem_create(&xdrs, buffer, sizeof buffer, XDR_ENCODE);
    ASSERT_TRUE(encode_accepted(&xdrs, 7, SYSTEM_ERR, nullptr, nullptr, 0, 0));
    buffer[23] = 6;
    EXPECT_FALSE(DecodeReply(buffer, get_pos(&xdrs)).ok);
}

} // namespace
