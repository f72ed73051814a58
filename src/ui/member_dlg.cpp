/*
 * The New/Change Address dialog (template 400): edits one user entry of the
 * address book as a real name and an address.  It writes nothing itself;
 * the Address Book dialog that opened it stores the result.
 *
 * What the dialog edits lives in a record of the caller's, reached through
 * DWLP_USER, so nothing of a running dialog is module state and a dialog
 * opened from inside another's modal loop cannot disturb it.
 */
#include "members/members.h"
#include "ui/addrbook.h"
#include "ui/addrkeys.h"
#include "ui/lists.h"
#include "api/api.h"
#include "resources/resource.h"

#include <stdio.h>

namespace {

const int MEMBER_ADDRESS = 102;
const int MEMBER_NAME = 404;

struct MEMBERDLG {
    const char *title;
    /* The entry being edited; the whole entry length, since entries reach
     * 255 characters in the lists and a shorter buffer would cut them. */
    char text[LIST_TEXTSIZE];
};

void focus_address(HWND dlg)
{
    HWND field = GetDlgItem(dlg, MEMBER_ADDRESS);
    SetFocus(field);
    SendMessageA(field, EM_SETSEL, 0, -1);
}

INT_PTR MEMBER_OnInitDialog(HWND dlg, MEMBERDLG *state)
{
    SetWindowLongPtrA(dlg, DWLP_USER, (LONG_PTR)state);
    if (!state)
        return TRUE;
    if (state->title)
        SetWindowTextA(dlg, state->title);
    char part[LIST_TEXTSIZE];
    ENTRY_GetAddress(state->text, part, sizeof part);
    SetDlgItemTextA(dlg, MEMBER_ADDRESS, part);
    ENTRY_GetName(state->text, part, sizeof part);
    SetDlgItemTextA(dlg, MEMBER_NAME, part);
    focus_address(dlg);
    return FALSE; /* the focus is set */
}

/* OK: an entry is taken only when it has an address, fits the lists and
 * can be stored; otherwise a beep and the dialog stays open on the
 * Address field, the text the user typed untouched.  The fields have no
 * length limit, so a name and address too long together are refused here
 * rather than cut while typing.  A Real Name of blanks is an empty name:
 * the entry then starts with " <", a blank the store skips as it skips
 * every entry's leading blanks, so the check is on the key it will write. */
void member_ok(HWND dlg, MEMBERDLG *state)
{
    char entry[LIST_TEXTSIZE];
    int composed = LIST_ComposeEntry(dlg, entry, (int)sizeof entry, MEMBER_NAME, MEMBER_ADDRESS);
    if (composed != 1 || !ADDRBOOK_EntryFits(ADDR_SkipBlanks(entry))) {
        MessageBeep(0);
        focus_address(dlg);
        return;
    }
    snprintf(state->text, sizeof state->text, "%s", entry);
    EndDialog(dlg, IDOK);
}

INT_PTR MEMBER_OnCommand(HWND dlg, MEMBERDLG *state, int id)
{
    switch (id) {
    case IDOK:
        /* Without its record the dialog has nowhere to put the entry. */
        if (state)
            member_ok(dlg, state);
        else
            EndDialog(dlg, 0);
        return TRUE;
    case IDCANCEL:
        EndDialog(dlg, 0);
        return TRUE;
    default:
        return FALSE;
    }
}

} // namespace

extern "C" INT_PTR CALLBACK MemberDlgProc(HWND dlg, UINT msg, WPARAM wparam, LPARAM lparam)
{
    MEMBERDLG *state = (MEMBERDLG *)GetWindowLongPtrA(dlg, DWLP_USER);
    switch (msg) {
    case WM_INITDIALOG:
        return MEMBER_OnInitDialog(dlg, (MEMBERDLG *)lparam);
    case WM_COMMAND:
        return MEMBER_OnCommand(dlg, state, LOWORD(wparam));
    default:
        return FALSE;
    }
}

extern "C" int MEMBER_DoDialog(HWND owner, const char *title, char *text)
{
    if (!text)
        return 0;
    MEMBERDLG state{};
    state.title = title;
    snprintf(state.text, sizeof state.text, "%.*s", (int)(LIST_TEXTSIZE - 1), text);
    HINSTANCE instance = owner ? (HINSTANCE)GetWindowLongPtrA(owner, GWLP_HINSTANCE) : nullptr;
    if (!instance)
        instance = LIB_Instance;
    INT_PTR end = DialogBoxParamA(instance, MAKEINTRESOURCEA(MEMBER_DIALOG), owner, MemberDlgProc,
                                  (LPARAM)&state);
    /* Only OK counts: Cancel (0) and a dialog that could not be made (-1)
     * leave the caller's text as it was. */
    if (end != IDOK)
        return 0;
    snprintf(text, LIST_TEXTSIZE, "%s", state.text);
    return 1;
}
