/* Helpers of the address book tests: a book file of the test's own, member
 * blocks (names, each with its zero, then a closing zero), and the fixture
 * of the dialogs that edit the book. */
#ifndef CALLMGR_TESTS_UI_BOOK_H
#define CALLMGR_TESTS_UI_BOOK_H

#include "api/api.h"
#include "api/settings.h"
#include "ui/lists.h"
#include "ui/dialogs.h"

#include <windows.h>
#include <paltest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

using Names = std::vector<std::string>;

inline HGLOBAL block_of(const Names &names)
{
    size_t size = 1;
    for (const std::string &n : names)
        size += n.size() + 1;
    HGLOBAL block = GlobalAlloc(GHND, size);
    char *p = (char *)GlobalLock(block);
    for (const std::string &n : names)
        p += snprintf(p, n.size() + 1, "%s", n.c_str()) + 1;
    GlobalUnlock(block);
    return block;
}

/* The exact bytes of a block. */
inline std::string bytes_of(HGLOBAL block)
{
    if (!block)
        return "<none>";
    const char *p = (const char *)GlobalLock(block);
    std::string out(p, GlobalSize(block));
    GlobalUnlock(block);
    return out;
}

/* Replaces the text of field `id`, as a person does. */
inline bool retype(HWND dlg, int id, const std::string &text)
{
    return PalClearText(GetDlgItem(dlg, id)) && PalTypeText(GetDlgItem(dlg, id), text.c_str());
}

/* book.zab in a fresh folder, named in the settings while this lives. */
struct BookFile {
    BookFile()
    {
        saved = LIB_Settings;
        char dir_template[] = "/tmp/callmgr-book-XXXXXX";
        EXPECT_NE(nullptr, mkdtemp(dir_template));
        dir = dir_template;
        path = dir + "/book.zab";
        use(path);
    }
    ~BookFile()
    {
        LIB_Settings = saved;
        std::error_code ignored;
        std::filesystem::remove_all(dir, ignored);
    }
    void use(const std::string &p)
    {
        snprintf(LIB_Settings.addressbook, sizeof LIB_Settings.addressbook, "%s", p.c_str());
    }
    void put(const std::string &text) const { std::ofstream(path, std::ios::binary) << text; }
    std::string text() const
    {
        std::ifstream in(path, std::ios::binary);
        if (!in)
            return "<no file>";
        std::stringstream s;
        s << in.rdbuf();
        return s.str();
    }

    CMSETTINGS saved;
    std::string dir, path;
};

/* The book's dialogs run over the Invite dialog's template, whose list 109
 * is the invitation list the Address Book copies into. */
class BookDialogs : public ::testing::Test {
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

    BookFile book;
    HINSTANCE saved_instance = nullptr;
    HWND owner = nullptr;
};

#endif
