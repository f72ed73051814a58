/*
 * The owner-drawn address lists: entry texts, ordered insertion and the
 * drawing of one entry with its icon.
 *
 * Every list holds first the entries that are not users (groups, group
 * lines, members of the running call), then the user entries; each part is
 * sorted as lstrcmpiA compares.  The lists' texts never exceed 255
 * characters, so one LIST_TEXTSIZE buffer holds any of them; a text read
 * from a list is measured first and skipped when it would not fit.
 */
#include "members/members.h"
#include "ui/lists.h"
#include "resources/resource.h"

#include <stdio.h>
#include <string.h>

namespace {

const int LIST_ADDRBOOK = 202; /* the Address Book list indents group lines */
const int LIST_USERCELL = 2;   /* one face */
const int LIST_GROUPCELL = 3;  /* two faces */
const int LIST_CELLS = 6;
const int LIST_ICONGAP = 4;
const UINT LIST_TEXTFORMAT = DT_NOPREFIX | DT_VCENTER;
const size_t LIST_MAXTEXT = LIST_TEXTSIZE - 1;

/* The icon strip and its cell size; all zero while no strip is loaded. */
HBITMAP LIST_Strip;
int LIST_CellWidth;
int LIST_CellHeight;

/* Removes trailing blanks, never the first character. */
void trim_end(char *text)
{
    size_t n = strlen(text);
    while (n > 1 && ADDR_IsBlank(text[n - 1]))
        text[--n] = '\0';
}

/* Copies `len` characters of `from` into `out` (`size` bytes), cut at the
 * end of `out` and always terminated. */
void copy_part(char *out, size_t size, const char *from, size_t len)
{
    if (len > size - 1)
        len = size - 1;
    memcpy(out, from, len);
    out[len] = '\0';
}

/* Reads the text of entry `index` into `text` (LIST_TEXTSIZE bytes).  An
 * entry that cannot be read or is too long for the buffer gives false and
 * leaves `text` empty. */
bool read_entry(HWND list, int index, char *text)
{
    text[0] = '\0';
    LRESULT len = SendMessageA(list, LB_GETTEXTLEN, (WPARAM)index, 0);
    if (len == LB_ERR || len < 0 || (size_t)len > LIST_MAXTEXT)
        return false;
    if (SendMessageA(list, LB_GETTEXT, (WPARAM)index, (LPARAM)text) == LB_ERR) {
        text[0] = '\0';
        return false;
    }
    return true;
}

/* Outcome of comparing the new text with the entry at one position. */
enum Step { STEP_ON, STEP_HERE, STEP_FAIL, STEP_DUPLICATE };

Step compare_at(HWND list, int index, const char *text)
{
    LRESULT len = SendMessageA(list, LB_GETTEXTLEN, (WPARAM)index, 0);
    if (len == LB_ERR || len < 0)
        return STEP_FAIL;
    /* A text no insertion would have accepted cannot be read into the
     * buffer; it is passed over as if it sorted before the new one. */
    if ((size_t)len > LIST_MAXTEXT)
        return STEP_ON;
    char other[LIST_TEXTSIZE];
    if (SendMessageA(list, LB_GETTEXT, (WPARAM)index, (LPARAM)other) == LB_ERR)
        return STEP_FAIL;
    int order = lstrcmpiA(text, other);
    if (order == 0)
        return STEP_DUPLICATE;
    return order < 0 ? STEP_HERE : STEP_ON;
}

} // namespace

extern "C" void LIST_FreeIcons(void)
{
    if (LIST_Strip)
        DeleteObject(LIST_Strip);
    LIST_Strip = nullptr;
    LIST_CellWidth = 0;
    LIST_CellHeight = 0;
}

extern "C" void LIST_LoadIcons(HINSTANCE instance)
{
    LIST_FreeIcons();
    LIST_Strip = LoadBitmapA(instance, MAKEINTRESOURCEA(ICONS_BITMAP));
    BITMAP bm;
    if (LIST_Strip && GetObjectA(LIST_Strip, sizeof bm, &bm)) {
        LIST_CellWidth = bm.bmWidth / LIST_CELLS;
        LIST_CellHeight = bm.bmHeight / 2;
    }
}

extern "C" void LIST_DrawIcon(HDC dc, POINT at, int cell)
{
    if (!LIST_Strip || LIST_CellWidth <= 0 || LIST_CellHeight <= 0)
        return;
    HDC strip = CreateCompatibleDC(dc);
    if (!strip)
        return;
    HGDIOBJ old = SelectObject(strip, LIST_Strip);
    int x = LIST_CellWidth * cell;
    /* The mask (upper half) clears the picture's place, keeping the list
     * background where it is white; the picture (lower half, on black) is
     * then mixed in. */
    BitBlt(dc, at.x, at.y, LIST_CellWidth, LIST_CellHeight, strip, x, 0, SRCAND);
    BitBlt(dc, at.x, at.y, LIST_CellWidth, LIST_CellHeight, strip, x, LIST_CellHeight, SRCINVERT);
    SelectObject(strip, old);
    DeleteDC(strip);
}

extern "C" void LIST_DrawEntry(const DRAWITEMSTRUCT *item)
{
    /* An empty list that gets the focus asks for item -1. */
    if (!item || (int)item->itemID < 0)
        return;
    HDC dc = item->hDC;
    RECT rc = item->rcItem;
    DWORD flag = (DWORD)item->itemData;
    COLORREF background = GetSysColor(COLOR_WINDOW);
    COLORREF old_text = 0, old_back = 0;
    bool text_set = false, back_set = false;
    if (flag & ENTRY_INCALL) {
        /* Members of the running call cannot be picked: no selection. */
        old_text = SetTextColor(dc, GetSysColor(COLOR_GRAYTEXT));
        text_set = true;
    } else if (item->itemState & ODS_SELECTED) {
        old_text = SetTextColor(dc, GetSysColor(COLOR_HIGHLIGHTTEXT));
        background = GetSysColor(COLOR_HIGHLIGHT);
        old_back = SetBkColor(dc, background);
        text_set = back_set = true;
    }
    HBRUSH brush = CreateSolidBrush(background);
    if (brush) {
        FillRect(dc, &rc, brush);
        DeleteObject(brush);
    }
    if ((item->itemAction & ODA_FOCUS) && (item->itemState & ODS_FOCUS))
        DrawFocusRect(dc, &rc);
    rc.left += 1;
    rc.top += 1;
    rc.right -= 1;
    rc.bottom -= 1;

    char text[LIST_TEXTSIZE];
    read_entry(item->hwndItem, (int)item->itemID, text);
    const char *shown = text;
    int cell = LIST_USERCELL;
    if (item->CtlID == LIST_ADDRBOOK) {
        if (flag & ENTRY_GROUP) {
            cell = LIST_GROUPCELL;
        } else if (flag & ENTRY_GROUPLINE) {
            const char *tab = strchr(text, '\t');
            shown = tab ? tab + 1 : "";
            rc.left += LIST_CellWidth + LIST_ICONGAP;
        }
    }
    POINT at = {rc.left, rc.top};
    LIST_DrawIcon(dc, at, cell);
    rc.left += LIST_CellWidth + LIST_ICONGAP;

    char name[LIST_TEXTSIZE];
    snprintf(name, sizeof name, "%s", shown);
    LIST_DisplayName(name);
    DrawTextA(dc, name, -1, &rc, LIST_TEXTFORMAT);

    if (text_set)
        SetTextColor(dc, old_text);
    if (back_set)
        SetBkColor(dc, old_back);
}

extern "C" void LIST_DisplayName(char *text)
{
    if (!text)
        return;
    char *open = strchr(text, '<');
    if (!open)
        return;
    if (open == text) {
        text[0] = '\0';
        return;
    }
    char *last = open - 1;
    while (last > text && ADDR_IsBlank(*last))
        --last;
    last[1] = '\0';
}

extern "C" int LIST_InsertEntry(HWND list, const char *text, DWORD flag)
{
    /* A message to a window that is gone answers 0, which would pass for
     * an empty list. */
    if (!text || !IsWindow(list))
        return LB_ERR;
    if (strlen(text) > LIST_MAXTEXT) {
        MessageBeep(0);
        return LB_ERR;
    }
    LRESULT count = SendMessageA(list, LB_GETCOUNT, 0, 0);
    if (count == LB_ERR || count < 0)
        return LB_ERR;
    int n = (int)count;
    int i = 0;
    /* The entry's part is decided by ENTRY_USER alone, so members of the
     * running call (ENTRY_INCALL) sort with the groups in front of the
     * users, where the list keeps every entry without that bit. */
    bool user = (flag & ENTRY_USER) != 0;
    if (user) {
        for (; i < n; ++i) {
            LRESULT data = SendMessageA(list, LB_GETITEMDATA, (WPARAM)i, 0);
            if (data == LB_ERR)
                return LB_ERR;
            if (data & ENTRY_USER)
                break;
        }
    }
    for (; i < n; ++i) {
        if (!user) {
            LRESULT data = SendMessageA(list, LB_GETITEMDATA, (WPARAM)i, 0);
            if (data == LB_ERR)
                return LB_ERR;
            if (data & ENTRY_USER)
                break;
        }
        Step step = compare_at(list, i, text);
        if (step == STEP_FAIL)
            return LB_ERR;
        if (step == STEP_DUPLICATE) {
            MessageBeep(0);
            return LB_ERR;
        }
        if (step == STEP_HERE)
            break;
    }
    LRESULT at = SendMessageA(list, LB_INSERTSTRING, (WPARAM)i, (LPARAM)text);
    if (at == LB_ERR || at == LB_ERRSPACE || at < 0)
        return LB_ERR;
    if (SendMessageA(list, LB_SETITEMDATA, (WPARAM)at, (LPARAM)flag) == LB_ERR) {
        /* An entry without its flag would be drawn and sorted wrongly. */
        SendMessageA(list, LB_DELETESTRING, (WPARAM)at, 0);
        return LB_ERR;
    }
    return (int)at;
}

extern "C" int LIST_ComposeEntry(HWND dialog, char *out, int limit, int name_id, int address_id)
{
    if (out && limit > 0)
        out[0] = '\0';
    /* Both fields are read whole (they have no length limit), so a text too
     * long for the entry is refused instead of being cut unnoticed. */
    HWND address_field = GetDlgItem(dialog, address_id);
    int address_len = address_field ? GetWindowTextLengthA(address_field) : 0;
    if (address_len <= 0)
        return 0;
    HWND name_field = GetDlgItem(dialog, name_id);
    int name_len = name_field ? GetWindowTextLengthA(name_field) : 0;
    if (name_len < 0)
        name_len = 0;
    char *fields = (char *)LocalAlloc(LPTR, (SIZE_T)address_len + 1 + (SIZE_T)name_len + 1);
    if (!fields)
        return -1;
    char *address_text = fields;
    char *name_text = fields + address_len + 1;
    int result = 0;
    int got = GetWindowTextA(address_field, address_text, address_len + 1);
    const char *address = ADDR_SkipBlanks(address_text);
    if (got > 0 && address[0]) {
        const char *name = address;
        size_t name_size = strlen(address);
        if (name_len > 0 && GetWindowTextA(name_field, name_text, name_len + 1) > 0) {
            name = ADDR_SkipBlanks(name_text);
            name_size = strlen(name);
        }
        /* The name part loses its trailing blanks, never its first
         * character. */
        while (name_size > 1 && ADDR_IsBlank(name[name_size - 1]))
            --name_size;
        size_t address_size = strlen(address);
        size_t need = name_size + 2 + address_size + 1 + 1;
        if (!out || limit <= 0 || need > (size_t)limit) {
            result = -1;
        } else {
            /* Every length is known and checked: the parts are copied. */
            char *at = out;
            memcpy(at, name, name_size);
            at += name_size;
            memcpy(at, " <", 2);
            at += 2;
            memcpy(at, address, address_size);
            at += address_size;
            at[0] = '>';
            at[1] = '\0';
            result = 1;
        }
    }
    LocalFree(fields);
    return result;
}

extern "C" void ENTRY_GetName(const char *entry, char *out, size_t size)
{
    if (!out || !size)
        return;
    out[0] = '\0';
    if (!entry)
        return;
    const char *from = ADDR_SkipBlanks(entry);
    const char *open = strchr(from, '<');
    copy_part(out, size, from, open ? (size_t)(open - from) : strlen(from));
    trim_end(out);
}

extern "C" void ENTRY_GetAddress(const char *entry, char *out, size_t size)
{
    if (!out || !size)
        return;
    out[0] = '\0';
    if (!entry)
        return;
    const char *open = strchr(entry, '<');
    const char *from = ADDR_SkipBlanks(open ? open + 1 : entry);
    const char *close = strchr(from, '>');
    copy_part(out, size, from, close ? (size_t)(close - from) : strlen(from));
    trim_end(out);
}

extern "C" BOOL LIST_OwnerDraw(UINT msg, LPARAM lparam)
{
    if (msg == WM_DRAWITEM) {
        if (lparam)
            LIST_DrawEntry((const DRAWITEMSTRUCT *)lparam);
        return TRUE;
    }
    if (msg == WM_MEASUREITEM) {
        if (lparam)
            ((MEASUREITEMSTRUCT *)lparam)->itemHeight = LIST_ITEMHEIGHT;
        return TRUE;
    }
    return FALSE;
}
