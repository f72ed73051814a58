// The owner-drawn address lists: ordered insertion and its refusals, and
// the entry text forms.
#include "ui/lists.h"
#include "ui/dialogs.h"

#include <cstring>

namespace {

/* Each entry's text and item data. */
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
        group = make_plain_dialog(300);
        address = make_plain_dialog(400);
        ASSERT_TRUE(book && group && address);
        book_list = GetDlgItem(book, 202);
        group_list = GetDlgItem(group, 302);
    }
    void TearDown() override
    {
        DestroyWindow(book);
        DestroyWindow(group);
        DestroyWindow(address);
        PalClearRecords();
    }
    HWND book = nullptr, group = nullptr, address = nullptr;
    HWND book_list = nullptr, group_list = nullptr;
};

TEST_F(AddressLists, InsertionKeepsGroupsBeforeUsersEachSortedWithoutCase)
{
    HWND list = book_list;
    EXPECT_EQ(0, LIST_InsertEntry(list, "zed <z>", ENTRY_USER));
    EXPECT_EQ(0, LIST_InsertEntry(list, "Team", ENTRY_GROUP)) << "groups go in front of users";
    EXPECT_EQ(1, LIST_InsertEntry(list, "Team\tann <a>", ENTRY_GROUPLINE));
    EXPECT_EQ(0, LIST_InsertEntry(list, "alpha", ENTRY_GROUP));
    EXPECT_EQ(3, LIST_InsertEntry(list, "Bob <b>", ENTRY_USER)) << "sorted among users only";
    EXPECT_EQ(5, LIST_InsertEntry(list, "zz <zz>", ENTRY_USER)) << "after the last user";
    /* A group named like a user is compared with the groups only. */
    EXPECT_EQ(3, LIST_InsertEntry(list, "zed <z>", ENTRY_GROUP));
    /* A member of the running call belongs to the part without users. */
    EXPECT_EQ(1, LIST_InsertEntry(list, "beta", ENTRY_INCALL));
    EXPECT_TRUE(PalBeeps().empty());
    std::vector<std::pair<std::string, int>> expected = {
        {"alpha", ENTRY_GROUP},   {"beta", ENTRY_INCALL},
        {"Team", ENTRY_GROUP},    {"Team\tann <a>", ENTRY_GROUPLINE},
        {"zed <z>", ENTRY_GROUP}, {"Bob <b>", ENTRY_USER},
        {"zed <z>", ENTRY_USER},  {"zz <zz>", ENTRY_USER}};
    EXPECT_EQ(expected, entries(list));

    /* Duplicates differing in letter case only: one beep each, list unchanged. */
    EXPECT_EQ(LB_ERR, LIST_InsertEntry(list, "BOB <B>", ENTRY_USER));
    EXPECT_EQ(LB_ERR, LIST_InsertEntry(list, "TEAM", ENTRY_GROUP));
    EXPECT_EQ(LB_ERR, LIST_InsertEntry(list, "Zz <ZZ>", ENTRY_USER)) << "the last entry too";
    EXPECT_EQ((std::vector<UINT>{0, 0, 0}), PalBeeps());
    EXPECT_EQ(expected, entries(list));
}

TEST_F(AddressLists, InsertionIntoListsOfOnePartAndRefusals)
{
    HWND list = group_list;
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
    HWND other = book_list;
    SendMessageA(other, LB_INSERTSTRING, 0, (LPARAM)std::string(300, 'a').c_str());
    SendMessageA(other, LB_SETITEMDATA, 0, ENTRY_USER);
    SendMessageA(other, LB_INSERTSTRING, 1, (LPARAM) "m <m>");
    SendMessageA(other, LB_SETITEMDATA, 1, ENTRY_USER);
    EXPECT_EQ(LB_ERR, LIST_InsertEntry(other, "M <M>", ENTRY_USER));
    EXPECT_EQ(1u, PalBeeps().size());
    EXPECT_EQ(2, LIST_InsertEntry(other, "z <z>", ENTRY_USER));
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
    auto compose = [&](const std::string &name, const std::string &addr, int limit,
                       std::string *out) {
        SetDlgItemTextA(address, 404, name.c_str());
        SetDlgItemTextA(address, 102, addr.c_str());
        std::vector<char> buf((size_t)std::max(limit, 1) + 8, '#');
        buf.back() = '\0';
        int r = LIST_ComposeEntry(address, buf.data(), limit, 404, 102);
        *out = buf.data();
        EXPECT_EQ('#', buf[(size_t)std::max(limit, 1)]) << "written past the limit";
        return r;
    };
    std::string out;
    EXPECT_EQ(0, compose("Ann", " \t ", 256, &out));
    EXPECT_EQ("", out);
    EXPECT_EQ(1, compose("", "  host", 256, &out));
    EXPECT_EQ("host <host>", out) << "the address stands in for a missing name";
    EXPECT_EQ(1, compose("  Ann Smith \t", " ann@east ", 256, &out));
    EXPECT_EQ("Ann Smith <ann@east >", out) << "the address keeps its trailing blanks";
    EXPECT_EQ(1, compose("   ", "h", 256, &out));
    EXPECT_EQ(" <h>", out);

    /* Bounded: the entry and its terminator fill `limit` exactly, or the
     * entry is refused whole. */
    std::string n126(126, 'n'), a126(126, 'a');
    EXPECT_EQ(1, compose(n126, a126, 256, &out));
    EXPECT_EQ(255u, out.size());
    EXPECT_EQ(-1, compose(n126 + "n", a126, 256, &out));
    EXPECT_EQ("", out);
    EXPECT_EQ(1, compose("Ann", "h", 8, &out)); /* "Ann <h>" and its zero */
    EXPECT_EQ("Ann <h>", out);
    EXPECT_EQ(-1, compose("Ann", "h", 7, &out));
    EXPECT_EQ(-1, compose("", std::string(300, 'a'), 256, &out)) << "long addresses are not cut";
    EXPECT_EQ(1, compose("", std::string(300, ' ') + "h", 256, &out))
        << "fields are read whole, leading blanks do not count";
    EXPECT_EQ("h <h>", out);
    EXPECT_EQ(-1, compose("Ann", "h", 0, &out));
}

} // namespace
