// Library attach and WEP: the window class, the stack, the instance marks
// and the exports.
#include "api/module.h"
#include "support/instance.h"

#include <callmgr.h>
#include <palmodule.h>

#include <gtest/gtest.h>

namespace {

// Each case starts and ends as a freshly loaded library.
struct LibraryAttach : ::testing::Test {
    void SetUp() override { forget(); }
    void TearDown() override { forget(); }
    static void forget()
    {
        if (LIB_Initialised)
            WEP(0);
        UnregisterClassA("CMFSMClass", resource_instance());
        LIB_Instance = nullptr;
        LIB_Initialised = nullptr;
    }
};

TEST_F(LibraryAttach, AttachRegistersTheWindowClassAndAttachesTheStackIfItCan)
{
    HINSTANCE inst = resource_instance();
    EXPECT_TRUE(LibMain(inst, DLL_THREAD_ATTACH, nullptr));
    EXPECT_EQ(nullptr, LIB_Instance) << "other notifications do nothing";

    EXPECT_TRUE(LibMain(inst, DLL_PROCESS_ATTACH, nullptr));
    EXPECT_EQ(inst, LIB_Instance);
    EXPECT_EQ(inst, LIB_Initialised);
    WNDCLASSA wc{};
    ASSERT_TRUE(GetClassInfoA(inst, "CMFSMClass", &wc));
    EXPECT_EQ((WNDPROC)FSM_WndProc, wc.lpfnWndProc);
    EXPECT_NE(nullptr, GetModuleHandleA("VXLIB32.DLL")) << "no stack window: its library is loaded";
    EXPECT_NE(nullptr, FindWindowA("KRAQClass", nullptr));

    HINSTANCE other = (HINSTANCE)(UINT_PTR)0x7000;
    EXPECT_TRUE(LibMain(other, DLL_PROCESS_ATTACH, nullptr));
    EXPECT_EQ(other, LIB_Instance) << "a second attach only remembers the instance";
    EXPECT_EQ(inst, LIB_Initialised);

    EXPECT_EQ(1, WEP(0));
    EXPECT_EQ(nullptr, LIB_Initialised);
    EXPECT_EQ(nullptr, GetModuleHandleA("VXLIB32.DLL"));

    // Without its strings there is no class, and the attach still succeeds.
    forget();
    static const PAL_MODULEDESC bare = {"BARE.DLL", nullptr, 0, nullptr, nullptr, 0};
    HINSTANCE plain = PalAttachModule(&bare);
    EXPECT_TRUE(LibMain(plain, DLL_PROCESS_ATTACH, nullptr)) << "no strings, no class";
    EXPECT_EQ(plain, LIB_Instance);
    EXPECT_EQ(nullptr, LIB_Initialised);
    EXPECT_EQ(nullptr, GetModuleHandleA("VXLIB32.DLL"));
}

// The table itself is written from callmgr.def (exports_check.cmake).
TEST_F(LibraryAttach, TheLoaderOffersTheExportsByOrdinalAndName)
{
    HMODULE lib = PalAttachModule(LIB_Describe());
    ASSERT_NE(nullptr, lib);
    EXPECT_EQ(PAL_PROC(WEP), GetProcAddress(lib, MAKEINTRESOURCEA(1)));
    EXPECT_EQ(PAL_PROC(FSM_WndProc), GetProcAddress(lib, "FSM_WndProc"));
    char name[32];
    EXPECT_EQ(10, LoadStringA(lib, 108, name, sizeof name)) << "the library's own resources";
}

} // namespace
