// The record allocator and the registry of applications and sessions.
#include "registry/registry.h"
#include "support/msgseq_gtest.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace {

DWORD word_at(const void *body, int offset)
{
    DWORD v;
    memcpy(&v, (const BYTE *)body + offset, sizeof v);
    return v;
}

void destroy_all()
{
    while (APP_First())
        APP_Destroy(APP_First());
}

/* The id counters run on for the life of the process: both are walked round
 * to 127, so the next application and session are 1, whatever ran before. */
void ids_from_one()
{
    destroy_all();
    CMAPP *app = APP_Create(nullptr, 0);
    while (app->id != 127)
        app = APP_Create(nullptr, 0);
    CMSESSION *s = SESSION_Create(app);
    while (s->id != 127) {
        SESSION_Destroy(app, s);
        s = SESSION_Create(app);
    }
    destroy_all();
}

TEST(RecordAllocator, BlocksCarryTagTotalAndAZeroTrailer)
{
    CMSESSION *s = (CMSESSION *)REC_Alloc(REC_SESSION, 0);
    ASSERT_NE(nullptr, s);
    EXPECT_EQ(0x0100BAABu, word_at(s, -8));
    EXPECT_EQ(8 + sizeof(CMSESSION) + 4, word_at(s, -4));
    EXPECT_EQ(0u, word_at(s, (int)sizeof(CMSESSION)));
    EXPECT_EQ(std::vector<BYTE>(sizeof *s), std::vector<BYTE>((BYTE *)s, (BYTE *)(s + 1)));
    EXPECT_EQ(1, REC_Free(s));
    EXPECT_EQ(1, REC_Free(nullptr));
    char *empty = REC_CopyText("");
    ASSERT_NE(nullptr, empty);
    EXPECT_EQ(0x0700BAABu, word_at(empty, -8));
    EXPECT_EQ(13u, word_at(empty, -4)) << "header, one zero byte, trailer";
    REC_Free(empty);
    EXPECT_EQ(nullptr, REC_CopyText(nullptr));
    void *other = REC_Alloc(9, 5);
    ASSERT_NE(nullptr, other);
    EXPECT_EQ(0u, word_at(other, -8)) << "unknown types get tag 0";
    EXPECT_EQ(17u, word_at(other, -4)) << "and a body of the extra length only";
    REC_Free(other);
    EXPECT_EQ(nullptr, REC_Alloc(REC_TEXT, (size_t)0xFFFFFFFF));
}

TEST(RecordAllocator, TextCopiesAreCutToFitAndDigitsUnterminated)
{
    char field[6];
    memset(field, 'x', sizeof field);
    EXPECT_EQ(5u, REC_CopyInto(field, sizeof field, "fives"));
    EXPECT_STREQ("fives", field) << "the longest that fits";
    memset(field, 'x', sizeof field);
    EXPECT_EQ(6u, REC_CopyInto(field, sizeof field, "sixsix"));
    EXPECT_STREQ("sixsi", field) << "a byte longer is cut";
    EXPECT_EQ(0u, REC_CopyInto(field, sizeof field, ""));
    EXPECT_EQ('\0', field[0]);
    EXPECT_EQ('i', field[4]) << "nothing written past the copy";
    char one[1] = {'x'};
    EXPECT_EQ(3u, REC_CopyInto(one, sizeof one, "abc"));
    EXPECT_EQ('\0', one[0]) << "a one-byte field holds the terminator only";
    EXPECT_EQ(3u, REC_CopyInto(one + 1, 0, "abc")) << "an empty field is left alone";

    // Decimal digits are written without a terminator.
    for (DWORD value : {0u, 9u, 10u, 4294967295u}) {
        char out[REC_DECIMAL_MAX + 1];
        memset(out, 'x', sizeof out);
        char *end = REC_PutDecimal(out, value);
        EXPECT_EQ(std::to_string(value), std::string(out, end));
        EXPECT_EQ('x', *end) << "nothing past the digits";
    }
}

TEST(Registry, IdsWrapAfter127AndTheNewestIsFound)
{
    ids_from_one();
    CMAPP *first = APP_Create(nullptr, 0);
    ASSERT_EQ(1, first->id);
    CMAPP *last = nullptr;
    for (int i = 0; i < 126; ++i)
        last = APP_Create(nullptr, 0);
    EXPECT_EQ(127, last->id);
    CMAPP *again = APP_Create(nullptr, 0);
    EXPECT_EQ(1, again->id) << "ids in use are not skipped";
    EXPECT_EQ(again, APP_Find(1));
    EXPECT_EQ(nullptr, APP_Find(0));
    EXPECT_EQ(1, APP_Destroy(again));
    EXPECT_EQ(first, APP_Find(1));
    EXPECT_EQ(CMERR_INVALID, APP_Destroy(again)) << "no longer registered";
    destroy_all();

    // Session ids are library-wide and found in list order.
    CMAPP *a = APP_Create(nullptr, 0);
    CMAPP *b = APP_Create(nullptr, 0);
    CMSESSION *sa = SESSION_Create(a);
    CMSESSION *sb = SESSION_Create(b);
    EXPECT_EQ(1, sa->id);
    EXPECT_EQ(2, sb->id);
    EXPECT_TRUE(sa->tcpsocket == INVALID_SOCKET && sa->udpsocket2 == INVALID_SOCKET);
    CMSESSION *s = nullptr;
    for (int i = 0; i < 125; ++i)
        s = SESSION_Create(a);
    EXPECT_EQ(127, s->id);
    EXPECT_EQ(nullptr, SESSION_Create(a)) << "every id is held: no session rather than a "
                                             "second one under an id in use";
    EXPECT_EQ(1, SESSION_Destroy(b, sb));
    s = SESSION_Create(b);
    ASSERT_NE(nullptr, s);
    EXPECT_EQ(2, s->id) << "ids go round, passing over those still held";
    CMAPP *owner = nullptr;
    EXPECT_EQ(sa, SESSION_Find(1, &owner));
    EXPECT_EQ(a, owner);
    EXPECT_EQ(s, SESSION_Find(0x20002, &owner)) << "only the low word is the id";
    EXPECT_EQ(b, owner);
    EXPECT_EQ(nullptr, SESSION_Find(0, &owner));
    EXPECT_EQ(nullptr, owner);
    EXPECT_EQ(0, SESSION_Destroy(b, sa)) << "not in that application's list";
    EXPECT_EQ(1, SESSION_Destroy(a, sa));
    EXPECT_EQ(0, SESSION_Destroy(a, sa));
    destroy_all();
}

TEST(Registry, AnIdleApplicationHasNoCallInItsNewestSession)
{
    CMAPP *older = APP_Create(nullptr, 0);
    CMAPP *newer = APP_Create(nullptr, 0);
    CALLCTX call{};
    CMSESSION *idle = SESSION_Create(newer);
    CMSESSION *busy = SESSION_Create(newer);
    busy->call = &call;
    EXPECT_EQ(older, APP_FindIdle()) << "an idle older session does not make it idle";
    idle->call = &call;
    busy->call = nullptr;
    EXPECT_EQ(newer, APP_FindIdle());
    newer->flags |= APP_CLOSING;
    EXPECT_EQ(older, APP_FindIdle()) << "a closing application takes no invitation";
    newer->flags = 0;
    busy->call = &call;
    SESSION_Create(older)->call = &call;
    EXPECT_EQ(nullptr, APP_FindIdle());
    for (CMAPP *app : {older, newer})
        for (CMSESSION *s = app->sessions; s; s = s->next)
            s->call = nullptr;
    destroy_all();
}

TEST(Registry, ADeferredCleanupWaitsForTheExchangeAndThenTellsTheApplication)
{
    SEQ_RegisterClass("CleanupNotify");
    HWND w = SEQ_CreateWindow("CleanupNotify");
    CMAPP *app = APP_Create(w, WM_USER + 5);
    SESSION_Create(app);
    app->busy = 1;
    EXPECT_EQ(CMERR_BUSY, APP_CompleteCleanup(app));
    EXPECT_EQ(app, APP_First());
    EXPECT_EQ(CMERR_BADAPP, APP_CompleteCleanup(nullptr));
    app->busy = 0;
    SEQ_Flush();
    EXPECT_EQ(0, APP_CompleteCleanup(app));
    EXPECT_EQ(nullptr, APP_First());
    SEQ_Pump();
    const std::vector<SEQ_MSG> cleaned_up{
        {WM_USER + 5, SEQ_POSTED | SEQ_WPARAM | SEQ_LPARAM, 0x3600}};
    EXPECT_TRUE(SEQ_Ok(cleaned_up, "the deferred clean-up"));

    CMAPP *gone = APP_Create(w, WM_USER + 5);
    DestroyWindow(w);
    EXPECT_EQ(0, APP_CompleteCleanup(gone)) << "a vanished window is not told";
}

} // namespace
