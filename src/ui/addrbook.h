/*
 * The address book: its store (a profile file at LIB_Settings.addressbook,
 * read and written through GetPrivateProfileStringA and
 * WritePrivateProfileStringA, no copy in memory) and its dialogs.
 *
 * File format: section "users" with one key per user entry text; section
 * "groups" with one key per group name; one section per group, named by the
 * group, with one key per member entry text.  Every value is empty.
 *
 * Member block: movable, zero-initialised global memory holding names as
 * zero-terminated strings one after another, ended by an empty string.
 *
 * Every operation returns 0 (or no block) without touching the file when the
 * path is empty, an argument is null, a name is empty after trimming, or a
 * text cannot be held by the file format: longer than 255 characters (group
 * names: 127), containing "=" or a line break, beginning with ";" or "[", or
 * a group named "users" or "groups" in any letter case.  Nothing is ever cut.
 */
#ifndef CALLMGR_UI_ADDRBOOK_H
#define CALLMGR_UI_ADDRBOOK_H

#include <windows.h>

#ifdef __cplusplus
extern "C" {
#endif

#define ADDRBOOK_NAMESIZE 128 /* group names: at most 127 characters */

/* Key names of `section` (exactly as passed), all of them whatever their
 * number, as a member block that the caller owns and releases with
 * GlobalFree; null when the section is missing or empty, the path is
 * empty, or memory runs out (never a list cut short). */
HGLOBAL ADDRBOOK_ReadSection(const char *section);
HGLOBAL ADDRBOOK_ReadUsers(void);                     /* section "users" */
HGLOBAL ADDRBOOK_ReadGroups(void);                    /* section "groups" */
HGLOBAL ADDRBOOK_ReadGroupMembers(const char *group); /* section `group` */
/* Writes `entry` (leading blanks skipped) as a key of "users".
 * 1 written, 0 not (refused, or the file could not be written). */
int ADDRBOOK_AddUser(const char *entry);
/* Deletes the key `entry` (leading blanks skipped) from "users"; 1 or 0. */
int ADDRBOOK_DeleteUser(const char *entry);
/* Deletes `old_key` from `section` (trimmed), then writes `new_key`; 1 both
 * writes succeeded, 0 not (when only the new key failed, the old one is
 * written back). */
int ADDRBOOK_RenameKey(const char *section, const char *old_key, const char *new_key);
/* ADDRBOOK_RenameKey on "users". */
int ADDRBOOK_RenameUser(const char *old_entry, const char *new_entry);
/* Writes `group` (trimmed) as a key of "groups" and every name of the member
 * block `members` as a key of the group's section.  Keys already in that
 * section stay.  The block stays the caller's.  1 all written, 0 not
 * (a refused member refuses the whole group before anything is written). */
int ADDRBOOK_WriteGroup(const char *group, HGLOBAL members);
/* Deletes `group` (trimmed) from "groups" and its whole section; 1 or 0. */
int ADDRBOOK_DeleteGroup(const char *group);
/* Deletes the key `entry` from the section of `group` (trimmed); 1 or 0. */
int ADDRBOOK_DeleteGroupLine(const char *group, const char *entry);

/* The New/Change Address dialog (MEMBER_DIALOG).  `text` (LIST_TEXTSIZE
 * bytes, the caller's) holds the entry to edit ("" for a new one) and
 * receives the composed entry on OK.  Returns 1 for OK; 0 for Cancel, a
 * null text or a dialog that could not run (text untouched then).  The
 * dialogs here are modal: their loops dispatch messages, so the library may
 * be entered again before they return. */
int MEMBER_DoDialog(HWND owner, const char *title, char *text);
/* The Group dialog (GROUP_DIALOG).  `name` (ADDRBOOK_NAMESIZE bytes, the
 * caller's) holds the group name and receives the new one on OK; *members
 * is the caller's member block of the group (may be null).  On OK with a
 * selection the dialog releases the caller's old block and stores a new one
 * in *members (the caller owns it).  Returns 1 for OK; 0 for Cancel, null
 * arguments or a dialog that could not run (name and block untouched). */
int GROUP_DoDialog(HWND owner, const char *title, char *name, HGLOBAL *members);
/* The Address Book dialog (ADDRBOOK_DIALOG), on the book named by
 * LIB_Settings.addressbook.  Every change the user makes is written to the
 * file at once; there is nothing to return.  Made with `owner`'s instance,
 * or the library's when the owner has none. */
void ADDRBOOK_DoDialog(HWND owner);

#ifdef __cplusplus
}
#endif

#endif
