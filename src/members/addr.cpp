/*
 * addr.cpp - invitation address texts and the group addresses of new calls.
 */
#include "members/members.h"

#include <string.h>

namespace {

DWORD group_counter = 0;
char group_buffer[16];

/* Turns the blanks that end text[0..end) into terminators, keeping text[0]
 * whatever it is. */
void trim_before(char *text, size_t end)
{
    while (end > 1 && ADDR_IsBlank(text[end - 1]))
        text[--end] = '\0';
}

} // namespace

extern "C" BOOL ADDR_Parse(char *text, char **user, char **host, char **name)
{
    if (!text)
        return FALSE;
    *user = *host = *name = nullptr;

    char *open = strchr(text, '<');
    if (!open)
        return FALSE;
    *open = '\0';
    trim_before(text, (size_t)(open - text));
    *name = REC_CopyText(text);

    char *rest = open + 1;
    while (ADDR_IsBlank(*rest))
        rest++;

    /* The '@' may lie beyond a '>': the whole rest is searched. */
    char *at = strchr(rest, '@');
    if (at) {
        *at = '\0';
        *user = REC_CopyText(rest);
        rest = at + 1;
    } else {
        *user = REC_CopyText(ADDR_ANYUSER);
    }

    char *close = strchr(rest, '>');
    if (close) {
        *close = '\0';
        trim_before(rest, (size_t)(close - rest));
    }
    *host = REC_CopyText(rest);
    return *user && *host;
}

extern "C" const char *ADDR_NextGroup(DWORD base)
{
    if (base == 0)
        base = ADDR_DEFAULTGROUPBASE;
    DWORD value = base + ++group_counter;
    static_assert(sizeof group_buffer >= sizeof "255.255.255.255", "four numbers fit");
    char *at = group_buffer;
    for (int shift = 24; shift >= 0; shift -= 8) {
        at = REC_PutDecimal(at, (value >> shift) & 0xFF);
        *at++ = shift ? '.' : '\0';
    }
    /* Start again from the base before the counter would pass it. */
    if (!(group_counter + 1 < base))
        group_counter = 0;
    return group_buffer;
}

extern "C" BOOL ADDR_IsBlank(char c)
{
    return c == ' ' || c == '\t';
}

extern "C" const char *ADDR_SkipBlanks(const char *text)
{
    while (ADDR_IsBlank(*text))
        ++text;
    return text;
}
