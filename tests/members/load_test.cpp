// The numbering of a process's first calls.  Kept in a program of its own:
// the counters start at 0 only once per process.
#include "members/members.h"
#include "fsm/fsm.h"

#include <paltest.h>

#include <gtest/gtest.h>

TEST(FirstCalls, NumbersAndGroupAddressesAfterLoad)
{
    PalClockSetVirtual(TRUE, 123456);
    LOCALHOST_SetAddress(0x01020304);
    CMAPP *app = APP_Create(nullptr, 0);
    ASSERT_NE(nullptr, app);
    CMSESSION *one = SESSION_Create(app);
    CMSESSION *two = SESSION_Create(app);
    ASSERT_TRUE(one && two);

    ASSERT_EQ(0, CALL_Create(one, nullptr));
    EXPECT_EQ(1, one->call->caller->seqno);
    EXPECT_STREQ("16909060/123456", one->call->caller->callid);
    EXPECT_STREQ("233.1.0.1", one->call->caller->group1);
    EXPECT_STREQ("233.1.0.2", one->call->caller->group2);

    PalClockAdvance(1);
    ASSERT_EQ(0, CALL_Create(two, nullptr));
    EXPECT_EQ(2, two->call->caller->seqno);
    EXPECT_STREQ("16909060/123457", two->call->caller->callid);
    EXPECT_STREQ("233.1.0.3", two->call->caller->group1);
    EXPECT_STREQ("233.1.0.4", two->call->caller->group2);

    APP_Destroy(app);
    LOCALHOST_SetAddress(0xFFFFFFFF);
    PalClockSetVirtual(FALSE, 0);
}
