/*
 * The Invite dialog: the invitation list (members of the session's call
 * greyed, new invitees deletable), the Address, Real Name and Subject
 * fields, and Call, which writes the invitees into the session's call.
 *
 * The modal loop dispatches messages while the dialog is up: the session
 * may be closed and its call may change meanwhile.  The dialog therefore
 * holds only the session's handle and looks the session up where it needs
 * it; it touches the call only inside Call, where nothing is dispatched.
 */
#include "ui/invite.h"
#include "ui/addrbook.h"
#include "ui/lists.h"
#include "fsm/fsm.h"
#include "members/members.h"
#include "netlib/netlib.h"
#include "resources/resource.h"

#include <callmgr.h>
#include <ctl3d.h>
#include <stdio.h>
#include <string.h>

namespace {

const int ID_ADDRESS = 102;
const int ID_NAME = 105;
const int ID_SUBJECTLABEL = 106;
const int ID_SUBJECT = 107;
const int ID_LIST = 109;
const int ID_CLOSE = IDCANCEL;
const int ID_HELP = 9;
const int ID_CALL = 110;
const int ID_ADD = 111;
const int ID_ADDRBOOK = 112;
const int ID_DELETE = 113;

/* The fields hold at most this many characters. */
const WPARAM FIELD_LIMIT = 254;
/* A new call's subject is cut to 127 characters. */
const int SUBJECT_SIZE = 128;

/* Marks a value that the dialog itself passed to EndDialog: what the modal
 * loop returns without it (0, -1: no dialog ran) is never a result. */
const INT_PTR INVITE_ENDED = 0x10000;

const char HELP_FILE[] = "palavera.hlp";
const ULONG_PTR HELP_TOPIC = 7;

/* One dialog at a time; the session is held by handle. */
BOOL invite_running = FALSE;
WORD invite_session = 0;
/* What the last Call did to an existing call, for CMInvite. */
DWORD invite_before = 0;
LPCML invite_added = nullptr; /* first node appended; compared, never read */

HWND invite_list(HWND dlg)
{
    return GetDlgItem(dlg, ID_LIST);
}

/* The text of list entry `index` into `out`, only when it fits. */
bool list_text(HWND list, int index, char *out, size_t size)
{
    LRESULT len = SendMessageA(list, LB_GETTEXTLEN, (WPARAM)index, 0);
    if (len == LB_ERR || len < 0 || (size_t)len >= size)
        return false;
    return SendMessageA(list, LB_GETTEXT, (WPARAM)index, (LPARAM)out) != LB_ERR;
}

void enable(HWND dlg, int id, bool on)
{
    EnableWindow(GetDlgItem(dlg, id), on ? TRUE : FALSE);
}

void invite_update_buttons(HWND dlg, int which)
{
    LRESULT count = SendMessageA(invite_list(dlg), LB_GETCOUNT, 0, 0);
    bool listed = count != LB_ERR && count > 0;
    switch (which) {
    case ID_CALL:
        enable(dlg, ID_CALL, listed);
        break;
    case ID_ADD: {
        bool typed = SendMessageA(GetDlgItem(dlg, ID_ADDRESS), WM_GETTEXTLENGTH, 0, 0) > 0;
        enable(dlg, ID_ADD, typed);
        enable(dlg, ID_CALL, listed || typed);
        break;
    }
    case ID_DELETE: {
        LRESULT selected = SendMessageA(invite_list(dlg), LB_GETSELCOUNT, 0, 0);
        enable(dlg, ID_DELETE, selected != LB_ERR && selected > 0);
        enable(dlg, ID_CALL, listed);
        break;
    }
    default:
        break;
    }
}

/* The text that lists a member of the existing call: its real name, or
 * "user@host" (the dotted address when the host is unknown).  Cut to the
 * buffer, so a list entry never exceeds 255 characters. */
void member_text(const CM *m, char *out, size_t size)
{
    if (m->realname && m->realname[0]) {
        snprintf(out, size, "%s", m->realname);
        return;
    }
    const char *where = m->host;
    if (!where || !where[0]) {
        struct in_addr in;
        in.s_addr = (u_long)NET_htonl(m->ipaddr);
        where = NET_inet_ntoa(in);
    }
    if (m->user && m->user[0])
        snprintf(out, size, "%s@%s", m->user, where ? where : "");
    else
        snprintf(out, size, "%s", where ? where : "");
}

/* Lists the members of the session's call (greyed) and shows its subject,
 * which cannot be changed any more. */
void invite_fill_from_call(HWND dlg)
{
    CMSESSION *s = SESSION_Find(invite_session, nullptr);
    if (!s || !s->call || !s->call->caller || !s->call->caller->members)
        return;
    const CALLER *caller = s->call->caller;
    if (caller->subject)
        SetDlgItemTextA(dlg, ID_SUBJECT, caller->subject);
    enable(dlg, ID_SUBJECTLABEL, false);
    enable(dlg, ID_SUBJECT, false);

    HWND list = invite_list(dlg);
    DWORD local = FSM_LocalAddress();
    for (const CML *node = caller->members; node; node = node->next) {
        const CM *m = node->cm;
        if (!m || m->ipaddr == local)
            continue;
        char text[LIST_TEXTSIZE];
        member_text(m, text, sizeof text);
        LRESULT at = SendMessageA(list, LB_ADDSTRING, 0, (LPARAM)text);
        if (at != LB_ERR && at >= 0)
            SendMessageA(list, LB_SETITEMDATA, (WPARAM)at, ENTRY_INCALL);
    }
}

INT_PTR invite_init(HWND dlg)
{
    Ctl3dSubclassDlg(dlg, 0xFFFF);
    const int fields[] = {ID_ADDRESS, ID_NAME, ID_SUBJECT};
    for (int id : fields) {
        SendDlgItemMessageA(dlg, id, EM_LIMITTEXT, FIELD_LIMIT, 0);
        SetDlgItemTextA(dlg, id, "");
    }
    invite_fill_from_call(dlg);
    invite_update_buttons(dlg, ID_ADD);
    invite_update_buttons(dlg, ID_DELETE);
    SetFocus(GetDlgItem(dlg, ID_ADDRESS));
    return FALSE; /* the focus is set */
}

/* Add: the typed address joins the list as a new invitee.  1 added, 0
 * nothing typed or a duplicate (beeped), -1 refused as too long (beeped). */
int invite_add_address(HWND dlg)
{
    char entry[LIST_TEXTSIZE];
    int composed = LIST_ComposeEntry(dlg, entry, (int)sizeof entry, ID_NAME, ID_ADDRESS);
    if (composed < 0) {
        MessageBeep(0);
        return -1;
    }
    if (composed == 0)
        return 0;
    if (LIST_InsertEntry(invite_list(dlg), entry, ENTRY_USER) < 0)
        return 0; /* a duplicate: the fields keep their text */
    SetDlgItemTextA(dlg, ID_ADDRESS, "");
    SetDlgItemTextA(dlg, ID_NAME, "");
    SetFocus(GetDlgItem(dlg, ID_ADDRESS));
    return 1;
}

/* Puts the call's member list back as it was before `first` was
 * appended. */
void remove_from(CALLCTX *call, LPCML first)
{
    if (!call || !call->caller || !first)
        return;
    for (LPCML *link = &call->caller->members; *link; link = &(*link)->next)
        if (*link == first) {
            *link = nullptr;
            CML_Free(first);
            return;
        }
}

LPCML last_node(const CALLCTX *call)
{
    LPCML last = nullptr;
    for (LPCML node = call && call->caller ? call->caller->members : nullptr; node;
         node = node->next)
        last = node;
    return last;
}

/* Call: writes the invitees into the session's call and yields the
 * dialog's result.  A failure leaves the session as it was: a new call is
 * released, members appended to an existing call are taken back. */
WORD invite_place_call(HWND dlg)
{
    /* A typed address that is refused as too long is not silently left
     * out: the dialog stays open with the text, after the beep. */
    if (invite_add_address(dlg) < 0)
        return INVITE_EMPTYLIST;
    HWND list = invite_list(dlg);
    LRESULT count = SendMessageA(list, LB_GETCOUNT, 0, 0);
    if (count == LB_ERR || count <= 0)
        return INVITE_EMPTYLIST;

    char subject[SUBJECT_SIZE];
    GetDlgItemTextA(dlg, ID_SUBJECT, subject, (int)sizeof subject);

    invite_before = 0;
    invite_added = nullptr;
    CMSESSION *s = SESSION_Find(invite_session, nullptr);
    if (!s)
        return INVITE_STOP(CMERR_BADSESSION);
    bool existing = s->call != nullptr;
    if (!existing) {
        int status = CALL_Create(s, subject);
        if (status != 0)
            return INVITE_STOP(status);
    }
    invite_before = existing ? INVITE_CountMembers(s->call) : 0;
    bool any = false;

    for (LRESULT i = 0; i < count; ++i) {
        LRESULT flag = SendMessageA(list, LB_GETITEMDATA, (WPARAM)i, 0);
        if (flag == LB_ERR || !(flag & ENTRY_USER))
            continue;
        char text[LIST_TEXTSIZE];
        if (!list_text(list, (int)i, text, sizeof text))
            continue;
        int status = CALL_AddMember(s, text);
        if (status == 0 && existing && !any) {
            /* The first node this Call appended: everything from it on is
             * what a failure takes back. */
            any = true;
            invite_added = last_node(s->call);
        }
        if (status != 0) {
            if (!existing) {
                CALL_Free(s->call);
                s->call = nullptr;
            } else if (invite_added) {
                remove_from(s->call, invite_added);
            }
            invite_added = nullptr;
            return INVITE_STOP(status);
        }
    }
    return existing ? (WORD)(INVITE_ADDED << 8) : (WORD)(INVITE_NEWCALL << 8);
}

/* Delete: removes the selected new invitees; members of the call stay. */
void invite_delete_selected(HWND dlg)
{
    HWND list = invite_list(dlg);
    LRESULT count = SendMessageA(list, LB_GETCOUNT, 0, 0);
    if (count == LB_ERR || count < 0)
        return;
    for (LRESULT i = 0; i < count;) {
        LRESULT flag = SendMessageA(list, LB_GETITEMDATA, (WPARAM)i, 0);
        LRESULT selected = SendMessageA(list, LB_GETSEL, (WPARAM)i, 0);
        if (flag == LB_ERR || selected == LB_ERR)
            break;
        if ((flag & ENTRY_USER) && selected > 0) {
            LRESULT left = SendMessageA(list, LB_DELETESTRING, (WPARAM)i, 0);
            if (left == LB_ERR || left >= count)
                break; /* the list did not shrink: no progress */
            count = left;
            continue;
        }
        ++i;
    }
    invite_update_buttons(dlg, ID_DELETE);
}

void invite_end(HWND dlg, WORD result)
{
    EndDialog(dlg, INVITE_ENDED | (INT_PTR)result);
}

void invite_call(HWND dlg)
{
    WORD result = invite_place_call(dlg);
    if (result != INVITE_EMPTYLIST)
        invite_end(dlg, result);
}

INT_PTR invite_command(HWND dlg, int id, HWND control, int code)
{
    if (!control) {
        /* Enter with no default button reaches the dialog as IDOK. */
        if (id == IDOK) {
            invite_call(dlg);
            return TRUE;
        }
        if (id != ID_CLOSE)
            return FALSE;
    }
    switch (id) {
    case ID_CLOSE: /* also Esc and the system menu's Close */
        invite_end(dlg, INVITE_STOP(CMERR_CANCELLED));
        return TRUE;
    case ID_HELP:
        WinHelpA(dlg, HELP_FILE, HELP_CONTEXT, HELP_TOPIC);
        return TRUE;
    case ID_ADDRESS:
        if (code != EN_CHANGE)
            return FALSE;
        invite_update_buttons(dlg, ID_ADD);
        return TRUE;
    case ID_NAME:
        return TRUE;
    case ID_LIST:
        if (code != LBN_SELCHANGE)
            return FALSE;
        invite_update_buttons(dlg, ID_DELETE);
        return TRUE;
    case ID_CALL:
        invite_call(dlg);
        return TRUE;
    case ID_ADD:
        invite_add_address(dlg);
        return TRUE;
    case ID_ADDRBOOK:
        ADDRBOOK_DoDialog(dlg);
        return TRUE;
    case ID_DELETE:
        invite_delete_selected(dlg);
        return TRUE;
    default:
        return FALSE;
    }
}

} // namespace

extern "C" INT_PTR CALLBACK INVITE_DlgProc(HWND dlg, UINT msg, WPARAM wparam, LPARAM lparam)
{
    switch (msg) {
    case WM_INITDIALOG:
        return invite_init(dlg);
    case WM_COMMAND:
        return invite_command(dlg, LOWORD(wparam), (HWND)lparam, HIWORD(wparam));
    case WM_DRAWITEM:
    case WM_MEASUREITEM:
        return LIST_OwnerDraw(msg, lparam);
    case WM_ACTIVATE:
        /* Back from the Address Book: the list may have grown. */
        if (LOWORD(wparam) == WA_ACTIVE)
            invite_update_buttons(dlg, ID_CALL);
        return TRUE;
    default:
        return FALSE;
    }
}

extern "C" WORD INVITE_DoDialog(HINSTANCE instance, HWND owner, WORD session)
{
    if (!SESSION_Find(session, nullptr))
        return INVITE_STOP(CMERR_BADSESSION);
    if (invite_running)
        return INVITE_STOP(CMERR_BUSY);
    invite_running = TRUE;
    invite_session = session;
    invite_before = 0;
    invite_added = nullptr;
    LIST_LoadIcons(instance);
    INT_PTR end =
        DialogBoxParamA(instance, MAKEINTRESOURCEA(INVITE_DIALOG), owner, INVITE_DlgProc, 0);
    LIST_FreeIcons();
    invite_running = FALSE;
    /* Only a value the dialog ended with is a result; a dialog that could
     * not be made has changed nothing. */
    if (end == -1 || !(end & INVITE_ENDED))
        return INVITE_STOP(CMERR_CANCELLED);
    return (WORD)(end & 0xFFFF);
}

extern "C" DWORD INVITE_MembersBefore(void)
{
    return invite_before;
}

extern "C" void INVITE_RemoveAdded(CMSESSION *session)
{
    if (session && invite_added)
        remove_from(session->call, invite_added);
    invite_added = nullptr;
}

extern "C" DWORD INVITE_CountMembers(const CALLCTX *call)
{
    DWORD count = 0;
    for (const CML *node = call && call->caller ? call->caller->members : nullptr; node;
         node = node->next)
        ++count;
    return count;
}
