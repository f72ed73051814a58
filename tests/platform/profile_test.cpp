// Profile files and DOS paths: GetPrivateProfileStringA and
// WritePrivateProfileStringA pinned to Windows behaviour (exact buffer bytes,
// return values, what the file holds afterwards), the hardened reader, the
// atomic writer and its failures, and the mapping of "X:\..." paths.
//
// Files are set up and inspected with POSIX calls; the functions under test
// are used only through <windows.h>.
#include <windows.h>
#include <paltest.h>

#include "kernel/dospath.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include <sys/fsuid.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

namespace fs = std::filesystem;
using namespace std::string_literals;

std::string read_bytes(const std::string &path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

void write_bytes(const std::string &path, const std::string &data)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(data.data(), (std::streamsize)data.size());
}

std::vector<std::string> dir_entries(const std::string &dir)
{
    std::vector<std::string> names;
    for (const auto &e : fs::directory_iterator(dir))
        names.push_back(e.path().filename().string());
    return names;
}

// Sets or unsets an environment variable for the life of the object.
class EnvGuard {
  public:
    explicit EnvGuard(const char *name) : name_(name)
    {
        const char *v = std::getenv(name);
        had_ = v != nullptr;
        if (had_)
            old_ = v;
    }
    ~EnvGuard()
    {
        if (had_)
            setenv(name_, old_.c_str(), 1);
        else
            unsetenv(name_);
    }
    EnvGuard(const EnvGuard &) = delete;
    EnvGuard &operator=(const EnvGuard &) = delete;

  private:
    const char *name_;
    bool had_ = false;
    std::string old_;
};

class ProfileTest : public ::testing::Test {
  protected:
    void SetUp() override
    {
        PalFaultClear();
        std::string tmpl = ::testing::TempDir() + "profile_test.XXXXXX";
        std::vector<char> buf(tmpl.begin(), tmpl.end());
        buf.push_back('\0');
        ASSERT_NE(mkdtemp(buf.data()), nullptr);
        dir_ = buf.data();
        // Reachable by an unprivileged file-system user (see ReadOnlyFolder).
        chmod(dir_.c_str(), 0755);
        ini_ = dir_ + "/test.ini";
    }
    void TearDown() override
    {
        PalFaultClear();
        std::error_code ec;
        for (const auto &e : fs::recursive_directory_iterator(dir_, ec))
            if (e.is_directory(ec) && !e.is_symlink(ec))
                chmod(e.path().c_str(), 0700);
        fs::remove_all(dir_, ec);
    }

    // GetPrivateProfileStringA into a buffer pre-filled with 0x7F, so that
    // every byte the call writes or leaves can be checked.
    DWORD get(const char *section, const char *key, const char *def, DWORD size,
              std::string *bytes, const char *file = nullptr)
    {
        std::vector<char> buf(size + 4, '\x7f');
        DWORD r = GetPrivateProfileStringA(section, key, def, buf.data(), size,
                                           file ? file : ini_.c_str());
        bytes->assign(buf.data(), size + 4);
        return r;
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

TEST_F(ProfileTest, WritesCreateFileSectionAndKeysAndReadBack)
{
    SetLastError(0);
    EXPECT_EQ(value("users", "alice"), "<none>");
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_FILE_NOT_FOUND);

    // The address book's own shape: one user, one group holding the user.
    ASSERT_TRUE(put("users", "Alice <alice@host>", ""));
    struct stat st;
    ASSERT_EQ(stat(ini_.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0600u);
    ASSERT_TRUE(put("groups", "Team", ""));
    ASSERT_TRUE(put("Team", "Alice <alice@host>", ""));
    EXPECT_EQ(read_bytes(ini_),
              "[users]\nAlice <alice@host>=\n[groups]\nTeam=\n[Team]\nAlice <alice@host>=\n");

    // A key with a value, replaced in place; a second key goes after the
    // section's last entry, not at the end of the file.
    ASSERT_TRUE(put("users", "Alice <alice@host>", "x"));
    ASSERT_TRUE(put("users", "bob", "  2  "));
    EXPECT_EQ(read_bytes(ini_), "[users]\nAlice <alice@host>=x\nbob=2  \n[groups]\nTeam=\n"
                                "[Team]\nAlice <alice@host>=\n");
    EXPECT_EQ(value("users", "Alice <alice@host>"), "x");
    EXPECT_EQ(value("users", "bob"), "2");
    EXPECT_EQ(value("groups", "Team"), "");

    // A missing key gives the default without its trailing blanks; a null
    // default is the empty string.
    std::string bytes;
    EXPECT_EQ(get("users", "carol", "dflt \t ", 16, &bytes), 4u);
    EXPECT_EQ(bytes.substr(0, 6), std::string("dflt\0\x7f", 6));
    EXPECT_EQ(get("nosection", "carol", nullptr, 16, &bytes), 0u);
    EXPECT_EQ(bytes[0], '\0');
    EXPECT_EQ(get("users", "", "d", 16, &bytes), 1u);

    // A value that does not fit is cut; the result is size - 1.
    EXPECT_EQ(get("users", "Alice <alice@host>", "", 1, &bytes), 0u);
    EXPECT_EQ(bytes.substr(0, 2), std::string("\0\x7f", 2));
    ASSERT_TRUE(put("users", "long", "abcdef"));
    EXPECT_EQ(get("users", "long", "", 4, &bytes), 3u);
    EXPECT_EQ(bytes.substr(0, 5), std::string("abc\0\x7f", 5));
    EXPECT_EQ(get("users", "long", "", 7, &bytes), 6u);
    EXPECT_EQ(bytes.substr(0, 8), std::string("abcdef\0\x7f", 8));
    // No buffer, no bytes.
    EXPECT_EQ(GetPrivateProfileStringA("users", "long", "", nullptr, 10, ini_.c_str()), 0u);
    EXPECT_EQ(get("users", "long", "", 0, &bytes), 0u);
    EXPECT_EQ(bytes[0], '\x7f');

    // Writing what is already there does not rewrite the file.
    ASSERT_EQ(stat(ini_.c_str(), &st), 0);
    ino_t before = st.st_ino;
    ASSERT_TRUE(put("USERS", "LONG", "abcdef"));
    ASSERT_EQ(stat(ini_.c_str(), &st), 0);
    EXPECT_EQ(st.st_ino, before);
    ASSERT_TRUE(put("users", "long", "abcdeg"));
    ASSERT_EQ(stat(ini_.c_str(), &st), 0);
    EXPECT_NE(st.st_ino, before) << "a changed file is a renamed new file";
}

TEST_F(ProfileTest, NameListsHaveExactBytesAndAreCutAsWindowsCuts)
{
    write_bytes(ini_, "[users]\nalice=\nbob=\n[groups]\n[empty]\n; only a comment\n");
    std::string bytes;

    // Keys of a section: each zero-terminated, then a second zero.
    EXPECT_EQ(get("users", nullptr, "", 11, &bytes), 10u);
    EXPECT_EQ(bytes.substr(0, 12), std::string("alice\0bob\0\0\x7f", 12));
    // One byte short: the last name is cut and two zeros close the list.
    EXPECT_EQ(get("users", nullptr, "", 10, &bytes), 8u);
    EXPECT_EQ(bytes.substr(0, 11), std::string("alice\0bo\0\0\x7f", 11));
    EXPECT_EQ(get("users", nullptr, "", 9, &bytes), 7u);
    EXPECT_EQ(bytes.substr(0, 10), std::string("alice\0b\0\0\x7f", 10));
    // The cut falling just after a name's zero.
    EXPECT_EQ(get("users", nullptr, "", 8, &bytes), 6u);
    EXPECT_EQ(bytes.substr(0, 9), std::string("alice\0\0\0\x7f", 9));
    EXPECT_EQ(get("users", nullptr, "", 2, &bytes), 0u);
    EXPECT_EQ(bytes.substr(0, 3), std::string("\0\0\x7f", 3));
    EXPECT_EQ(get("users", nullptr, "", 1, &bytes), 0u);
    EXPECT_EQ(bytes.substr(0, 2), std::string("\0\x7f", 2));

    // An empty or missing section lists nothing: the default comes back.
    EXPECT_EQ(get("groups", nullptr, "", 16, &bytes), 0u);
    EXPECT_EQ(bytes.substr(0, 2), std::string("\0\0", 2));
    EXPECT_EQ(get("empty", nullptr, "", 16, &bytes), 0u);
    EXPECT_EQ(get("missing", nullptr, "", 16, &bytes), 0u);
    EXPECT_EQ(bytes.substr(0, 2), std::string("\0\0", 2));
    EXPECT_EQ(get("missing", nullptr, "dd ", 16, &bytes), 2u);
    EXPECT_EQ(bytes.substr(0, 3), std::string("dd\0", 3));

    // Section names, likewise; a null section lists sections whatever the key.
    EXPECT_EQ(get(nullptr, nullptr, "", 64, &bytes), 19u);
    EXPECT_EQ(bytes.substr(0, 21), "users\0groups\0empty\0\0\x7f"s);
    EXPECT_EQ(get(nullptr, "alice", "", 9, &bytes), 7u);
    EXPECT_EQ(bytes.substr(0, 10), std::string("users\0g\0\0\x7f", 10));
}

TEST_F(ProfileTest, SectionsAndKeysMatchWithoutRegardToCase)
{
    write_bytes(ini_, "[Users]\nAlice <a@h>=1\n[Gr\xDC\xDF" "e]\nk=2\n");
    EXPECT_EQ(value("USERS", "alice <A@H>"), "1");
    EXPECT_EQ(value("  users\t", " ALICE <a@h> "), "1");
    EXPECT_EQ(value("gr\xFC\xDF" "E", "K"), "2"); // Windows-1252 letters fold too
    EXPECT_EQ(value("gr\xFC" "sse", "k"), "<none>");

    // Writing keeps the file's spelling of section and key.
    ASSERT_TRUE(put("users", "ALICE <A@H>", "3"));
    EXPECT_EQ(read_bytes(ini_), "[Users]\nAlice <a@h>=3\n[Gr\xDC\xDF" "e]\nk=2\n");
    // Renaming to another case is delete then write.
    ASSERT_TRUE(put("users", "alice <a@h>", nullptr));
    ASSERT_TRUE(put("users", "alice <a@h>", ""));
    EXPECT_EQ(read_bytes(ini_), "[Users]\nalice <a@h>=\n[Gr\xDC\xDF" "e]\nk=2\n");
    std::string bytes;
    EXPECT_EQ(get("USERS", nullptr, "", 64, &bytes), 12u);
    EXPECT_EQ(bytes.substr(0, 13), std::string("alice <a@h>\0\0", 13));
}

TEST_F(ProfileTest, ReaderToleratesCrlfCommentsAndLinesWithoutEquals)
{
    const std::string original = "; head comment\r\n"
                                 "[ sect ]\r\n"
                                 "  key one  =  value 1  \r\n"
                                 "noequals\r\n"
                                 "; c=1\r\n"
                                 "\r\n"
                                 "q=\"quoted \"\r\n"
                                 "s='x\r\n"
                                 "; leads into next\r\n"
                                 "\r\n"
                                 "[next]\r\n"
                                 "z=1"; // no line end at the end
    write_bytes(ini_, original);
    EXPECT_EQ(value("sect", "key one"), "value 1");
    EXPECT_EQ(value("sect", "noequals"), "<none>");
    EXPECT_EQ(value("sect", "; c"), "<none>");
    EXPECT_EQ(value("sect", "q"), "quoted "); // a pair of quotes is dropped
    EXPECT_EQ(value("sect", "s"), "'x");      // a lone one is not
    EXPECT_EQ(value("next", "z"), "1");
    std::string bytes;
    EXPECT_EQ(get("sect", nullptr, "", 64, &bytes), 12u);
    EXPECT_EQ(bytes.substr(0, 13), std::string("key one\0q\0s\0\0", 13));

    // A new key lands after the section's last entry with the file's line
    // end; every other byte stays.
    ASSERT_TRUE(put("sect", "new", "v"));
    std::string expect = original;
    expect.insert(expect.find("; leads"), "new=v\r\n");
    EXPECT_EQ(read_bytes(ini_), expect);
    // Appending after a last line without a line end gives it one.
    ASSERT_TRUE(put("next", "y", ""));
    EXPECT_EQ(read_bytes(ini_), expect + "\r\ny=\r\n");
    ASSERT_TRUE(put("third", "k", ""));
    EXPECT_EQ(read_bytes(ini_), expect + "\r\ny=\r\n[third]\r\nk=\r\n");
}

TEST_F(ProfileTest, LongKeysAndSectionsOverThirtyTwoKilobytes)
{
    const std::string key300(300, 'k');
    ASSERT_TRUE(put("users", key300.c_str(), ""));
    ASSERT_TRUE(put("users", (key300 + "2").c_str(), "v"));
    EXPECT_EQ(value("users", (key300 + "2").c_str()), "v");
    std::string bytes;
    EXPECT_EQ(get("users", nullptr, "", 1024, &bytes), 603u);
    EXPECT_EQ(bytes.substr(0, 604), key300 + '\0' + key300 + "2" + '\0' + '\0');

    // 2000 names of 25 bytes with their zeros: 50000 bytes of list, read the
    // way the address book reads a section.
    std::string file = "[big]\n";
    std::string all;
    for (int i = 0; i < 2000; ++i) {
        char name[32];
        snprintf(name, sizeof name, "Member %05d <host%05d>", i, i);
        ASSERT_EQ(strlen(name), 24u);
        file += std::string(name) + "=\n";
        all += std::string(name) + '\0';
    }
    write_bytes(ini_, file);
    const DWORD size = 32767;
    EXPECT_EQ(get("big", nullptr, "", size, &bytes), size - 2);
    EXPECT_EQ(bytes.substr(0, size - 2), all.substr(0, size - 2));
    EXPECT_EQ(bytes.substr(size - 2, 3), std::string("\0\0\x7f", 3));
    // The whole list fits a buffer one byte longer than it.
    EXPECT_EQ(get("big", nullptr, "", (DWORD)all.size() + 1, &bytes), (DWORD)all.size());
    EXPECT_EQ(bytes.substr(0, all.size() + 1), all + '\0');
}

TEST_F(ProfileTest, HostileContentNeitherCrashesNorHangs)
{
    // A NUL ends what its line says; a "[" line without "]" still starts a
    // section.
    const std::string original = "[open\nk=v\n[b]\nx\0y=1\nz=2\0junk\n\0\0\0\nw=3\n"s;
    write_bytes(ini_, original);
    EXPECT_EQ(value("open", "k"), "v");
    EXPECT_EQ(value("b", "x"), "<none>");
    EXPECT_EQ(value("b", "z"), "2");
    EXPECT_EQ(value("b", "w"), "3");
    std::string bytes;
    EXPECT_EQ(get("b", nullptr, "", 64, &bytes), 4u);
    EXPECT_EQ(bytes.substr(0, 5), std::string("z\0w\0\0", 5));
    EXPECT_EQ(get(nullptr, nullptr, "", 64, &bytes), 7u);
    EXPECT_EQ(bytes.substr(0, 8), std::string("open\0b\0\0", 8));
    // Rewriting keeps the odd lines byte for byte.
    ASSERT_TRUE(put("b", "z", "4"));
    std::string expect = original;
    expect.replace(expect.find("z=2\0junk"s), 8, "z=4");
    EXPECT_EQ(read_bytes(ini_), expect);

    // One line of a megabyte less a little, without a line end.
    write_bytes(ini_, "[s]\nk=" + std::string((1 << 20) - 100, 'v'));
    EXPECT_EQ(get("s", "k", "", 8, &bytes), 7u);
    EXPECT_EQ(value("s", nullptr, "d"), "k");

    // Many sections: the section list is built without quadratic work.
    std::string many;
    for (int i = 0; i < 60000; ++i)
        many += "[s" + std::to_string(i) + "]\n";
    write_bytes(ini_, many);
    std::vector<char> buf(32767);
    EXPECT_EQ(GetPrivateProfileStringA(nullptr, nullptr, "", buf.data(), 32767, ini_.c_str()),
              32765u);
    EXPECT_EQ(std::string(buf.data()), "s0");
}

TEST_F(ProfileTest, FilesOverTheLimitAreReadAsEmptyAndNeverRewritten)
{
    const std::string big = "[s]\nk=v\n" + std::string((1 << 20), ';');
    write_bytes(ini_, big);
    SetLastError(0);
    EXPECT_EQ(value("s", "k"), "<none>");
    EXPECT_NE(GetLastError(), 0u);
    EXPECT_FALSE(put("s", "k", "w"));
    EXPECT_EQ(read_bytes(ini_), big);

    // Exactly at the limit is still read; a write that would pass it fails.
    const std::string limit = "[s]\nk=v\n" + std::string((1 << 20) - 8, ';');
    ASSERT_EQ(limit.size(), (size_t)(1 << 20));
    write_bytes(ini_, limit);
    EXPECT_EQ(value("s", "k"), "v");
    EXPECT_FALSE(put("s", "k2", ""));
    EXPECT_EQ(read_bytes(ini_), limit);
    EXPECT_TRUE(put("s", "k", nullptr)); // shrinking is fine
    EXPECT_EQ(value("s", "k"), "<none>");
}

TEST_F(ProfileTest, OnlyRegularFilesAreOpenedAndNeverThroughALink)
{
    // A FIFO at the path: no blocking open, refused for both.
    ASSERT_EQ(mkfifo(ini_.c_str(), 0600), 0);
    std::string bytes;
    EXPECT_EQ(get("s", "k", "dflt", 16, &bytes), 4u);
    EXPECT_EQ(get("s", nullptr, "", 16, &bytes), 0u);
    EXPECT_FALSE(put("s", "k", "v"));
    struct stat st;
    ASSERT_EQ(lstat(ini_.c_str(), &st), 0);
    EXPECT_TRUE(S_ISFIFO(st.st_mode));
    unlink(ini_.c_str());

    // A folder at the path.
    ASSERT_EQ(mkdir(ini_.c_str(), 0700), 0);
    EXPECT_EQ(value("s", "k"), "<none>");
    EXPECT_FALSE(put("s", "k", "v"));
    rmdir(ini_.c_str());

    // A symbolic link at the path to a real profile file.
    const std::string target = dir_ + "/target.ini";
    write_bytes(target, "[s]\nk=secret\n");
    ASSERT_EQ(symlink(target.c_str(), ini_.c_str()), 0);
    SetLastError(0);
    EXPECT_EQ(value("s", "k"), "<none>");
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_ACCESS_DENIED);
    EXPECT_FALSE(put("s", "k", "v"));
    EXPECT_FALSE(put("s", nullptr, nullptr));
    ASSERT_EQ(lstat(ini_.c_str(), &st), 0);
    EXPECT_TRUE(S_ISLNK(st.st_mode));
    EXPECT_EQ(read_bytes(target), "[s]\nk=secret\n");
    // A link further up the path is an ordinary folder of the host.
    const std::string linkdir = dir_ + "/linkdir";
    ASSERT_EQ(symlink(dir_.c_str(), linkdir.c_str()), 0);
    char buf[16];
    EXPECT_EQ(GetPrivateProfileStringA("s", "k", "", buf, sizeof buf, (linkdir + "/target.ini").c_str()),
              6u);
    EXPECT_STREQ(buf, "secret");
}

TEST_F(ProfileTest, FailedWritesReturnFalseAndLeaveTheFileAsItWas)
{
    // A missing folder.
    EXPECT_FALSE(WritePrivateProfileStringA("s", "k", "v", (dir_ + "/nodir/x.ini").c_str()));
    EXPECT_FALSE(fs::exists(dir_ + "/nodir"));
    // A folder of a read-only file system.
    EXPECT_FALSE(WritePrivateProfileStringA("s", "k", "v", "/proc/callmgr-profile-test.ini"));

    // A folder the user may not write: with the file-system user set to
    // nobody, as root bypasses permissions.
    const std::string ro = dir_ + "/ro";
    ASSERT_EQ(mkdir(ro.c_str(), 0755), 0);
    write_bytes(ro + "/x.ini", "[s]\nk=v\n");
    chmod((ro + "/x.ini").c_str(), 0666);
    ASSERT_EQ(chmod(ro.c_str(), 0555), 0);
    const bool root = geteuid() == 0;
    if (root)
        setfsuid(65534);
    BOOL ok = WritePrivateProfileStringA("s", "k", "w", (ro + "/x.ini").c_str());
    DWORD err = GetLastError();
    char buf[16] = "";
    GetPrivateProfileStringA("s", "k", "", buf, sizeof buf, (ro + "/x.ini").c_str());
    if (root)
        setfsuid(0);
    EXPECT_FALSE(ok);
    EXPECT_EQ(err, (DWORD)ERROR_ACCESS_DENIED);
    EXPECT_STREQ(buf, "v") << "a readable file in a read-only folder is still read";
    EXPECT_EQ(read_bytes(ro + "/x.ini"), "[s]\nk=v\n");
    EXPECT_EQ(dir_entries(ro), std::vector<std::string>{"x.ini"}) << "no temporary file left";

    // The fault point: the armed call fails with the armed error, the file
    // untouched; calls before and after it pass.
    write_bytes(ini_, "[s]\nk=v\n");
    PalFaultSet(PAL_FAULT_FILEWRITE, 1, 1, ERROR_ACCESS_DENIED);
    EXPECT_TRUE(put("s", "a", ""));
    SetLastError(0);
    EXPECT_FALSE(put("s", "b", ""));
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_ACCESS_DENIED);
    EXPECT_EQ(read_bytes(ini_), "[s]\nk=v\na=\n");
    EXPECT_TRUE(put("s", "c", ""));
    EXPECT_EQ(read_bytes(ini_), "[s]\nk=v\na=\nc=\n");
    PalFaultSet(PAL_FAULT_FILEWRITE, 0, -1, 0);
    EXPECT_FALSE(put("s", nullptr, nullptr));
    EXPECT_FALSE(put("s", "k", nullptr));
    EXPECT_EQ(read_bytes(ini_), "[s]\nk=v\na=\nc=\n");
    PalFaultClear();
    std::vector<std::string> entries = dir_entries(dir_);
    std::sort(entries.begin(), entries.end());
    EXPECT_EQ(entries, (std::vector<std::string>{"ro", "test.ini"})) << "no temporary file left";

    // Arguments that cannot be written.
    EXPECT_FALSE(put(nullptr, "k", "v"));
    EXPECT_FALSE(put("s", "", "v"));
    EXPECT_FALSE(put("s", "  ", "v"));
    EXPECT_FALSE(put("s", "k", "line\ninjected"));
    EXPECT_FALSE(put("s\r\n[x]", "k", "v"));
    EXPECT_FALSE(WritePrivateProfileStringA("s", "k", "v", nullptr));
    EXPECT_EQ(read_bytes(ini_), "[s]\nk=v\na=\nc=\n");

    // A rewritten file keeps its mode.
    chmod(ini_.c_str(), 0640);
    ASSERT_TRUE(put("s", "d", ""));
    struct stat st;
    ASSERT_EQ(stat(ini_.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0640u);
}

TEST_F(ProfileTest, DeletingKeysAndSections)
{
    const std::string original = "[users]\n"
                                 "alice=\n"
                                 "bob=\n"
                                 "; about team\n"
                                 "[groups]\n"
                                 "team=\n"
                                 "[Team]\n"
                                 "alice=\n"
                                 "bob=\n"
                                 "\n"
                                 "[other]\n"
                                 "x=1\n";
    write_bytes(ini_, original);

    // A key: its line only.
    ASSERT_TRUE(put("users", "BOB", nullptr));
    EXPECT_EQ(value("users", "bob"), "<none>");
    // A missing key or section: nothing to do, the file is not rewritten.
    struct stat st;
    ASSERT_EQ(stat(ini_.c_str(), &st), 0);
    ino_t before = st.st_ino;
    EXPECT_TRUE(put("users", "carol", nullptr));
    EXPECT_TRUE(put("nosuch", "carol", nullptr));
    EXPECT_TRUE(put("nosuch", nullptr, nullptr));
    ASSERT_EQ(stat(ini_.c_str(), &st), 0);
    EXPECT_EQ(st.st_ino, before);

    // A section: its header and every line up to the next section.
    ASSERT_TRUE(put("team", nullptr, nullptr));
    EXPECT_EQ(read_bytes(ini_), "[users]\n"
                                "alice=\n"
                                "; about team\n"
                                "[groups]\n"
                                "team=\n"
                                "[other]\n"
                                "x=1\n");
    // The last key of a section leaves the section in place, empty.
    ASSERT_TRUE(put("groups", "team", nullptr));
    std::string bytes;
    EXPECT_EQ(get(nullptr, nullptr, "", 64, &bytes), 19u);
    EXPECT_EQ(bytes.substr(0, 21), "users\0groups\0other\0\0\x7f"s);
    // The last section of the file.
    ASSERT_TRUE(put("other", nullptr, "ignored"));
    EXPECT_EQ(read_bytes(ini_), "[users]\nalice=\n; about team\n[groups]\n");

    // Deleting in a missing file makes no file.
    const std::string none = dir_ + "/none.ini";
    EXPECT_TRUE(WritePrivateProfileStringA("s", "k", nullptr, none.c_str()));
    EXPECT_TRUE(WritePrivateProfileStringA("s", nullptr, nullptr, none.c_str()));
    EXPECT_FALSE(fs::exists(none));
}

TEST_F(ProfileTest, WhereANameAppearsTwiceTheFirstOneCounts)
{
    write_bytes(ini_, "[s]\nk=1\nK=2\n[S]\nk=3\nj=4\n");
    EXPECT_EQ(value("s", "k"), "1");
    EXPECT_EQ(value("s", "j"), "<none>"); // the second [S] is never looked at
    std::string bytes;
    EXPECT_EQ(get(nullptr, nullptr, "", 64, &bytes), 2u);
    EXPECT_EQ(bytes.substr(0, 3), "s\0\0"s);
    ASSERT_TRUE(put("s", "k", "5"));
    ASSERT_TRUE(put("s", "j", ""));
    EXPECT_EQ(read_bytes(ini_), "[s]\nk=5\nK=2\nj=\n[S]\nk=3\nj=4\n");
    ASSERT_TRUE(put("s", "k", nullptr));
    EXPECT_EQ(value("s", "k"), "2");
    ASSERT_TRUE(put("s", nullptr, nullptr));
    EXPECT_EQ(read_bytes(ini_), "[S]\nk=3\nj=4\n");
    EXPECT_EQ(value("s", "j"), "4");
}

// ---- DOS paths ----

class DosPathTest : public ProfileTest {
  protected:
    void SetUp() override
    {
        ProfileTest::SetUp();
        ::setenv("XDG_DATA_HOME", (dir_ + "/data").c_str(), 1);
        drives_ = dir_ + "/data/callmgr/drives";
    }
    EnvGuard xdg_{"XDG_DATA_HOME"};
    EnvGuard home_{"HOME"};
    std::string drives_;
};

TEST_F(DosPathTest, DrivePathsMapUnderTheDataFolder)
{
    std::string host;
    // Other drives are mapped, never made.
    ASSERT_TRUE(pal::dos_path_map("D:\\Dir\\Sub\\File.ini", &host));
    EXPECT_EQ(host, drives_ + "/d/Dir/Sub/File.ini");
    EXPECT_FALSE(fs::exists(dir_ + "/data"));
    ASSERT_TRUE(pal::dos_path_map("d:/a\\\\.\\b/", &host));
    EXPECT_EQ(host, drives_ + "/d/a/b");

    // The first C: path makes the drive folder with its TEMP folder.
    ASSERT_TRUE(pal::dos_path_map("C:\\TEMP\\vorlane.zab", &host));
    EXPECT_EQ(host, drives_ + "/c/TEMP/vorlane.zab");
    struct stat st;
    ASSERT_EQ(stat((drives_ + "/c/TEMP").c_str(), &st), 0);
    EXPECT_TRUE(S_ISDIR(st.st_mode));
    EXPECT_EQ(st.st_mode & 07777, 0700u);
    ASSERT_EQ(stat((drives_ + "/c").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0700u);
    // Existing folders are found without regard to case.
    ASSERT_TRUE(pal::dos_path_map("c:\\temp\\Vorlane.zab", &host));
    EXPECT_EQ(host, drives_ + "/c/TEMP/Vorlane.zab");

    // No way out of the drive folder; host paths pass unchanged.
    EXPECT_FALSE(pal::dos_path_map("C:\\TEMP\\..\\..\\etc\\passwd", &host));
    EXPECT_FALSE(pal::dos_path_map("C:\\..", &host));
    EXPECT_TRUE(pal::dos_path_map("C:\\TEMP\\..x\\y", &host));
    EXPECT_EQ(host, drives_ + "/c/TEMP/..x/y");
    ASSERT_TRUE(pal::dos_path_map("/etc/../tmp/x.ini", &host));
    EXPECT_EQ(host, "/etc/../tmp/x.ini");
    ASSERT_TRUE(pal::dos_path_map("rel\\x.ini", &host));
    EXPECT_EQ(host, "rel\\x.ini");
    EXPECT_TRUE(pal::dos_path_is_dos("z:\\"));
    EXPECT_FALSE(pal::dos_path_is_dos("C:x.ini"));
    EXPECT_FALSE(pal::dos_path_is_dos("1:\\x"));
    EXPECT_FALSE(pal::dos_path_map(nullptr, &host));
    EXPECT_FALSE(pal::dos_path_map("", &host));
    // The profile functions refuse what does not map.
    EXPECT_FALSE(WritePrivateProfileStringA("s", "k", "v", "C:\\TEMP\\..\\x.ini"));

    // Without XDG_DATA_HOME (or with a relative one) the home folder's.
    ::setenv("HOME", (dir_ + "/home").c_str(), 1);
    ::setenv("XDG_DATA_HOME", "relative/data", 1);
    ASSERT_TRUE(pal::dos_path_map("E:\\x", &host));
    EXPECT_EQ(host, dir_ + "/home/.local/share/callmgr/drives/e/x");
    ::unsetenv("XDG_DATA_HOME");
    ASSERT_TRUE(pal::dos_path_map("C:\\TEMP\\y", &host));
    EXPECT_EQ(host, dir_ + "/home/.local/share/callmgr/drives/c/TEMP/y");
    EXPECT_TRUE(fs::is_directory(dir_ + "/home/.local/share/callmgr/drives/c/TEMP"));
}

TEST_F(DosPathTest, DefaultAddressBookPathWorksOutOfTheBoxAndPersists)
{
    const char *path = "C:\\TEMP\\vorlane.zab";
    char buf[64];
    EXPECT_EQ(GetPrivateProfileStringA("users", nullptr, "", buf, sizeof buf, path), 0u);
    ASSERT_TRUE(WritePrivateProfileStringA("users", "Alice <alice@host>", "", path));
    const std::string file = drives_ + "/c/TEMP/vorlane.zab";
    EXPECT_EQ(read_bytes(file), "[users]\nAlice <alice@host>=\n");
    struct stat st;
    ASSERT_EQ(stat(file.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0600u);
    EXPECT_EQ(GetPrivateProfileStringA("USERS", nullptr, "", buf, sizeof buf, "c:/temp/VORLANE.ZAB"),
              19u);
    EXPECT_EQ(std::string(buf, 20), std::string("Alice <alice@host>\0\0", 20));
}

} // namespace
