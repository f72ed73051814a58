/*
 * A conferencing application on a Windows host that grows a call into a
 * conference: it invites its first address with CMInviteUser and, once
 * that member has accepted, adds its second one in the Invite dialog
 * (CMInvite), typed and called from a timer that runs inside the dialog's
 * modal loop, as a person at the dialog would.
 *
 *   cmconference FIRST SECOND SUBJECT
 *
 * Prints one line per step and per notification:
 *   ready HOST | invite-user STATUS | invite STATUS | cleanup STATUS
 *   note CODE session=S addr=XXXXXXXX   (the member's address, network order)
 *   note CODE session=S count=N          (a call information block)
 *   note CODE session=S                  (any other)
 * Exit status: 0 when both members accepted, 1 when a step failed, 2 on
 * bad usage.
 */
#include <callmgr.h>
#include <winsock.h>

#include <stdio.h>

namespace {

const UINT NOTIFY = WM_APP + 1;
const int ID_ADDRESS = 102;
const int ID_CALL = 110;

struct {
    const char *second;
    unsigned accepted;
    bool refused;
} g;

void CloseBlockSockets(const CMCALLINFO *info)
{
    const uint32_t sockets[] = {info->udpsocket1, info->udpsocket2};
    for (uint32_t s : sockets)
        if (s != 0 && s != (uint32_t)-1)
            closesocket((SOCKET)s);
}

void OnNote(WPARAM wparam, LPARAM lparam)
{
    unsigned code = (wparam >> 8) & 0xFF, session = wparam & 0xFF;
    switch (code) {
    case CMN_CALLSTARTED:
    case CMN_CALLUPDATED:
    case CMN_MEMBERSADDED: {
        HGLOBAL block = (HGLOBAL)lparam;
        const CMCALLINFO *info = block ? (const CMCALLINFO *)GlobalLock(block) : nullptr;
        printf("note %u session=%u count=%u\n", code, session, info ? (unsigned)info->count : 0u);
        if (info) {
            CloseBlockSockets(info);
            GlobalUnlock(block);
        }
        GlobalFree(block);
        return;
    }
    case CMN_RINGING:
    case CMN_UPDATING:
    case CMN_UNREACHABLE:
    case 2: /* an accepting reply */
    case 5: /* a declining one */
        printf("note %u session=%u addr=%08x\n", code, session, (unsigned)(uint32_t)lparam);
        g.accepted += code == 2;
        g.refused = g.refused || code == 5 || code == CMN_UNREACHABLE;
        return;
    case CMN_ADDRESS:
        GlobalFree((HGLOBAL)lparam);
        [[fallthrough]];
    default:
        printf("note %u session=%u\n", code, session);
        return;
    }
}

LRESULT CALLBACK WindowProc(HWND hwnd, UINT msg, WPARAM wparam, LPARAM lparam)
{
    if (msg == NOTIFY) {
        OnNote(wparam, lparam);
        return 0;
    }
    return DefWindowProcA(hwnd, msg, wparam, lparam);
}

/* Messages until `accepted` members have accepted; false when one did not. */
bool WaitForAccepted(unsigned accepted)
{
    MSG msg;
    while (g.accepted < accepted && !g.refused && GetMessageA(&msg, nullptr, 0, 0) > 0) {
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
    return g.accepted >= accepted;
}

BOOL CALLBACK FindInviteDialog(HWND hwnd, LPARAM found)
{
    if (IsWindowVisible(hwnd) && GetDlgItem(hwnd, ID_ADDRESS) && GetDlgItem(hwnd, ID_CALL)) {
        *(HWND *)found = hwnd;
        return FALSE;
    }
    return TRUE;
}

/* Inside the Invite dialog's modal loop: once the dialog shows, the second
 * address goes into its Address field and Call is pressed. */
void CALLBACK TypeAndCall(HWND, UINT, UINT_PTR timer, DWORD)
{
    HWND dialog = nullptr;
    EnumThreadWindows(GetCurrentThreadId(), FindInviteDialog, (LPARAM)&dialog);
    if (!dialog)
        return;
    KillTimer(nullptr, timer);
    SetDlgItemTextA(dialog, ID_ADDRESS, g.second);
    SendMessageA(dialog, WM_COMMAND, MAKEWPARAM(ID_CALL, BN_CLICKED),
                 (LPARAM)GetDlgItem(dialog, ID_CALL));
}

} // namespace

int main(int argc, char **argv)
{
    if (argc != 4) {
        fprintf(stderr, "usage: cmconference FIRST SECOND SUBJECT\n");
        return 2;
    }
    g.second = argv[2];
    setvbuf(stdout, nullptr, _IONBF, 0); /* each line as it is printed */
    WNDCLASSA wc = {};
    wc.lpfnWndProc = WindowProc;
    wc.hInstance = GetModuleHandleA(nullptr);
    wc.lpszClassName = "CmConference";
    if (!RegisterClassA(&wc))
        return 1;
    HWND window = CreateWindowA("CmConference", "cmconference", WS_OVERLAPPEDWINDOW, 0, 0, 100, 100,
                                nullptr, nullptr, wc.hInstance, nullptr);
    if (!window)
        return 1;
    char host[256] = "";
    WORD app = CMStartup(window, NOTIFY, host);
    if (app >= 128) {
        printf("startup %u\n", app);
        return 1;
    }
    printf("ready %s\n", host);
    WORD session = CMOpenSession(app);
    UINT status = CMInviteUser(session, argv[1], argv[3]);
    printf("invite-user %u\n", status);
    bool done = status == 0 && WaitForAccepted(1);
    if (done) {
        SetTimer(nullptr, 0, 20, TypeAndCall);
        status = CMInvite(session);
        printf("invite %u\n", status);
        done = status == 0 && WaitForAccepted(2);
    }
    printf("cleanup %u\n", CMCleanup(app));
    DestroyWindow(window);
    return done ? 0 : 1;
}
