/*
 * Modal dialogs: DialogBoxParamA disables the owner, makes the dialog, and
 * runs a message loop of its own until EndDialog.
 *
 * The loop retrieves with GetMessageA like any other loop of the thread, so
 * messages sent from other threads, posted messages, timers, the RPC
 * service and the idle hook all go on while the dialog is open; messages
 * for the dialog pass through IsDialogMessageA.  EndDialog only marks the
 * dialog, enables the owner again and hides the dialog; it posts WM_NULL so
 * that a loop waiting for messages wakes up and sees the mark.  The loop
 * then destroys the dialog before DialogBoxParamA returns.
 */
#include "user/dialog.h"
#include "user/window.h"

#include <algorithm>
#include <mutex>

namespace pal {
namespace {

std::mutex stack_mutex;
std::vector<HWND> modal_stack;

void stack_push(HWND dlg)
{
    std::lock_guard<std::mutex> lock(stack_mutex);
    modal_stack.push_back(dlg);
}

void stack_remove(HWND dlg)
{
    std::lock_guard<std::mutex> lock(stack_mutex);
    modal_stack.erase(std::remove(modal_stack.begin(), modal_stack.end(), dlg), modal_stack.end());
}

void enable_owner(const DialogRef &d)
{
    HWND owner = d->disabled_owner;
    d->disabled_owner = nullptr;
    if (owner)
        EnableWindow(owner, TRUE);
}

/* Hands the activation back to the owner when the dialog had it. */
void leave_active(HWND dlg)
{
    if (GetActiveWindow() != dlg)
        return;
    HWND owner = GetWindow(dlg, GW_OWNER);
    activate(owner && IsWindow(owner) ? owner : nullptr, WA_ACTIVE);
}

INT_PTR run_modal(const DialogRef &d)
{
    HWND dlg = d->self;
    stack_push(dlg);
    if (!d->ended) {
        ShowWindow(dlg, SW_SHOW);
        activate(dlg, WA_ACTIVE);
    }
    MSG msg;
    while (!d->ended && IsWindow(dlg)) {
        BOOL got = GetMessageA(&msg, nullptr, 0, 0);
        if (got == -1)
            break;
        if (!got) {
            /* The thread is quitting: the dialog ends and the outer loop
             * gets the WM_QUIT again. */
            PostQuitMessage((int)msg.wParam);
            break;
        }
        if (d->ended || !IsDialogMessageA(dlg, &msg)) {
            TranslateMessage(&msg);
            DispatchMessageA(&msg);
        }
    }
    stack_remove(dlg);
    enable_owner(d);
    if (IsWindow(dlg)) {
        leave_active(dlg);
        DestroyWindow(dlg);
    }
    return d->result;
}

} // namespace

std::vector<HWND> dialog_modal_stack()
{
    std::lock_guard<std::mutex> lock(stack_mutex);
    return modal_stack;
}

INT_PTR dialog_box(HINSTANCE instance, const DialogTemplate &tpl, int resource_id, HWND owner,
                   DLGPROC proc, LPARAM param)
{
    HWND top = owner ? top_level_of(owner) : nullptr;
    HWND disabled = nullptr;
    if (top && IsWindowEnabled(top)) {
        EnableWindow(top, FALSE);
        disabled = top;
    }
    HWND dlg = dialog_create(instance, tpl, resource_id, top, proc, param, disabled);
    DialogRef d = dlg ? dialog_of(dlg) : nullptr;
    if (!d) {
        if (disabled)
            EnableWindow(disabled, TRUE);
        return -1;
    }
    return run_modal(d);
}

} // namespace pal

using namespace pal;

extern "C" {

INT_PTR WINAPI DialogBoxParamA(HINSTANCE instance, LPCSTR template_name, HWND owner, DLGPROC proc,
                               LPARAM param)
{
    if (owner && !IsWindow(owner)) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return 0;
    }
    DialogTemplate tpl;
    int id = 0;
    if (!dialog_load(instance, template_name, &tpl, &id))
        return -1;
    return dialog_box(instance, tpl, id, owner, proc, param);
}

BOOL WINAPI EndDialog(HWND dlg, INT_PTR result)
{
    DialogRef d = dialog_of(dlg);
    if (!d) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return FALSE;
    }
    d->result = result;
    d->ended = true;
    enable_owner(d);
    ShowWindow(dlg, SW_HIDE);
    leave_active(dlg);
    PostMessageA(dlg, WM_NULL, 0, 0);
    return TRUE;
}

} // extern "C"
