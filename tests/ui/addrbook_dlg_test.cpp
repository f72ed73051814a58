// The Address Book dialog and the Address and Group dialogs it opens, against
// the file, and the picks it copies into its owner's invitation list.
#include "ui/addrbook.h"
#include "ui/book.h"
#include "ui/dialogs.h"
#include "ui/lists.h"

#include <paltest.h>

#include <gtest/gtest.h>

namespace {

const int kBook = 200, kMember = 400, kGroup = 300, kBox = 0;
const std::string kAnn = "Ann Smith <ann@east>", kBob = "bob <bob>", kCarol = "Carol <carol@south>";
const std::string kUsers3 = "[users]\n" + kAnn + "=\n" + kBob + "=\n" + kCarol + "=\n";
const std::string kTeam = "[groups]\nTeam=\n[Team]\n" + kAnn + "=\n" + kBob + "=\n";

/* The dialogs run over the Invite dialog's template, whose list 109 is the
 * invitation list the Address Book copies into. */
class AddressBookDialog : public ::testing::Test {
  protected:
    void SetUp() override
    {
        saved_instance = LIB_Instance;
        LIB_Instance = resource_instance();
        PalClearRecords();
        LIST_LoadIcons(resource_instance());
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
        LIB_Instance = saved_instance;
        PalClearRecords();
    }
    std::string file() const { return book.text(); }
    HWND invitations() const { return GetDlgItem(owner, 109); }
    void run(DialogScript &s)
    {
        s.run([&] { ADDRBOOK_DoDialog(owner); });
    }
    static HWND list_of(HWND dlg) { return GetDlgItem(dlg, 202); }
    static Names entries(HWND dlg) { return PalListContents(list_of(dlg)); }
    static bool pick(HWND d, int i, UINT keys = 0) { return PalClickListItem(list_of(d), i, keys); }

    BookFile book;
    HINSTANCE saved_instance = nullptr;
    HWND owner = nullptr;
};

bool retype(HWND dlg, int id, const std::string &text)
{
    return PalClearText(GetDlgItem(dlg, id)) && PalTypeText(GetDlgItem(dlg, id), text.c_str());
}

TEST_F(AddressBookDialog, NewAddressesAndGroupsAreWrittenAtOnce)
{
    const std::string ann = "[users]\n" + kAnn + "=\n",
                      team = "[groups]\nTeam=\n[Team]\n" + kAnn + "=\n";
    auto add_ann = [](HWND dlg) {
        return PalTypeText(GetDlgItem(dlg, 102), "ann@east") &&
               PalTypeText(GetDlgItem(dlg, 404), "Ann Smith") && PalPressKey(dlg, VK_RETURN);
    };
    run(DialogScript()
            .on(kBook, "empty book",
                [&](HWND dlg) {
                    EXPECT_FALSE(enabled(dlg, 205));
                    EXPECT_FALSE(enabled(dlg, 206));
                    return PalPressButton(dlg, 203);
                })
            .on(kMember, "first address", add_ann)
            .on(kBook, "written at once; New again",
                [&](HWND dlg) {
                    EXPECT_EQ(ann, file());
                    return PalPressButton(dlg, 203);
                })
            .on(kMember, "the same user again", add_ann)
            .on(kBook, "duplicate beeps, file unchanged",
                [&](HWND dlg) {
                    EXPECT_EQ((std::vector<UINT>{0}), PalBeeps());
                    EXPECT_EQ(ann, file());
                    EXPECT_EQ((Names{kAnn}), entries(dlg));
                    return PalPressButton(dlg, 204);
                })
            .on(kGroup, "OK needs a name the book takes and a member",
                [&](HWND dlg) {
                    HWND field = GetDlgItem(dlg, 304);
                    EXPECT_EQ(field, GetFocus());
                    EXPECT_TRUE(PalTypeText(field, "Team"));
                    EXPECT_FALSE(enabled(dlg, IDOK)) << "no member";
                    EXPECT_TRUE(PalClickListItem(GetDlgItem(dlg, 302), 0));
                    for (const std::string &bad :
                         Names{"", " \t ", "Users", "a=b", std::string(128, 'g')}) {
                        retype(dlg, 304, bad);
                        EXPECT_FALSE(enabled(dlg, IDOK)) << "'" << bad << "'";
                    }
                    PalPressKey(dlg, VK_RETURN);
                    EXPECT_EQ(dlg, PalFindModalDialog()) << "Enter does not pass a disabled OK";
                    return retype(dlg, 304, "  Team  ") && PalPressButton(dlg, IDOK);
                })
            .on(kBook, "group written and listed without its blanks; New Group",
                [&](HWND dlg) {
                    EXPECT_EQ(ann + team, file());
                    EXPECT_EQ((Names{"Team", kAnn}), entries(dlg));
                    PalClearRecords();
                    return PalPressButton(dlg, 204);
                })
            .on(kGroup, "a name the book already has",
                [&](HWND dlg) {
                    return PalTypeText(GetDlgItem(dlg, 304), "TEAM") &&
                           PalClickListItem(GetDlgItem(dlg, 302), 0) && PalPressButton(dlg, IDOK);
                })
            .on(kBook, "refused: the two would merge", [&](HWND dlg) {
                EXPECT_EQ((std::vector<UINT>{0}), PalBeeps());
                EXPECT_EQ(ann + team, file());
                return PalPressKey(dlg, VK_ESCAPE);
            }));
    EXPECT_TRUE(PalListContents(invitations()).empty()) << "nothing was selected";
}

TEST_F(AddressBookDialog, ChangeRenamesUsersAndGroups)
{
    book.put(kUsers3 + "[groups]\nTeam=\nCrew=\n[Team]\n" + kAnn + "=\nBOB <BOB>=\n[Crew]\n" +
             kCarol + "=\n");
    const std::string renamed = "[users]\n" + kBob + "=\n" + kCarol +
                                "=\nAnnie <ann@east>=\n[groups]\nCrew=\nSquad=\n[Crew]\n" + kCarol +
                                "=\n";
    run(DialogScript()
            .on(kBook, "select Ann, Change",
                [&](HWND dlg) { return pick(dlg, 2) && PalPressButton(dlg, 205); })
            .on(kMember, "the user's fields",
                [&](HWND dlg) {
                    EXPECT_EQ("ann@east", PalGetDlgItemText(dlg, 102));
                    return retype(dlg, 404, "Annie") && PalPressButton(dlg, IDOK);
                })
            .on(kBook, "renamed and selected",
                [&](HWND dlg) {
                    EXPECT_EQ((std::vector<int>{2}), PalListSelection(list_of(dlg)));
                    return pick(dlg, 1) && PalPressButton(dlg, 205);
                })
            .on(kGroup, "Team: its old member stays chosen though no user any more",
                [&](HWND dlg) {
                    HWND users = GetDlgItem(dlg, 302);
                    EXPECT_EQ((Names{kAnn, "Annie <ann@east>", kBob, kCarol}),
                              PalListContents(users))
                        << "letter case finds a user";
                    EXPECT_EQ((std::vector<int>{0, 2}), PalListSelection(users));
                    return retype(dlg, 304, "Squad") && PalClickListItem(users, 0, MK_CONTROL) &&
                           PalPressButton(dlg, IDOK);
                })
            .on(kBook, "the group moved; its member shows under it",
                [&](HWND dlg) {
                    EXPECT_EQ(renamed + "[Squad]\n" + kBob + "=\n", file());
                    EXPECT_EQ(ENTRY_GROUPLINE, list_flags(list_of(dlg))[2]);
                    EXPECT_EQ("Squad\t" + kBob, entries(dlg)[2]);
                    return pick(dlg, 1) && PalPressButton(dlg, 205);
                })
            .on(kGroup, "Squad renamed onto Crew",
                [&](HWND dlg) {
                    PalClearRecords();
                    return retype(dlg, 304, "crew") && PalPressButton(dlg, IDOK);
                })
            .on(kBook, "refused with a beep, nothing changed", [&](HWND dlg) {
                EXPECT_EQ((std::vector<UINT>{0}), PalBeeps());
                EXPECT_EQ(renamed + "[Squad]\n" + kBob + "=\n", file());
                return PalPressButton(dlg, IDCANCEL);
            }));
    /* Close copies the selection: the changed group stayed selected. */
    EXPECT_EQ((Names{kBob}), PalListContents(invitations()));
}

TEST_F(AddressBookDialog, AGroupRenamedOnlyInLetterCaseTakesTheNewSpelling)
{
    book.put("[users]\n" + kAnn + "=\n" + kBob + "=\n" + kTeam);
    const std::string renamed =
        "[users]\n" + kAnn + "=\n" + kBob + "=\n[groups]\nTEAM=\n[TEAM]\n" + kAnn + "=\n";
    run(DialogScript()
            .on(kBook, "Change Team",
                [&](HWND dlg) { return pick(dlg, 0) && PalPressButton(dlg, 205); })
            .on(kGroup, "TEAM, without bob",
                [&](HWND dlg) {
                    return retype(dlg, 304, "TEAM") &&
                           PalClickListItem(GetDlgItem(dlg, 302), 1, MK_CONTROL) &&
                           PalPressButton(dlg, IDOK);
                })
            .on(kBook, "the new spelling in file and list",
                [&](HWND dlg) {
                    EXPECT_EQ(renamed, file());
                    EXPECT_EQ((Names{"TEAM", "TEAM\t" + kAnn, kAnn, kBob}), entries(dlg));
                    EXPECT_TRUE(PalBeeps().empty());
                    return PalPressButton(dlg, 205);
                })
            .on(kGroup, "team, while the new group cannot be written",
                [&](HWND dlg) {
                    /* The old group's key and section go, then the first write
                     * of the new one fails. */
                    PalFaultSet(PAL_FAULT_FILEWRITE, 2, 1, ERROR_ACCESS_DENIED);
                    return retype(dlg, 304, "team") && PalPressButton(dlg, IDOK);
                })
            .on(kBook, "a beep; the old group is back", [&](HWND dlg) {
                EXPECT_EQ((std::vector<UINT>{0}), PalBeeps());
                EXPECT_EQ(renamed, file());
                EXPECT_EQ((Names{"TEAM", "TEAM\t" + kAnn, kAnn, kBob}), entries(dlg));
                return PalPressKey(dlg, VK_ESCAPE);
            }));
}

TEST_F(AddressBookDialog, DeleteAsksFirstAndRemovesFromFileAndList)
{
    book.put(kUsers3 + kTeam);
    const std::string two = "[users]\n" + kAnn + "=\n" + kBob + "=\n" + kTeam;
    run(DialogScript()
            .on(kBook, "select Carol, Delete",
                [&](HWND dlg) { return pick(dlg, 3) && PalPressButton(dlg, 206); })
            .on(kBox, "the question: Yes", [&](HWND box) { return PalPressButton(box, IDYES); })
            .on(kBook, "Carol gone; Change Team without changing it shows its lines",
                [&](HWND dlg) {
                    EXPECT_EQ(two, file());
                    EXPECT_EQ((Names{"Team", kAnn, kBob}), entries(dlg));
                    EXPECT_FALSE(enabled(dlg, 206));
                    return pick(dlg, 0) && PalPressButton(dlg, 205);
                })
            .on(kGroup, "OK as it is", [&](HWND dlg) { return PalPressButton(dlg, IDOK); })
            .on(kBook, "the group, one line and bob deleted together",
                [&](HWND dlg) {
                    EXPECT_EQ(two, file());
                    EXPECT_EQ((Names{"Team", "Team\t" + kAnn, "Team\t" + kBob, kAnn, kBob}),
                              entries(dlg));
                    return pick(dlg, 0) && pick(dlg, 1, MK_CONTROL) && pick(dlg, 4, MK_CONTROL) &&
                           PalPressButton(dlg, 206);
                })
            .on(kBox, "Yes", [&](HWND box) { return PalPressKey(box, VK_RETURN); })
            .on(kBook, "the group and its section went; its lines left the list", [&](HWND dlg) {
                EXPECT_EQ("[users]\n" + kAnn + "=\n[groups]\n", file());
                EXPECT_EQ((Names{kAnn}), entries(dlg));
                EXPECT_TRUE(PalListSelection(list_of(dlg)).empty());
                return PalCloseWindow(dlg);
            }));
}

TEST_F(AddressBookDialog, FailedWritesBeepAndTheListStaysAsTheFileIs)
{
    const std::string start = "[users]\n" + kAnn + "=\n[groups]\nTeam=\n[Team]\n" + kAnn + "=\n";
    book.put(start);
    /* After each failed write: a beep per write, the list as the file is. */
    auto unchanged = [&](HWND dlg, size_t beeps) {
        EXPECT_EQ(std::vector<UINT>(beeps, 0), PalBeeps());
        EXPECT_EQ((Names{"Team", kAnn}), entries(dlg));
        PalClearRecords();
    };
    run(DialogScript()
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
                    return pick(dlg, 0) && pick(dlg, 1, MK_SHIFT) && PalPressButton(dlg, 206);
                })
            .on(kBox, "Yes", [&](HWND box) { return PalPressButton(box, IDYES); })
            .on(kBook, "neither deleted", [&](HWND dlg) {
                unchanged(dlg, 2);
                PalFaultClear();
                return PalPressButton(dlg, IDCANCEL);
            }));
    EXPECT_EQ(start, file());
}

/* The Address and Group dialogs on their own: when OK may be pressed, what
 * they hand back, and that Cancel and failures change nothing. */
TEST_F(AddressBookDialog, AddressOkRefusesWhatCannotBeAnEntryAndCancelKeepsTheText)
{
    struct Bad {
        const char *what;
        std::string address, name;
    } bad[] = {
        {"blank address", "   ", "Ann"},
        {"263 characters", std::string(130, 'a'), std::string(130, 'n')},
        {"a text the book cannot hold", "ann@east", "a=b"},
    };
    char text[LIST_TEXTSIZE] = "Ann <ann@east>";
    DialogScript script;
    for (const Bad &b : bad)
        script.on(kMember, b.what, [&](HWND dlg) {
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
    script.on(kMember, "Cancel", [](HWND dlg) { return PalPressButton(dlg, IDCANCEL); }).run([&] {
        EXPECT_EQ(0, MEMBER_DoDialog(owner, "Change Address", text));
    });
    EXPECT_EQ(0, MEMBER_DoDialog(owner, "New Address", nullptr));
    PalFaultSet(PAL_FAULT_CREATEWINDOW, 0, -1, 0);
    EXPECT_EQ(0, MEMBER_DoDialog(owner, "New Address", text)) << "a dialog that cannot be made";
    PalFaultClear();
    EXPECT_STREQ("Ann <ann@east>", text);
}

TEST_F(AddressBookDialog, ARealNameOfBlanksIsTakenAsAnEmptyName)
{
    char text[LIST_TEXTSIZE] = "Ann <ann@east>";
    DialogScript()
        .on(kMember, "the name blanked",
            [](HWND dlg) { return retype(dlg, 404, "   ") && PalPressButton(dlg, IDOK); })
        .run([&] { EXPECT_EQ(1, MEMBER_DoDialog(owner, "Change Address", text)); });
    EXPECT_STREQ(" <ann@east>", text);
    EXPECT_TRUE(PalBeeps().empty());

    /* The file holds it without its leading blank, as every entry key. */
    DialogScript script;
    script.on(kBook, "New", [](HWND dlg) { return PalPressButton(dlg, 203); })
        .on(kMember, "an address and a blank name",
            [](HWND dlg) {
                return PalTypeText(GetDlgItem(dlg, 102), "bob@west") &&
                       PalTypeText(GetDlgItem(dlg, 404), "  ") && PalPressButton(dlg, IDOK);
            })
        .on(kBook, "stored and listed", [&](HWND dlg) {
            EXPECT_EQ("[users]\n<bob@west>=\n", file());
            EXPECT_EQ((Names{"<bob@west>"}), entries(dlg));
            return PalPressKey(dlg, VK_ESCAPE);
        });
    run(script);
}

TEST_F(AddressBookDialog, GroupFailuresKeepNameAndBlock)
{
    char name[ADDRBOOK_NAMESIZE] = "Crew";
    HGLOBAL none = nullptr;
    EXPECT_EQ(0, GROUP_DoDialog(owner, "New Group", nullptr, &none));
    EXPECT_EQ(0, GROUP_DoDialog(owner, "New Group", name, nullptr));
    PalFaultSet(PAL_FAULT_CREATEWINDOW, 0, -1, 0);
    EXPECT_EQ(0, GROUP_DoDialog(owner, "New Group", name, &none));
    PalFaultClear();

    /* OK without memory for the new block ends the dialog changing nothing. */
    book.put("[users]\nCy <c>=\nAnn <a>=\n");
    HGLOBAL members = block_of({"Ann <a>"});
    HGLOBAL kept = members;
    DialogScript()
        .on(kGroup, "OK without memory",
            [&](HWND dlg) {
                bool acted = PalClickListItem(GetDlgItem(dlg, 302), 1, MK_CONTROL) &&
                             PalTypeText(GetDlgItem(dlg, 304), "X");
                PalFaultSet(PAL_FAULT_GLOBALALLOC, 0, -1, ERROR_NOT_ENOUGH_MEMORY);
                return acted && PalPressButton(dlg, IDOK);
            })
        .run([&] { EXPECT_EQ(1, GROUP_DoDialog(owner, "Change Group", name, &members)); });
    PalFaultClear();
    EXPECT_EQ(kept, members);
    EXPECT_EQ(0, memcmp("Ann <a>\0", GlobalLock(members), 9));
    GlobalUnlock(members);
    EXPECT_STREQ("Crew", name) << "no new block, no new name";
    GlobalFree(members);
}

} // namespace
