/*
 * The Group dialog (template 300): edits a group's name and picks its
 * members among the address book's users.  It reads the users but writes
 * nothing; the Address Book dialog that opened it stores the result.
 *
 * What the dialog edits lives in a record of the caller's, reached through
 * DWLP_USER, as in the Address dialog.
 */
#include "ui/addrbook.h"
#include "ui/addrkeys.h"
#include "ui/lists.h"
#include "api/api.h"
#include "resources/resource.h"

#include <stdio.h>
#include <string.h>

namespace {

const int GROUP_LIST = 302;
const int GROUP_NAME = 304;

struct GROUPDLG {
    const char *title;
    char name[ADDRBOOK_NAMESIZE]; /* the group's name, trimmed after OK */
    HGLOBAL members;              /* the caller's block on entry (may be null) */
    HGLOBAL chosen;               /* the block OK built, or null */
};

GROUPDLG *state_of(HWND dlg)
{
    return (GROUPDLG *)GetWindowLongPtrA(dlg, DWLP_USER);
}

/* Adds `text` to the list where the list's sort puts it, flagged as a user;
 * the index or LB_ERR.  A text longer than any list entry is refused with
 * a beep, as every insertion refuses it. */
int add_user(HWND list, const char *text)
{
    if (strlen(text) > LIST_TEXTSIZE - 1) {
        MessageBeep(0);
        return LB_ERR;
    }
    LRESULT at = SendMessageA(list, LB_ADDSTRING, 0, (LPARAM)text);
    if (at == LB_ERR || at == LB_ERRSPACE || at < 0)
        return LB_ERR;
    SendMessageA(list, LB_SETITEMDATA, (WPARAM)at, ENTRY_USER);
    return (int)at;
}

/* Reads the Group field whole and trims it into `out` (ADDRBOOK_NAMESIZE
 * bytes); false when it is no name a group can be stored under. */
bool read_name(HWND dlg, char *out)
{
    out[0] = '\0';
    HWND field = GetDlgItem(dlg, GROUP_NAME);
    int len = field ? GetWindowTextLengthA(field) : 0;
    if (len <= 0)
        return false;
    char *text = (char *)LocalAlloc(LPTR, (SIZE_T)len + 1);
    if (!text)
        return false;
    GetWindowTextA(field, text, len + 1);
    bool ok = ADDRBOOK_TrimName(text, out) && ADDRBOOK_GroupNameFits(out);
    LocalFree(text);
    return ok;
}

/* OK can be pressed exactly when the name is one the store takes (not
 * blank, not too long, not a fixed section) and a member is chosen. */
bool group_can_save(HWND dlg)
{
    char name[ADDRBOOK_NAMESIZE];
    if (!read_name(dlg, name))
        return false;
    LRESULT selected = SendDlgItemMessageA(dlg, GROUP_LIST, LB_GETSELCOUNT, 0, 0);
    return selected != LB_ERR && selected > 0;
}

void GROUP_UpdateOk(HWND dlg)
{
    EnableWindow(GetDlgItem(dlg, IDOK), group_can_save(dlg));
}

void select_members(HWND list, HGLOBAL members)
{
    SIZE_T size = GlobalSize(members);
    const char *block = (const char *)GlobalLock(members);
    if (!block)
        return;
    SIZE_T at = 0;
    while (at < size && block[at]) {
        SIZE_T len = strnlen(block + at, size - at);
        if (at + len >= size)
            break; /* a name without its end inside the block */
        const char *member = block + at;
        LRESULT index = SendMessageA(list, LB_FINDSTRINGEXACT, (WPARAM)-1, (LPARAM)member);
        /* A member that is no longer a user stays in the group unless the
         * user deselects it. */
        if (index == LB_ERR)
            index = add_user(list, member);
        /* LB_SETSEL with -1 would select every entry. */
        if (index >= 0)
            SendMessageA(list, LB_SETSEL, TRUE, index);
        at += len + 1;
    }
    GlobalUnlock(members);
}

INT_PTR GROUP_OnInitDialog(HWND dlg, GROUPDLG *state)
{
    SetWindowLongPtrA(dlg, DWLP_USER, (LONG_PTR)state);
    if (!state)
        return TRUE;
    if (state->title)
        SetWindowTextA(dlg, state->title);
    HWND field = GetDlgItem(dlg, GROUP_NAME);
    SetWindowTextA(field, state->name);
    SetFocus(field);
    SendMessageA(field, EM_SETSEL, 0, -1);

    HWND list = GetDlgItem(dlg, GROUP_LIST);
    HGLOBAL users = ADDRBOOK_ReadUsers();
    if (users) {
        const char *names = (const char *)GlobalLock(users);
        for (const char *name = names; name && *name; name += strlen(name) + 1)
            add_user(list, name);
        if (names)
            GlobalUnlock(users);
        GlobalFree(users);
    }
    /* Even with no users left the group's members are listed, and OK
     * follows the same rule as always: a group without a chosen member
     * cannot be saved. */
    if (state->members)
        select_members(list, state->members);
    GROUP_UpdateOk(dlg);
    return FALSE; /* the focus is set */
}

/* Builds the member block from the selection and reads the name back;
 * false, building nothing, when there is no selection or no memory. */
bool GROUP_CollectSelection(HWND dlg, GROUPDLG *state)
{
    HWND list = GetDlgItem(dlg, GROUP_LIST);
    LRESULT count = SendMessageA(list, LB_GETSELCOUNT, 0, 0);
    if (count == LB_ERR || count <= 0)
        return false;
    HGLOBAL index_block = GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, (SIZE_T)count * sizeof(int));
    int *indexes = index_block ? (int *)GlobalLock(index_block) : nullptr;
    LRESULT got = indexes ? SendMessageA(list, LB_GETSELITEMS, (WPARAM)count, (LPARAM)indexes) : 0;
    if (got == LB_ERR || got <= 0 || got > count) {
        if (indexes)
            GlobalUnlock(index_block);
        if (index_block)
            GlobalFree(index_block);
        return false;
    }
    SIZE_T size = 1;
    for (LRESULT i = 0; i < got; ++i) {
        LRESULT len = SendMessageA(list, LB_GETTEXTLEN, (WPARAM)indexes[i], 0);
        if (len != LB_ERR && len >= 0 && len <= LIST_TEXTSIZE - 1)
            size += (SIZE_T)len + 1;
    }
    HGLOBAL block = size > 1 ? GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, size) : nullptr;
    char *names = block ? (char *)GlobalLock(block) : nullptr;
    SIZE_T at = 0;
    if (names) {
        for (LRESULT i = 0; i < got; ++i) {
            LRESULT len = SendMessageA(list, LB_GETTEXTLEN, (WPARAM)indexes[i], 0);
            if (len == LB_ERR || len < 0 || len > LIST_TEXTSIZE - 1 || at + (SIZE_T)len + 1 >= size)
                continue;
            if (SendMessageA(list, LB_GETTEXT, (WPARAM)indexes[i], (LPARAM)(names + at)) == LB_ERR)
                continue;
            at += (SIZE_T)len + 1;
        }
        GlobalUnlock(block);
    }
    GlobalUnlock(index_block);
    GlobalFree(index_block);
    if (!names || at == 0) {
        if (block)
            GlobalFree(block);
        return false;
    }
    state->chosen = block;
    char name[ADDRBOOK_NAMESIZE];
    if (read_name(dlg, name))
        snprintf(state->name, sizeof state->name, "%s", name);
    return true;
}

INT_PTR GROUP_OnCommand(HWND dlg, GROUPDLG *state, int id, int code)
{
    switch (id) {
    case IDOK:
        /* Enter reaches here even while OK is disabled. */
        if (!state || !group_can_save(dlg)) {
            MessageBeep(0);
            return TRUE;
        }
        GROUP_CollectSelection(dlg, state);
        EndDialog(dlg, IDOK);
        return TRUE;
    case IDCANCEL:
        EndDialog(dlg, 0);
        return TRUE;
    case GROUP_LIST:
        if (code == LBN_SELCHANGE)
            GROUP_UpdateOk(dlg);
        return TRUE;
    case GROUP_NAME:
        if (code == EN_CHANGE)
            GROUP_UpdateOk(dlg);
        return TRUE;
    default:
        return FALSE;
    }
}

} // namespace

extern "C" INT_PTR CALLBACK GroupDlgProc(HWND dlg, UINT msg, WPARAM wparam, LPARAM lparam)
{
    switch (msg) {
    case WM_DRAWITEM:
    case WM_MEASUREITEM:
        return LIST_OwnerDraw(msg, lparam);
    case WM_INITDIALOG:
        return GROUP_OnInitDialog(dlg, (GROUPDLG *)lparam);
    case WM_COMMAND:
        return GROUP_OnCommand(dlg, state_of(dlg), LOWORD(wparam), HIWORD(wparam));
    default:
        return FALSE;
    }
}

extern "C" int GROUP_DoDialog(HWND owner, const char *title, char *name, HGLOBAL *members)
{
    if (!name || !members)
        return 0;
    GROUPDLG state{};
    state.title = title;
    snprintf(state.name, sizeof state.name, "%.*s", (int)(ADDRBOOK_NAMESIZE - 1), name);
    state.members = *members;
    HINSTANCE instance = owner ? (HINSTANCE)GetWindowLongPtrA(owner, GWLP_HINSTANCE) : nullptr;
    if (!instance)
        instance = LIB_Instance;
    INT_PTR end = DialogBoxParamA(instance, MAKEINTRESOURCEA(GROUP_DIALOG), owner, GroupDlgProc,
                                  (LPARAM)&state);
    /* Only OK counts: Cancel (0) and a dialog that could not be made (-1)
     * leave the caller's name and block as they were. */
    if (end != IDOK) {
        if (state.chosen)
            GlobalFree(state.chosen);
        return 0;
    }
    if (state.chosen) {
        snprintf(name, ADDRBOOK_NAMESIZE, "%s", state.name);
        if (*members)
            GlobalFree(*members);
        *members = state.chosen;
    }
    return 1;
}
