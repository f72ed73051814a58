// Address texts and group addresses; the parser is also fuzzed against a
// model, so only the boundaries are here.
#include "members/members.h"

#include <paltest.h>

#include <gtest/gtest.h>

#include <string>

namespace {

// Parses a writable copy of `input`.
struct Parsed {
    BOOL ok;
    char *user = nullptr, *host = nullptr, *name = nullptr;
    std::string left; // the caller's text after the parse
    explicit Parsed(const char *input)
    {
        std::string buf(input);
        ok = ADDR_Parse(buf.data(), &user, &host, &name);
        left = buf.c_str();
    }
    ~Parsed()
    {
        REC_Free(user);
        REC_Free(host);
        REC_Free(name);
    }
};

TEST(AddrParse, FormsOfAddressTextAndFailedCopies)
{
    struct Case {
        const char *text, *name, *user, *host;
    } cases[] = {
        {"Front Desk <desk@alpha>", "Front Desk", "desk", "alpha"},
        {"<alpha>", "", "ANYBODY", "alpha"},
        {"<>", "", "ANYBODY", ""},
        {"Desk\t \t<\tdesk@alpha\t>tail", "Desk", "desk", "alpha"},
        {"Desk <a@ >", "Desk", "a", " "},      // the host's first character stays
        {" <alpha>", " ", "ANYBODY", "alpha"}, // as does the text's
    };
    for (const Case &c : cases) {
        Parsed p(c.text);
        SCOPED_TRACE(c.text);
        ASSERT_TRUE(p.ok && p.name && p.user && p.host);
        EXPECT_STREQ(c.name, p.name);
        EXPECT_STREQ(c.user, p.user);
        EXPECT_STREQ(c.host, p.host);
        EXPECT_EQ(c.name, p.left);
    }

    Parsed none("desk@alpha");
    EXPECT_FALSE(none.ok || none.user || none.host || none.name);
    EXPECT_EQ("desk@alpha", none.left);

    // An absent text leaves the outputs as they were.
    char keep[] = "x";
    char *user = keep, *host = keep, *name = keep;
    EXPECT_FALSE(ADDR_Parse(nullptr, &user, &host, &name));
    EXPECT_TRUE(user == keep && host == keep && name == keep);

    // A failed copy makes the parse fail.  Copies are made in the order name, user, host.
    for (int skip = 0; skip < 3; skip++) {
        PalFaultSet(PAL_FAULT_HEAPALLOC, skip, 1, 0);
        Parsed p("Front Desk <desk@alpha>");
        PalFaultClear();
        SCOPED_TRACE(skip);
        EXPECT_EQ(skip == 0, p.ok); // the name is not needed for success
        EXPECT_EQ(skip == 0, p.name == nullptr);
        EXPECT_EQ(skip == 1, p.user == nullptr);
        EXPECT_EQ(skip == 2, p.host == nullptr);
    }
}

// Runs base-5 addresses until the counter has just been reset, so what
// follows does not depend on the calls made before.
void ResetGroupCounter()
{
    for (int i = 0; i < 8; i++)
        if (std::string(ADDR_NextGroup(5)) == "0.0.0.9")
            return;
    FAIL() << "group counter never came back";
}

TEST(AddrNextGroup, CounterBasesAndWrap)
{
    ResetGroupCounter();
    for (const char *w : {"0.0.0.6", "0.0.0.7", "0.0.0.8", "0.0.0.9", "0.0.0.6"})
        EXPECT_STREQ(w, ADDR_NextGroup(5));

    ResetGroupCounter();
    EXPECT_STREQ("233.1.0.1", ADDR_NextGroup(0));
    EXPECT_STREQ("239.0.0.2", ADDR_NextGroup(0xEF000000)) << "one counter for every base";

    ResetGroupCounter();
    EXPECT_STREQ("0.0.0.0", ADDR_NextGroup(0xFFFFFFFF));         // the sum wraps
    EXPECT_STREQ("255.255.255.254", ADDR_NextGroup(0xFFFFFFFC)); // 15 characters
}

} // namespace
