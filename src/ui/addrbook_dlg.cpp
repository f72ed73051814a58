/*
 * The Address Book dialog: users and groups of the address book file, kept
 * here (New, Change, Delete, each written to the file at once) and copied
 * into the Invite dialog's invitation list (double-click, or the selection
 * on Close).
 *
 * The list shows what the file holds.  Every change is written first and
 * the list follows the file afterwards, so a write that fails (the user
 * hears a beep) leaves list and file telling the same story.  A group that
 * was changed shows its members under it until the dialog closes.
 */
#include "members/members.h"
#include "ui/addrbook.h"
#include "ui/addrkeys.h"
#include "ui/lists.h"
#include "api/api.h"
#include "resources/resource.h"

#include <callmgr.h>
#include <stdio.h>
#include <string.h>

namespace {

const int ID_LIST = 202;
const int ID_CLOSE = IDCANCEL;
const int ID_HELP = 9;
const int ID_NEWADDRESS = 203;
const int ID_NEWGROUP = 204;
const int ID_CHANGE = 205;
const int ID_DELETE = 206;
/* The Invite dialog's invitation list, reached through the owner. */
const int ID_INVITATIONS = 109;

const int TITLE_SIZE = 65;
const int QUESTION_SIZE = 256;
const int CAPTION_SIZE = 97;

const char HELP_FILE[] = "palavera.hlp";
const ULONG_PTR HELP_TOPIC = 7;

/* A group line: group name, tab, entry.  Composed here with room to spare,
 * so that one too long for a list is refused by the list (with its beep)
 * instead of being cut into another text. */
const size_t LINE_SIZE = ADDRBOOK_NAMESIZE + LIST_TEXTSIZE + 2;

HWND book_list(HWND dlg)
{
    return GetDlgItem(dlg, ID_LIST);
}

HWND invitation_list(HWND dlg)
{
    HWND owner = GetWindow(dlg, GW_OWNER);
    return owner ? GetDlgItem(owner, ID_INVITATIONS) : nullptr;
}

HINSTANCE dialog_instance(HWND dlg)
{
    HINSTANCE instance = (HINSTANCE)GetWindowLongPtrA(dlg, GWLP_HINSTANCE);
    return instance ? instance : LIB_Instance;
}

void load_title(HWND dlg, UINT id, char *title)
{
    if (LoadStringA(dialog_instance(dlg), id, title, TITLE_SIZE) <= 0)
        title[0] = '\0';
}

/* The text of list entry `index` into `out`, only when it fits. */
bool list_text(HWND list, int index, char *out, size_t size)
{
    LRESULT len = SendMessageA(list, LB_GETTEXTLEN, (WPARAM)index, 0);
    if (len == LB_ERR || len < 0 || (size_t)len >= size)
        return false;
    return SendMessageA(list, LB_GETTEXT, (WPARAM)index, (LPARAM)out) != LB_ERR;
}

/* Splits a group line at its first tab; false when it has none or a part
 * does not fit. */
bool split_line(const char *line, char *group, size_t group_size, char *entry, size_t entry_size)
{
    const char *tab = strchr(line, '\t');
    if (!tab)
        return false;
    size_t len = (size_t)(tab - line);
    if (len >= group_size || strlen(tab + 1) >= entry_size)
        return false;
    memcpy(group, line, len);
    group[len] = '\0';
    snprintf(entry, entry_size, "%s", tab + 1);
    return true;
}

/* Calls `visit` for each name of a member block, never reading past the
 * block even when its last name lacks its terminator. */
template <typename F> void each_name(HGLOBAL block, F visit)
{
    if (!block)
        return;
    const char *base = (const char *)GlobalLock(block);
    if (!base)
        return;
    size_t size = GlobalSize(block);
    for (size_t at = 0; at < size && base[at];) {
        size_t len = strnlen(base + at, size - at);
        if (at + len >= size)
            break; /* unterminated: not a name */
        if (!visit(base + at))
            break;
        at += len + 1;
    }
    GlobalUnlock(block);
}

/* The file's spelling of `key` in a member block (letter case aside). */
bool block_find(HGLOBAL block, const char *key, char *out, size_t size)
{
    bool found = false;
    each_name(block, [&](const char *name) {
        if (lstrcmpiA(name, key) != 0)
            return true;
        if (out)
            snprintf(out, size, "%s", name);
        found = true;
        return false;
    });
    return found;
}

bool block_has_exactly(HGLOBAL block, const char *key)
{
    bool found = false;
    each_name(block, [&](const char *name) {
        found = strcmp(name, key) == 0;
        return !found;
    });
    return found;
}

/* Whether the file holds `key` in `section` (letter case aside), with the
 * file's spelling in `out`. */
bool file_key(HGLOBAL (*read)(void), const char *key, char *out, size_t size)
{
    HGLOBAL block = read();
    bool found = block_find(block, key, out, size);
    if (block)
        GlobalFree(block);
    return found;
}

bool group_key(const char *group, const char *key, char *out, size_t size, bool exact)
{
    HGLOBAL block = ADDRBOOK_ReadGroupMembers(group);
    bool found = exact ? block_has_exactly(block, key) : block_find(block, key, out, size);
    if (block)
        GlobalFree(block);
    return found;
}

void update_buttons(HWND dlg)
{
    LRESULT selected = SendMessageA(book_list(dlg), LB_GETSELCOUNT, 0, 0);
    if (selected == LB_ERR)
        selected = 0;
    EnableWindow(GetDlgItem(dlg, ID_CHANGE), selected == 1);
    EnableWindow(GetDlgItem(dlg, ID_DELETE), selected > 0);
}

/* Inserts each member of `group` into `list`: alone for ENTRY_USER, as a
 * group line for ENTRY_GROUPLINE. */
void list_group_members(HWND list, const char *group, DWORD flag)
{
    if (!list)
        return;
    HGLOBAL members = ADDRBOOK_ReadGroupMembers(group);
    each_name(members, [&](const char *member) {
        if (flag == ENTRY_GROUPLINE) {
            char line[LINE_SIZE];
            snprintf(line, sizeof line, "%s\t%s", group, member);
            LIST_InsertEntry(list, line, flag);
        } else {
            LIST_InsertEntry(list, member, flag);
        }
        return true;
    });
    if (members)
        GlobalFree(members);
}

void list_groups(HWND list)
{
    HGLOBAL groups = ADDRBOOK_ReadGroups();
    each_name(groups, [&](const char *name) {
        LIST_InsertEntry(list, name, ENTRY_GROUP);
        return true;
    });
    if (groups)
        GlobalFree(groups);
}

void list_users(HWND list)
{
    HGLOBAL users = ADDRBOOK_ReadUsers();
    each_name(users, [&](const char *name) {
        char entry[LIST_TEXTSIZE];
        if (strlen(name) < sizeof entry) {
            snprintf(entry, sizeof entry, "%s", name);
            LIST_InsertEntry(list, entry, ENTRY_USER);
        }
        return true;
    });
    if (users)
        GlobalFree(users);
}

/* Whether entry `index` is a group line of `group`. */
bool is_line_of(HWND list, int index, const char *group)
{
    LRESULT flag = SendMessageA(list, LB_GETITEMDATA, (WPARAM)index, 0);
    if (flag == LB_ERR || !(flag & ENTRY_GROUPLINE))
        return false;
    char line[LIST_TEXTSIZE], name[ADDRBOOK_NAMESIZE], entry[LIST_TEXTSIZE];
    return list_text(list, index, line, sizeof line) &&
           split_line(line, name, sizeof name, entry, sizeof entry) && lstrcmpiA(name, group) == 0;
}

/* Deletes entry `index` and the lines of `group` that move up into its
 * place.  Stops at the end of the list and on any list failure. */
void delete_with_lines(HWND list, int index, const char *group)
{
    if (SendMessageA(list, LB_DELETESTRING, (WPARAM)index, 0) == LB_ERR)
        return;
    for (;;) {
        LRESULT count = SendMessageA(list, LB_GETCOUNT, 0, 0);
        if (count == LB_ERR || index >= count || !is_line_of(list, index, group))
            return;
        if (SendMessageA(list, LB_DELETESTRING, (WPARAM)index, 0) == LB_ERR)
            return;
    }
}

/* Takes `group` and its lines out of the list, wherever they are. */
void unlist_group(HWND list, const char *group)
{
    LRESULT count = SendMessageA(list, LB_GETCOUNT, 0, 0);
    for (LRESULT i = 0; count != LB_ERR && i < count;) {
        LRESULT flag = SendMessageA(list, LB_GETITEMDATA, (WPARAM)i, 0);
        char text[LIST_TEXTSIZE];
        bool drop = false;
        if (flag == LB_ERR)
            return;
        if (flag & ENTRY_GROUP)
            drop = list_text(list, (int)i, text, sizeof text) && lstrcmpiA(text, group) == 0;
        else if (flag & ENTRY_GROUPLINE)
            drop = is_line_of(list, (int)i, group);
        if (!drop) {
            ++i;
            continue;
        }
        LRESULT left = SendMessageA(list, LB_DELETESTRING, (WPARAM)i, 0);
        if (left == LB_ERR || left >= count)
            return;
        count = left;
    }
}

/* Lists `group` as the file has it (nothing when the file has no such
 * group), with its members under it when `lines`. */
void list_group_from_file(HWND list, const char *group, bool lines, bool select)
{
    char name[ADDRBOOK_NAMESIZE];
    if (!file_key(ADDRBOOK_ReadGroups, group, name, sizeof name))
        return;
    int at = LIST_InsertEntry(list, name, ENTRY_GROUP);
    if (at < 0)
        return;
    if (select)
        SendMessageA(list, LB_SETSEL, TRUE, at);
    if (lines)
        list_group_members(list, name, ENTRY_GROUPLINE);
}

INT_PTR book_init(HWND dlg)
{
    HWND list = book_list(dlg);
    list_groups(list);
    list_users(list);
    update_buttons(dlg);
    return TRUE;
}

/* Copies a group (as its members) or a user into the invitation list. */
void transfer(HWND invitations, DWORD flag, const char *text)
{
    if (!invitations)
        return;
    if (flag & ENTRY_GROUP)
        list_group_members(invitations, text, ENTRY_USER);
    else if (flag & ENTRY_USER)
        LIST_InsertEntry(invitations, text, ENTRY_USER);
}

void book_pick(HWND dlg)
{
    HWND list = book_list(dlg);
    LRESULT at = SendMessageA(list, LB_GETCURSEL, 0, 0);
    if (at == LB_ERR)
        return;
    LRESULT flag = SendMessageA(list, LB_GETITEMDATA, (WPARAM)at, 0);
    char text[LIST_TEXTSIZE];
    if (flag == LB_ERR || !list_text(list, (int)at, text, sizeof text))
        return;
    /* Deselected, so that Close does not copy it a second time. */
    SendMessageA(list, LB_SETSEL, FALSE, at);
    update_buttons(dlg);
    if (flag & ENTRY_GROUPLINE) {
        /* A member picked under its group is invited alone. */
        char group[ADDRBOOK_NAMESIZE], entry[LIST_TEXTSIZE];
        if (split_line(text, group, sizeof group, entry, sizeof entry) && invitation_list(dlg))
            LIST_InsertEntry(invitation_list(dlg), entry, ENTRY_USER);
        return;
    }
    transfer(invitation_list(dlg), (DWORD)flag, text);
}

void book_transfer_selection(HWND dlg)
{
    HWND list = book_list(dlg);
    HWND invitations = invitation_list(dlg);
    LRESULT count = SendMessageA(list, LB_GETCOUNT, 0, 0);
    if (count == LB_ERR || count <= 0 || !invitations)
        return;
    for (LRESULT i = 0; i < count; ++i) {
        LRESULT selected = SendMessageA(list, LB_GETSEL, (WPARAM)i, 0);
        if (selected == LB_ERR)
            return;
        if (selected <= 0)
            continue;
        LRESULT flag = SendMessageA(list, LB_GETITEMDATA, (WPARAM)i, 0);
        char text[LIST_TEXTSIZE];
        if (flag == LB_ERR || !list_text(list, (int)i, text, sizeof text))
            continue;
        transfer(invitations, (DWORD)flag, text); /* group lines are not copied */
    }
}

void book_new_address(HWND dlg)
{
    char title[TITLE_SIZE];
    load_title(dlg, STR_NEWADDRESS, title);
    char text[LIST_TEXTSIZE] = "";
    if (MEMBER_DoDialog(dlg, title, text) != 1)
        return;
    if (!ADDRBOOK_AddUser(text)) {
        MessageBeep(0);
        return;
    }
    /* The file holds the entry without leading blanks; so does the list.
     * An entry already listed beeps: its key was only written again. */
    LIST_InsertEntry(book_list(dlg), ADDR_SkipBlanks(text), ENTRY_USER);
    update_buttons(dlg);
}

void book_new_group(HWND dlg)
{
    char title[TITLE_SIZE];
    load_title(dlg, STR_NEWGROUP, title);
    char name[ADDRBOOK_NAMESIZE] = "";
    HGLOBAL members = nullptr;
    if (GROUP_DoDialog(dlg, title, name, &members) != 1 || !members) {
        if (members)
            GlobalFree(members);
        return;
    }
    char group[ADDRBOOK_NAMESIZE];
    bool ok = ADDRBOOK_TrimName(name, group) != 0;
    if (ok && file_key(ADDRBOOK_ReadGroups, group, nullptr, 0)) {
        /* Another group of that name: saving would merge the two. */
        ok = false;
    } else if (ok && !ADDRBOOK_WriteGroup(group, members)) {
        /* Whatever part of it reached the file goes again. */
        ADDRBOOK_DeleteGroup(group);
        ok = false;
    }
    GlobalFree(members);
    if (!ok) {
        MessageBeep(0);
        return;
    }
    HWND list = book_list(dlg);
    unlist_group(list, group);
    list_group_from_file(list, group, false, false);
    update_buttons(dlg);
}

/* The entry selected alone (Change is offered for exactly one). */
int single_selection(HWND list)
{
    if (SendMessageA(list, LB_GETSELCOUNT, 0, 0) != 1)
        return LB_ERR;
    int at = LB_ERR;
    if (SendMessageA(list, LB_GETSELITEMS, 1, (LPARAM)&at) != 1)
        return LB_ERR;
    return at;
}

/* Finds the entry of exactly `text` with flag `flag`; LB_ERR when none. */
int find_entry(HWND list, const char *text, DWORD flag)
{
    LRESULT count = SendMessageA(list, LB_GETCOUNT, 0, 0);
    for (LRESULT i = 0; count != LB_ERR && i < count; ++i) {
        LRESULT data = SendMessageA(list, LB_GETITEMDATA, (WPARAM)i, 0);
        char entry[LIST_TEXTSIZE];
        if (data == LB_ERR)
            return LB_ERR;
        if ((DWORD)data == flag && list_text(list, (int)i, entry, sizeof entry) &&
            strcmp(entry, text) == 0)
            return (int)i;
    }
    return LB_ERR;
}

void select_entry(HWND list, int at)
{
    if (at >= 0) /* LB_SETSEL with -1 would select every entry */
        SendMessageA(list, LB_SETSEL, TRUE, at);
}

void change_user(HWND dlg, const char *old_text)
{
    char title[TITLE_SIZE];
    load_title(dlg, STR_CHANGEADDRESS, title);
    char text[LIST_TEXTSIZE];
    snprintf(text, sizeof text, "%s", old_text);
    if (MEMBER_DoDialog(dlg, title, text) != 1 || strcmp(text, old_text) == 0)
        return;
    if (!ADDRBOOK_RenameUser(old_text, text))
        MessageBeep(0);

    HWND list = book_list(dlg);
    char now[LIST_TEXTSIZE];
    HGLOBAL users = ADDRBOOK_ReadUsers();
    bool old_stays = block_has_exactly(users, old_text);
    bool new_there = block_find(users, ADDR_SkipBlanks(text), now, sizeof now);
    if (users)
        GlobalFree(users);
    int at = find_entry(list, old_text, ENTRY_USER);
    if (!old_stays && at >= 0)
        SendMessageA(list, LB_DELETESTRING, (WPARAM)at, 0);
    if (new_there && (!old_stays || strcmp(now, old_text) != 0)) {
        /* Renamed onto a user already listed: that entry is the one. */
        int listed = find_entry(list, now, ENTRY_USER);
        select_entry(list, listed >= 0 ? listed : LIST_InsertEntry(list, now, ENTRY_USER));
    }
}

void change_group_line(HWND dlg, const char *old_line)
{
    char group[ADDRBOOK_NAMESIZE], old_entry[LIST_TEXTSIZE];
    if (!split_line(old_line, group, sizeof group, old_entry, sizeof old_entry))
        return;
    char title[TITLE_SIZE];
    load_title(dlg, STR_CHANGEADDRESS, title);
    char text[LIST_TEXTSIZE];
    snprintf(text, sizeof text, "%s", old_entry);
    if (MEMBER_DoDialog(dlg, title, text) != 1 || strcmp(text, old_entry) == 0)
        return;
    if (!ADDRBOOK_RenameKey(group, old_entry, text))
        MessageBeep(0);

    /* The line follows the file. */
    HWND list = book_list(dlg);
    char now[LIST_TEXTSIZE];
    bool old_stays = group_key(group, old_entry, nullptr, 0, true);
    bool new_there = group_key(group, ADDR_SkipBlanks(text), now, sizeof now, false);
    int at = find_entry(list, old_line, ENTRY_GROUPLINE);
    if (!old_stays && at >= 0)
        SendMessageA(list, LB_DELETESTRING, (WPARAM)at, 0);
    if (new_there && (!old_stays || strcmp(now, old_entry) != 0)) {
        char line[LINE_SIZE];
        snprintf(line, sizeof line, "%s\t%s", group, now);
        int listed = find_entry(list, line, ENTRY_GROUPLINE);
        select_entry(list, listed >= 0 ? listed : LIST_InsertEntry(list, line, ENTRY_GROUPLINE));
    }
}

/* Whether every member of the block can be written as a key. */
bool members_fit(HGLOBAL members)
{
    bool fit = true, any = false;
    each_name(members, [&](const char *name) {
        any = true;
        fit = ADDRBOOK_EntryFits(ADDR_SkipBlanks(name)) != 0;
        return fit;
    });
    return fit && any;
}

/* Writes group `old_name` (whose members were `before`) under a new
 * spelling of its name, `name`, with `members`.  The file matches names
 * without regard to letter case and keeps the spelling a name was first
 * written with, so the old group has to go first; should the new one not
 * be written whole, whatever reached the file goes and the old group is
 * written back. */
bool respell_group(const char *old_name, const char *name, HGLOBAL before, HGLOBAL members)
{
    if (ADDRBOOK_DeleteGroup(old_name) && ADDRBOOK_WriteGroup(name, members))
        return true;
    ADDRBOOK_DeleteGroup(name);
    if (before)
        ADDRBOOK_WriteGroup(old_name, before);
    return false;
}

/* Replaces group `old_name` by `name` with `members`.  Under another name
 * the new group is written before the old one goes, so a write that fails
 * never loses the group; false when the file did not take all of it. */
bool replace_group(const char *old_name, const char *name, HGLOBAL before, HGLOBAL members)
{
    if (lstrcmpiA(old_name, name) != 0) {
        if (!ADDRBOOK_WriteGroup(name, members)) {
            ADDRBOOK_DeleteGroup(name); /* did not exist before */
            return false;
        }
        return ADDRBOOK_DeleteGroup(old_name) != 0;
    }
    if (strcmp(old_name, name) != 0)
        return respell_group(old_name, name, before, members);
    /* The same group: the chosen members are written, then those no longer
     * chosen leave its section. */
    if (!ADDRBOOK_WriteGroup(name, members))
        return false;
    bool ok = true;
    each_name(before, [&](const char *member) {
        if (!block_find(members, member, nullptr, 0) && !ADDRBOOK_DeleteGroupLine(name, member))
            ok = false;
        return true;
    });
    return ok;
}

/* Whether the list shows lines of `group`. */
bool shows_lines(HWND list, const char *group)
{
    LRESULT count = SendMessageA(list, LB_GETCOUNT, 0, 0);
    for (LRESULT i = 0; count != LB_ERR && i < count; ++i)
        if (is_line_of(list, (int)i, group))
            return true;
    return false;
}

void change_group(HWND dlg, const char *old_text)
{
    char old_name[ADDRBOOK_NAMESIZE];
    if (!ADDRBOOK_TrimName(old_text, old_name))
        return;
    HGLOBAL before = ADDRBOOK_ReadGroupMembers(old_name);
    HGLOBAL members = ADDRBOOK_ReadGroupMembers(old_name);
    char title[TITLE_SIZE];
    load_title(dlg, STR_CHANGEGROUP, title);
    char name[ADDRBOOK_NAMESIZE];
    snprintf(name, sizeof name, "%s", old_name);
    if (GROUP_DoDialog(dlg, title, name, &members) == 1 && members) {
        HWND list = book_list(dlg);
        char group[ADDRBOOK_NAMESIZE];
        bool renamed = ADDRBOOK_TrimName(name, group) && lstrcmpiA(group, old_name) != 0;
        /* Checked before anything is written: a name or member the file
         * cannot hold, or a rename onto another group (the two would
         * merge), changes nothing at all. */
        bool fits = group[0] && ADDRBOOK_GroupNameFits(group) && members_fit(members) &&
                    !(renamed && file_key(ADDRBOOK_ReadGroups, group, nullptr, 0));
        if (!fits) {
            MessageBeep(0);
        } else {
            bool had_lines = shows_lines(list, old_name);
            bool ok = replace_group(old_name, group, before, members);
            if (!ok)
                MessageBeep(0);
            /* The list follows the file: the group that holds the change
             * shows its members under it. */
            unlist_group(list, old_name);
            if (renamed)
                unlist_group(list, group);
            if (renamed && ok) {
                list_group_from_file(list, old_name, false, false);
                list_group_from_file(list, group, true, true);
            } else if (renamed) {
                list_group_from_file(list, old_name, had_lines, true);
                list_group_from_file(list, group, false, false);
            } else {
                list_group_from_file(list, old_name, ok || had_lines, true);
            }
            update_buttons(dlg);
        }
    }
    if (members)
        GlobalFree(members);
    if (before)
        GlobalFree(before);
}

void book_change(HWND dlg)
{
    HWND list = book_list(dlg);
    int at = single_selection(list);
    if (at == LB_ERR)
        return;
    char text[LIST_TEXTSIZE];
    LRESULT flag = SendMessageA(list, LB_GETITEMDATA, (WPARAM)at, 0);
    if (flag == LB_ERR || !list_text(list, at, text, sizeof text))
        return;
    if (flag & ENTRY_USER)
        change_user(dlg, text);
    else if (flag & ENTRY_GROUPLINE)
        change_group_line(dlg, text);
    else if (flag & ENTRY_GROUP)
        change_group(dlg, text);
}

/* The only message box of the library: true to go on deleting. */
bool confirm_delete(HWND dlg)
{
    char question[QUESTION_SIZE];
    if (LoadStringA(dialog_instance(dlg), STR_DELETETEXT, question, QUESTION_SIZE) <= 0)
        return true; /* without its text nothing can be asked */
    char caption[CAPTION_SIZE];
    if (LoadStringA(dialog_instance(dlg), STR_DELETECAPTION, caption, CAPTION_SIZE) <= 0)
        caption[0] = '\0';
    /* Only a Yes deletes: a box that could not be shown is no answer. */
    return MessageBoxA(dlg, question, caption, MB_YESNO) == IDYES;
}

/* Deletes one selected entry from the file and, when that worked, from the
 * list; false when the list failed. */
bool delete_entry(HWND list, int at)
{
    LRESULT flag = SendMessageA(list, LB_GETITEMDATA, (WPARAM)at, 0);
    char text[LIST_TEXTSIZE];
    if (flag == LB_ERR || !list_text(list, at, text, sizeof text))
        return flag != LB_ERR;
    if (flag & ENTRY_USER) {
        if (!ADDRBOOK_DeleteUser(text)) {
            MessageBeep(0);
            return true;
        }
        return SendMessageA(list, LB_DELETESTRING, (WPARAM)at, 0) != LB_ERR;
    }
    if (flag & ENTRY_GROUP) {
        if (!ADDRBOOK_DeleteGroup(text)) {
            MessageBeep(0);
            return true;
        }
        delete_with_lines(list, at, text);
        return true;
    }
    if (flag & ENTRY_GROUPLINE) {
        char group[ADDRBOOK_NAMESIZE], entry[LIST_TEXTSIZE];
        if (split_line(text, group, sizeof group, entry, sizeof entry) &&
            !ADDRBOOK_DeleteGroupLine(group, entry)) {
            MessageBeep(0);
            return true;
        }
        return SendMessageA(list, LB_DELETESTRING, (WPARAM)at, 0) != LB_ERR;
    }
    return true;
}

void book_delete(HWND dlg)
{
    HWND list = book_list(dlg);
    LRESULT count = SendMessageA(list, LB_GETCOUNT, 0, 0);
    LRESULT selected = SendMessageA(list, LB_GETSELCOUNT, 0, 0);
    if (count == LB_ERR || count <= 0 || selected == LB_ERR || selected <= 0)
        return;
    if (!confirm_delete(dlg))
        return;
    /* From the last entry up: deleting an entry (and the lines under a
     * group) moves only entries that were already visited. */
    for (LRESULT i = count - 1; i >= 0; --i) {
        LRESULT now = SendMessageA(list, LB_GETCOUNT, 0, 0);
        if (now == LB_ERR)
            break;
        if (i >= now)
            continue;
        LRESULT sel = SendMessageA(list, LB_GETSEL, (WPARAM)i, 0);
        if (sel == LB_ERR)
            break;
        if (sel > 0 && !delete_entry(list, (int)i))
            break;
    }
    update_buttons(dlg);
}

INT_PTR book_command(HWND dlg, int id, int code)
{
    switch (id) {
    case ID_CLOSE: /* also Esc and the system menu's Close */
        book_transfer_selection(dlg);
        EndDialog(dlg, 0);
        return TRUE;
    case ID_HELP:
        WinHelpA(dlg, HELP_FILE, HELP_CONTEXT, HELP_TOPIC);
        return TRUE;
    case ID_LIST:
        if (code == LBN_SELCHANGE)
            update_buttons(dlg);
        else if (code == LBN_DBLCLK)
            book_pick(dlg);
        else
            return FALSE;
        return TRUE;
    case ID_NEWADDRESS:
        book_new_address(dlg);
        return TRUE;
    case ID_NEWGROUP:
        book_new_group(dlg);
        return TRUE;
    case ID_CHANGE:
        book_change(dlg);
        return TRUE;
    case ID_DELETE:
        book_delete(dlg);
        return TRUE;
    default:
        return FALSE; /* Enter (IDOK) too: there is no OK here */
    }
}

} // namespace

extern "C" INT_PTR CALLBACK ADDRBOOK_DlgProc(HWND dlg, UINT msg, WPARAM wparam, LPARAM lparam)
{
    switch (msg) {
    case WM_INITDIALOG:
        return book_init(dlg);
    case WM_COMMAND:
        return book_command(dlg, LOWORD(wparam), HIWORD(wparam));
    case WM_DRAWITEM:
    case WM_MEASUREITEM:
        return LIST_OwnerDraw(msg, lparam);
    default:
        return FALSE;
    }
}

extern "C" void ADDRBOOK_DoDialog(HWND owner)
{
    HINSTANCE instance = owner ? (HINSTANCE)GetWindowLongPtrA(owner, GWLP_HINSTANCE) : nullptr;
    if (!instance)
        instance = LIB_Instance;
    DialogBoxParamA(instance, MAKEINTRESOURCEA(ADDRBOOK_DIALOG), owner, ADDRBOOK_DlgProc, 0);
}
