/*
 * Services dialogs call that have no screen of their own here: the beep,
 * the help viewer and the 3-D look.  Beeps and help requests make no sound
 * and open nothing; a test layer (kernel/hooks.h) hears them, in order.
 */
#include "user/dialog.h"

#include <ctl3d.h>

#include "kernel/hooks.h"

using namespace pal;

extern "C" {

BOOL WINAPI MessageBeep(UINT type)
{
    const TestHooks *h = test_hooks();
    if (h && h->beep)
        h->beep(type);
    return TRUE;
}

BOOL WINAPI WinHelpA(HWND hwnd, LPCSTR file, UINT command, ULONG_PTR data)
{
    const TestHooks *h = test_hooks();
    if (h && h->help)
        h->help(hwnd, file, command, data);
    return TRUE;
}

/* Every control here is drawn with the 3-D look already. */
BOOL WINAPI Ctl3dSubclassDlg(HWND dlg, WORD controls)
{
    (void)controls;
    if (!IsWindow(dlg)) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return FALSE;
    }
    return TRUE;
}

} // extern "C"
