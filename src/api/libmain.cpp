/*
 * Library attach and WEP.
 */
#include "api/api.h"
#include "netlib/netlib.h"
#include "resources/resource.h"

#include <callmgr.h>

HINSTANCE LIB_Instance = nullptr;
HINSTANCE LIB_Initialised = nullptr;

extern "C" BOOL WINAPI LibMain(HINSTANCE instance, DWORD reason, LPVOID)
{
    if (reason != DLL_PROCESS_ATTACH)
        return TRUE;
    LIB_Instance = instance;
    if (LIB_Initialised)
        return TRUE;
    char class_name[32];
    if (!LoadStringA(instance, STR_FSMCLASS, class_name, sizeof class_name))
        return TRUE;
    WNDCLASSA wc = {};
    wc.style = 0;
    wc.lpfnWndProc = FSM_WndProc;
    wc.hInstance = instance;
    wc.hbrBackground = (HBRUSH)(UINT_PTR)(COLOR_WINDOW + 1);
    wc.lpszClassName = class_name;
    /* The attach reports success even without the class: every CMStartup
     * then fails to make its window. */
    if (RegisterClassA(&wc)) {
        LIB_Initialised = instance;
        STACK_Attach(instance);
    }
    return TRUE;
}

extern "C" int WINAPI WEP(int32_t)
{
    STACK_Detach();
    LIB_Initialised = nullptr;
    return 1;
}
