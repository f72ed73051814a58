/*
 * "VXLIB32.DLL": the TCP/IP stack's library.  The host's stack always runs;
 * this module only plays the stack's visible part, the hidden window of
 * class "KRAQClass" that tells a program the stack is up.  Loading the
 * library brings the window up and unloading it takes it down again.
 */
#include <windows.h>

#include "winsock/wsock.h"

namespace pal {
namespace {

const char stack_class[] = "KRAQClass";
HWND stack_window = nullptr;

LRESULT CALLBACK stack_wndproc(HWND hwnd, UINT msg, WPARAM wparam, LPARAM lparam)
{
    if (msg == WM_DESTROY && hwnd == stack_window)
        stack_window = nullptr;
    return DefWindowProcA(hwnd, msg, wparam, lparam);
}

BOOL WINAPI stack_main(HINSTANCE instance, DWORD reason, LPVOID)
{
    if (reason == DLL_PROCESS_ATTACH) {
        WNDCLASSA wc{};
        wc.lpfnWndProc = stack_wndproc;
        wc.hInstance = instance;
        wc.lpszClassName = stack_class;
        RegisterClassA(&wc);
        stack_window = CreateWindowExA(0, stack_class, "", WS_OVERLAPPED, 0, 0, 0, 0, nullptr,
                                       nullptr, instance, nullptr);
        return TRUE;
    }
    if (reason == DLL_PROCESS_DETACH) {
        if (stack_window)
            DestroyWindow(stack_window);
        UnregisterClassA(stack_class, instance);
    }
    return TRUE;
}

} // namespace

const PAL_MODULEDESC vxlib32_module = {"VXLIB32.DLL", nullptr, 0, stack_main, nullptr, 0};

} // namespace pal
