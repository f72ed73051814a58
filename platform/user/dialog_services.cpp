/*
 * Services dialogs call that have no screen of their own here: the beep,
 * the help viewer and the 3-D look.  Beeps and help requests are recorded,
 * in order, so tests can see that they happened and with what.
 */
#include "user/dialog.h"

#include <ctl3d.h>

#include <mutex>

namespace pal {
namespace {

std::mutex records_mutex;
std::vector<UINT> beeps;
std::vector<HelpCall> help_calls;

} // namespace

std::vector<UINT> beeps_recorded()
{
    std::lock_guard<std::mutex> lock(records_mutex);
    return beeps;
}

std::vector<HelpCall> help_recorded()
{
    std::lock_guard<std::mutex> lock(records_mutex);
    return help_calls;
}

void records_clear()
{
    std::lock_guard<std::mutex> lock(records_mutex);
    beeps.clear();
    help_calls.clear();
}

} // namespace pal

using namespace pal;

extern "C" {

BOOL WINAPI MessageBeep(UINT type)
{
    std::lock_guard<std::mutex> lock(records_mutex);
    beeps.push_back(type);
    return TRUE;
}

BOOL WINAPI WinHelpA(HWND hwnd, LPCSTR file, UINT command, ULONG_PTR data)
{
    std::lock_guard<std::mutex> lock(records_mutex);
    help_calls.push_back(HelpCall{hwnd, file ? file : "", command, data});
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
