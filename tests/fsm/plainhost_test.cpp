// A host name without dots is its own short name.
#include "api/api.h"
#include "fsm/fsm.h"
#include "support/instance.h"
#include "support/msgseq.h"

#include <gtest/gtest.h>

namespace {

TEST(FsmPlainHost, AHostNameWithoutDotsIsItsOwnShortName)
{
    LibMain(resource_instance(), DLL_PROCESS_ATTACH, nullptr);
    SEQ_RegisterClass("PlainOwner");
    HWND owner = SEQ_CreateWindow("PlainOwner");
    ASSERT_NE(nullptr, CMFSM_Create(resource_instance(), owner));
    EXPECT_STREQ("plainhost", FSM_FullHostName());
    EXPECT_STREQ("plainhost", FSM_ShortHostName());
    DestroyWindow(owner);
}

} // namespace
