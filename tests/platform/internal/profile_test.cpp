// Profile files and DOS paths: exact buffer bytes, what the file holds
// afterwards, the hardened reader, the atomic writer and "X:\..." paths.
#include <windows.h>

#include "kernel/dospath.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include <sys/fsuid.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

namespace fs = std::filesystem;
using namespace std::string_literals;
/* A call's result and the buffer's bytes up to the first one left alone. */
using Got = std::pair<DWORD, std::string>;

std::string read_bytes(const std::string &path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

void write_bytes(const std::string &path, const std::string &data)
{
    std::ofstream(path, std::ios::binary | std::ios::trunc).write(data.data(), data.size());
}

struct stat stat_of(const std::string &path)
{
    struct stat st {};
    EXPECT_EQ(0, lstat(path.c_str(), &st)) << path;
    return st;
}

class ProfileTest : public ::testing::Test {
  protected:
    void SetUp() override
    {
        std::string tmpl = ::testing::TempDir() + "profile_test.XXXXXX";
        ASSERT_NE(mkdtemp(tmpl.data()), nullptr);
        dir_ = tmpl;
        chmod(dir_.c_str(), 0755); // reachable by the unprivileged user of FailedWrites
        ini_ = dir_ + "/test.ini";
    }
    void TearDown() override
    {
        std::error_code ec;
        chmod((dir_ + "/ro").c_str(), 0700);
        fs::remove_all(dir_, ec);
    }

    Got get(const char *section, const char *key, const char *def, DWORD size)
    {
        std::string buf(size + 4, '\x7f');
        DWORD r = GetPrivateProfileStringA(section, key, def, buf.data(), size, ini_.c_str());
        return {r, buf.substr(0, buf.find('\x7f') + 1)};
    }
    std::string value(const char *section, const char *key, const char *def = "<none>")
    {
        char buf[1024];
        GetPrivateProfileStringA(section, key, def, buf, sizeof buf, ini_.c_str());
        return buf;
    }
    BOOL put(const char *section, const char *key, const char *value)
    {
        return WritePrivateProfileStringA(section, key, value, ini_.c_str());
    }

    std::string dir_;
    std::string ini_;
};

TEST_F(ProfileTest, NamesMatchWithoutRegardToCaseTheFirstOneCountsAndDeletesGoToTheNextHeader)
{
    // Lists that fill or overflow the buffer: conformance/profile_test.cpp.
    write_bytes(ini_, "[users]\nalice=\nbob=\n[empty]\n; only a comment\n");
    EXPECT_EQ(get("users", nullptr, "", 2), (Got{0, "\0\0\x7f"s}));
    EXPECT_EQ(get("missing", nullptr, "dd ", 16), (Got{2, "dd\0\x7f"s})) << "the default";
    EXPECT_EQ(get("empty", nullptr, "", 16).first, 0u) << "a comment is no key";

    write_bytes(ini_, "[Users]\nAlice <a@h>=1\n[Gr\xDC\xDF\x65]\nk=2\n");
    EXPECT_EQ(value("  users\t", " ALICE <a@h> "), "1");
    EXPECT_EQ(value("gr\xFC\xDF\x45", "K"), "2"); // Windows-1252 letters fold too
    ASSERT_TRUE(put("users", "ALICE <A@H>", "3"));
    EXPECT_EQ(read_bytes(ini_), "[Users]\nAlice <a@h>=3\n[Gr\xDC\xDF\x65]\nk=2\n");

    // Where a name appears twice, the first one counts.
    write_bytes(ini_, "[s]\nk=1\nK=2\n[S]\nk=3\nj=4\n");
    EXPECT_EQ(value("s", "j"), "<none>"); // the second [S] is never looked at
    ASSERT_TRUE(put("s", "k", "5"));
    ASSERT_TRUE(put("s", "j", ""));
    EXPECT_EQ(read_bytes(ini_), "[s]\nk=5\nK=2\nj=\n[S]\nk=3\nj=4\n");
    ASSERT_TRUE(put("s", "k", nullptr));
    EXPECT_EQ(value("s", "k"), "2");

    write_bytes(ini_, "[users]\nalice=\nbob=\n; about team\n[Team]\nalice=\n\n[other]\nx=1\n");
    // A missing key or section: the file is not rewritten.
    ino_t before = stat_of(ini_).st_ino;
    EXPECT_TRUE(put("users", "carol", nullptr));
    EXPECT_TRUE(put("nosuch", nullptr, nullptr));
    EXPECT_EQ(stat_of(ini_).st_ino, before);

    // A section goes up to the next header (more: ui/lists_test.cpp).
    ASSERT_TRUE(put("users", "BOB", nullptr));
    ASSERT_TRUE(put("team", nullptr, nullptr));
    ASSERT_TRUE(put("other", nullptr, "ignored"));
    EXPECT_EQ(read_bytes(ini_), "[users]\nalice=\n; about team\n");

    const std::string none = dir_ + "/none.ini";
    EXPECT_TRUE(WritePrivateProfileStringA("s", nullptr, nullptr, none.c_str()));
    EXPECT_FALSE(fs::exists(none)) << "deleting in a missing file makes none";
}

TEST_F(ProfileTest, WritesCreateFileSectionAndKeysAndReadBack)
{
    SetLastError(0);
    EXPECT_EQ(value("users", "alice"), "<none>");
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_FILE_NOT_FOUND);

    ASSERT_TRUE(put("users", "Alice <alice@host>", ""));
    EXPECT_EQ(stat_of(ini_).st_mode & 07777, 0600u);
    ASSERT_TRUE(put("groups", "Team", ""));
    ASSERT_TRUE(put("users", "Alice <alice@host>", "x")); // in place
    ASSERT_TRUE(put("users", "bob", "  2  "));            // after the section's last entry
    EXPECT_EQ(read_bytes(ini_), "[users]\nAlice <alice@host>=x\nbob=2  \n[groups]\nTeam=\n");

    // A value that does not fit is cut (defaults and size 0: fuzz/fuzz_profile.cpp).
    ASSERT_TRUE(put("users", "long", "abcdef"));
    const struct {
        const char *key, *def;
        DWORD size;
        Got expect;
    } cases[] = {
        {"carol", nullptr, 16, {0, "\0\x7f"s}},
        {"long", "", 4, {3, "abc\0\x7f"s}},
        {"long", "", 7, {6, "abcdef\0\x7f"s}},
    };
    for (const auto &c : cases)
        EXPECT_EQ(get("users", c.key, c.def, c.size), c.expect) << c.key << " " << c.size;
    EXPECT_EQ(GetPrivateProfileStringA("users", "long", "", nullptr, 10, ini_.c_str()), 0u);

    // Writing what is already there does not rewrite; a change is a new file.
    ino_t before = stat_of(ini_).st_ino;
    ASSERT_TRUE(put("USERS", "LONG", "abcdef"));
    EXPECT_EQ(stat_of(ini_).st_ino, before);
    ASSERT_TRUE(put("users", "long", "abcdeg"));
    EXPECT_NE(stat_of(ini_).st_ino, before);
}

TEST_F(ProfileTest, ReaderToleratesCrlfCommentsAndLinesWithoutEquals)
{
    const std::string original = "; head comment\r\n[ sect ]\r\n  key one  =  value 1  \r\n"
                                 "noequals\r\n; c=1\r\n\r\nq=\"quoted \"\r\ns='x\r\n"
                                 "; leads into next\r\n\r\n[next]\r\nz=1"; // no line end
    write_bytes(ini_, original);
    EXPECT_EQ(value("sect", "key one"), "value 1");
    EXPECT_EQ(value("sect", "q"), "quoted "); // a pair of quotes is dropped
    EXPECT_EQ(value("sect", "s"), "'x");      // a lone one is not
    EXPECT_EQ(get("sect", nullptr, "", 64), (Got{12, "key one\0q\0s\0\0\x7f"s}));

    // A new key lands after the section's last entry with the file's line
    // end; every other byte stays. A last line without a line end gets one.
    ASSERT_TRUE(put("sect", "new", "v"));
    ASSERT_TRUE(put("next", "y", ""));
    ASSERT_TRUE(put("third", "k", ""));
    std::string expect = original;
    expect.insert(expect.find("; leads"), "new=v\r\n");
    EXPECT_EQ(read_bytes(ini_), expect + "\r\ny=\r\n[third]\r\nk=\r\n");
}

TEST_F(ProfileTest, FilesOverTheLimitAreReadAsEmptyAndOnlyRegularFilesNeverThroughALink)
{
    const std::string big = "[s]\nk=v\n" + std::string((1 << 20), ';');
    write_bytes(ini_, big);
    EXPECT_EQ(value("s", "k"), "<none>");
    EXPECT_FALSE(put("s", "k", "w"));
    EXPECT_EQ(read_bytes(ini_), big);

    // Exactly at the limit is still read; a write that would pass it fails.
    const std::string limit = "[s]\nk=v\n" + std::string((1 << 20) - 8, ';');
    write_bytes(ini_, limit);
    EXPECT_EQ(value("s", "k"), "v");
    EXPECT_FALSE(put("s", "k2", ""));
    EXPECT_EQ(read_bytes(ini_), limit);
    EXPECT_TRUE(put("s", "k", nullptr)); // shrinking is fine
    EXPECT_EQ(value("s", "k"), "<none>");

    // A FIFO or a folder at the path: no blocking open.
    ASSERT_EQ(0, remove(ini_.c_str()));
    for (bool fifo : {true, false}) {
        ASSERT_EQ(fifo ? mkfifo(ini_.c_str(), 0600) : mkdir(ini_.c_str(), 0700), 0);
        EXPECT_EQ(value("s", "k"), "<none>");
        EXPECT_FALSE(put("s", "k", "v"));
        EXPECT_EQ(0, remove(ini_.c_str()));
    }
    // A link at the file is refused (fuzz/fuzz_profile.cpp); one further up
    // the path is an ordinary folder of the host.
    write_bytes(dir_ + "/target.ini", "[s]\nk=secret\n");
    ASSERT_EQ(symlink(dir_.c_str(), (dir_ + "/linkdir").c_str()), 0);
    char buf[16];
    EXPECT_EQ(GetPrivateProfileStringA("s", "k", "", buf, sizeof buf,
                                       (dir_ + "/linkdir/target.ini").c_str()),
              6u);
}

TEST_F(ProfileTest, FailedWritesReturnFalseAndLeaveTheFileAsItWas)
{
    // A folder nobody may write to (root would bypass the permissions; a
    // missing folder: ui/lists_test.cpp).
    const std::string ro = dir_ + "/ro", ro_ini = ro + "/x.ini";
    ASSERT_EQ(mkdir(ro.c_str(), 0755), 0);
    write_bytes(ro_ini, "[s]\nk=v\n");
    chmod(ro_ini.c_str(), 0666);
    ASSERT_EQ(chmod(ro.c_str(), 0555), 0);
    const bool root = geteuid() == 0;
    if (root)
        setfsuid(65534);
    BOOL ok = WritePrivateProfileStringA("s", "k", "w", ro_ini.c_str());
    DWORD err = GetLastError();
    char buf[16] = "";
    GetPrivateProfileStringA("s", "k", "", buf, sizeof buf, ro_ini.c_str());
    if (root)
        setfsuid(0);
    EXPECT_FALSE(ok);
    EXPECT_EQ(err, (DWORD)ERROR_ACCESS_DENIED);
    EXPECT_STREQ(buf, "v") << "a readable file in a read-only folder is still read";
    EXPECT_EQ(read_bytes(ro_ini), "[s]\nk=v\n");
    EXPECT_EQ(std::distance(fs::directory_iterator(ro), {}), 1) << "no temporary file left";

    // Texts that cannot be written: fuzz/fuzz_profile.cpp; injected failures:
    // ui/lists_test.cpp.
    EXPECT_FALSE(WritePrivateProfileStringA("s", "k", "v", nullptr));
    write_bytes(ini_, "[s]\nk=v\n");
    chmod(ini_.c_str(), 0640);
    ASSERT_TRUE(put("s", "d", ""));
    EXPECT_EQ(stat_of(ini_).st_mode & 07777, 0640u) << "a rewritten file keeps its mode";
}

TEST_F(ProfileTest, DrivePathsMapUnderTheDataFolder)
{
    // Only this program reads the two variables, and each run sets them.
    ::setenv("XDG_DATA_HOME", (dir_ + "/data").c_str(), 1);
    const std::string drives = dir_ + "/data/callmgr/drives";
    std::string host;
    ASSERT_TRUE(pal::dos_path_map("d:/a\\\\.\\b/", &host));
    EXPECT_EQ(host, drives + "/d/a/b");
    EXPECT_FALSE(fs::exists(dir_ + "/data")) << "other drives are mapped, never made";

    // The first C: path makes the drive and its TEMP folder, private, so the
    // default address book works; folders are then found in any case.
    ASSERT_TRUE(WritePrivateProfileStringA("users", "Alice <a@h>", "", "C:\\TEMP\\vorlane.zab"));
    EXPECT_EQ(read_bytes(drives + "/c/TEMP/vorlane.zab"), "[users]\nAlice <a@h>=\n");
    EXPECT_EQ(stat_of(drives + "/c/TEMP").st_mode & 07777, 0700u);
    EXPECT_EQ(stat_of(drives + "/c").st_mode & 07777, 0700u);
    ASSERT_TRUE(pal::dos_path_map("c:\\temp\\VORLANE.ZAB", &host));
    EXPECT_EQ(host, drives + "/c/TEMP/vorlane.zab");

    // No way out of the drive folder (more paths: fuzz/fuzz_profile.cpp).
    EXPECT_FALSE(WritePrivateProfileStringA("s", "k", "v", "C:\\TEMP\\..\\x.ini"));
    EXPECT_TRUE(pal::dos_path_map("C:\\TEMP\\..x\\y", &host));
    EXPECT_EQ(host, drives + "/c/TEMP/..x/y");
    EXPECT_FALSE(pal::dos_path_is_dos("C:x.ini"));

    // Without XDG_DATA_HOME (or with a relative one) the home folder's.
    ::setenv("HOME", (dir_ + "/home").c_str(), 1);
    ::setenv("XDG_DATA_HOME", "relative/data", 1);
    ASSERT_TRUE(pal::dos_path_map("E:\\x", &host));
    EXPECT_EQ(host, dir_ + "/home/.local/share/callmgr/drives/e/x");
    ::unsetenv("XDG_DATA_HOME");
    ASSERT_TRUE(pal::dos_path_map("C:\\TEMP\\y", &host));
    EXPECT_TRUE(fs::is_directory(dir_ + "/home/.local/share/callmgr/drives/c/TEMP"));
}

} // namespace
