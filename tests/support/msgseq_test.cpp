// The recorder's matching: what a table accepts and rejects.
#include "support/msgseq.h"

#include <gtest/gtest.h>

namespace {

const UINT A = WM_USER + 1, B = WM_USER + 2, C = WM_USER + 3;

SEQ_RECORD posted(UINT msg, WPARAM wparam = 0)
{
    return {nullptr, msg, wparam, 0, SEQ_POSTED};
}

SEQ_RECORD sent(UINT msg, WPARAM wparam = 0)
{
    return {nullptr, msg, wparam, 0, SEQ_SENT};
}

TEST(MsgSeq, TablesMatchKindParametersAndSkipOnlyOptionalEntries)
{
    static const SEQ_MSG table[] = {
        {A, SEQ_POSTED | SEQ_WPARAM, 7},
        {B, SEQ_SENT | SEQ_OPTIONAL},
        {C, SEQ_SENT},
        {B, SEQ_OPTIONAL},
        {0, 0},
    };
    struct Case {
        const char *what;
        std::vector<SEQ_RECORD> got;
        const char *why; /* empty: accepted */
    } cases[] = {
        {"all present", {posted(A, 7), sent(B), sent(C), posted(B, 1)}, ""},
        {"optional ones missing", {posted(A, 7), sent(C, 9)}, ""},
        {"sent where posted", {sent(A, 7), sent(C)}, "should have been posted"},
        {"posted where sent", {posted(A, 7), posted(C)}, "should have been sent"},
        {"wparam", {posted(A, 8), sent(C)}, "wparam differs"},
        {"order", {sent(C), posted(A, 7)}, "another message"},
        {"short", {posted(A, 7)}, "expected more messages"},
        {"long", {posted(A, 7), sent(C), posted(A, 7)}, "more messages than expected"},
    };
    SEQ_Only({});
    SEQ_Flush();
    for (const Case &c : cases) {
        for (const SEQ_RECORD &r : c.got)
            SEQ_Add(r.hwnd, r.msg, r.wparam, r.lparam, r.flags);
        std::string listing;
        EXPECT_EQ(!*c.why, SEQ_Compare(table, "ctx", &listing)) << c.what << "\n" << listing;
        EXPECT_EQ(0u, SEQ_Count()) << c.what << ": a comparison empties the record";
        EXPECT_NE(std::string::npos, listing.find(c.why)) << c.what << "\n" << listing;
    }
}

} // namespace
