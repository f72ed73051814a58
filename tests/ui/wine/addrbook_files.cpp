/*
 * addrbook_files write FILE | read FILE - the address book file through the
 * library's own store and the profile functions of the system it runs on.
 *
 * write: makes FILE anew with a fixed book (users with blanks, punctuation
 * and 150-character entries, a user section of more than 32 KB, groups with
 * members), then prints it as read back.  read: prints the book in FILE.
 * The print is canonical: users sorted, then each group (sorted) with its
 * members sorted, so that what one system wrote and another read compares
 * line by line with what the writer read itself.
 *
 * The same source builds on Linux over the platform layer and on Windows.
 */
#include "api/settings.h"
#include "ui/addrbook.h"

#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace {

using Names = std::vector<std::string>;

/* Users enough for a section beyond the 32 KB of one key list read. */
constexpr int kFiller = 360;

Names BOOK_Users()
{
    Names users = {
        "alice@hosta",
        "Bob Smith <bob@hostb.callmgr.test>",
        "O'Neil, Jr. (ops) <o.neil+desk@hostc>",
        "carol % \"the boss\" & co. ! # $ * ? ~ | ^ ` {} / \\ : , <carol@hostd>",
        "Dave  with  double  blanks <dave@hoste>",
    };
    std::string wide = "Zed ";
    while (wide.size() < 140)
        wide += "Wordsworth-";
    wide.resize(140);
    users.push_back(wide + " <z@hostz>");                        /* 150 characters */
    users.push_back("Long " + std::string(139, 'x') + " <y@h>"); /* 150 characters */
    for (int i = 0; i < kFiller; ++i) {
        char entry[160];
        std::snprintf(entry, sizeof entry,
                      "Filler User %03d of the large section, with a long real name "
                      "to fill it <filler%03d@host%03d.callmgr.test>",
                      i, i, i % 7);
        users.push_back(entry);
    }
    return users;
}

struct Group {
    const char *name;
    Names members;
};

std::vector<Group> BOOK_Groups(const Names &users)
{
    return {
        {"Team A", {users[0], users[1], users[2]}},
        {"Ops & Support (24/7)", {users[3], users[5], users[6]}},
        {"everyone", {users[0], users[4], users[10], users[100], users[306]}},
    };
}

/* The names of a member block, sorted; the block is released. */
Names BOOK_Take(HGLOBAL block)
{
    Names names;
    if (!block)
        return names;
    const char *p = (const char *)GlobalLock(block);
    SIZE_T size = GlobalSize(block);
    SIZE_T at = 0;
    while (p && at < size && p[at]) {
        size_t len = strnlen(p + at, size - at);
        names.emplace_back(p + at, len);
        at += len + 1;
    }
    GlobalUnlock(block);
    GlobalFree(block);
    std::sort(names.begin(), names.end());
    return names;
}

/* A member block of the names (zero-terminated, ended by an empty one). */
HGLOBAL BOOK_Block(const Names &names)
{
    std::string all;
    for (const std::string &n : names)
        all += n + '\0';
    HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE, all.size() + 1);
    char *p = block ? (char *)GlobalLock(block) : nullptr;
    if (!p)
        return nullptr;
    std::memcpy(p, all.c_str(), all.size() + 1);
    GlobalUnlock(block);
    return block;
}

bool BOOK_Write()
{
    Names users = BOOK_Users();
    for (const std::string &u : users)
        if (!ADDRBOOK_AddUser(u.c_str())) {
            std::fprintf(stderr, "addrbook_files: user '%s' not written\n", u.c_str());
            return false;
        }
    for (const Group &g : BOOK_Groups(users)) {
        HGLOBAL members = BOOK_Block(g.members);
        int written = members && ADDRBOOK_WriteGroup(g.name, members);
        if (members)
            GlobalFree(members);
        if (!written) {
            std::fprintf(stderr, "addrbook_files: group '%s' not written\n", g.name);
            return false;
        }
    }
    return true;
}

void BOOK_Print()
{
    Names users = BOOK_Take(ADDRBOOK_ReadUsers());
    std::printf("users %zu\n", users.size());
    for (const std::string &u : users)
        std::printf("user %s\n", u.c_str());
    for (const std::string &g : BOOK_Take(ADDRBOOK_ReadGroups())) {
        std::printf("group %s\n", g.c_str());
        for (const std::string &m : BOOK_Take(ADDRBOOK_ReadGroupMembers(g.c_str())))
            std::printf("  member %s\n", m.c_str());
    }
}

} // namespace

int main(int argc, char **argv)
{
    bool write = argc == 3 && std::strcmp(argv[1], "write") == 0;
    if (!(write || (argc == 3 && std::strcmp(argv[1], "read") == 0)) ||
        std::strlen(argv[2]) >= sizeof LIB_Settings.addressbook) {
        std::fprintf(stderr, "usage: addrbook_files write|read FILE\n");
        return 2;
    }
    std::snprintf(LIB_Settings.addressbook, sizeof LIB_Settings.addressbook, "%s", argv[2]);
    if (write) {
        std::remove(argv[2]);
        if (!BOOK_Write())
            return 1;
    }
    BOOK_Print();
    return 0;
}
