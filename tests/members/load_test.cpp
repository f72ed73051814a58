// The numbering of a process's first calls, checked in a freshly started
// copy of this program (a death test), as the counters are never reset.
#include "members/members.h"
#include "fsm/fsm.h"

#include <paltest.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

/* Exits 0 when the first call is numbered as after loading. */
void first_call()
{
    PalClockSetVirtual(TRUE, 123456);
    LOCALHOST_SetAddress(0x01020304);
    CMAPP *app = APP_Create(nullptr, 0);
    CMSESSION *s = app ? SESSION_Create(app) : nullptr;
    if (!s || CALL_Create(s, nullptr) != 0)
        exit(2);
    const CALLER *c = s->call->caller;
    std::string got =
        std::to_string(c->seqno) + " " + c->callid + " " + c->group1 + " " + c->group2;
    APP_Destroy(app);
    fprintf(stderr, "%s\n", got.c_str());
    exit(got == "1 16909060/123456 233.1.0.1 233.1.0.2" ? 0 : 1);
}

TEST(FirstCalls, NumbersAndGroupAddressesAfterLoad)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(first_call(), ::testing::ExitedWithCode(0), "");
}

} // namespace
