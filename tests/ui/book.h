#ifndef CALLMGR_TESTS_UI_BOOK_H
#define CALLMGR_TESTS_UI_BOOK_H

#include "api/api.h"
#include "api/settings.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

using Names = std::vector<std::string>;

/* A member block: the names, each with its zero, then a closing zero. */
inline HGLOBAL block_of(const Names &names)
{
    std::string bytes;
    for (const std::string &n : names)
        bytes += n + '\0';
    HGLOBAL block = GlobalAlloc(GHND, bytes.size() + 1);
    memcpy(GlobalLock(block), bytes.data(), bytes.size());
    GlobalUnlock(block);
    return block;
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
        return in ? std::string(std::istreambuf_iterator<char>(in), {}) : "<no file>";
    }

    CMSETTINGS saved;
    std::string dir, path;
};

#endif
