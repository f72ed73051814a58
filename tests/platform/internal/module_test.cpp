// The loader: built-in modules, reference counts and resources (replacing
// modules and their entry points: netlib/netlib_test.cpp; the stack library's
// window: api/libmain_test.cpp).
#include "support/instance.h"

#include <palmodule.h>
#include <winsock.h>

#include <gtest/gtest.h>

namespace {

TEST(Modules, NamesOrdinalsAndReferenceCounts)
{
    HMODULE a = LoadLibraryA("WSOCK32.DLL");
    ASSERT_NE(nullptr, a);
    EXPECT_EQ(a, LoadLibraryA("wsock32")) << "case and the .DLL ending do not matter";
    EXPECT_EQ((FARPROC)PAL_PROC(WSAStartup), GetProcAddress(a, MAKEINTRESOURCEA(115)));
    EXPECT_EQ(nullptr, GetProcAddress(a, MAKEINTRESOURCEA(999)));
    EXPECT_EQ((DWORD)ERROR_PROC_NOT_FOUND, GetLastError());
    EXPECT_TRUE(FreeLibrary(a));
    EXPECT_EQ(a, GetModuleHandleA("WSOCK32.DLL")) << "one reference left";
    EXPECT_TRUE(FreeLibrary(a));
    EXPECT_EQ(nullptr, GetProcAddress(a, MAKEINTRESOURCEA(115))) << "unloaded";
    EXPECT_EQ((DWORD)ERROR_INVALID_HANDLE, GetLastError());
    EXPECT_EQ(nullptr, LoadLibraryA("NOSUCH.DLL"));
    EXPECT_EQ((DWORD)ERROR_MOD_NOT_FOUND, GetLastError());
}

TEST(Modules, StringsComeFromTheResourcesCutToTheBuffer)
{
    HINSTANCE inst = resource_instance();
    char buf[128];
    EXPECT_EQ(11, LoadStringA(inst, 107, buf, 12)) << "just room for the terminator";
    EXPECT_STREQ("WSOCK32.DLL", buf);
    EXPECT_EQ(0, LoadStringA(inst, 109, buf, sizeof buf));
    EXPECT_EQ(nullptr, FindResourceA(inst, MAKEINTRESOURCEA(2), RT_STRING));
    EXPECT_EQ((DWORD)ERROR_RESOURCE_NAME_NOT_FOUND, GetLastError());
}

} // namespace
