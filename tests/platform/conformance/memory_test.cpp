// Global and local memory: handles, locks and sizes.
#include <windows.h>

#include <gtest/gtest.h>

namespace {

TEST(Memory, BlocksAreNamedByHandlesCountTheirLocksAndComeZeroed)
{
    HGLOBAL h = GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT | GMEM_SHARE, 24);
    ASSERT_NE(nullptr, h);
    EXPECT_EQ(24u, GlobalSize(h));
    unsigned char *p = (unsigned char *)GlobalLock(h);
    ASSERT_NE(nullptr, p);
    EXPECT_NE((void *)p, h) << "a handle is not the block's address";
    EXPECT_EQ(0, p[23]) << "zeroed";
    EXPECT_EQ(p, GlobalLock(h));
    EXPECT_EQ(2u, GlobalFlags(h) & GMEM_LOCKCOUNT);
    EXPECT_EQ(h, GlobalHandle(p));
    EXPECT_TRUE(GlobalUnlock(h)) << "still locked once";
    SetLastError(1234);
    EXPECT_FALSE(GlobalUnlock(h));
    EXPECT_EQ((DWORD)NO_ERROR, GetLastError()) << "the last unlock reports no error";
    EXPECT_FALSE(GlobalUnlock(h));
    EXPECT_EQ((DWORD)ERROR_NOT_LOCKED, GetLastError());
    EXPECT_EQ(nullptr, GlobalFree(h));
    EXPECT_EQ(h, GlobalFree(h)) << "a freed handle is refused";
    EXPECT_EQ((DWORD)ERROR_INVALID_HANDLE, GetLastError());

    HLOCAL l = LocalAlloc(LPTR, 1028);
    ASSERT_NE(nullptr, l);
    EXPECT_EQ(1028u, LocalSize(l));
    EXPECT_EQ(0, ((char *)l)[1027]);
    EXPECT_EQ(nullptr, LocalFree(l));
}

} // namespace
