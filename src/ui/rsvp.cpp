/*
 * The Invite - RSVP dialog: asks the invited user whether to join a call,
 * ringing the invitation sound at the start and on every tick of the
 * dialog's own timer, and declines by itself when nobody answers.
 *
 * The dialog's modal loop dispatches messages, so a second invitation can
 * open a second RSVP dialog while the first is still up.  Each dialog
 * therefore keeps its ring count and timer in a record of its own, reached
 * through DWLP_USER; nothing about a running dialog lives in module state.
 */
#include "ui/ui.h"
#include "api/api.h"
#include "api/settings.h"
#include "netlib/netlib.h"
#include "resources/resource.h"

#include <mmsystem.h>
#include <stdio.h>

namespace {

const int RSVP_SUBJECT = 502;
const int RSVP_FROM = 504;
const int RSVP_MEMBERSLABEL = 505;
const int RSVP_MEMBERS = 506;
const UINT_PTR RSVP_TIMER = 1;
const UINT RSVP_SOUNDFLAGS = SND_ASYNC | SND_NODEFAULT | SND_NOSTOP;

/* One open dialog's ring. */
struct RSVPDLG {
    DWORD ticks;    /* timer ticks seen by this dialog */
    UINT_PTR timer; /* what SetTimer returned; 0: no timer to stop */
};

/* Plays the invitation sound when ringing is on and a sound is named.  The
 * name is copied bounded, so a store that lacks its terminator is cut at
 * its last character instead of read past. */
void rsvp_ring(void)
{
    if (!LIB_Settings.rsvpring || !LIB_Settings.rsvpsound[0])
        return;
    char name[SETTINGS_SOUNDSIZE];
    snprintf(name, sizeof name, "%.*s", (int)(sizeof LIB_Settings.rsvpsound - 1),
             LIB_Settings.rsvpsound);
    sndPlaySoundA(name, RSVP_SOUNDFLAGS);
}

bool has_text(const char *text)
{
    return text && text[0];
}

/* Fills the fields from the invitation; the focus then belongs on Accept. */
void rsvp_show(HWND dlg, const CALLCTX *call)
{
    const CALLER *caller = call->caller;
    if (caller && has_text(caller->subject))
        SetDlgItemTextA(dlg, RSVP_SUBJECT, caller->subject);
    const char *from = RSVP_MemberLabel(call->from);
    if (has_text(from))
        SetDlgItemTextA(dlg, RSVP_FROM, from);

    HWND combo = GetDlgItem(dlg, RSVP_MEMBERS);
    UINT count = 0;
    for (const CML *node = caller ? caller->members : nullptr; node; node = node->next) {
        const char *label = RSVP_MemberLabel(node->cm);
        if (!has_text(label))
            continue;
        SendMessageA(combo, CB_ADDSTRING, 0, (LPARAM)label);
        ++count;
    }
    if (count) {
        char text[32];
        snprintf(text, sizeof text, "Members: (%u)", count);
        SetDlgItemTextA(dlg, RSVP_MEMBERSLABEL, text);
    }
    SendMessageA(combo, CB_SETCURSEL, 0, 0);
}

INT_PTR rsvp_init(HWND dlg, const CALLCTX *call)
{
    RSVPDLG *state = (RSVPDLG *)LocalAlloc(LPTR, sizeof(RSVPDLG));
    if (!state) {
        /* Without its record the dialog cannot keep time, and a dialog
         * that never gives up would hold the inviter forever. */
        EndDialog(dlg, CALL_DECLINE);
        return TRUE;
    }
    SetWindowLongPtrA(dlg, DWLP_USER, (LONG_PTR)state);
    int focus = RSVP_DECLINE;
    state->timer = SetTimer(dlg, RSVP_TIMER, RSVP_RINGPERIOD, nullptr);
    if (call) {
        rsvp_show(dlg, call);
        focus = RSVP_ACCEPT;
    }
    SetFocus(GetDlgItem(dlg, focus));
    return FALSE; /* the focus is set */
}

void rsvp_tick(HWND dlg, RSVPDLG *state)
{
    if (!state || !state->timer)
        return;
    ++state->ticks;
    if ((long long)state->ticks * RSVP_RINGPERIOD > RSVP_GIVEUP) {
        /* Stop counting at once: a tick that falls due before the loop
         * ends must not end the dialog a second time. */
        KillTimer(dlg, RSVP_TIMER);
        state->timer = 0;
        EndDialog(dlg, CALL_DECLINE);
        return;
    }
    rsvp_ring();
}

} // namespace

extern "C" INT_PTR CALLBACK RSVP_DlgProc(HWND dlg, UINT msg, WPARAM wparam, LPARAM lparam)
{
    RSVPDLG *state = (RSVPDLG *)GetWindowLongPtrA(dlg, DWLP_USER);
    switch (msg) {
    case WM_INITDIALOG:
        return rsvp_init(dlg, (const CALLCTX *)lparam);
    case WM_COMMAND:
        switch (LOWORD(wparam)) {
        case RSVP_ACCEPT:
            EndDialog(dlg, CALL_ACCEPT);
            return TRUE;
        case RSVP_DECLINE:
        case IDCANCEL: /* Esc and the system menu's Close */
            EndDialog(dlg, CALL_DECLINE);
            return TRUE;
        default:
            return FALSE;
        }
    case WM_TIMER:
        if (wparam != RSVP_TIMER)
            return FALSE;
        rsvp_tick(dlg, state);
        return TRUE;
    case WM_DESTROY:
        if (state) {
            if (state->timer)
                KillTimer(dlg, RSVP_TIMER);
            SetWindowLongPtrA(dlg, DWLP_USER, 0);
            LocalFree(state);
        }
        return FALSE;
    default:
        return FALSE;
    }
}

extern "C" INT RSVP_Run(HWND owner, const CALLCTX *call)
{
    if (LIB_Settings.autoaccept)
        return CALL_ACCEPT;
    rsvp_ring();
    INT result = CALL_DECLINE;
    if (call) {
        HINSTANCE instance = owner ? (HINSTANCE)GetWindowLongPtrA(owner, GWLP_HINSTANCE) : nullptr;
        if (!instance)
            instance = LIB_Instance;
        INT_PTR end = DialogBoxParamA(instance, MAKEINTRESOURCEA(RSVP_DIALOG), owner, RSVP_DlgProc,
                                      (LPARAM)call);
        /* Only an explicit Accept joins: a dialog that could not be made
         * (-1, 0) or was closed any other way declines. */
        result = end == CALL_ACCEPT ? CALL_ACCEPT : CALL_DECLINE;
    }
    sndPlaySoundA(nullptr, 0);
    return result;
}

extern "C" const char *RSVP_MemberLabel(const CM *member)
{
    if (!member)
        return nullptr;
    if (has_text(member->realname))
        return member->realname;
    if (has_text(member->user))
        return member->user;
    if (has_text(member->host))
        return member->host;
    struct in_addr in;
    in.s_addr = (u_long)NET_htonl(member->ipaddr);
    return NET_inet_ntoa(in);
}
