// An application record for tests of the call exchange: owned by `owner`,
// its state-machine window of class `cls` runs the test's `fsm_proc`.
#pragma once

#include "members/members.h"
#include "support/instance.h"

inline CMAPP *probe_app(HWND owner, UINT notify, const char *cls, WNDPROC fsm_proc)
{
    WNDCLASSA wc = {};
    wc.lpfnWndProc = fsm_proc;
    wc.hInstance = resource_instance();
    wc.lpszClassName = cls;
    RegisterClassA(&wc); // fails harmlessly once registered
    CMAPP *app = APP_Create(owner, notify);
    app->fsmwnd =
        CreateWindowExA(0, cls, "", 0, 0, 0, 0, 0, owner, nullptr, resource_instance(), nullptr);
    return app;
}
