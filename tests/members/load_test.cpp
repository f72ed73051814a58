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
#include <string>

namespace {

/* What the call of `s` is numbered: "seqno callid group1 group2". */
std::string numbering(const CMSESSION *s)
{
    const CALLER *c = s->call->caller;
    return std::to_string(c->seqno) + " " + c->callid + " " + c->group1 + " " + c->group2;
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
    if (!one || !two || CALL_Create(one, nullptr) != 0)
        exit(2);
    PalClockAdvance(1);
    if (CALL_Create(two, nullptr) != 0)
        exit(2);
    std::string got = numbering(one) + ", " + numbering(two);
    APP_Destroy(app);
    fprintf(stderr, "%s\n", got.c_str());
    const char *want =
        "1 16909060/123456 233.1.0.1 233.1.0.2, 2 16909060/123457 233.1.0.3 233.1.0.4";
    exit(got == want ? 0 : 1);
}

TEST(FirstCalls, NumbersAndGroupAddressesAfterLoad)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(first_two_calls(), ::testing::ExitedWithCode(0), "");
}

} // namespace
