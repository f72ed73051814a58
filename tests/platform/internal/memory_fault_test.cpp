// Injected failures of the heap and of global memory.
#include <windows.h>
#include <paltest.h>

#include <gtest/gtest.h>

namespace {

TEST(Memory, InjectedFailuresFailTheArmedCallsOnly)
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

} // namespace
