// The New/Change Address dialog and the Group dialog, used as a person
// would from inside their modal loops: what they show, when OK may be
// pressed, what they hand back, and that Cancel changes nothing.
#include "ui/addrbook.h"
#include "ui/book.h"

#include <gtest/gtest.h>

namespace {

const int kAddress = 400, kGroup = 300;

using AddressDialogs = BookDialogs;

TEST_F(AddressDialogs, AddressDialogComposesTheEntryFromTrimmedFields)
{
    char text[LIST_TEXTSIZE] = "";
    DialogScript()
        .on(kAddress, "new",
            [&](HWND dlg) {
                EXPECT_EQ("New Address", PalGetText(dlg));
                EXPECT_EQ(GetDlgItem(dlg, 102), GetFocus());
                return PalTypeText(GetDlgItem(dlg, 102), "  ann@east") &&
                       PalTypeText(GetDlgItem(dlg, 404), "Ann Smith  ") &&
                       PalPressButton(dlg, IDOK);
            })
        .run([&] { EXPECT_EQ(1, MEMBER_DoDialog(owner, "New Address", text)); });
    EXPECT_STREQ("Ann Smith <ann@east>", text);

    /* Change: both fields filled; with no name the address stands in. */
    char change[LIST_TEXTSIZE] = "Bob Brown <bob@west>";
    DialogScript()
        .on(kAddress, "change",
            [&](HWND dlg) {
                EXPECT_EQ("Bob Brown", PalGetDlgItemText(dlg, 404));
                return PalClearText(GetDlgItem(dlg, 404)) && PalPressKey(dlg, VK_RETURN);
            })
        .run([&] { EXPECT_EQ(1, MEMBER_DoDialog(owner, "Change Address", change)); });
    EXPECT_STREQ("bob@west <bob@west>", change);
    EXPECT_TRUE(PalBeeps().empty());
}

TEST_F(AddressDialogs, AddressOkRefusesWhatCannotBeAnEntryAndCancelKeepsTheText)
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
    DialogScript script;
    for (const Bad &b : bad)
        script.on(kAddress, b.what, [&](HWND dlg) {
            retype(dlg, 102, b.address);
            retype(dlg, 404, b.name);
            PalClearRecords();
            EXPECT_TRUE(PalPressButton(dlg, IDOK));
            /* Still open: one beep, the address kept whole and focused. */
            EXPECT_EQ(dlg, PalFindModalDialog()) << b.what;
            EXPECT_EQ((std::vector<UINT>{0}), PalBeeps()) << b.what;
            EXPECT_EQ(b.address, PalGetDlgItemText(dlg, 102)) << b.what;
            EXPECT_EQ(GetDlgItem(dlg, 102), GetFocus()) << b.what;
            return true;
        });
    script.on(kAddress, "Cancel", [](HWND dlg) { return PalPressButton(dlg, IDCANCEL); }).run([&] {
        EXPECT_EQ(0, MEMBER_DoDialog(owner, "Change Address", text));
    });
    EXPECT_EQ(0, MEMBER_DoDialog(owner, "New Address", nullptr));
    PalFaultSet(PAL_FAULT_CREATEWINDOW, 0, -1, 0);
    EXPECT_EQ(0, MEMBER_DoDialog(owner, "New Address", text)) << "a dialog that cannot be made";
    PalFaultClear();
    EXPECT_STREQ("Ann <ann@east>", text);
}

const char kUsers[] = "[users]\nCy <c>=\nAnn <a>=\nBob <b>=\n";

TEST_F(AddressDialogs, NewGroupOkNeedsANameTheBookTakesAndAMember)
{
    book.put(kUsers);
    char name[ADDRBOOK_NAMESIZE] = "";
    HGLOBAL members = nullptr;
    DialogScript()
        .on(kGroup, "new group",
            [&](HWND dlg) {
                EXPECT_EQ("New Group", PalGetText(dlg));
                HWND list = GetDlgItem(dlg, 302), field = GetDlgItem(dlg, 304);
                EXPECT_EQ(field, GetFocus());
                EXPECT_EQ((Names{"Ann <a>", "Bob <b>", "Cy <c>"}), PalListContents(list));
                EXPECT_EQ(LIST_ITEMHEIGHT, SendMessageA(list, LB_GETITEMHEIGHT, 0, 0));
                PalTypeText(field, "Team");
                EXPECT_FALSE(enabled(dlg, IDOK)) << "no member";
                PalClickListItem(list, 1);
                EXPECT_TRUE(enabled(dlg, IDOK));
                for (const std::string &bad :
                     Names{"", " \t ", "Users", "a=b", std::string(128, 'g')}) {
                    retype(dlg, 304, bad);
                    EXPECT_FALSE(enabled(dlg, IDOK)) << "'" << bad << "'";
                }
                PalPressKey(dlg, VK_RETURN);
                EXPECT_EQ(dlg, PalFindModalDialog()) << "Enter does not pass a disabled OK";
                retype(dlg, 304, "  Team  ");
                PalClickListItem(list, 2, MK_CONTROL);
                PalClickListItem(list, 1, MK_CONTROL);
                PalClickListItem(list, 0, MK_CONTROL);
                return PalPressButton(dlg, IDOK);
            })
        .run([&] { EXPECT_EQ(1, GROUP_DoDialog(owner, "New Group", name, &members)); });
    EXPECT_STREQ("Team", name) << "stored without its blanks";
    EXPECT_EQ(std::string("Ann <a>\0Cy <c>\0\0", 16), bytes_of(members));
    GlobalFree(members);
}

TEST_F(AddressDialogs, ChangeGroupPreselectsItsMembersAndKeepsFormerUsers)
{
    /* Without a book its members alone are listed, chosen. */
    char name[ADDRBOOK_NAMESIZE] = "Team";
    HGLOBAL members = block_of({"Gone <g>"});
    DialogScript()
        .on(kGroup, "no users",
            [&](HWND dlg) {
                EXPECT_EQ((Names{"Gone <g>"}), PalListContents(GetDlgItem(dlg, 302)));
                EXPECT_EQ((std::vector<int>{0}), PalListSelection(GetDlgItem(dlg, 302)));
                return PalPressButton(dlg, IDOK);
            })
        .run([&] { EXPECT_EQ(1, GROUP_DoDialog(owner, "Change Group", name, &members)); });
    EXPECT_EQ(std::string("Gone <g>\0\0", 10), bytes_of(members));
    GlobalFree(members);

    HGLOBAL old_block = block_of({"Bob <b>", "Gone <g>", "bob <B>"});
    members = old_block;
    book.put(kUsers);
    DialogScript()
        .on(kGroup, "change",
            [&](HWND dlg) {
                HWND list = GetDlgItem(dlg, 302);
                EXPECT_EQ((Names{"Ann <a>", "Bob <b>", "Cy <c>", "Gone <g>"}),
                          PalListContents(list))
                    << "a member no longer a user is listed; letter case finds a user";
                EXPECT_EQ((std::vector<int>{1, 3}), PalListSelection(list));
                return PalClickListItem(list, 2, MK_CONTROL) &&
                       PalTypeText(GetDlgItem(dlg, 304), "2") && PalPressButton(dlg, IDOK);
            })
        .run([&] { EXPECT_EQ(1, GROUP_DoDialog(owner, "Change Group", name, &members)); });
    EXPECT_STREQ("Team2", name);
    EXPECT_EQ((UINT)GMEM_INVALID_HANDLE, GlobalFlags(old_block)) << "the old block was released";
    EXPECT_EQ(std::string("Bob <b>\0Cy <c>\0Gone <g>\0\0", 25), bytes_of(members));
    GlobalFree(members);
}

TEST_F(AddressDialogs, GroupFailuresKeepNameAndBlock)
{
    char name[ADDRBOOK_NAMESIZE] = "Crew";
    HGLOBAL none = nullptr;
    DialogScript()
        .on(kGroup, "nothing to choose",
            [&](HWND dlg) {
                EXPECT_FALSE(enabled(dlg, IDOK)) << "nothing to choose, nothing to save";
                return PalPressButton(dlg, IDCANCEL);
            })
        .run([&] { EXPECT_EQ(0, GROUP_DoDialog(owner, "New Group", name, &none)); });
    EXPECT_EQ(nullptr, none);
    EXPECT_EQ(0, GROUP_DoDialog(owner, "New Group", nullptr, &none));
    EXPECT_EQ(0, GROUP_DoDialog(owner, "New Group", name, nullptr));
    PalFaultSet(PAL_FAULT_CREATEWINDOW, 0, -1, 0);
    EXPECT_EQ(0, GROUP_DoDialog(owner, "New Group", name, &none));
    PalFaultClear();

    /* OK without memory for the new block ends the dialog changing nothing. */
    book.put(kUsers);
    HGLOBAL members = block_of({"Ann <a>"});
    HGLOBAL kept = members;
    DialogScript()
        .on(kGroup, "OK without memory",
            [&](HWND dlg) {
                bool acted = PalClickListItem(GetDlgItem(dlg, 302), 2, MK_CONTROL) &&
                             PalTypeText(GetDlgItem(dlg, 304), "X");
                PalFaultSet(PAL_FAULT_GLOBALALLOC, 0, -1, ERROR_NOT_ENOUGH_MEMORY);
                return acted && PalPressButton(dlg, IDOK);
            })
        .run([&] { EXPECT_EQ(1, GROUP_DoDialog(owner, "Change Group", name, &members)); });
    PalFaultClear();
    EXPECT_EQ(kept, members);
    EXPECT_EQ(std::string("Ann <a>\0\0", 9), bytes_of(members));
    EXPECT_STREQ("Crew", name) << "no new block, no new name";
    GlobalFree(members);
}

} // namespace
