/*
 * fuzz_addr.cpp - the address text parser and the group addresses.
 *
 * Input: the address text (up to its first NUL, as the parser sees it); its
 * first four bytes, most significant first, are also the group base.
 *
 * ADDR_Parse works in place on a block of exactly the text's size, so a
 * read or write past the terminator is caught, and is compared with a model
 * written independently over std::string: display name, user, host, the
 * result and what the caller's text holds afterwards must all agree.
 * ADDR_NextGroup must give canonical dotted quads of at most 15 characters
 * that count up by one from call to call, or start again just above the
 * base.
 */
#include "fuzzcheck.h"

#include "members/members.h"

#include <stdint.h>
#include <string.h>

#include <optional>
#include <string>

namespace {

bool Blank(char c)
{
    return c == ' ' || c == '\t';
}

/* Drops the blanks that end `s`, never its first character. */
void TrimEnd(std::string &s)
{
    while (s.size() > 1 && Blank(s.back()))
        s.pop_back();
}

struct Parsed {
    bool result = false;
    std::optional<std::string> user, host, name;
    std::string left; /* the caller's text afterwards */
};

Parsed Model(const std::string &text)
{
    Parsed p;
    p.left = text;
    size_t open = text.find('<');
    if (open == std::string::npos)
        return p;
    std::string name = text.substr(0, open);
    TrimEnd(name);
    p.name = name;
    p.left = name;

    std::string rest = text.substr(open + 1);
    size_t start = 0;
    while (start < rest.size() && Blank(rest[start]))
        ++start;
    rest.erase(0, start);

    size_t at = rest.find('@');
    if (at != std::string::npos) {
        p.user = rest.substr(0, at);
        rest.erase(0, at + 1);
    } else {
        p.user = std::string(ADDR_ANYUSER);
    }
    size_t close = rest.find('>');
    if (close != std::string::npos) {
        rest.erase(close);
        TrimEnd(rest);
    }
    p.host = rest;
    p.result = true;
    return p;
}

bool Same(const std::optional<std::string> &expected, const char *got)
{
    if (!expected)
        return got == nullptr;
    return got != nullptr && *expected == got;
}

void CheckParse(const std::string &text)
{
    Parsed expected = Model(text);

    char *buffer = static_cast<char *>(malloc(text.size() + 1));
    FUZZ_CHECK(buffer != nullptr);
    memcpy(buffer, text.c_str(), text.size() + 1);
    char *user = reinterpret_cast<char *>(1);
    char *host = reinterpret_cast<char *>(1);
    char *name = reinterpret_cast<char *>(1);
    BOOL result = ADDR_Parse(buffer, &user, &host, &name);

    FUZZ_CHECK(!!result == expected.result);
    FUZZ_CHECK(Same(expected.user, user));
    FUZZ_CHECK(Same(expected.host, host));
    FUZZ_CHECK(Same(expected.name, name));
    FUZZ_CHECK(expected.left == buffer);

    REC_Free(user);
    REC_Free(host);
    REC_Free(name);
    free(buffer);

    /* An absent text leaves the outputs untouched. */
    user = host = name = reinterpret_cast<char *>(1);
    FUZZ_CHECK(!ADDR_Parse(nullptr, &user, &host, &name));
    FUZZ_CHECK(user == reinterpret_cast<char *>(1) && host == user && name == user);
}

void CheckBlanksAndCopies(const std::string &text)
{
    const char *skipped = ADDR_SkipBlanks(text.c_str());
    FUZZ_CHECK(skipped >= text.c_str() && skipped <= text.c_str() + text.size());
    for (const char *p = text.c_str(); p < skipped; ++p)
        FUZZ_CHECK(ADDR_IsBlank(*p));
    FUZZ_CHECK(!ADDR_IsBlank(*skipped));

    char *copy = nullptr;
    FUZZ_CHECK(STR_Dup(&copy, text.c_str()));
    FUZZ_CHECK(STR_Equal(copy, text.c_str()));
    FUZZ_CHECK(!STR_Equal(copy, nullptr));
    REC_Free(copy);
}

/* The value of a canonical dotted quad, or false. */
bool Quad(const char *text, uint32_t *value)
{
    unsigned a, b, c, d;
    char tail;
    if (sscanf(text, "%u.%u.%u.%u%c", &a, &b, &c, &d, &tail) != 4)
        return false;
    if (a > 255 || b > 255 || c > 255 || d > 255)
        return false;
    char again[16];
    snprintf(again, sizeof again, "%u.%u.%u.%u", a, b, c, d);
    if (strcmp(again, text) != 0)
        return false;
    *value = (a << 24) | (b << 16) | (c << 8) | d;
    return true;
}

void CheckGroups(uint32_t base)
{
    uint32_t effective = base ? base : ADDR_DEFAULTGROUPBASE;
    uint32_t previous = 0;
    for (int i = 0; i < 3; ++i) {
        const char *text = ADDR_NextGroup(base);
        FUZZ_CHECK(strlen(text) <= 15);
        uint32_t value;
        FUZZ_CHECK(Quad(text, &value));
        if (i > 0)
            FUZZ_CHECK(value == previous + 1 || value == effective + 1);
        previous = value;
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    std::string text(reinterpret_cast<const char *>(data), size);
    text.resize(strlen(text.c_str()));
    CheckParse(text);
    CheckBlanksAndCopies(text);

    uint32_t base = 0;
    for (size_t i = 0; i < 4; ++i)
        base = (base << 8) | (i < size ? data[i] : 0);
    CheckGroups(base);
    return 0;
}
