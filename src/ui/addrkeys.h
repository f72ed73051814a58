/*
 * What the address book file can hold.  A key or section name is one line
 * of the profile file, read back as it was written only when it has no "="
 * and no line break, does not begin with ";" (a comment) or "[" (a section
 * header) and does not begin or end with a blank (the reader trims them).
 * The store refuses every other text instead of changing it, and the
 * dialogs use the same rules to keep their OK from accepting what the
 * store would refuse.
 */
#ifndef CALLMGR_UI_ADDRKEYS_H
#define CALLMGR_UI_ADDRKEYS_H

#include "ui/addrbook.h"
#include "ui/lists.h"

#ifdef __cplusplus
extern "C" {
#endif

/* 1 when `entry` (a user or member key, as it will be written) can be held:
 * 1 to 255 characters and the rules above; 0 otherwise. */
int ADDRBOOK_EntryFits(const char *entry);
/* 1 when `name` (a group name, already trimmed) can be a group: 1 to 127
 * characters, the rules above, and not "users" or "groups" in any letter
 * case (the fixed sections, which a group would overwrite or delete). */
int ADDRBOOK_GroupNameFits(const char *name);
/* Copies `name` without leading and trailing blanks into `out`
 * (ADDRBOOK_NAMESIZE bytes, not null): 1.  0, with `out` empty, for a null
 * name or when the trimmed name is empty or longer than 127 characters
 * (never cut). */
int ADDRBOOK_TrimName(const char *name, char *out);

#ifdef __cplusplus
}
#endif

#endif
