/*
 * What cmcall needs from Windows: the console's control events become a
 * posted message, the program's folder comes from its module, and there is
 * always a desktop.
 */
#include "os.h"

#include <cstdlib>

namespace {

HWND stop_wnd = nullptr;
UINT stop_msg = 0;
volatile LONG stops_seen = 0;

/* Runs on a thread the system starts for each event. */
BOOL WINAPI OnConsoleEvent(DWORD event)
{
    int reason = event == CTRL_C_EVENT       ? CMCALL_STOP_INTERRUPT
                 : event == CTRL_CLOSE_EVENT ? CMCALL_STOP_HANGUP
                                             : CMCALL_STOP_TERMINATE;
    /* A second event while the first is handled ends at once. */
    if (InterlockedExchange(&stops_seen, 1))
        std::_Exit(128 + reason);
    PostMessageA(stop_wnd, stop_msg, static_cast<WPARAM>(reason), 0);
    /* The system ends the process as soon as these events' handler returns:
     * waiting here leaves the message loop its grace period to clean up,
     * and the process ends when the loop's thread leaves main. */
    if (event == CTRL_CLOSE_EVENT || event == CTRL_LOGOFF_EVENT || event == CTRL_SHUTDOWN_EVENT)
        Sleep(INFINITE);
    return TRUE;
}

} // namespace

bool CMCALL_WatchStops(HWND wnd, UINT msg)
{
    stop_wnd = wnd;
    stop_msg = msg;
    return SetConsoleCtrlHandler(OnConsoleEvent, TRUE) != 0;
}

std::string CMCALL_ProgramFolder(void)
{
    char exe[MAX_PATH];
    DWORD n = GetModuleFileNameA(nullptr, exe, sizeof exe);
    if (n == 0 || n >= sizeof exe)
        return std::string();
    std::string path(exe, n);
    size_t sep = path.find_last_of("\\/");
    return sep == std::string::npos ? std::string() : path.substr(0, sep);
}

bool CMCALL_DesktopHere(void)
{
    return true;
}
