/*
 * The address book store: a profile file at the path the application set,
 * read and written key by key through the platform's profile functions.
 * There is no copy in memory: every read goes to the file and every change
 * is written at once.
 *
 * Only key names carry information; every value is written empty.  A text
 * that the file cannot hold exactly is refused, never cut or changed, and
 * an operation reports 1 only when every write it made succeeded.
 */
#include "members/members.h"
#include "ui/addrbook.h"
#include "ui/addrkeys.h"
#include "api/settings.h"

#include <string.h>

namespace {

const char ADDRBOOK_USERS[] = "users";
const char ADDRBOOK_GROUPS[] = "groups";
/* A section's key list is first read into a block of this size; a list
 * that fills it is read again into a block twice as large, until it fits. */
const DWORD ADDRBOOK_READSIZE = 32767;
/* Far beyond any file the profile functions read; keeps the doubling from
 * wrapping. */
const DWORD ADDRBOOK_MAXREAD = 0x40000000;
const size_t ADDRBOOK_MAXENTRY = LIST_TEXTSIZE - 1;
const size_t ADDRBOOK_MAXNAME = ADDRBOOK_NAMESIZE - 1;

/* The address book path, or null while the address book is off.  A store
 * without its terminator is no path at all. */
const char *book_path(void)
{
    const char *path = LIB_Settings.addressbook;
    size_t len = strnlen(path, sizeof LIB_Settings.addressbook);
    if (len == 0 || len == sizeof LIB_Settings.addressbook)
        return nullptr;
    return path;
}

bool line_fits(const char *text, size_t max)
{
    size_t len = strlen(text);
    if (len == 0 || len > max)
        return false;
    if (text[0] == ';' || text[0] == '[' || ADDR_IsBlank(text[0]) || ADDR_IsBlank(text[len - 1]))
        return false;
    return strpbrk(text, "=\r\n") == nullptr;
}

bool write_key(const char *section, const char *key, const char *value, const char *path)
{
    return WritePrivateProfileStringA(section, key, value, path) != FALSE;
}

/* Entry keys only lose their leading blanks; null when the rest cannot be
 * a key. */
const char *entry_key(const char *entry)
{
    if (!entry)
        return nullptr;
    const char *key = ADDR_SkipBlanks(entry);
    return ADDRBOOK_EntryFits(key) ? key : nullptr;
}

/* A group's name as the file holds it, in `out` (ADDRBOOK_NAMESIZE bytes);
 * false when it is no name a group can have. */
bool group_name(const char *group, char *out)
{
    return group && ADDRBOOK_TrimName(group, out) && ADDRBOOK_GroupNameFits(out);
}

/* Checks every name of a member block that lies within its `size` bytes;
 * false when one cannot be a key, the block has no end inside its size, or
 * it holds no name. */
bool members_fit(const char *block, SIZE_T size)
{
    SIZE_T at = 0;
    int names = 0;
    while (at < size && block[at]) {
        SIZE_T len = strnlen(block + at, size - at);
        if (at + len >= size)
            return false;
        if (!ADDRBOOK_EntryFits(block + at))
            return false;
        ++names;
        at += len + 1;
    }
    return at < size && names > 0;
}

/* Reads the key names of `section` into a new block of `size` bytes and
 * puts the reader's count in *got (0 for an empty list); null when the
 * block cannot be had. */
HGLOBAL read_keys(const char *section, const char *path, DWORD size, DWORD *got)
{
    HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, size);
    if (!block)
        return nullptr;
    char *names = (char *)GlobalLock(block);
    if (!names) {
        GlobalFree(block);
        return nullptr;
    }
    *got = GetPrivateProfileStringA(section, nullptr, "", names, size, path);
    if (names[0] == '\0')
        *got = 0;
    GlobalUnlock(block);
    return block;
}

} // namespace

extern "C" int ADDRBOOK_EntryFits(const char *entry)
{
    return entry && line_fits(entry, ADDRBOOK_MAXENTRY);
}

extern "C" int ADDRBOOK_GroupNameFits(const char *name)
{
    if (!name || !line_fits(name, ADDRBOOK_MAXNAME))
        return 0;
    return lstrcmpiA(name, ADDRBOOK_USERS) != 0 && lstrcmpiA(name, ADDRBOOK_GROUPS) != 0;
}

extern "C" int ADDRBOOK_TrimName(const char *name, char *out)
{
    out[0] = '\0';
    if (!name)
        return 0;
    const char *from = ADDR_SkipBlanks(name);
    size_t len = strlen(from);
    while (len > 0 && ADDR_IsBlank(from[len - 1]))
        --len;
    if (len == 0 || len > ADDRBOOK_MAXNAME)
        return 0;
    memcpy(out, from, len);
    out[len] = '\0';
    return 1;
}

extern "C" HGLOBAL ADDRBOOK_ReadSection(const char *section)
{
    const char *path = book_path();
    if (!path || !section)
        return nullptr;
    for (DWORD size = ADDRBOOK_READSIZE; size <= ADDRBOOK_MAXREAD; size *= 2) {
        DWORD got = 0;
        HGLOBAL block = read_keys(section, path, size, &got);
        if (!block)
            return nullptr;
        /* The reader answers size - 2 for a list it had to cut (its last
         * name cut too), as for one that only just fits: either is read
         * again with more room, since a cut list handed out could be
         * written back as the whole truth. */
        if (got > 0 && got < size - 2)
            return block;
        GlobalFree(block);
        if (got == 0)
            return nullptr;
    }
    return nullptr;
}

extern "C" HGLOBAL ADDRBOOK_ReadUsers(void)
{
    return ADDRBOOK_ReadSection(ADDRBOOK_USERS);
}

extern "C" HGLOBAL ADDRBOOK_ReadGroups(void)
{
    return ADDRBOOK_ReadSection(ADDRBOOK_GROUPS);
}

extern "C" HGLOBAL ADDRBOOK_ReadGroupMembers(const char *group)
{
    /* The name is used as passed; only the two fixed sections are kept
     * from passing for a group. */
    if (!group || lstrcmpiA(group, ADDRBOOK_USERS) == 0 || lstrcmpiA(group, ADDRBOOK_GROUPS) == 0)
        return nullptr;
    return ADDRBOOK_ReadSection(group);
}

extern "C" int ADDRBOOK_AddUser(const char *entry)
{
    const char *path = book_path();
    const char *key = entry_key(entry);
    if (!path || !key)
        return 0;
    return write_key(ADDRBOOK_USERS, key, "", path);
}

extern "C" int ADDRBOOK_DeleteUser(const char *entry)
{
    const char *path = book_path();
    const char *key = entry_key(entry);
    if (!path || !key)
        return 0;
    return write_key(ADDRBOOK_USERS, key, nullptr, path);
}

extern "C" int ADDRBOOK_RenameKey(const char *section, const char *old_key, const char *new_key)
{
    const char *path = book_path();
    const char *from = entry_key(old_key);
    const char *to = entry_key(new_key);
    char name[ADDRBOOK_NAMESIZE];
    if (!path || !from || !to || !section || !ADDRBOOK_TrimName(section, name))
        return 0;
    /* Any section may be renamed in, the fixed ones included, but its name
     * must be one the file can hold. */
    if (!line_fits(name, ADDRBOOK_MAXNAME))
        return 0;
    /* Delete first, then write: renaming a key to itself keeps it. */
    if (!write_key(name, from, nullptr, path))
        return 0;
    if (!write_key(name, to, "", path)) {
        /* Put the old key back rather than lose the entry altogether. */
        write_key(name, from, "", path);
        return 0;
    }
    return 1;
}

extern "C" int ADDRBOOK_RenameUser(const char *old_entry, const char *new_entry)
{
    return ADDRBOOK_RenameKey(ADDRBOOK_USERS, old_entry, new_entry);
}

extern "C" int ADDRBOOK_WriteGroup(const char *group, HGLOBAL members)
{
    const char *path = book_path();
    char name[ADDRBOOK_NAMESIZE];
    if (!path || !members || !group_name(group, name))
        return 0;
    SIZE_T size = GlobalSize(members);
    const char *block = (const char *)GlobalLock(members);
    if (!block)
        return 0;
    /* Every member is checked before anything is written, so a refused
     * group leaves the file as it was. */
    int ok = members_fit(block, size) && write_key(ADDRBOOK_GROUPS, name, "", path);
    for (const char *member = block; ok && *member; member += strlen(member) + 1)
        ok = write_key(name, member, "", path);
    GlobalUnlock(members);
    return ok;
}

extern "C" int ADDRBOOK_DeleteGroup(const char *group)
{
    const char *path = book_path();
    char name[ADDRBOOK_NAMESIZE];
    if (!path || !group_name(group, name))
        return 0;
    if (!write_key(ADDRBOOK_GROUPS, name, nullptr, path))
        return 0;
    return WritePrivateProfileStringA(name, nullptr, nullptr, path) != FALSE;
}

extern "C" int ADDRBOOK_DeleteGroupLine(const char *group, const char *entry)
{
    const char *path = book_path();
    const char *key = entry_key(entry);
    char name[ADDRBOOK_NAMESIZE];
    if (!path || !key || !group_name(group, name))
        return 0;
    return write_key(name, key, nullptr, path);
}
