// The list box when memory runs out, which only injected failures make happen
// (the injector's skip and count: robustness/alloc_test, profile_test).
#include "support/msgseq_gtest.h"

#include <windows.h>
#include <paltest.h>

#include <gtest/gtest.h>

namespace {

TEST(Faults, AListOutOfMemoryAnswersErrSpaceAndTellsTheOwner)
{
    SEQ_RegisterClass("FaultListOwner");
    HWND owner = SEQ_CreateWindow("FaultListOwner", nullptr, WS_VISIBLE);
    HWND list = CreateWindowExA(0, "LISTBOX", "", WS_CHILD | WS_VISIBLE | LBS_SORT, 10, 10, 120,
                                100, owner, (HMENU)(INT_PTR)109, nullptr, nullptr);
    ASSERT_NE(nullptr, list);
    EXPECT_EQ(0, SendMessageA(list, LB_ADDSTRING, 0, (LPARAM) "a"));
    SEQ_Only({WM_COMMAND});
    SEQ_Flush();
    PalFaultSet(PAL_FAULT_HEAPALLOC, 0, 1, 0);
    EXPECT_EQ(LB_ERRSPACE, SendMessageA(list, LB_ADDSTRING, 0, (LPARAM) "b"));
    PalFaultClear();
    const std::vector<SEQ_MSG> told = {{WM_COMMAND, SEQ_SENT | SEQ_WPARAM | SEQ_LPARAM,
                                        MAKEWPARAM(109, LBN_ERRSPACE), (LPARAM)list}};
    EXPECT_TRUE(SEQ_Ok(told, "without LBS_NOTIFY too"));
    SEQ_Only({});
    EXPECT_EQ(1, SendMessageA(list, LB_GETCOUNT, 0, 0));
    EXPECT_EQ(1, SendMessageA(list, LB_ADDSTRING, 0, (LPARAM) "b"));
    DestroyWindow(owner);
    SEQ_Flush();
}

} // namespace
