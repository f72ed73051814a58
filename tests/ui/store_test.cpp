// The address book store against the exact text of its file: what it
// writes and reads back, what it refuses untouched, failed writes, and key
// lists too long for its read block.
#include "ui/addrbook.h"
#include "ui/book.h"

#include <gtest/gtest.h>

namespace {

/* A member block that the test keeps and releases. */
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
    std::string file() const { return book.text(); }
    BookFile book;
};

const Names kNone{"<none>"};

TEST_F(AddressStore, UsersAreKeysOfTheUsersSection)
{
    EXPECT_EQ(kNone, take(ADDRBOOK_ReadUsers())) << "no file, no users";
    EXPECT_EQ(1, ADDRBOOK_AddUser("Ann Smith <ann@east>"));
    EXPECT_EQ(1, ADDRBOOK_AddUser(" \t bob <bob>")) << "leading blanks are skipped";
    EXPECT_EQ(1, ADDRBOOK_AddUser("ANN SMITH <ANN@EAST>")) << "the same key again";
    EXPECT_EQ("[users]\nAnn Smith <ann@east>=\nbob <bob>=\n", file());
    EXPECT_EQ((Names{"Ann Smith <ann@east>", "bob <bob>"}), take(ADDRBOOK_ReadSection("USERS")));

    EXPECT_EQ(1, ADDRBOOK_DeleteUser("  ann smith <ann@east>"));
    EXPECT_EQ("[users]\nbob <bob>=\n", file());
    EXPECT_EQ(1, ADDRBOOK_DeleteUser("nobody <x>")) << "nothing to delete is no failure";
    EXPECT_EQ(1, ADDRBOOK_DeleteUser("bob <bob>"));
    EXPECT_EQ(kNone, take(ADDRBOOK_ReadUsers())) << "an empty section is no block";
}

TEST_F(AddressStore, RenamingDeletesThenWrites)
{
    ADDRBOOK_AddUser("a <a>");
    ADDRBOOK_AddUser("b <b>");
    EXPECT_EQ(1, ADDRBOOK_RenameUser("a <a>", "a <a>")) << "to itself: kept";
    EXPECT_EQ("[users]\nb <b>=\na <a>=\n", file());
    EXPECT_EQ(1, ADDRBOOK_RenameUser("A <A>", "  Alice <a>"));
    EXPECT_EQ(1, ADDRBOOK_RenameUser("Alice <a>", "b <b>")) << "onto another user: one key left";
    EXPECT_EQ(1, ADDRBOOK_RenameUser("b <b>", "B <b>")) << "letter case changes are written";
    EXPECT_EQ("[users]\nB <b>=\n", file());

    ADDRBOOK_WriteGroup("Team", Block({"B <b>"}));
    EXPECT_EQ(1, ADDRBOOK_RenameKey("  Team  ", "B <b>", "Bea <b>"));
    const std::string before = file();
    EXPECT_EQ("[users]\nB <b>=\n[groups]\nTeam=\n[Team]\nBea <b>=\n", before);
    EXPECT_EQ(0, ADDRBOOK_RenameKey(" \t ", "B <b>", "x <x>"));
    EXPECT_EQ(0, ADDRBOOK_RenameKey("users", "  ", "x <x>"));
    EXPECT_EQ(0, ADDRBOOK_RenameUser("B <b>", nullptr));
    EXPECT_EQ(0, ADDRBOOK_RenameUser("B <b>", "x=y <x>"));
    EXPECT_EQ(before, file());
}

TEST_F(AddressStore, GroupsHaveAKeyAndASectionOfTheirOwn)
{
    ADDRBOOK_AddUser("Ann <a>");
    Block members({"Ann <a>", "Bob <b>"});
    EXPECT_EQ(1, ADDRBOOK_WriteGroup("  Team \t", members));
    EXPECT_NE((UINT)GMEM_INVALID_HANDLE, GlobalFlags(members)) << "the block stays the caller's";
    EXPECT_EQ("[users]\nAnn <a>=\n[groups]\nTeam=\n[Team]\nAnn <a>=\nBob <b>=\n", file());
    EXPECT_EQ(Names{"Team"}, take(ADDRBOOK_ReadGroups()));

    /* Writing again adds; keys already there stay. */
    EXPECT_EQ(1, ADDRBOOK_WriteGroup("Team", Block({"Cy <c>"})));
    EXPECT_EQ((Names{"Ann <a>", "Bob <b>", "Cy <c>"}), take(ADDRBOOK_ReadGroupMembers("Team")));
    EXPECT_EQ(1, ADDRBOOK_DeleteGroupLine(" Team ", "  bob <b>"));
    EXPECT_EQ("[users]\nAnn <a>=\n[groups]\nTeam=\n[Team]\nAnn <a>=\nCy <c>=\n", file());

    /* Deleting a group takes its key and its whole section, nothing else. */
    EXPECT_EQ(1, ADDRBOOK_WriteGroup("Crew", Block({"Ann <a>"})));
    EXPECT_EQ(1, ADDRBOOK_DeleteGroup("TEAM "));
    EXPECT_EQ("[users]\nAnn <a>=\n[groups]\nCrew=\n[Crew]\nAnn <a>=\n", file());
    EXPECT_EQ(kNone, take(ADDRBOOK_ReadGroupMembers("Team")));
}

TEST_F(AddressStore, TextsTheFileCannotHoldAreRefusedUntouched)
{
    ADDRBOOK_AddUser("Ann <a>");
    ADDRBOOK_WriteGroup("Team", Block({"Ann <a>"}));
    const std::string before = file();
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
    EXPECT_EQ(before, file());

    /* The longest texts that fit are stored whole. */
    EXPECT_EQ(1, ADDRBOOK_AddUser(entry255.c_str()));
    EXPECT_EQ(1, ADDRBOOK_WriteGroup((" " + name127 + " ").c_str(), Block({entry255})));
    EXPECT_EQ(before.substr(0, 17) + entry255 + "=\n[groups]\nTeam=\n" + name127 +
                  "=\n[Team]\nAnn <a>=\n[" + name127 + "]\n" + entry255 + "=\n",
              file());
}

TEST_F(AddressStore, AnEmptyPathSwitchesTheBookOff)
{
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
    EXPECT_EQ(text, file());
}

TEST_F(AddressStore, FailedWritesReportZeroAndPartialChangesAreTakenBack)
{
    book.put("[users]\nAnn <a>=\n");
    PalFaultSet(PAL_FAULT_FILEWRITE, 0, -1, ERROR_ACCESS_DENIED);
    EXPECT_EQ(0, ADDRBOOK_AddUser("Bob <b>"));
    EXPECT_EQ(0, ADDRBOOK_DeleteUser("Ann <a>"));
    EXPECT_EQ(0, ADDRBOOK_WriteGroup("Team", Block({"Ann <a>"})));
    /* The new key fails after the old one went: the old one is put back. */
    PalFaultSet(PAL_FAULT_FILEWRITE, 1, 1, ERROR_ACCESS_DENIED);
    EXPECT_EQ(0, ADDRBOOK_RenameUser("Ann <a>", "Anna <a>"));
    EXPECT_EQ("[users]\nAnn <a>=\n", file());

    /* A group whose second member cannot be written. */
    PalFaultSet(PAL_FAULT_FILEWRITE, 2, 1, ERROR_ACCESS_DENIED);
    EXPECT_EQ(0, ADDRBOOK_WriteGroup("Team", Block({"Ann <a>", "Bob <b>", "Cy <c>"})));
    EXPECT_EQ("[users]\nAnn <a>=\n[groups]\nTeam=\n[Team]\nAnn <a>=\n", file());

    /* The section cannot be deleted after the group's key. */
    PalFaultSet(PAL_FAULT_FILEWRITE, 1, 1, ERROR_ACCESS_DENIED);
    EXPECT_EQ(0, ADDRBOOK_DeleteGroup("Team"));
    PalFaultClear();
    EXPECT_EQ("[users]\nAnn <a>=\n[groups]\n[Team]\nAnn <a>=\n", file());

    book.use(book.dir + "/missing/book.zab");
    EXPECT_EQ(0, ADDRBOOK_AddUser("Bob <b>")) << "a folder that does not exist";
}

TEST_F(AddressStore, TheReadBlockAndKeyListsThatDoNotFit)
{
    book.put("[users]\nAnn <a>=\n");
    PalFaultSet(PAL_FAULT_GLOBALALLOC, 0, 1, ERROR_NOT_ENOUGH_MEMORY);
    EXPECT_EQ(kNone, take(ADDRBOOK_ReadUsers()));
    PalFaultClear();
    HGLOBAL block = ADDRBOOK_ReadUsers();
    ASSERT_NE(nullptr, block);
    EXPECT_EQ((SIZE_T)32767, GlobalSize(block));
    EXPECT_EQ(Names{"Ann <a>"}, take(block));

    /* Key lists of 32764 bytes (names and their zeros) fit with the closing
     * zero; from 32765 bytes on the reader may have cut the list, and no
     * list is better than a cut one that could be written back. */
    auto users_of_size = [&](size_t total) {
        std::string text = "[users]\n";
        size_t bytes = 0, n = 0;
        auto add = [&](size_t len) {
            char head[16];
            snprintf(head, sizeof head, "%05zu", n++);
            text += head + std::string(len - 5, 'k') + "=\n";
            bytes += len + 1;
        };
        while (total - bytes > 402)
            add(200);
        size_t rest = total - bytes;
        add(rest / 2 - 1);
        add(rest - rest / 2 - 1);
        EXPECT_EQ(total, bytes);
        book.put(text);
        return n;
    };
    size_t count = users_of_size(32764);
    EXPECT_EQ(count, take(ADDRBOOK_ReadUsers()).size());
    users_of_size(32765);
    EXPECT_EQ(kNone, take(ADDRBOOK_ReadUsers()));
    users_of_size(40000);
    EXPECT_EQ(kNone, take(ADDRBOOK_ReadUsers()));
}

} // namespace
