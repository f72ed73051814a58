/*
 * The dialog manager's keyboard: Tab and Shift+Tab move through the tab
 * stops, the arrow keys through a group, Esc is IDCANCEL and Enter the
 * default button - each unless the control with the focus asks for the key
 * itself through WM_GETDLGCODE.
 *
 * Enter presses the push button that has the focus; otherwise the dialog's
 * default button (DM_GETDEFID) when it is enabled; and when the dialog has
 * no default button at all, the dialog hears IDOK with the handle of a
 * control 1 if there is one, else without a handle.  Esc sends IDCANCEL
 * with the handle of control 2, if any.
 */
#include "user/dialog.h"

#include <atomic>

namespace pal {
namespace {

std::atomic<bool> keys_down[256];

bool shift_down()
{
    return GetKeyState(VK_SHIFT) < 0;
}

void press_enter(HWND dlg)
{
    HWND focus = GetFocus();
    if (focus && IsChild(dlg, focus) &&
        (SendMessageA(focus, WM_GETDLGCODE, 0, 0) & DLGC_DEFPUSHBUTTON)) {
        if (IsWindowEnabled(focus))
            SendMessageA(dlg, WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(focus), BN_CLICKED),
                         (LPARAM)focus);
        return;
    }
    DWORD def = (DWORD)SendMessageA(dlg, DM_GETDEFID, 0, 0);
    if (HIWORD(def) == DC_HASDEFID) {
        HWND button = GetDlgItem(dlg, LOWORD(def));
        if (!button || IsWindowEnabled(button))
            SendMessageA(dlg, WM_COMMAND, MAKEWPARAM(LOWORD(def), BN_CLICKED), (LPARAM)button);
        return;
    }
    SendMessageA(dlg, WM_COMMAND, IDOK, (LPARAM)GetDlgItem(dlg, IDOK));
}

/* The control of the dialog that holds the focus, or null. */
HWND focused_child(HWND dlg)
{
    HWND focus = GetFocus();
    if (!focus || !IsChild(dlg, focus))
        return nullptr;
    while (GetParent(focus) != dlg)
        focus = GetParent(focus);
    return focus;
}

} // namespace

void keyboard_set(int vk, bool down)
{
    if (vk >= 0 && vk < 256)
        keys_down[vk] = down;
}

bool dialog_key(HWND dlg, const MSG *msg)
{
    if (msg->message != WM_KEYDOWN)
        return false;
    LRESULT code = SendMessageA(msg->hwnd, WM_GETDLGCODE, msg->wParam, (LPARAM)msg);
    if (code & DLGC_WANTMESSAGE)
        return false;
    switch (msg->wParam) {
    case VK_TAB:
        if (code & DLGC_WANTTAB)
            return false;
        SendMessageA(dlg, WM_NEXTDLGCTL, shift_down(), 0);
        return true;
    case VK_LEFT:
    case VK_UP:
    case VK_RIGHT:
    case VK_DOWN: {
        if (code & DLGC_WANTARROWS)
            return false;
        bool back = msg->wParam == VK_LEFT || msg->wParam == VK_UP;
        if (HWND next = GetNextDlgGroupItem(dlg, focused_child(dlg), back))
            SendMessageA(dlg, WM_NEXTDLGCTL, (WPARAM)next, TRUE);
        return true;
    }
    case VK_ESCAPE:
        SendMessageA(dlg, WM_COMMAND, IDCANCEL, (LPARAM)GetDlgItem(dlg, IDCANCEL));
        return true;
    case VK_RETURN:
        press_enter(dlg);
        return true;
    default:
        return false;
    }
}

} // namespace pal

using namespace pal;

extern "C" {

BOOL WINAPI IsDialogMessageA(HWND dlg, LPMSG msg)
{
    if (!dlg || !msg || !IsWindow(dlg) || (msg->hwnd != dlg && !IsChild(dlg, msg->hwnd)))
        return FALSE;
    if (!dialog_key(dlg, msg)) {
        TranslateMessage(msg);
        DispatchMessageA(msg);
    }
    return TRUE;
}

SHORT WINAPI GetKeyState(int vk)
{
    return vk >= 0 && vk < 256 && keys_down[vk] ? (SHORT)-0x8000 : (SHORT)0;
}

} // extern "C"
