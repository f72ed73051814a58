// Matching the foreign peer's report lines: exact text, except that '#'
// stands for one or more digits and '*' for one or more characters other
// than a blank.  (Lighter than <regex>, whose code trips GCC 12's
// uninitialised-use warnings in sanitizer builds.)
#pragma once

#include <string>

inline bool line_matches(const char *text, const char *pattern)
{
    if (*pattern == '\0')
        return *text == '\0';
    if (*pattern == '#' || *pattern == '*') {
        const bool digits = *pattern == '#';
        auto fits = [digits](char c) {
            return digits ? (c >= '0' && c <= '9') : (c != ' ' && c != '\0');
        };
        for (const char *end = text; fits(*end); ++end)
            if (line_matches(end + 1, pattern + 1))
                return true;
        return false;
    }
    return *text == *pattern && line_matches(text + 1, pattern + 1);
}

inline bool line_matches(const std::string &text, const std::string &pattern)
{
    return line_matches(text.c_str(), pattern.c_str());
}

// The value of "NAME=value" in a line, up to the next blank; "" if absent.
inline std::string line_field(const std::string &line, const std::string &name)
{
    const size_t at = line.find(" " + name + "=");
    if (at == std::string::npos)
        return "";
    const size_t start = at + name.size() + 2;
    return line.substr(start, line.find(' ', start) - start);
}
