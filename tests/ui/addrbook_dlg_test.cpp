// The Address Book dialog as its user meets it: entries made, changed and
// deleted against the file's exact text, picks copied into the invitation
// list of the dialog that opened it, and failed writes.
#include "ui/addrbook.h"
#include "ui/book.h"

#include <gtest/gtest.h>

namespace {

using Texts = std::vector<std::string>;

const int kBook = 200, kMember = 400, kGroup = 300, kBox = 0;
const std::string kAnn = "Ann Smith <ann@east>", kBob = "bob <bob>", kCarol = "Carol <carol@south>";
const std::string kUsers3 = "[users]\n" + kAnn + "=\n" + kBob + "=\n" + kCarol + "=\n";
const std::string kTeam = "[groups]\nTeam=\n[Team]\n" + kAnn + "=\n" + kBob + "=\n";

class AddressBookDialog : public BookDialogs {
  protected:
    std::string file() const { return book.text(); }
    HWND invitations() const { return GetDlgItem(owner, 109); }
    void run(DialogScript &script)
    {
        script.run([&] { ADDRBOOK_DoDialog(owner); });
    }
};

HWND list_of(HWND dlg)
{
    return GetDlgItem(dlg, 202);
}
Texts entries(HWND dlg)
{
    return PalListContents(list_of(dlg));
}
/* Selects entry `index` (adding it to the selection with `keys`). */
bool pick(HWND dlg, int index, UINT keys = 0)
{
    return PalClickListItem(list_of(dlg), index, keys);
}

TEST_F(AddressBookDialog, NewAddressesAndGroupsAreWrittenAtOnce)
{
    const std::string users = "[users]\n" + kAnn + "=\n" + kBob + "=\n";
    auto add = [](const char *address, const char *name) {
        return [=](HWND dlg) {
            return PalTypeText(GetDlgItem(dlg, 102), address) &&
                   PalTypeText(GetDlgItem(dlg, 404), name) && PalPressKey(dlg, VK_RETURN);
        };
    };
    DialogScript script;
    script
        .on(kBook, "empty book",
            [&](HWND dlg) {
                EXPECT_TRUE(entries(dlg).empty());
                EXPECT_FALSE(enabled(dlg, 205));
                EXPECT_FALSE(enabled(dlg, 206));
                return PalPressButton(dlg, 203);
            })
        .on(kMember, "first address", add("ann@east", "Ann Smith"))
        .on(kBook, "written at once",
            [&](HWND dlg) {
                EXPECT_EQ("[users]\n" + kAnn + "=\n", file());
                return PalPressButton(dlg, 203);
            })
        .on(kMember, "address alone", add("bob", ""))
        .on(kBook, "again", [&](HWND dlg) { return PalPressButton(dlg, 203); })
        .on(kMember, "the same user again", add("bob", ""))
        .on(kBook, "duplicate beeps, file unchanged",
            [&](HWND dlg) {
                EXPECT_EQ((std::vector<UINT>{0}), PalBeeps());
                EXPECT_EQ(users, file());
                EXPECT_EQ((Texts{kAnn, kBob}), entries(dlg));
                return PalPressButton(dlg, 204);
            })
        .on(kGroup, "a new group of both",
            [&](HWND dlg) {
                HWND members = GetDlgItem(dlg, 302);
                return PalTypeText(GetDlgItem(dlg, 304), "  Team  ") &&
                       PalClickListItem(members, 0) && PalClickListItem(members, 1, MK_CONTROL) &&
                       PalPressButton(dlg, IDOK);
            })
        .on(kBook, "group written and listed without its blanks", [&](HWND dlg) {
            EXPECT_EQ(users + kTeam, file());
            EXPECT_EQ((Texts{"Team", kAnn, kBob}), entries(dlg));
            return PalPressKey(dlg, VK_ESCAPE);
        });
    run(script);
    EXPECT_TRUE(PalListContents(invitations()).empty()) << "nothing was selected";
}

TEST_F(AddressBookDialog, PickedUsersAndGroupsBecomeInvitees)
{
    book.put(kUsers3 + kTeam);
    HWND seen = nullptr;
    DialogScript script;
    script
        .on(kBook, "the group picked",
            [&](HWND dlg) {
                seen = dlg;
                EXPECT_EQ((Texts{"Team", kAnn, kBob, kCarol}), entries(dlg));
                return PalDoubleClickListItem(list_of(dlg), 0);
            })
        .on(kBook, "its members are invitees, the group is deselected; one user twice",
            [&](HWND dlg) {
                EXPECT_EQ((Texts{kAnn, kBob}), PalListContents(invitations()));
                EXPECT_EQ((std::vector<int>{ENTRY_USER, ENTRY_USER}), list_flags(invitations()));
                EXPECT_TRUE(PalListSelection(list_of(dlg)).empty());
                EXPECT_FALSE(enabled(dlg, 205));
                return PalDoubleClickListItem(list_of(dlg), 3) &&
                       PalDoubleClickListItem(list_of(dlg), 3);
            })
        .on(kBook, "one beep; Help",
            [&](HWND dlg) {
                EXPECT_EQ((std::vector<UINT>{0}), PalBeeps());
                EXPECT_EQ((Texts{kAnn, kBob, kCarol}), PalListContents(invitations()));
                return PalPressButton(dlg, 9);
            })
        .on(kBook, "help asked; Enter (there is no OK)",
            [&](HWND dlg) {
                auto help = PalHelpCalls();
                EXPECT_TRUE(help.size() == 1 && help[0].hwnd == dlg &&
                            help[0].file == "palavera.hlp" && help[0].command == HELP_CONTEXT &&
                            help[0].data == 7u);
                return pick(dlg, 2) && PalPressKey(dlg, VK_RETURN);
            })
        .on(kBook, "still open; two selected disables Change", [&](HWND dlg) {
            EXPECT_TRUE(enabled(dlg, 205));
            EXPECT_TRUE(pick(dlg, 0, MK_CONTROL));
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
    EXPECT_EQ(kUsers3 + kTeam, file()) << "picking writes nothing";
}

TEST_F(AddressBookDialog, ChangeRenamesUsersGroupsAndGroupLines)
{
    book.put(kUsers3 + "[groups]\nTeam=\nCrew=\n[Team]\n" + kAnn + "=\n" + kBob + "=\n[Crew]\n" +
             kCarol + "=\n");
    const std::string renamed = "[users]\n" + kBob + "=\n" + kCarol +
                                "=\nAnnie <ann@east>=\n[groups]\nCrew=\nSquad=\n[Crew]\n" + kCarol +
                                "=\n";
    DialogScript script;
    script
        .on(kBook, "select Ann, Change",
            [&](HWND dlg) { return pick(dlg, 2) && PalPressButton(dlg, 205); })
        .on(kMember, "the user's fields",
            [&](HWND dlg) {
                EXPECT_EQ("Change Address", PalGetText(dlg));
                EXPECT_EQ("ann@east", PalGetDlgItemText(dlg, 102));
                return retype(dlg, 404, "Annie") && PalPressButton(dlg, IDOK);
            })
        .on(kBook, "renamed in users only, selected",
            [&](HWND dlg) {
                EXPECT_EQ("[users]\n" + kBob + "=\n" + kCarol +
                              "=\nAnnie <ann@east>=\n[groups]\nTeam=\nCrew=\n[Team]\n" + kAnn +
                              "=\n" + kBob + "=\n[Crew]\n" + kCarol + "=\n",
                          file());
                EXPECT_EQ((std::vector<int>{2}), PalListSelection(list_of(dlg)));
                return pick(dlg, 1) && PalPressButton(dlg, 205);
            })
        .on(kGroup, "Team: its old member stays chosen though no user any more",
            [&](HWND dlg) {
                EXPECT_EQ("Change Group", PalGetText(dlg));
                HWND users = GetDlgItem(dlg, 302);
                EXPECT_EQ((Texts{kAnn, "Annie <ann@east>", kBob, kCarol}), PalListContents(users));
                EXPECT_EQ((std::vector<int>{0, 2}), PalListSelection(users));
                return retype(dlg, 304, "Squad") && PalClickListItem(users, 0, MK_CONTROL) &&
                       PalPressButton(dlg, IDOK);
            })
        .on(kBook, "the group moved; its member shows under it",
            [&](HWND dlg) {
                EXPECT_EQ(renamed + "[Squad]\n" + kBob + "=\n", file());
                EXPECT_EQ(ENTRY_GROUPLINE, list_flags(list_of(dlg))[2]);
                EXPECT_EQ("Squad\t" + kBob, entries(dlg)[2]);
                return pick(dlg, 2) && PalPressButton(dlg, 205);
            })
        .on(kMember, "the group line's entry",
            [&](HWND dlg) {
                EXPECT_EQ("bob", PalGetDlgItemText(dlg, 102));
                return retype(dlg, 404, "Bobby") && PalPressButton(dlg, IDOK);
            })
        .on(kBook, "the line follows the file",
            [&](HWND dlg) {
                EXPECT_EQ(renamed + "[Squad]\nBobby <bob>=\n", file());
                EXPECT_EQ("Squad\tBobby <bob>", entries(dlg)[2]);
                return pick(dlg, 1) && PalPressButton(dlg, 205);
            })
        .on(kGroup, "Squad renamed onto Crew",
            [&](HWND dlg) {
                PalClearRecords();
                return retype(dlg, 304, "crew") && PalPressButton(dlg, IDOK);
            })
        .on(kBook, "refused with a beep, nothing changed",
            [&](HWND dlg) {
                EXPECT_EQ((std::vector<UINT>{0}), PalBeeps());
                EXPECT_EQ(renamed + "[Squad]\nBobby <bob>=\n", file());
                return pick(dlg, 0) && PalPressButton(dlg, 205);
            })
        .on(kGroup, "Crew keeps its name, gains bob",
            [&](HWND dlg) {
                return PalClickListItem(GetDlgItem(dlg, 302), 1, MK_CONTROL) &&
                       PalPressButton(dlg, IDOK);
            })
        .on(kBook, "same group: members replaced in place", [&](HWND dlg) {
            EXPECT_EQ(renamed + kBob + "=\n[Squad]\nBobby <bob>=\n", file());
            EXPECT_EQ((Texts{"Crew", "Crew\t" + kBob, "Crew\t" + kCarol, "Squad",
                             "Squad\tBobby <bob>", "Annie <ann@east>", kBob, kCarol}),
                      entries(dlg));
            return PalPressButton(dlg, IDCANCEL);
        });
    run(script);
    /* Close copies the selection: the changed group stayed selected. */
    EXPECT_EQ((Texts{kBob, kCarol}), PalListContents(invitations()));
}

TEST_F(AddressBookDialog, DeleteAsksFirstAndRemovesFromFileAndList)
{
    book.put(kUsers3 + kTeam);
    const std::string two = "[users]\n" + kAnn + "=\n" + kBob + "=\n" + kTeam;
    DialogScript script;
    script
        .on(kBook, "select Carol, Delete",
            [&](HWND dlg) { return pick(dlg, 3) && PalPressButton(dlg, 206); })
        .on(kBox, "the question",
            [&](HWND box) {
                EXPECT_EQ("Delete", PalGetText(box));
                return PalPressButton(box, IDYES);
            })
        .on(kBook, "Carol gone; Change Team without changing it shows its lines",
            [&](HWND dlg) {
                EXPECT_EQ(two, file());
                EXPECT_EQ((Texts{"Team", kAnn, kBob}), entries(dlg));
                EXPECT_FALSE(enabled(dlg, 206));
                return pick(dlg, 0) && PalPressButton(dlg, 205);
            })
        .on(kGroup, "OK as it is", [&](HWND dlg) { return PalPressButton(dlg, IDOK); })
        .on(kBook, "the group, one line and bob deleted together",
            [&](HWND dlg) {
                EXPECT_EQ(two, file());
                EXPECT_EQ((Texts{"Team", "Team\t" + kAnn, "Team\t" + kBob, kAnn, kBob}),
                          entries(dlg));
                return pick(dlg, 0) && pick(dlg, 1, MK_CONTROL) && pick(dlg, 4, MK_CONTROL) &&
                       PalPressButton(dlg, 206);
            })
        .on(kBox, "Yes", [&](HWND box) { return PalPressKey(box, VK_RETURN); })
        .on(kBook, "the group and its section went; its lines left the list", [&](HWND dlg) {
            EXPECT_EQ("[users]\n" + kAnn + "=\n[groups]\n", file());
            EXPECT_EQ((Texts{kAnn}), entries(dlg));
            EXPECT_TRUE(PalListSelection(list_of(dlg)).empty());
            return PalCloseWindow(dlg);
        });
    run(script);
}

TEST_F(AddressBookDialog, FailedWritesBeepAndTheListStaysAsTheFileIs)
{
    const std::string start = "[users]\n" + kAnn + "=\n[groups]\nTeam=\n[Team]\n" + kAnn + "=\n";
    book.put(start);
    /* After each failed write: one beep (two for two deletions), and the
     * list as the file is. */
    auto unchanged = [&](HWND dlg, size_t beeps) {
        EXPECT_EQ(std::vector<UINT>(beeps, 0), PalBeeps());
        EXPECT_EQ((Texts{"Team", kAnn}), entries(dlg));
        PalClearRecords();
    };
    DialogScript script;
    script
        .on(kBook, "writes fail from here; New",
            [&](HWND dlg) {
                PalFaultSet(PAL_FAULT_FILEWRITE, 0, -1, 0);
                return PalPressButton(dlg, 203);
            })
        .on(kMember, "a new user",
            [&](HWND dlg) { return retype(dlg, 102, "bob") && PalPressButton(dlg, IDOK); })
        .on(kBook, "not listed",
            [&](HWND dlg) {
                unchanged(dlg, 1);
                return pick(dlg, 0) && PalPressButton(dlg, 205);
            })
        .on(kGroup, "Team renamed",
            [&](HWND dlg) { return retype(dlg, 304, "Crew") && PalPressButton(dlg, IDOK); })
        .on(kBook, "the old group is still there",
            [&](HWND dlg) {
                unchanged(dlg, 1);
                return pick(dlg, 1) && PalPressButton(dlg, 205);
            })
        .on(kMember, "Ann renamed",
            [&](HWND dlg) { return retype(dlg, 404, "Annie") && PalPressButton(dlg, IDOK); })
        .on(kBook, "Ann stays",
            [&](HWND dlg) {
                unchanged(dlg, 1);
                return pick(dlg, 0) && pick(dlg, 1, MK_SHIFT) && PalPressButton(dlg, 206);
            })
        .on(kBox, "Yes", [&](HWND box) { return PalPressButton(box, IDYES); })
        .on(kBook, "neither deleted", [&](HWND dlg) {
            unchanged(dlg, 2);
            PalFaultClear();
            return PalPressButton(dlg, IDCANCEL);
        });
    run(script);
    EXPECT_EQ(start, file());
}

} // namespace
