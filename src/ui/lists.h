/*
 * The owner-drawn address lists shared by the Invite, Address Book and Group
 * dialogs: the entry text form ("real name <address>"), the item flags kept
 * as each item's data, ordered insertion that refuses duplicates, and the
 * drawing of one entry with its icon from the strip in bitmap ICONS_BITMAP.
 *
 * Entry texts never exceed 255 characters: every insertion refuses a longer
 * text, and every list text read goes into a LIST_TEXTSIZE buffer only after
 * its length has been checked.
 */
#ifndef CALLMGR_UI_LISTS_H
#define CALLMGR_UI_LISTS_H

#include <windows.h>

#ifdef __cplusplus
extern "C" {
#endif

/* Item flags (the item data of every list entry; exactly one is set).  A
 * list holds first the entries without ENTRY_USER, then the user entries. */
#define ENTRY_USER 1      /* a user; in the invitation list a new invitee */
#define ENTRY_GROUP 2     /* a group (Address Book list only) */
#define ENTRY_GROUPLINE 4 /* "group\tentry": a member under its group */
#define ENTRY_INCALL 16   /* a member of the existing call, drawn grey */

#define LIST_ITEMHEIGHT 20 /* answer to WM_MEASUREITEM of every address list */
#define LIST_TEXTSIZE 256  /* entry texts hold at most 255 characters */

/* Loads the icon strip (bitmap ICONS_BITMAP of `instance`), releasing any strip
 * loaded before.  The module keeps the bitmap; LIST_FreeIcons releases it.
 * Without the bitmap the cell size stays 0 and entries draw without icons. */
void LIST_LoadIcons(HINSTANCE instance);
/* Deletes the loaded strip (if any); the cell size returns to 0. */
void LIST_FreeIcons(void);
/* Draws cell `cell` of the strip with its mask at `at` on `dc`; nothing when
 * no strip is loaded.  The caller keeps `dc`. */
void LIST_DrawIcon(HDC dc, POINT at, int cell);
/* Draws one entry of an address list (WM_DRAWITEM).  Reads the item's text
 * and data from item->hwndItem; draws nothing for a negative index. */
void LIST_DrawEntry(const DRAWITEMSTRUCT *item);
/* Answers WM_MEASUREITEM (LIST_ITEMHEIGHT) and WM_DRAWITEM (LIST_DrawEntry)
 * for a dialog whose owner-drawn lists are address lists: TRUE when `msg`
 * was one of them (the dialog procedure returns TRUE then). */
BOOL LIST_OwnerDraw(UINT msg, LPARAM lparam);
/* Cuts an entry text in place to its displayed part: the text before the
 * first "<" without the blanks in front of it.  A text without "<" stays. */
void LIST_DisplayName(char *text);
/* Inserts `text` (copied by the list) with item data `flag` in its place:
 * groups and group lines before user entries, each part sorted without
 * regard to letter case.  Returns the index, or LB_ERR (-1) when refused
 * (duplicate: beeps; longer than 255: beeps) or the list failed. */
int LIST_InsertEntry(HWND list, const char *text, DWORD flag);
/* Composes "name <address>" from the dialog's fields `name_id` and
 * `address_id` into `out` (`limit` bytes, terminator included).  Returns 1
 * composed into out; 0 the address field is empty or blanks; -1 the entry
 * would not fit in `limit` bytes with its terminator (refused, never cut;
 * the caller beeps).  On 0 and -1 `out` holds the empty string (when
 * limit > 0). */
int LIST_ComposeEntry(HWND dialog, char *out, int limit, int name_id, int address_id);
/* Splits an entry text: the real name (text before "<", trimmed) and the
 * address (between "<" and ">", trimmed).  A text without "<" yields itself,
 * trimmed, from both.  `out` (`size` bytes) always ends with a zero when
 * size > 0; a longer result is cut there. */
void ENTRY_GetName(const char *entry, char *out, size_t size);
void ENTRY_GetAddress(const char *entry, char *out, size_t size);

#ifdef __cplusplus
}
#endif

#endif
