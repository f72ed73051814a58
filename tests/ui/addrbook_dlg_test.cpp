// The Address Book dialog as its user meets it: entries made, changed and
// deleted against the file's exact text, picks copied into the invitation
// list of the dialog that opened it, and failed writes.
#include "api/api.h"
#include "api/settings.h"
#include "ui/addrbook.h"
#include "ui/lists.h"

#include "support/instance.h"
#include "ui/dialog_script.h"
#include "ui/dialogs.h"

#include <windows.h>
#include <paldriver.h>
#include <paltest.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include <unistd.h>

namespace {

using Texts = std::vector<std::string>;

const int kBook = 200;
const int kMember = 400;
const int kGroup = 300;
const int kBox = 0;
const int kList = 202;

const char kAnn[] = "Ann Smith <ann@east>";
const char kBob[] = "bob <bob>";
const char kCarol[] = "Carol <carol@south>";

class AddressBookDialog : public ::testing::Test {
  protected:
    void SetUp() override
    {
        saved_settings = LIB_Settings;
        saved_instance = LIB_Instance;
        LIB_Instance = resource_instance();
        char dir_template[] = "/tmp/callmgr-book-XXXXXX";
        ASSERT_NE(nullptr, mkdtemp(dir_template));
        dir = dir_template;
        path = dir + "/book.zab";
        snprintf(LIB_Settings.addressbook, sizeof LIB_Settings.addressbook, "%s", path.c_str());
        PalClearRecords();
        LIST_LoadIcons(resource_instance());
        /* The Invite dialog's template: its list 109 is the invitation
         * list the Address Book copies into. */
        owner = make_plain_dialog(100);
        ASSERT_NE(nullptr, owner);
    }
    void TearDown() override
    {
        PalClearModalIdle();
        PalFaultClear();
        if (owner)
            DestroyWindow(owner);
        LIST_FreeIcons();
        unlink(path.c_str());
        rmdir(dir.c_str());
        LIB_Settings = saved_settings;
        LIB_Instance = saved_instance;
        PalClearRecords();
    }

    void write_book(const std::string &text) { std::ofstream(path, std::ios::binary) << text; }
    std::string book() const
    {
        std::ifstream in(path, std::ios::binary);
        if (!in)
            return "<no file>";
        std::stringstream s;
        s << in.rdbuf();
        return s.str();
    }
    HWND invitations() const { return GetDlgItem(owner, 109); }
    void run(DialogScript &script)
    {
        script.run([&] { ADDRBOOK_DoDialog(owner); });
    }

    CMSETTINGS saved_settings;
    HINSTANCE saved_instance = nullptr;
    std::string dir, path;
    HWND owner = nullptr;
};

HWND list_of(HWND dlg)
{
    return GetDlgItem(dlg, kList);
}
Texts entries(HWND dlg)
{
    return PalListContents(list_of(dlg));
}

bool type_into(HWND dlg, int id, const char *text)
{
    return PalClearText(GetDlgItem(dlg, id)) && PalTypeText(GetDlgItem(dlg, id), text);
}

const std::string kUsers3 = std::string("[users]\n") + kAnn + "=\n" + kBob + "=\n" + kCarol + "=\n";
const std::string kTeam = std::string("[groups]\nTeam=\n[Team]\n") + kAnn + "=\n" + kBob + "=\n";

TEST_F(AddressBookDialog, NewAddressesAndGroupsAreWrittenAtOnce)
{
    const std::string users = std::string("[users]\n") + kAnn + "=\n" + kBob + "=\n";
    DialogScript script;
    script
        .on(kBook, "empty book",
            [&](HWND dlg) {
                EXPECT_TRUE(entries(dlg).empty());
                EXPECT_FALSE(enabled(dlg, 205));
                EXPECT_FALSE(enabled(dlg, 206));
                return PalPressButton(dlg, 203);
            })
        .on(kMember, "first address",
            [&](HWND dlg) {
                EXPECT_EQ("New Address", PalGetText(dlg));
                return PalTypeText(GetDlgItem(dlg, 102), "ann@east") &&
                       PalTypeText(GetDlgItem(dlg, 404), "Ann Smith") && PalPressButton(dlg, IDOK);
            })
        .on(kBook, "written at once",
            [&](HWND dlg) {
                EXPECT_EQ(std::string("[users]\n") + kAnn + "=\n", book());
                return PalPressButton(dlg, 203);
            })
        .on(kMember, "address alone, Enter is OK",
            [&](HWND dlg) {
                return PalTypeText(GetDlgItem(dlg, 102), "bob") && PalPressKey(dlg, VK_RETURN);
            })
        .on(kBook, "second user", [&](HWND dlg) { return PalPressButton(dlg, 203); })
        .on(kMember, "the same user again",
            [&](HWND dlg) {
                return PalTypeText(GetDlgItem(dlg, 102), "bob") && PalPressButton(dlg, IDOK);
            })
        .on(kBook, "duplicate beeps, file unchanged",
            [&](HWND dlg) {
                EXPECT_EQ((std::vector<UINT>{0}), PalBeeps());
                EXPECT_EQ(users, book());
                EXPECT_EQ((Texts{kAnn, kBob}), entries(dlg));
                return PalPressButton(dlg, 204);
            })
        .on(kGroup, "a new group of both",
            [&](HWND dlg) {
                EXPECT_EQ("New Group", PalGetText(dlg));
                HWND members = GetDlgItem(dlg, 302);
                return PalTypeText(GetDlgItem(dlg, 304), "  Team  ") &&
                       PalClickListItem(members, 0) && PalClickListItem(members, 1, MK_CONTROL) &&
                       PalPressButton(dlg, IDOK);
            })
        .on(kBook, "group written and listed without its blanks", [&](HWND dlg) {
            EXPECT_EQ(users + kTeam, book());
            EXPECT_EQ((Texts{"Team", kAnn, kBob}), entries(dlg));
            EXPECT_EQ((std::vector<int>{ENTRY_GROUP, ENTRY_USER, ENTRY_USER}),
                      list_flags(list_of(dlg)));
            PalClearRecords();
            return PalPressKey(dlg, VK_ESCAPE);
        });
    run(script);
    EXPECT_TRUE(PalListContents(invitations()).empty()) << "nothing was selected";
    EXPECT_EQ(users + kTeam, book());
}

TEST_F(AddressBookDialog, PickedUsersAndGroupsBecomeInvitees)
{
    write_book(kUsers3 + kTeam);
    HWND seen = nullptr;
    DialogScript script;
    script
        .on(kBook, "listed from the file",
            [&](HWND dlg) {
                seen = dlg;
                EXPECT_EQ((Texts{"Team", kAnn, kBob, kCarol}), entries(dlg));
                return PalDoubleClickListItem(list_of(dlg), 0);
            })
        .on(kBook, "the group's members are invitees, the group is deselected",
            [&](HWND dlg) {
                EXPECT_EQ((Texts{kAnn, kBob}), PalListContents(invitations()));
                EXPECT_EQ((std::vector<int>{ENTRY_USER, ENTRY_USER}), list_flags(invitations()));
                EXPECT_TRUE(PalListSelection(list_of(dlg)).empty());
                EXPECT_FALSE(enabled(dlg, 205));
                return PalDoubleClickListItem(list_of(dlg), 3);
            })
        .on(kBook, "one user picked",
            [&](HWND dlg) { return PalDoubleClickListItem(list_of(dlg), 3); })
        .on(kBook, "picked twice: one beep",
            [&](HWND dlg) {
                EXPECT_EQ((std::vector<UINT>{0}), PalBeeps());
                EXPECT_EQ((Texts{kAnn, kBob, kCarol}), PalListContents(invitations()));
                return PalPressButton(dlg, 9);
            })
        .on(kBook, "help",
            [&](HWND dlg) {
                auto help = PalHelpCalls();
                EXPECT_EQ(1u, help.size());
                if (!help.empty()) {
                    EXPECT_EQ(dlg, help[0].hwnd);
                    EXPECT_EQ("palavera.hlp", help[0].file);
                    EXPECT_EQ((UINT)HELP_CONTEXT, help[0].command);
                    EXPECT_EQ(7u, help[0].data);
                }
                /* Enter: there is no OK, the dialog stays. */
                return PalClickListItem(list_of(dlg), 2) && PalPressKey(dlg, VK_RETURN);
            })
        .on(kBook, "still open; two selected disables Change", [&](HWND dlg) {
            EXPECT_TRUE(enabled(dlg, 205));
            EXPECT_TRUE(enabled(dlg, 206));
            EXPECT_TRUE(PalClickListItem(list_of(dlg), 0, MK_CONTROL));
            EXPECT_FALSE(enabled(dlg, 205));
            EXPECT_TRUE(enabled(dlg, 206));
            PalClearRecords();
            return PalPressButton(dlg, IDCANCEL);
        });
    run(script);
    EXPECT_FALSE(IsWindow(seen));
    /* Close copied bob (a duplicate) and the group (two duplicates). */
    EXPECT_EQ((std::vector<UINT>{0, 0, 0}), PalBeeps());
    EXPECT_EQ((Texts{kAnn, kBob, kCarol}), PalListContents(invitations()));
    EXPECT_EQ(kUsers3 + kTeam, book()) << "picking writes nothing";
}

TEST_F(AddressBookDialog, ChangeRenamesUsersGroupsAndGroupLines)
{
    write_book(kUsers3 + "[groups]\nTeam=\nCrew=\n[Team]\n" + kAnn + "=\n" + kBob + "=\n[Crew]\n" +
               kCarol + "=\n");
    const std::string renamed = std::string("[users]\n") + kBob + "=\n" + kCarol +
                                "=\nAnnie <ann@east>=\n[groups]\nCrew=\nSquad=\n[Crew]\n" + kCarol +
                                "=\n";
    DialogScript script;
    script
        .on(kBook, "select Ann, Change",
            [&](HWND dlg) { return PalClickListItem(list_of(dlg), 2) && PalPressButton(dlg, 205); })
        .on(kMember, "the user's fields",
            [&](HWND dlg) {
                EXPECT_EQ("Change Address", PalGetText(dlg));
                EXPECT_EQ("ann@east", PalGetDlgItemText(dlg, 102));
                EXPECT_EQ("Ann Smith", PalGetDlgItemText(dlg, 404));
                return type_into(dlg, 404, "Annie") && PalPressButton(dlg, IDOK);
            })
        .on(kBook, "renamed in users only, selected",
            [&](HWND dlg) {
                EXPECT_EQ(std::string("[users]\n") + kBob + "=\n" + kCarol +
                              "=\nAnnie <ann@east>=\n[groups]\nTeam=\nCrew=\n[Team]\n" + kAnn +
                              "=\n" + kBob + "=\n[Crew]\n" + kCarol + "=\n",
                          book());
                EXPECT_EQ((std::vector<int>{2}), PalListSelection(list_of(dlg)));
                return PalClickListItem(list_of(dlg), 1) && PalPressButton(dlg, 205);
            })
        .on(kGroup, "Team: its old member stays chosen though no user any more",
            [&](HWND dlg) {
                EXPECT_EQ("Change Group", PalGetText(dlg));
                HWND users = GetDlgItem(dlg, 302);
                EXPECT_EQ((Texts{kAnn, "Annie <ann@east>", kBob, kCarol}), PalListContents(users));
                EXPECT_EQ((std::vector<int>{0, 2}), PalListSelection(users));
                return type_into(dlg, 304, "Squad") && PalClickListItem(users, 0, MK_CONTROL) &&
                       PalPressButton(dlg, IDOK);
            })
        .on(kBook, "the group moved; its member shows under it",
            [&](HWND dlg) {
                EXPECT_EQ(renamed + "[Squad]\n" + kBob + "=\n", book());
                EXPECT_EQ((std::vector<int>{ENTRY_GROUP, ENTRY_GROUP, ENTRY_GROUPLINE, ENTRY_USER,
                                            ENTRY_USER, ENTRY_USER}),
                          list_flags(list_of(dlg)));
                EXPECT_EQ(std::string("Squad\t") + kBob, entries(dlg)[2]);
                return PalClickListItem(list_of(dlg), 2) && PalPressButton(dlg, 205);
            })
        .on(kMember, "the group line's entry",
            [&](HWND dlg) {
                EXPECT_EQ("bob", PalGetDlgItemText(dlg, 102));
                return type_into(dlg, 404, "Bobby") && PalPressButton(dlg, IDOK);
            })
        .on(kBook, "the line follows the file",
            [&](HWND dlg) {
                EXPECT_EQ(renamed + "[Squad]\nBobby <bob>=\n", book());
                EXPECT_EQ("Squad\tBobby <bob>", entries(dlg)[2]);
                return PalClickListItem(list_of(dlg), 1) && PalPressButton(dlg, 205);
            })
        .on(kGroup, "Squad renamed onto Crew",
            [&](HWND dlg) {
                PalClearRecords();
                return type_into(dlg, 304, "crew") && PalPressButton(dlg, IDOK);
            })
        .on(kBook, "refused with a beep, nothing changed",
            [&](HWND dlg) {
                EXPECT_EQ((std::vector<UINT>{0}), PalBeeps());
                EXPECT_EQ(renamed + "[Squad]\nBobby <bob>=\n", book());
                return PalClickListItem(list_of(dlg), 0) && PalPressButton(dlg, 205);
            })
        .on(kGroup, "Crew keeps its name, gains bob",
            [&](HWND dlg) {
                return PalClickListItem(GetDlgItem(dlg, 302), 1, MK_CONTROL) &&
                       PalPressButton(dlg, IDOK);
            })
        .on(kBook, "same group: members replaced in place", [&](HWND dlg) {
            EXPECT_EQ(renamed + kBob + "=\n[Squad]\nBobby <bob>=\n", book());
            EXPECT_EQ((Texts{"Crew", std::string("Crew\t") + kBob, std::string("Crew\t") + kCarol,
                             "Squad", "Squad\tBobby <bob>", "Annie <ann@east>", kBob, kCarol}),
                      entries(dlg));
            return PalPressButton(dlg, IDCANCEL);
        });
    run(script);
    /* Close copies the selection: the changed group stayed selected. */
    EXPECT_EQ((Texts{kBob, kCarol}), PalListContents(invitations()));
}

TEST_F(AddressBookDialog, DeleteAsksFirstAndRemovesFromFileAndList)
{
    write_book(kUsers3 + kTeam);
    DialogScript script;
    script
        .on(kBook, "select Carol, Delete",
            [&](HWND dlg) { return PalClickListItem(list_of(dlg), 3) && PalPressButton(dlg, 206); })
        .on(kBox, "the question",
            [&](HWND box) {
                EXPECT_EQ("Delete", PalGetText(box));
                EXPECT_EQ("The selected items will be permanently removed.\nDo you really want "
                          "to delete them?",
                          PalGetDlgItemText(box, 0xFFFF));
                return PalPressButton(box, IDYES);
            })
        .on(kBook, "Carol gone from file and list",
            [&](HWND dlg) {
                EXPECT_EQ(std::string("[users]\n") + kAnn + "=\n" + kBob + "=\n" + kTeam, book());
                EXPECT_EQ((Texts{"Team", kAnn, kBob}), entries(dlg));
                EXPECT_FALSE(enabled(dlg, 206));
                /* Show Team's lines: Change it without changing anything. */
                return PalClickListItem(list_of(dlg), 0) && PalPressButton(dlg, 205);
            })
        .on(kGroup, "OK as it is", [&](HWND dlg) { return PalPressButton(dlg, IDOK); })
        .on(kBook, "lines shown; the group, one line and bob deleted together",
            [&](HWND dlg) {
                EXPECT_EQ(std::string("[users]\n") + kAnn + "=\n" + kBob + "=\n" + kTeam, book());
                EXPECT_EQ((Texts{"Team", std::string("Team\t") + kAnn, std::string("Team\t") + kBob,
                                 kAnn, kBob}),
                          entries(dlg));
                HWND list = list_of(dlg);
                return PalClickListItem(list, 0) && PalClickListItem(list, 1, MK_CONTROL) &&
                       PalClickListItem(list, 4, MK_CONTROL) && PalPressButton(dlg, 206);
            })
        .on(kBox, "Yes", [&](HWND box) { return PalPressKey(box, VK_RETURN); })
        .on(kBook, "the group and its section went; its lines left the list", [&](HWND dlg) {
            EXPECT_EQ(std::string("[users]\n") + kAnn + "=\n[groups]\n", book());
            EXPECT_EQ((Texts{kAnn}), entries(dlg));
            EXPECT_TRUE(PalListSelection(list_of(dlg)).empty());
            return PalCloseWindow(dlg);
        });
    run(script);
}

TEST_F(AddressBookDialog, FailedWritesBeepAndTheListStaysAsTheFileIs)
{
    const std::string start =
        std::string("[users]\n") + kAnn + "=\n[groups]\nTeam=\n[Team]\n" + kAnn + "=\n";
    write_book(start);
    /* After each failed write: one beep, and the list as the file is. */
    auto unchanged = [&](HWND dlg, size_t beeps) {
        EXPECT_EQ(std::vector<UINT>(beeps, 0), PalBeeps());
        EXPECT_EQ((Texts{"Team", kAnn}), entries(dlg));
        PalClearRecords();
    };
    DialogScript script;
    script
        .on(kBook, "writes fail from here",
            [&](HWND dlg) {
                PalFaultSet(PAL_FAULT_FILEWRITE, 0, -1, 0);
                return PalPressButton(dlg, 203);
            })
        .on(kMember, "a new user",
            [&](HWND dlg) {
                return PalTypeText(GetDlgItem(dlg, 102), "bob") && PalPressButton(dlg, IDOK);
            })
        .on(kBook, "not listed",
            [&](HWND dlg) {
                unchanged(dlg, 1);
                return PalClickListItem(list_of(dlg), 0) && PalPressButton(dlg, 205);
            })
        .on(kGroup, "Team renamed",
            [&](HWND dlg) { return type_into(dlg, 304, "Crew") && PalPressButton(dlg, IDOK); })
        .on(kBook, "the old group is still there",
            [&](HWND dlg) {
                unchanged(dlg, 1);
                return PalClickListItem(list_of(dlg), 1) && PalPressButton(dlg, 205);
            })
        .on(kMember, "Ann renamed",
            [&](HWND dlg) { return type_into(dlg, 404, "Annie") && PalPressButton(dlg, IDOK); })
        .on(kBook, "Ann stays",
            [&](HWND dlg) {
                unchanged(dlg, 1);
                return PalClickListItem(list_of(dlg), 0) &&
                       PalClickListItem(list_of(dlg), 1, MK_SHIFT) && PalPressButton(dlg, 206);
            })
        .on(kBox, "Yes", [&](HWND box) { return PalPressButton(box, IDYES); })
        .on(kBook, "neither deleted: one beep each", [&](HWND dlg) {
            unchanged(dlg, 2);
            PalFaultClear();
            return PalPressButton(dlg, IDCANCEL);
        });
    run(script);
    EXPECT_EQ(start, book());
}

} // namespace
