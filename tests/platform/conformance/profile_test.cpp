// Profile files: the lists of key and section names, whose count tells a
// caller whether its buffer held the whole list.
#include "conformance.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <random>
#include <string>

namespace {

using namespace std::string_literals;

/* A file of its own in the temporary folder, so that runs side by side
 * never share one. */
class ProfileNames : public ::testing::Test {
  protected:
    void SetUp() override
    {
        path_ = ::testing::TempDir() + "names" + std::to_string(std::random_device()()) + ".ini";
        ASSERT_TRUE(WritePrivateProfileStringA("users", "alice", "", path_.c_str()));
        ASSERT_TRUE(WritePrivateProfileStringA("users", "bob", "1", path_.c_str()));
        ASSERT_TRUE(WritePrivateProfileStringA("groups", "Team", "", path_.c_str()));
    }
    void TearDown() override { std::remove(path_.c_str()); }

    /* The count and the bytes up to the list's two closing zeros. */
    std::pair<DWORD, std::string> names(const char *section, DWORD size)
    {
        std::string buf(size + 4, '\x7f');
        DWORD got = GetPrivateProfileStringA(section, nullptr, "", buf.data(), size, path_.c_str());
        return {got, buf.substr(0, buf.find("\0\0"s) + 2)};
    }

    std::string path_;
};

/* A file the profile functions make holds the sections and keys in the
 * order they were written, without blank lines between sections.  A list
 * of names that fits with room to spare counts its names and their zeros;
 * one that only just fits, or has to be cut (its last name cut too), counts
 * size - 2, so only a count below size - 2 is known to be whole.  A file
 * whose lines end in a line feed alone reads as one with CR LF. */
TEST_F(ProfileNames, ANewFileAndListsThatFillTheBufferWhichCountSizeMinusTwo)
{
    const std::string lf_only = "[users]\nalice=\nbob=1\n[groups]\nTeam=\n";
    std::ifstream in(path_, std::ios::binary);
    const std::string bytes{std::istreambuf_iterator<char>(in), {}};
    in.close();
    std::string lf = bytes;
    for (size_t at; (at = lf.find('\r')) != std::string::npos;)
        lf.erase(at, 1);
    EXPECT_EQ(lf_only, lf);
    KNOWN_DEVIATION(PLATFORM, "a file the platform makes ends its lines as the host's own files "
                              "do; it reads either line end and keeps a file's own")
    {
        EXPECT_EQ("[users]\r\nalice=\r\nbob=1\r\n[groups]\r\nTeam=\r\n", bytes);
    }

    const struct {
        const char *section;
        DWORD size;
        std::pair<DWORD, std::string> expect;
    } cases[] = {
        {"USERS", 64, {10, "alice\0bob\0\0"s}},    {"users", 12, {10, "alice\0bob\0\0"s}},
        {"users", 11, {9, "alice\0bob\0\0"s}},     {"users", 10, {8, "alice\0bo\0\0"s}},
        {nullptr, 64, {13, "users\0groups\0\0"s}}, {nullptr, 14, {12, "users\0groups\0\0"s}},
        {nullptr, 9, {7, "users\0g\0\0"s}},
    };
    for (const auto &c : cases) {
        auto got = names(c.section, c.size);
        const char *what = c.section ? c.section : "(sections)";
        EXPECT_EQ(c.expect.first, got.first) << what << " " << c.size;
        if (c.expect.first < c.size - 2) {
            EXPECT_EQ(c.expect.second, got.second) << what << " " << c.size;
        } else {
            KNOWN_DEVIATION(WINE,
                            "Wine's ANSI call ends a list that fills the buffer with one zero")
            EXPECT_EQ(c.expect.second, got.second) << what << " " << c.size;
        }
    }

    ASSERT_TRUE(std::ofstream(path_, std::ios::binary | std::ios::trunc) << lf_only);
    EXPECT_EQ((std::pair<DWORD, std::string>{10, "alice\0bob\0\0"s}), names("users", 64));
    char value[8] = "?";
    EXPECT_EQ(1u, GetPrivateProfileStringA("users", "bob", "", value, sizeof value, path_.c_str()));
    EXPECT_STREQ("1", value);
}

} // namespace
