/*
 * callmgr.dll as an application's loader finds it: loading runs the library's
 * own attach with its own resources, every entry of callmgr.def binds by its
 * ordinal to the routine its name binds to, nothing else binds, and entries
 * that need no registration answer through the binding.
 */
#include "callmgr_def_table.h"
#include "resources/resource.h"

#include <callmgr.h>

#include <gtest/gtest.h>

#include <set>
#include <string>

namespace {

class CallmgrDll : public ::testing::Test {
  protected:
    static void SetUpTestSuite() { lib = LoadLibraryA("callmgr.dll"); }
    static void TearDownTestSuite()
    {
        if (lib)
            FreeLibrary(lib);
        lib = nullptr;
    }
    void SetUp() override { ASSERT_NE(lib, nullptr) << "LoadLibrary: " << GetLastError(); }

    static FARPROC ByOrdinal(unsigned ordinal)
    {
        return GetProcAddress(lib, MAKEINTRESOURCEA(ordinal));
    }
    template <typename T> static T Bind(const char *name)
    {
        return reinterpret_cast<T>(reinterpret_cast<void *>(GetProcAddress(lib, name)));
    }

    static HMODULE lib;
};

HMODULE CallmgrDll::lib = nullptr;

/* The system calls the run-time's DllMain, which must be LibMain: its attach
 * registers the state machine's window class, named by a string of the
 * DLL's resource section. */
TEST_F(CallmgrDll, LoadingRunsTheAttachWithTheLibrarysResources)
{
    char class_name[32] = "";
    ASSERT_GT(LoadStringA(lib, STR_FSMCLASS, class_name, sizeof class_name), 0);
    WNDCLASSA wc;
    EXPECT_TRUE(GetClassInfoA(lib, class_name, &wc)) << class_name;
    for (int dialog : {INVITE_DIALOG, ADDRBOOK_DIALOG, GROUP_DIALOG, MEMBER_DIALOG, RSVP_DIALOG})
        EXPECT_NE(FindResourceA(lib, MAKEINTRESOURCEA(dialog), MAKEINTRESOURCEA(5)), nullptr)
            << "dialog " << dialog;
}

TEST_F(CallmgrDll, EveryDefinedEntryBindsByOrdinalAndByName)
{
    for (const DefExport &e : DEF_Exports) {
        FARPROC by_ordinal = ByOrdinal(e.ordinal);
        FARPROC by_name = GetProcAddress(lib, e.name);
        EXPECT_NE(by_ordinal, nullptr) << e.name << " @" << e.ordinal;
        EXPECT_EQ(by_ordinal, by_name) << e.name << " @" << e.ordinal;
    }
}

TEST_F(CallmgrDll, NothingElseBinds)
{
    std::set<unsigned> defined;
    unsigned highest = 0;
    for (const DefExport &e : DEF_Exports) {
        defined.insert(e.ordinal);
        highest = e.ordinal > highest ? e.ordinal : highest;
    }
    for (unsigned ordinal = 1; ordinal <= highest + 1; ordinal++) {
        if (!defined.count(ordinal)) {
            EXPECT_EQ(ByOrdinal(ordinal), nullptr) << "ordinal " << ordinal;
        }
    }
    /* The stdcall decoration stays out of the table, and so do the
     * library's own routines and the run-time's. */
    for (const char *name : {"CMStartup@12", "_CMStartup@12", "LibMain", "DllMain", "malloc"})
        EXPECT_EQ(GetProcAddress(lib, name), nullptr) << name;
}

TEST_F(CallmgrDll, EntriesWithoutRegistrationAnswerThroughTheBinding)
{
    auto set_log_info = Bind<decltype(&CMSetLogInfo)>("CMSetLogInfo");
    auto set_info = Bind<decltype(&CMSetInfo)>("CMSetInfo");
    ASSERT_NE(set_log_info, nullptr);
    ASSERT_NE(set_info, nullptr);
    /* Both are stdcall: a wrong convention or argument size would unbalance
     * the stack across these calls. */
    EXPECT_EQ(set_log_info(1, 2, 3), 1);
    EXPECT_EQ(set_info(nullptr), FALSE);
    EXPECT_EQ(set_log_info(0, 0, 0), 1);
}

} // namespace
