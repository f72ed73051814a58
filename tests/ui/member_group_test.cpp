// The New/Change Address dialog and the Group dialog, used as a person
// would from inside their modal loops: what they show, when OK may be
// pressed, what they hand back, and that Cancel changes nothing.
#include "ui/addrbook.h"
#include "ui/lists.h"
#include "api/api.h"
#include "api/settings.h"

#include "support/instance.h"
#include "support/msgseq.h"

#include <windows.h>
#include <paldriver.h>
#include <paltest.h>

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>
#include <vector>

#include <stdlib.h>

namespace {

using Names = std::vector<std::string>;
using Step = std::function<bool(HWND)>;

HGLOBAL block_of(const Names &names)
{
    size_t size = 1;
    for (const std::string &n : names)
        size += n.size() + 1;
    HGLOBAL block = GlobalAlloc(GHND, size);
    char *p = (char *)GlobalLock(block);
    for (const std::string &n : names) {
        memcpy(p, n.c_str(), n.size() + 1);
        p += n.size() + 1;
    }
    GlobalUnlock(block);
    return block;
}

/* The exact bytes of a block. */
std::string bytes_of(HGLOBAL block)
{
    if (!block)
        return "<none>";
    const char *p = (const char *)GlobalLock(block);
    std::string out(p, GlobalSize(block));
    GlobalUnlock(block);
    return out;
}

bool ok_enabled(HWND dlg)
{
    return IsWindowEnabled(GetDlgItem(dlg, IDOK)) != FALSE;
}

class AddressDialogs : public ::testing::Test {
  protected:
    void SetUp() override
    {
        saved_settings = LIB_Settings;
        saved_instance = LIB_Instance;
        LIB_Instance = resource_instance();
        char dir_template[] = "/tmp/callmgr-dialogs-XXXXXX";
        ASSERT_NE(nullptr, mkdtemp(dir_template));
        dir = dir_template;
        book = dir + "/book.zab";
        snprintf(LIB_Settings.addressbook, sizeof LIB_Settings.addressbook, "%s", book.c_str());
        PalClearRecords();
        SEQ_RegisterClass("AddrOwner");
        owner = SEQ_CreateWindow("AddrOwner");
        ShowWindow(owner, SW_SHOW);
        LIST_LoadIcons(resource_instance());
    }
    void TearDown() override
    {
        PalClearModalIdle();
        PalFaultClear();
        LIST_FreeIcons();
        if (owner)
            DestroyWindow(owner);
        LIB_Settings = saved_settings;
        LIB_Instance = saved_instance;
        std::error_code ignored;
        std::filesystem::remove_all(dir, ignored);
        PalClearRecords();
    }
    void users(const char *text)
    {
        std::ofstream out(book, std::ios::binary);
        out << text;
    }
    /* Runs the steps one per idle turn of the dialog's loop; a dialog still
     * open after the last step is a failure and is cancelled. */
    void script(std::vector<Step> steps)
    {
        auto queue = std::make_shared<std::vector<Step>>(std::move(steps));
        auto next = std::make_shared<size_t>(0);
        PalOnModalIdle([queue, next](HWND dlg) {
            if (*next < queue->size())
                return (*queue)[(*next)++](dlg);
            ADD_FAILURE() << "the dialog is still open after its last step";
            EndDialog(dlg, 0);
            return true;
        });
    }

    CMSETTINGS saved_settings;
    HINSTANCE saved_instance = nullptr;
    std::string dir, book;
    HWND owner = nullptr;
};

void retype(HWND field, const std::string &text)
{
    PalClearText(field);
    PalTypeText(field, text.c_str());
}

TEST_F(AddressDialogs, AddressDialogComposesTheEntryFromTrimmedFields)
{
    char text[LIST_TEXTSIZE] = "";
    script({[&](HWND dlg) {
        EXPECT_EQ("New Address", PalGetText(dlg));
        EXPECT_EQ(GetDlgItem(dlg, 102), GetFocus());
        PalTypeText(GetDlgItem(dlg, 102), "  ann@east");
        PalTypeText(GetDlgItem(dlg, 404), "Ann Smith  ");
        return PalPressButton(dlg, IDOK);
    }});
    EXPECT_EQ(1, MEMBER_DoDialog(owner, "New Address", text));
    EXPECT_STREQ("Ann Smith <ann@east>", text);

    /* Change: both fields filled, the address selected; no name, the
     * address stands in. */
    char change[LIST_TEXTSIZE] = "Bob Brown <bob@west>";
    script({[&](HWND dlg) {
        EXPECT_EQ("Bob Brown", PalGetDlgItemText(dlg, 404));
        DWORD start = 1, end = 0;
        SendMessageA(GetDlgItem(dlg, 102), EM_GETSEL, (WPARAM)&start, (LPARAM)&end);
        EXPECT_EQ(0u, start);
        EXPECT_EQ(8u, end);
        PalClearText(GetDlgItem(dlg, 404));
        return PalPressKey(dlg, VK_RETURN);
    }});
    EXPECT_EQ(1, MEMBER_DoDialog(owner, "Change Address", change));
    EXPECT_STREQ("bob@west <bob@west>", change);

    EXPECT_TRUE(PalBeeps().empty());
}

TEST_F(AddressDialogs, AddressOkRefusesWhatCannotBeAnEntryAndStaysOpen)
{
    struct Bad {
        const char *what;
        std::string address, name;
    } bad[] = {
        {"empty address", "", "Ann"},
        {"blank address", "   ", "Ann"},
        {"263 characters", std::string(130, 'a'), std::string(130, 'n')},
        {"a text the book cannot hold", "ann@east", "a=b"},
    };
    char text[LIST_TEXTSIZE] = "Ann <ann@east>";
    HWND first = nullptr;
    size_t tried = 0;
    PalOnModalIdle([&](HWND dlg) {
        if (tried > 0) {
            const Bad &b = bad[tried - 1];
            EXPECT_EQ(first, dlg) << b.what;
            EXPECT_EQ((std::vector<UINT>{0}), PalBeeps()) << b.what;
            EXPECT_EQ(b.address, PalGetDlgItemText(dlg, 102)) << b.what << ": kept, not cut";
            EXPECT_EQ(GetDlgItem(dlg, 102), GetFocus()) << b.what;
            PalClearRecords();
        }
        first = dlg;
        if (tried == std::size(bad))
            return PalPressButton(dlg, IDCANCEL);
        retype(GetDlgItem(dlg, 102), bad[tried].address);
        retype(GetDlgItem(dlg, 404), bad[tried].name);
        ++tried;
        return PalPressButton(dlg, IDOK);
    });
    EXPECT_EQ(0, MEMBER_DoDialog(owner, "Change Address", text));
    EXPECT_EQ(std::size(bad), tried);
    EXPECT_STREQ("Ann <ann@east>", text) << "Cancel leaves the text untouched";
}

TEST_F(AddressDialogs, AddressCancelCloseAndFailuresLeaveTheText)
{
    char text[LIST_TEXTSIZE] = "Ann <ann@east>";
    for (bool esc : {true, false}) {
        script({[&](HWND dlg) {
            PalTypeText(GetDlgItem(dlg, 102), "x");
            return esc ? PalPressKey(dlg, VK_ESCAPE) : PalCloseWindow(dlg);
        }});
        EXPECT_EQ(0, MEMBER_DoDialog(owner, "Change Address", text));
    }
    PalClearModalIdle();
    EXPECT_EQ(0, MEMBER_DoDialog(owner, "New Address", nullptr));
    PalFaultSet(PAL_FAULT_CREATEWINDOW, 0, -1, 0);
    EXPECT_EQ(0, MEMBER_DoDialog(owner, "New Address", text)) << "a dialog that cannot be made";
    PalFaultClear();
    EXPECT_STREQ("Ann <ann@east>", text);
}

const char kUsers[] = "[users]\nCy <c>=\nAnn <a>=\nBob <b>=\n";

TEST_F(AddressDialogs, NewGroupOkNeedsANameTheBookTakesAndAMember)
{
    users(kUsers);
    char name[ADDRBOOK_NAMESIZE] = "";
    HGLOBAL members = nullptr;
    script({[&](HWND dlg) {
        EXPECT_EQ("New Group", PalGetText(dlg));
        HWND list = GetDlgItem(dlg, 302), field = GetDlgItem(dlg, 304);
        EXPECT_EQ(field, GetFocus());
        EXPECT_EQ((Names{"Ann <a>", "Bob <b>", "Cy <c>"}), PalListContents(list));
        EXPECT_EQ(LIST_ITEMHEIGHT, SendMessageA(list, LB_GETITEMHEIGHT, 0, 0));
        PalTypeText(field, "Team");
        EXPECT_FALSE(ok_enabled(dlg)) << "no member";
        PalClickListItem(list, 1);
        EXPECT_TRUE(ok_enabled(dlg));
        for (const std::string &bad : Names{"", " \t ", "Users", "a=b", std::string(128, 'g')}) {
            retype(field, bad);
            EXPECT_FALSE(ok_enabled(dlg)) << "'" << bad << "'";
        }
        PalPressKey(dlg, VK_RETURN);
        EXPECT_EQ(dlg, PalFindModalDialog()) << "Enter does not pass a disabled OK";
        retype(field, "  Team  ");
        EXPECT_TRUE(ok_enabled(dlg));
        PalClickListItem(list, 2, MK_CONTROL);
        PalClickListItem(list, 1, MK_CONTROL);
        PalClickListItem(list, 0, MK_CONTROL);
        return PalPressButton(dlg, IDOK);
    }});
    EXPECT_EQ(1, GROUP_DoDialog(owner, "New Group", name, &members));
    EXPECT_STREQ("Team", name) << "stored without its blanks";
    EXPECT_EQ(std::string("Ann <a>\0Cy <c>\0\0", 16), bytes_of(members));
    GlobalFree(members);
}

TEST_F(AddressDialogs, ChangeGroupPreselectsItsMembersAndKeepsFormerUsers)
{
    users(kUsers);
    char name[ADDRBOOK_NAMESIZE] = "Team";
    HGLOBAL old_block = block_of({"Bob <b>", "Gone <g>", "bob <B>"});
    HGLOBAL members = old_block;
    script({[&](HWND dlg) {
        HWND list = GetDlgItem(dlg, 302);
        EXPECT_EQ((Names{"Ann <a>", "Bob <b>", "Cy <c>", "Gone <g>"}), PalListContents(list))
            << "a member no longer a user is listed; letter case finds a user";
        EXPECT_EQ((std::vector<int>{1, 3}), PalListSelection(list));
        PalClickListItem(list, 2, MK_CONTROL);
        PalTypeText(GetDlgItem(dlg, 304), "2");
        return PalPressButton(dlg, IDOK);
    }});
    EXPECT_EQ(1, GROUP_DoDialog(owner, "Change Group", name, &members));
    EXPECT_STREQ("Team2", name);
    EXPECT_EQ((UINT)GMEM_INVALID_HANDLE, GlobalFlags(old_block)) << "the old block was released";
    const std::string chosen("Bob <b>\0Cy <c>\0Gone <g>\0\0", 25);
    EXPECT_EQ(chosen, bytes_of(members));

    GlobalFree(members);
}

TEST_F(AddressDialogs, GroupWithoutUsersListsItsMembersAndOtherwiseCannotBeSaved)
{
    char name[ADDRBOOK_NAMESIZE] = "Old";
    HGLOBAL members = block_of({"Gone <g>"});
    script({[&](HWND dlg) {
        EXPECT_EQ(std::vector<int>{0}, PalListSelection(GetDlgItem(dlg, 302)));
        return PalPressButton(dlg, IDOK);
    }});
    EXPECT_EQ(1, GROUP_DoDialog(owner, "Change Group", name, &members));
    EXPECT_EQ(std::string("Gone <g>\0\0", 10), bytes_of(members));
    GlobalFree(members);

    HGLOBAL none = nullptr;
    char fresh[ADDRBOOK_NAMESIZE] = "Crew";
    script({[&](HWND dlg) {
        EXPECT_FALSE(ok_enabled(dlg)) << "nothing to choose, nothing to save";
        return PalPressButton(dlg, IDCANCEL);
    }});
    EXPECT_EQ(0, GROUP_DoDialog(owner, "New Group", fresh, &none));
    EXPECT_EQ(nullptr, none);
    PalClearModalIdle();

    EXPECT_EQ(0, GROUP_DoDialog(owner, "New Group", nullptr, &none));
    EXPECT_EQ(0, GROUP_DoDialog(owner, "New Group", fresh, nullptr));
    PalFaultSet(PAL_FAULT_CREATEWINDOW, 0, -1, 0);
    EXPECT_EQ(0, GROUP_DoDialog(owner, "New Group", fresh, &none));
    PalFaultClear();
    EXPECT_STREQ("Crew", fresh);
}

TEST_F(AddressDialogs, GroupOkWithoutMemoryEndsKeepingNameAndBlock)
{
    users(kUsers);
    char name[ADDRBOOK_NAMESIZE] = "Team";
    HGLOBAL members = block_of({"Ann <a>"});
    HGLOBAL kept = members;
    script({[&](HWND dlg) {
        PalClickListItem(GetDlgItem(dlg, 302), 2, MK_CONTROL);
        PalTypeText(GetDlgItem(dlg, 304), "X");
        PalFaultSet(PAL_FAULT_GLOBALALLOC, 0, -1, ERROR_NOT_ENOUGH_MEMORY);
        return PalPressButton(dlg, IDOK);
    }});
    EXPECT_EQ(1, GROUP_DoDialog(owner, "Change Group", name, &members));
    PalFaultClear();
    EXPECT_EQ(kept, members);
    EXPECT_EQ(std::string("Ann <a>\0\0", 9), bytes_of(members));
    EXPECT_STREQ("Team", name) << "no new block, no new name";
    GlobalFree(members);
}

} // namespace
