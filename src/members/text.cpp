/*
 * text.cpp - the texts of calls and members: exact comparison and copies.
 */
#include "members/members.h"

#include <string.h>

extern "C" BOOL STR_Equal(const char *a, const char *b)
{
    if (a && b)
        return strcmp(a, b) == 0;
    return a == b;
}

extern "C" BOOL STR_Dup(char **out, const char *source)
{
    *out = REC_CopyText(source);
    return !source || *out;
}
