// The owner-drawn address lists (ordered insertion, its refusals, the entry
// text forms), and the address book store against the exact text of its file.
#include "ui/addrbook.h"
#include "ui/book.h"
#include "ui/dialogs.h"
#include "ui/lists.h"

#include <paltest.h>

#include <cstring>

namespace {

std::vector<std::pair<std::string, int>> entries(HWND list)
{
    std::vector<std::pair<std::string, int>> out;
    std::vector<int> flags = list_flags(list);
    for (const std::string &text : PalListContents(list))
        out.emplace_back(text, flags[out.size()]);
    return out;
}

class AddressLists : public ::testing::Test {
  protected:
    void SetUp() override
    {
        PalClearRecords();
        book = make_plain_dialog(200);
        address = make_plain_dialog(400);
        ASSERT_TRUE(book && address);
        list = GetDlgItem(book, 202);
    }
    void TearDown() override
    {
        DestroyWindow(book);
        DestroyWindow(address);
        PalClearRecords();
    }
    HWND book = nullptr, address = nullptr, list = nullptr;
};

TEST_F(AddressLists, InsertionKeepsGroupsBeforeUsersEachSortedWithoutCaseAndRefuses)
{
    EXPECT_EQ(0, LIST_InsertEntry(list, "zed <z>", ENTRY_USER));
    EXPECT_EQ(0, LIST_InsertEntry(list, "Team", ENTRY_GROUP)) << "groups go in front of users";
    EXPECT_EQ(1, LIST_InsertEntry(list, "Team\tann <a>", ENTRY_GROUPLINE));
    EXPECT_EQ(0, LIST_InsertEntry(list, "alpha", ENTRY_GROUP));
    EXPECT_EQ(3, LIST_InsertEntry(list, "Bob <b>", ENTRY_USER)) << "sorted among users only";
    EXPECT_EQ(5, LIST_InsertEntry(list, "zz <zz>", ENTRY_USER)) << "after the last user";
    EXPECT_EQ(3, LIST_InsertEntry(list, "zed <z>", ENTRY_GROUP)) << "compared with groups only";
    EXPECT_EQ(1, LIST_InsertEntry(list, "beta", ENTRY_INCALL)) << "a call's member: no user";
    EXPECT_TRUE(PalBeeps().empty());
    std::vector<std::pair<std::string, int>> expected = {
        {"alpha", ENTRY_GROUP},   {"beta", ENTRY_INCALL},
        {"Team", ENTRY_GROUP},    {"Team\tann <a>", ENTRY_GROUPLINE},
        {"zed <z>", ENTRY_GROUP}, {"Bob <b>", ENTRY_USER},
        {"zed <z>", ENTRY_USER},  {"zz <zz>", ENTRY_USER}};
    EXPECT_EQ(expected, entries(list));

    /* Duplicates differing in letter case only: one beep each, list unchanged. */
    EXPECT_EQ(LB_ERR, LIST_InsertEntry(list, "BOB <B>", ENTRY_USER));
    EXPECT_EQ(LB_ERR, LIST_InsertEntry(list, "Zz <ZZ>", ENTRY_USER)) << "the last entry too";
    EXPECT_EQ((std::vector<UINT>{0, 0}), PalBeeps());
    EXPECT_EQ(expected, entries(list));

    /* Lists of one part. */
    SendMessageA(list, LB_RESETCONTENT, 0, 0);
    PalClearRecords();
    LIST_InsertEntry(list, "b", ENTRY_GROUP);
    LIST_InsertEntry(list, "a", ENTRY_GROUP);
    EXPECT_EQ(2, LIST_InsertEntry(list, "0 <0>", ENTRY_USER)) << "after the last group";
    EXPECT_EQ(2, LIST_InsertEntry(list, "bc", ENTRY_GROUPLINE)) << "before the first user";

    /* 255 characters fit; 256 are refused with a beep, nothing inserted. */
    EXPECT_EQ(4, LIST_InsertEntry(list, std::string(255, 'x').c_str(), ENTRY_USER));
    EXPECT_TRUE(PalBeeps().empty());
    EXPECT_EQ(LB_ERR, LIST_InsertEntry(list, std::string(256, 'y').c_str(), ENTRY_GROUP));
    EXPECT_EQ((std::vector<UINT>{0}), PalBeeps());
    EXPECT_EQ(5u, PalListContents(list).size());

    /* A list that fails answers -1 without a beep. */
    PalClearRecords();
    EXPECT_EQ(LB_ERR, LIST_InsertEntry(nullptr, "a", ENTRY_USER));
    EXPECT_EQ(LB_ERR, LIST_InsertEntry(list, nullptr, ENTRY_USER));
    EXPECT_TRUE(PalBeeps().empty());

    /* A text too long to read, put in by other means, is passed over and
     * what follows it is still compared. */
    SendMessageA(list, LB_RESETCONTENT, 0, 0);
    SendMessageA(list, LB_INSERTSTRING, 0, (LPARAM)std::string(300, 'a').c_str());
    SendMessageA(list, LB_SETITEMDATA, 0, ENTRY_USER);
    SendMessageA(list, LB_INSERTSTRING, 1, (LPARAM) "m <m>");
    SendMessageA(list, LB_SETITEMDATA, 1, ENTRY_USER);
    EXPECT_EQ(LB_ERR, LIST_InsertEntry(list, "M <M>", ENTRY_USER));
    EXPECT_EQ(1u, PalBeeps().size());
    EXPECT_EQ(2, LIST_InsertEntry(list, "z <z>", ENTRY_USER));
}

TEST_F(AddressLists, DisplayNameAndSplitting)
{
    struct Case {
        const char *text, *shown, *name, *address;
    } cases[] = {
        {"Ann Smith <ann@east>", "Ann Smith", "Ann Smith", "ann@east"},
        {"Ann \t <ann@east>", "Ann", "Ann", "ann@east"},
        {"<east>", "", "", "east"},
        {" <east>", " ", "", "east"},
        {"  plainhost  ", "  plainhost  ", "plainhost", "plainhost"},
        {"Ann < a b >", "Ann", "Ann", "a b"},
        {"a<b<c>d>", "a", "a", "b<c"},
        {"", "", "", ""},
    };
    for (const Case &c : cases) {
        char text[LIST_TEXTSIZE];
        snprintf(text, sizeof text, "%s", c.text);
        LIST_DisplayName(text);
        EXPECT_STREQ(c.shown, text) << c.text;
        char out[LIST_TEXTSIZE];
        ENTRY_GetName(c.text, out, sizeof out);
        EXPECT_STREQ(c.name, out) << c.text;
        ENTRY_GetAddress(c.text, out, sizeof out);
        EXPECT_STREQ(c.address, out) << c.text;
    }
    /* Outputs are bounded and terminated. */
    char small[4] = {'?', '?', '?', '?'};
    ENTRY_GetName("Annabel <a>", small, sizeof small);
    EXPECT_STREQ("Ann", small);
    ENTRY_GetAddress("x <abcdef>", small, sizeof small);
    EXPECT_STREQ("abc", small);
    ENTRY_GetAddress(nullptr, small, sizeof small);
    EXPECT_STREQ("", small);
    ENTRY_GetName("x", small, 0); /* nothing written */
    LIST_DisplayName(nullptr);
}

TEST_F(AddressLists, ComposeFromTheTwoFields)
{
    /* Bounded: the entry and its terminator fill `limit` exactly, or the
     * entry is refused whole; fields are read whole. */
    const std::string n126(126, 'n'), a126(126, 'a');
    struct Case {
        std::string name, address;
        int limit, result;
        std::string entry, why;
    } cases[] = {
        {"Ann", " \t ", 256, 0, "", "no address"},
        {"", "  host", 256, 1, "host <host>", "the address stands in for a missing name"},
        {"  Ann Smith \t", " ann@east ", 256, 1, "Ann Smith <ann@east >",
         "the address keeps its trailing blanks"},
        {"   ", "h", 256, 1, " <h>", "a blank name"},
        {n126, a126, 256, 1, n126 + " <" + a126 + ">", "255 characters"},
        {n126 + "n", a126, 256, -1, "", "256 characters"},
        {"Ann", "h", 8, 1, "Ann <h>", "the entry and its zero"},
        {"Ann", "h", 7, -1, "", "one short"},
        {"Ann", "h", 0, -1, "", "no room"},
        {"", std::string(300, 'a'), 256, -1, "", "long addresses are not cut"},
        {"", std::string(300, ' ') + "h", 256, 1, "h <h>", "leading blanks do not count"},
    };
    for (const Case &c : cases) {
        SetDlgItemTextA(address, 404, c.name.c_str());
        SetDlgItemTextA(address, 102, c.address.c_str());
        std::vector<char> buf((size_t)std::max(c.limit, 1) + 8, '#');
        buf.back() = '\0';
        EXPECT_EQ(c.result, LIST_ComposeEntry(address, buf.data(), c.limit, 404, 102)) << c.why;
        if (c.limit > 0) { /* nothing is written into no room */
            EXPECT_EQ(c.entry, buf.data()) << c.why;
        }
        EXPECT_EQ('#', buf[(size_t)std::max(c.limit, 1)]) << "written past the limit: " << c.why;
    }
}

struct Block {
    HGLOBAL h;
    explicit Block(const Names &names) : h(block_of(names)) {}
    ~Block() { GlobalFree(h); }
    operator HGLOBAL() const { return h; }
};

/* The names of a block, released; {"<none>"} for no block. */
Names take(HGLOBAL block)
{
    if (!block)
        return {"<none>"};
    Names out;
    const char *p = (const char *)GlobalLock(block);
    for (; *p; p += strlen(p) + 1)
        out.push_back(p);
    GlobalUnlock(block);
    GlobalFree(block);
    return out;
}

class AddressStore : public ::testing::Test {
  protected:
    void TearDown() override { PalFaultClear(); }
    BookFile book;
};

const Names kNone{"<none>"};

TEST_F(AddressStore, UsersAreKeysOfTheUsersSectionAndRenamingDeletesThenWrites)
{
    EXPECT_EQ(kNone, take(ADDRBOOK_ReadUsers())) << "no file, no users";
    EXPECT_EQ(1, ADDRBOOK_AddUser("Ann Smith <ann@east>"));
    EXPECT_EQ(1, ADDRBOOK_AddUser(" \t bob <bob>")) << "leading blanks are skipped";
    EXPECT_EQ(1, ADDRBOOK_AddUser("ANN SMITH <ANN@EAST>")) << "the same key again";
    EXPECT_EQ("[users]\nAnn Smith <ann@east>=\nbob <bob>=\n", book.text());
    EXPECT_EQ((Names{"Ann Smith <ann@east>", "bob <bob>"}), take(ADDRBOOK_ReadSection("USERS")));

    EXPECT_EQ(1, ADDRBOOK_DeleteUser("  ann smith <ann@east>"));
    EXPECT_EQ("[users]\nbob <bob>=\n", book.text());
    EXPECT_EQ(1, ADDRBOOK_DeleteUser("nobody <x>")) << "nothing to delete is no failure";
    EXPECT_EQ(1, ADDRBOOK_DeleteUser("bob <bob>"));
    EXPECT_EQ(kNone, take(ADDRBOOK_ReadUsers())) << "an empty section is no block";

    /* Renaming deletes, then writes. */
    ADDRBOOK_AddUser("a <a>");
    ADDRBOOK_AddUser("b <b>");
    EXPECT_EQ(1, ADDRBOOK_RenameUser("A <A>", "  Alice <a>"));
    EXPECT_EQ(1, ADDRBOOK_RenameUser("Alice <a>", "b <b>")) << "onto another user: one key left";
    EXPECT_EQ(1, ADDRBOOK_RenameUser("b <b>", "B <b>")) << "letter case changes are written";
    EXPECT_EQ("[users]\nB <b>=\n", book.text());

    ADDRBOOK_WriteGroup("Team", Block({"B <b>"}));
    EXPECT_EQ(1, ADDRBOOK_RenameKey("  Team  ", "B <b>", "Bea <b>"));
    const std::string before = book.text();
    EXPECT_EQ("[users]\nB <b>=\n[groups]\nTeam=\n[Team]\nBea <b>=\n", before);
    EXPECT_EQ(0, ADDRBOOK_RenameKey(" \t ", "B <b>", "x <x>"));
    EXPECT_EQ(0, ADDRBOOK_RenameKey("users", "  ", "x <x>"));
    EXPECT_EQ(0, ADDRBOOK_RenameUser("B <b>", nullptr));
    EXPECT_EQ(0, ADDRBOOK_RenameUser("B <b>", "x=y <x>"));
    EXPECT_EQ(before, book.text());
}

TEST_F(AddressStore, GroupsHaveAKeyAndASectionOfTheirOwn)
{
    ADDRBOOK_AddUser("Ann <a>");
    Block members({"Ann <a>", "Bob <b>"});
    EXPECT_EQ(1, ADDRBOOK_WriteGroup("  Team \t", members));
    EXPECT_NE((UINT)GMEM_INVALID_HANDLE, GlobalFlags(members)) << "the block stays the caller's";
    EXPECT_EQ("[users]\nAnn <a>=\n[groups]\nTeam=\n[Team]\nAnn <a>=\nBob <b>=\n", book.text());
    EXPECT_EQ(Names{"Team"}, take(ADDRBOOK_ReadGroups()));

    /* Writing again adds; keys already there stay. */
    EXPECT_EQ(1, ADDRBOOK_WriteGroup("Team", Block({"Cy <c>"})));
    EXPECT_EQ((Names{"Ann <a>", "Bob <b>", "Cy <c>"}), take(ADDRBOOK_ReadGroupMembers("Team")));
    EXPECT_EQ(1, ADDRBOOK_DeleteGroupLine(" Team ", "  bob <b>"));
    EXPECT_EQ("[users]\nAnn <a>=\n[groups]\nTeam=\n[Team]\nAnn <a>=\nCy <c>=\n", book.text());

    /* Deleting a group takes its key and its whole section, nothing else. */
    EXPECT_EQ(1, ADDRBOOK_WriteGroup("Crew", Block({"Ann <a>"})));
    EXPECT_EQ(1, ADDRBOOK_DeleteGroup("TEAM "));
    EXPECT_EQ("[users]\nAnn <a>=\n[groups]\nCrew=\n[Crew]\nAnn <a>=\n", book.text());
}

TEST_F(AddressStore, TextsTheFileCannotHoldAreRefusedUntouched)
{
    ADDRBOOK_AddUser("Ann <a>");
    ADDRBOOK_WriteGroup("Team", Block({"Ann <a>"}));
    const std::string before = book.text();
    const std::string name127(127, 'g'), entry255(255, 'e'), entry256(256, 'e');

    for (const char *e : {"", "   ", "a=b <a>", ";Ann <a>", "[Ann <a>", "Ann <a> ", "Ann\n<a>",
                          "Ann <a\r>", entry256.c_str()}) {
        EXPECT_EQ(0, ADDRBOOK_AddUser(e)) << e;
        EXPECT_EQ(0, ADDRBOOK_DeleteUser(e)) << e;
        EXPECT_EQ(0, ADDRBOOK_DeleteGroupLine("Team", e)) << e;
        if (e[0]) { /* an empty name would end the block */
            EXPECT_EQ(0, ADDRBOOK_WriteGroup("Team", Block({"Ann <a>", e}))) << e;
        }
    }
    const std::string too_long(128, 'g');
    for (const char *g :
         {"users", " Users ", "GROUPS", "", " \t ", "a=b", ";g", "[g", "g\nh", too_long.c_str()}) {
        EXPECT_EQ(0, ADDRBOOK_WriteGroup(g, Block({"Ann <a>"}))) << g;
        EXPECT_EQ(0, ADDRBOOK_DeleteGroup(g)) << g;
        EXPECT_EQ(0, ADDRBOOK_DeleteGroupLine(g, "Ann <a>")) << g;
    }
    EXPECT_EQ(kNone, take(ADDRBOOK_ReadGroupMembers("Users")));

    /* Null arguments, an empty block, a block without its end. */
    EXPECT_EQ(0, ADDRBOOK_AddUser(nullptr));
    EXPECT_EQ(0, ADDRBOOK_WriteGroup(nullptr, Block({"Ann <a>"})));
    EXPECT_EQ(0, ADDRBOOK_WriteGroup("Team", nullptr));
    EXPECT_EQ(0, ADDRBOOK_WriteGroup("Team", Block({})));
    EXPECT_EQ(0, ADDRBOOK_DeleteGroupLine("Team", nullptr));
    Block endless({"xxx"});
    memset(GlobalLock(endless), 'x', GlobalSize(endless));
    GlobalUnlock(endless);
    EXPECT_EQ(0, ADDRBOOK_WriteGroup("Team", endless));
    EXPECT_EQ(nullptr, ADDRBOOK_ReadSection(nullptr));
    EXPECT_EQ(before, book.text());

    /* The longest texts that fit are stored whole. */
    EXPECT_EQ(1, ADDRBOOK_AddUser(entry255.c_str()));
    EXPECT_EQ(1, ADDRBOOK_WriteGroup((" " + name127 + " ").c_str(), Block({entry255})));
    EXPECT_EQ(before.substr(0, 17) + entry255 + "=\n[groups]\nTeam=\n" + name127 +
                  "=\n[Team]\nAnn <a>=\n[" + name127 + "]\n" + entry255 + "=\n",
              book.text());
}

TEST_F(AddressStore, FailedWritesOrNoPathReportZeroAndPartialChangesAreTakenBack)
{
    book.put("[users]\nAnn <a>=\n");
    PalFaultSet(PAL_FAULT_FILEWRITE, 0, -1, ERROR_ACCESS_DENIED);
    EXPECT_EQ(0, ADDRBOOK_AddUser("Bob <b>"));
    EXPECT_EQ(0, ADDRBOOK_DeleteUser("Ann <a>"));
    EXPECT_EQ(0, ADDRBOOK_WriteGroup("Team", Block({"Ann <a>"})));
    /* The new key fails after the old one went: the old one is put back. */
    PalFaultSet(PAL_FAULT_FILEWRITE, 1, 1, ERROR_ACCESS_DENIED);
    EXPECT_EQ(0, ADDRBOOK_RenameUser("Ann <a>", "Anna <a>"));
    EXPECT_EQ("[users]\nAnn <a>=\n", book.text());

    /* A group whose second member cannot be written. */
    PalFaultSet(PAL_FAULT_FILEWRITE, 2, 1, ERROR_ACCESS_DENIED);
    EXPECT_EQ(0, ADDRBOOK_WriteGroup("Team", Block({"Ann <a>", "Bob <b>", "Cy <c>"})));
    EXPECT_EQ("[users]\nAnn <a>=\n[groups]\nTeam=\n[Team]\nAnn <a>=\n", book.text());

    /* The section cannot be deleted after the group's key. */
    PalFaultSet(PAL_FAULT_FILEWRITE, 1, 1, ERROR_ACCESS_DENIED);
    EXPECT_EQ(0, ADDRBOOK_DeleteGroup("Team"));
    PalFaultClear();
    EXPECT_EQ("[users]\nAnn <a>=\n[groups]\n[Team]\nAnn <a>=\n", book.text());

    book.use(book.dir + "/missing/book.zab");
    EXPECT_EQ(0, ADDRBOOK_AddUser("Bob <b>")) << "a folder that does not exist";

    /* An empty path switches the book off. */
    const std::string text = "[users]\nAnn <a>=\n[groups]\nTeam=\n[Team]\nAnn <a>=\n";
    book.put(text);
    book.use("");
    EXPECT_EQ(kNone, take(ADDRBOOK_ReadUsers()));
    EXPECT_EQ(kNone, take(ADDRBOOK_ReadGroupMembers("Team")));
    EXPECT_EQ(0, ADDRBOOK_AddUser("Bob <b>"));
    EXPECT_EQ(0, ADDRBOOK_WriteGroup("Crew", Block({"Ann <a>"})));
    /* A path store without its terminator is no path either. */
    memset(LIB_Settings.addressbook, 'p', sizeof LIB_Settings.addressbook);
    EXPECT_EQ(0, ADDRBOOK_AddUser("Bob <b>"));
    EXPECT_EQ(kNone, take(ADDRBOOK_ReadUsers()));
    EXPECT_EQ(text, book.text());
}

TEST_F(AddressStore, KeyListsAreReadWholeWhateverTheirSize)
{
    book.put("[users]\nAnn <a>=\n");
    PalFaultSet(PAL_FAULT_GLOBALALLOC, 0, 1, ERROR_NOT_ENOUGH_MEMORY);
    EXPECT_EQ(kNone, take(ADDRBOOK_ReadUsers()));
    PalFaultClear();
    EXPECT_EQ(Names{"Ann <a>"}, take(ADDRBOOK_ReadUsers()));

    /* Lists (names and their zeros) around the first read block's 32767
     * bytes and far beyond it, as users, groups and a group's members:
     * every name comes back whole. */
    auto read_whole = [&](size_t total, size_t len) {
        std::string keys;
        Names names;
        size_t bytes = 0;
        auto add = [&](size_t n) {
            char head[16];
            snprintf(head, sizeof head, "%05zu", names.size());
            names.push_back(head + std::string(n - 5, 'k'));
            keys += names.back() + "=\n";
            bytes += n + 1;
        };
        while (total - bytes > 2 * len + 2)
            add(len);
        size_t rest = total - bytes;
        add(rest / 2 - 1);
        add(rest - rest / 2 - 1);
        std::string text = "[users]\n";
        for (const char *next : {"[groups]\n", "[Team]\n", ""}) {
            text += keys;
            text += next;
        }
        book.put(text);
        for (HGLOBAL block :
             {ADDRBOOK_ReadUsers(), ADDRBOOK_ReadGroups(), ADDRBOOK_ReadGroupMembers("Team")}) {
            Names got = take(block);
            EXPECT_EQ(names.size(), got.size()) << total;
            EXPECT_TRUE(names == got) << total;
        }
        return names.size();
    };
    for (size_t total : {32764, 32765, 32766, 32767, 65534})
        read_whole(total, 200);
    EXPECT_EQ(2000u, read_whole(2000 * 151, 150));

    /* No memory for a larger block: no list rather than a cut one. */
    PalFaultSet(PAL_FAULT_GLOBALALLOC, 1, 1, ERROR_NOT_ENOUGH_MEMORY);
    EXPECT_EQ(kNone, take(ADDRBOOK_ReadUsers()));
}

} // namespace
