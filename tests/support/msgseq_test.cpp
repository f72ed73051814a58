/* The message-sequence recorder itself: what a table accepts and rejects,
 * and what its failure listing says. */
#include "support/msgseq_gtest.h"

#include <gtest/gtest.h>

namespace {

const UINT A = WM_USER + 1, B = WM_USER + 2, C = WM_USER + 3;

struct MsgSeq : ::testing::Test {
    void SetUp() override
    {
        SEQ_Flush();
        SEQ_Only({});
    }
    void TearDown() override
    {
        SEQ_Flush();
        SEQ_Only({});
        SEQ_Name(C, nullptr);
    }
};

TEST_F(MsgSeq, TablesMatchKindParametersAndSkipOnlyOptionalEntries)
{
    static const SEQ_MSG table[] = {
        {A, SEQ_POSTED | SEQ_WPARAM, 7},
        {B, SEQ_SENT | SEQ_OPTIONAL},
        {C, SEQ_SENT | SEQ_LPARAM, 0, -1},
        {B, SEQ_OPTIONAL},
        {0, 0},
    };
    struct Case {
        const char *what;
        std::vector<SEQ_RECORD> got;
        bool ok;
        const char *why;
    } cases[] = {
        {"all present",
         {{0, A, 7, 0, SEQ_POSTED},
          {0, B, 0, 0, SEQ_SENT},
          {0, C, 0, -1, SEQ_SENT},
          {0, B, 1, 1, SEQ_POSTED}},
         true,
         ""},
        {"optional ones missing", {{0, A, 7, 0, SEQ_POSTED}, {0, C, 9, -1, SEQ_SENT}}, true, ""},
        {"sent where posted",
         {{0, A, 7, 0, SEQ_SENT}, {0, C, 0, -1, SEQ_SENT}},
         false,
         "should have been posted"},
        {"posted where sent",
         {{0, A, 7, 0, SEQ_POSTED}, {0, C, 0, -1, SEQ_POSTED}},
         false,
         "should have been sent"},
        {"wparam", {{0, A, 8, 0, SEQ_POSTED}, {0, C, 0, -1, SEQ_SENT}}, false, "wparam differs"},
        {"lparam", {{0, A, 7, 0, SEQ_POSTED}, {0, C, 0, 1, SEQ_SENT}}, false, "lparam differs"},
        {"order", {{0, C, 0, -1, SEQ_SENT}, {0, A, 7, 0, SEQ_POSTED}}, false, "another message"},
        {"short", {{0, A, 7, 0, SEQ_POSTED}}, false, "expected more messages"},
        {"long",
         {{0, A, 7, 0, SEQ_POSTED}, {0, C, 0, -1, SEQ_SENT}, {0, A, 7, 0, SEQ_POSTED}},
         false,
         "more messages than expected"},
        {"empty", {}, false, "expected more messages"},
    };
    for (const Case &c : cases) {
        for (const SEQ_RECORD &r : c.got)
            SEQ_Add(r.hwnd, r.msg, r.wparam, r.lparam, r.flags);
        std::string listing;
        EXPECT_EQ(c.ok, SEQ_Compare(table, "ctx", &listing)) << c.what << "\n" << listing;
        EXPECT_EQ(0u, SEQ_Count()) << c.what << ": a comparison empties the record";
        if (!c.ok)
            EXPECT_NE(std::string::npos, listing.find(c.why)) << c.what << "\n" << listing;
        else
            EXPECT_EQ("", listing) << c.what;
    }
}

TEST_F(MsgSeq, ListingShowsBothSidesAndMarksWhereTheyPart)
{
    SEQ_Name(C, "CM_THIRD");
    SEQ_Add(0, A, 1, 2, SEQ_POSTED);
    SEQ_Add(0, B, 0, 0, SEQ_SENT);
    std::string listing;
    EXPECT_FALSE(SEQ_Compare(std::vector<SEQ_MSG>{{A, SEQ_POSTED}, {C, SEQ_SENT}}, "after accept",
                             &listing));
    EXPECT_EQ(
        0u, listing.find(
                "after accept: message sequence differs at expected 1 / got 1: another message\n"))
        << listing;
    EXPECT_NE(std::string::npos, listing.find("  > 1  CM_THIRD sent")) << listing;
    EXPECT_NE(std::string::npos, listing.find("    0  WM_USER+1 posted w=0x1 l=0x2")) << listing;
    EXPECT_NE(std::string::npos, listing.find("  > 1  WM_USER+2 sent")) << listing;
    EXPECT_NE(std::string::npos, listing.find("= got 0")) << listing;
    EXPECT_FALSE(SEQ_Ok(std::vector<SEQ_MSG>{{A}}, "empty record"));
    EXPECT_TRUE(SEQ_Ok(std::vector<SEQ_MSG>{}, "nothing expected, nothing got"));
}

TEST_F(MsgSeq, RecordingProcedureTellsQueuedFromSentAndOnlyKeepsWhatIsAskedFor)
{
    ASSERT_TRUE(SEQ_RegisterClass("MsgSeqTest"));
    ASSERT_TRUE(SEQ_RegisterClass("MsgSeqTest")) << "registering again is no error";
    SEQ_Only({A, B, C});
    HWND w = SEQ_CreateWindow("MsgSeqTest");
    ASSERT_NE(nullptr, w);
    PostMessageA(w, A, 1, 0);
    SendMessageA(w, B, 2, 0);
    PostMessageA(w, C, 3, 0);
    EXPECT_EQ(2, SEQ_Pump());
    const SEQ_MSG seq[] = {
        {B, SEQ_SENT | SEQ_WPARAM, 2},
        {A, SEQ_POSTED | SEQ_WPARAM | SEQ_HWND, 1, 0, w},
        {C, SEQ_POSTED | SEQ_WPARAM, 3},
        {0, 0},
    };
    EXPECT_TRUE(SEQ_Ok(seq, "post, send, post"));
    DestroyWindow(w);
    EXPECT_EQ(0u, SEQ_Count()) << "the window manager's own messages were left out";
    SEQ_Only({});
    UnregisterClassA("MsgSeqTest", nullptr);
}

} // namespace
