// Injected failures, which only the platform can make happen on purpose: the
// heap and global memory, and the list box when memory runs out.
#include "support/msgseq_gtest.h"

#include <windows.h>
#include <paltest.h>

#include <gtest/gtest.h>

namespace {

TEST(Faults, InjectedFailuresFailTheArmedCallsOnly)
{
    PalFaultSet(PAL_FAULT_HEAPALLOC, 1, 1, ERROR_NOT_ENOUGH_MEMORY);
    void *first = HeapAlloc(GetProcessHeap(), 0, 16);
    EXPECT_NE(nullptr, first) << "skipped";
    EXPECT_EQ(nullptr, HeapAlloc(GetProcessHeap(), 0, 16));
    EXPECT_EQ((DWORD)ERROR_NOT_ENOUGH_MEMORY, GetLastError());
    void *third = HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, 16);
    EXPECT_NE(nullptr, third) << "the fault was armed for one call";
    HeapFree(GetProcessHeap(), 0, first);
    HeapFree(GetProcessHeap(), 0, third);

    PalFaultSet(PAL_FAULT_GLOBALALLOC, 0, -1, ERROR_OUTOFMEMORY); /* every call */
    EXPECT_EQ(nullptr, GlobalAlloc(GHND, 4));
    EXPECT_EQ(nullptr, GlobalAlloc(GHND, 4));
    PalFaultClear();
    HGLOBAL h = GlobalAlloc(GHND, 4);
    EXPECT_NE(nullptr, h);
    GlobalFree(h);
}

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
