/*
 * XDR over memory and the counting stream: exact bytes, the bounds of
 * every counted value, and what decoding allocates when the bytes lie.
 */
#include "xdrcore.h"

#include <gtest/gtest.h>
#include <stdlib.h>
#include <string.h>

#include <string>
#include <vector>

namespace {

using namespace pal::onc;

std::vector<unsigned char> Bytes(const char *buffer, u_int length)
{
    return std::vector<unsigned char>(buffer, buffer + length);
}

bool_t CodeInt(XDR *xdrs, int32_t *value)
{
    return code_i32(xdrs, value);
}

bool_t CodeText(XDR *xdrs, char **text)
{
    return code_string(xdrs, text, 8);
}

template <typename T> xdrproc_t Proc(bool_t (*proc)(XDR *, T *))
{
    return reinterpret_cast<xdrproc_t>(reinterpret_cast<void (*)(void)>(proc));
}

TEST(XdrCore, NumbersAreBigEndianUnitsAndStopAtTheEnd)
{
    char buffer[8];
    XDR xdrs;
    mem_create(&xdrs, buffer, 6, XDR_ENCODE);
    int32_t negative = -2;
    uint32_t too_many = 7;
    EXPECT_TRUE(code_i32(&xdrs, &negative));
    EXPECT_FALSE(code_u32(&xdrs, &too_many));
    EXPECT_EQ(4u, get_pos(&xdrs));
    EXPECT_EQ((std::vector<unsigned char>{0xFF, 0xFF, 0xFF, 0xFE}), Bytes(buffer, 4));

    mem_create(&xdrs, buffer, 4, XDR_DECODE);
    uint32_t back = 0;
    EXPECT_TRUE(code_u32(&xdrs, &back));
    EXPECT_EQ(0xFFFFFFFEu, back);
    EXPECT_FALSE(code_u32(&xdrs, &back));
    EXPECT_FALSE(set_pos(&xdrs, 5));
    EXPECT_TRUE(set_pos(&xdrs, 0));

    bool_t flag = 0;
    const char two[4] = {0, 0, 0, 2};
    mem_create(&xdrs, (char *)two, 4, XDR_DECODE);
    EXPECT_TRUE(code_bool(&xdrs, &flag));
    EXPECT_EQ(1, flag);
}

TEST(XdrCore, OpaqueRunsArePaddedWithZerosAndNeedRoomForThePadding)
{
    char buffer[8];
    memset(buffer, 0x55, sizeof buffer);
    char five[5] = {1, 2, 3, 4, 5};
    XDR xdrs;
    mem_create(&xdrs, buffer, 7, XDR_ENCODE);
    EXPECT_FALSE(code_opaque(&xdrs, five, 5));
    EXPECT_EQ(0u, get_pos(&xdrs));
    mem_create(&xdrs, buffer, 8, XDR_ENCODE);
    EXPECT_TRUE(code_opaque(&xdrs, five, 5));
    EXPECT_EQ((std::vector<unsigned char>{1, 2, 3, 4, 5, 0, 0, 0}), Bytes(buffer, 8));

    /* An empty run may have no bytes at all behind it. */
    char *none = nullptr;
    u_int zero = 0;
    mem_create(&xdrs, buffer, 4, XDR_ENCODE);
    EXPECT_TRUE(code_bytes(&xdrs, &none, &zero, 8));
    mem_create(&xdrs, buffer, 4, XDR_DECODE);
    EXPECT_TRUE(code_bytes(&xdrs, &none, &zero, 8));
    EXPECT_EQ(nullptr, none);
}

/* The counting stream sizes what encoding writes, and nothing it refuses. */
TEST(XdrCore, StringsKeepTheirLimitBothWaysAndInTheirSize)
{
    char buffer[16];
    XDR xdrs;
    char five[] = "hello", eight[] = "abcdefgh", nine[] = "abcdefghi";
    char *text = five;
    EXPECT_EQ(12u, size_of(Proc(CodeText), &text));
    text = eight;
    mem_create(&xdrs, buffer, sizeof buffer, XDR_ENCODE);
    EXPECT_TRUE(code_string(&xdrs, &text, 8));
    EXPECT_EQ(12u, get_pos(&xdrs));
    text = nine;
    EXPECT_FALSE(code_string(&xdrs, &text, 8));
    EXPECT_EQ(0u, size_of(Proc(CodeText), &text));
    text = nullptr;
    EXPECT_FALSE(code_string(&xdrs, &text, 8));

    mem_create(&xdrs, buffer, 12, XDR_DECODE);
    char *back = nullptr;
    EXPECT_FALSE(code_string(&xdrs, &back, 7));
    EXPECT_EQ(nullptr, back);
    mem_create(&xdrs, buffer, 12, XDR_DECODE);
    ASSERT_TRUE(code_string(&xdrs, &back, 8));
    EXPECT_STREQ("abcdefgh", back);
    free_object(Proc(CodeText), &back);
    EXPECT_EQ(nullptr, back);
}

TEST(XdrCore, LengthsBeyondTheBytesAllocateNothing)
{
    /* Lengths near the top of the range, which a careless length + 1 or
     * rounding would wrap. */
    for (uint32_t length : {0xFFFFFFFFu, 0xFFFFFFFDu, 5u}) {
        char buffer[8] = {0, 0, 0, 0, 'a', 'b', 'c', 'd'};
        for (int i = 0; i < 4; ++i)
            buffer[i] = (char)(length >> (24 - 8 * i));
        XDR xdrs;
        char *text = nullptr;
        mem_create(&xdrs, buffer, sizeof buffer, XDR_DECODE);
        EXPECT_FALSE(code_string(&xdrs, &text, 0xFFFFFFFFu)) << length;
        EXPECT_EQ(nullptr, text);
        char *bytes = nullptr;
        u_int count = 0;
        mem_create(&xdrs, buffer, sizeof buffer, XDR_DECODE);
        EXPECT_FALSE(code_bytes(&xdrs, &bytes, &count, 0xFFFFFFFFu)) << length;
        EXPECT_EQ(nullptr, bytes);
    }
}

TEST(XdrCore, PointersCarryPresenceAndFreeWhatDecodingMade)
{
    char buffer[8];
    XDR xdrs;
    int32_t value = 0x01020304;
    char *present = (char *)&value, *absent = nullptr;
    mem_create(&xdrs, buffer, sizeof buffer, XDR_ENCODE);
    ASSERT_TRUE(code_pointer(&xdrs, &present, sizeof value, Proc(CodeInt)));
    EXPECT_EQ((std::vector<unsigned char>{0, 0, 0, 1, 1, 2, 3, 4}), Bytes(buffer, 8));
    EXPECT_EQ(4u, size_of(Proc(CodeInt), &value));

    char *back = nullptr;
    mem_create(&xdrs, buffer, sizeof buffer, XDR_DECODE);
    ASSERT_TRUE(code_pointer(&xdrs, &back, sizeof value, Proc(CodeInt)));
    ASSERT_NE(nullptr, back);
    EXPECT_EQ(value, *(int32_t *)back);
    XDR freeing;
    mem_create(&freeing, nullptr, 0, XDR_FREE);
    EXPECT_TRUE(code_pointer(&freeing, &back, sizeof value, Proc(CodeInt)));
    EXPECT_EQ(nullptr, back);

    mem_create(&xdrs, buffer, 4, XDR_ENCODE);
    ASSERT_TRUE(code_pointer(&xdrs, &absent, sizeof value, Proc(CodeInt)));
    mem_create(&xdrs, buffer, 4, XDR_DECODE);
    back = (char *)&value;
    ASSERT_TRUE(code_pointer(&xdrs, &back, sizeof value, Proc(CodeInt)));
    EXPECT_EQ(nullptr, back);
}

} // namespace
