// The numbering of a process's first calls.  The call and group counters
// start at 0 only when the library is loaded and are never reset, so the
// check runs in a freshly started copy of this program (a death test in its
// re-executing style): it holds however often, and after whatever, the
// test runs in this process.
#include "members/members.h"
#include "fsm/fsm.h"

#include <paltest.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

int mismatches = 0;

void expect_text(const char *want, const char *got, const char *what)
{
    if (!got || strcmp(want, got) != 0) {
        fprintf(stderr, "%s: want %s, got %s\n", what, want, got ? got : "(null)");
        ++mismatches;
    }
}

void expect_number(long want, long got, const char *what)
{
    if (want != got) {
        fprintf(stderr, "%s: want %ld, got %ld\n", what, want, got);
        ++mismatches;
    }
}

/* Runs in the fresh process: exits 0 when the first two calls are numbered
 * as a loaded library numbers them. */
void first_two_calls()
{
    PalClockSetVirtual(TRUE, 123456);
    LOCALHOST_SetAddress(0x01020304);
    CMAPP *app = APP_Create(nullptr, 0);
    CMSESSION *one = app ? SESSION_Create(app) : nullptr;
    CMSESSION *two = app ? SESSION_Create(app) : nullptr;
    if (!one || !two || CALL_Create(one, nullptr) != 0) {
        fprintf(stderr, "the first call was not made\n");
        exit(2);
    }
    expect_number(1, one->call->caller->seqno, "first seqno");
    expect_text("16909060/123456", one->call->caller->callid, "first call id");
    expect_text("233.1.0.1", one->call->caller->group1, "first group1");
    expect_text("233.1.0.2", one->call->caller->group2, "first group2");

    PalClockAdvance(1);
    if (CALL_Create(two, nullptr) != 0) {
        fprintf(stderr, "the second call was not made\n");
        exit(2);
    }
    expect_number(2, two->call->caller->seqno, "second seqno");
    expect_text("16909060/123457", two->call->caller->callid, "second call id");
    expect_text("233.1.0.3", two->call->caller->group1, "second group1");
    expect_text("233.1.0.4", two->call->caller->group2, "second group2");

    APP_Destroy(app);
    exit(mismatches ? 1 : 0);
}

TEST(FirstCalls, NumbersAndGroupAddressesAfterLoad)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(first_two_calls(), ::testing::ExitedWithCode(0), "");
}

} // namespace
