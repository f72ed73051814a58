/*
 * The state-machine window and its procedure.
 */
#include "fsm/fsm.h"
#include "members/members.h"
#include "netlib/netlib.h"
#include "resources/resource.h"

namespace {

/* What the window's creation took, kept in its user data so that its
 * destruction releases exactly that. */
const LONG_PTR FSM_HOLDS_NET = 1;
const LONG_PTR FSM_HOLDS_LOCALHOST = 2;

void fsm_resolve(HWND hwnd, WPARAM session_handle)
{
    CMSESSION *s = SESSION_Find(session_handle, nullptr);
    if (!s || !s->call || !s->call->caller)
        return;
    for (CML *node = s->call->caller->members; node; node = node->next)
        if (node->cm && node->cm->state == CMS_RESOLVING)
            LOOKUP_Member(hwnd, node->cm);
}

void fsm_destroy(HWND hwnd)
{
    /* Received calls still waiting in the queue belong to this window; the
     * queue would drop them with it. */
    MSG m;
    while (PeekMessageA(&m, hwnd, FSM_INVITED, FSM_UPDATED, PM_REMOVE))
        if (m.message == FSM_INVITED || m.message == FSM_UPDATED)
            CALL_Free((CALLCTX *)m.lParam);
    FSM_DropHeld(hwnd);
    LONG_PTR holds = GetWindowLongPtrA(hwnd, GWLP_USERDATA);
    if (holds & FSM_HOLDS_LOCALHOST)
        LOCALHOST_Release(hwnd);
    if (holds & FSM_HOLDS_NET)
        NET_Cleanup();
    SetWindowLongPtrA(hwnd, GWLP_USERDATA, 0);
}

} // namespace

extern "C" HWND CMFSM_Create(HINSTANCE instance, HWND owner)
{
    char class_name[32];
    if (!LoadStringA(instance, STR_FSMCLASS, class_name, sizeof class_name))
        return nullptr;
    HWND hwnd =
        CreateWindowExA(0, class_name, "", 0, 0, 0, 0, 0, owner, nullptr, instance, nullptr);
    if (!hwnd)
        return nullptr;
    DWORD before = NET_Users();
    int started = NET_Startup(instance);
    LONG_PTR holds = NET_Users() > before ? FSM_HOLDS_NET : 0;
    SetWindowLongPtrA(hwnd, GWLP_USERDATA, holds);
    if (started && LOCALHOST_Setup(hwnd)) {
        SetWindowLongPtrA(hwnd, GWLP_USERDATA, holds | FSM_HOLDS_LOCALHOST);
        return hwnd;
    }
    DestroyWindow(hwnd);
    return nullptr;
}

extern "C" LRESULT CALLBACK FSM_WndProc(HWND hwnd, UINT msg, WPARAM wparam, LPARAM lparam)
{
    switch (msg) {
    case FSM_HOSTLOOKUP:
        LOOKUP_Complete(wparam, lparam);
        return 0;
    case FSM_LOCALADDR:
        LOOKUP_Answered(wparam);
        LOCALHOST_SetAddress((DWORD)lparam);
        return 0;
    case FSM_LOCALADDRFAILED:
        LOOKUP_Answered(wparam);
        LOCALHOST_SetAddress(0xFFFFFFFF);
        return 0;
    case FSM_RESOLVE:
        fsm_resolve(hwnd, wparam);
        return 0;
    case FSM_RESOLVED:
    case FSM_RESOLVEFAILED:
        FSM_Resolved(hwnd, wparam, lparam, msg == FSM_RESOLVEFAILED);
        return 0;
    case FSM_INVITED:
        if (!FSM_Hold(hwnd, msg, wparam, lparam))
            FSM_Invited(hwnd, wparam, (CALLCTX *)lparam);
        return 0;
    case FSM_UPDATED:
        if (!FSM_Hold(hwnd, msg, wparam, lparam))
            FSM_Updated(hwnd, wparam, (CALLCTX *)lparam);
        return 0;
    case FSM_PROCEED:
        if (!FSM_Hold(hwnd, msg, wparam, lparam))
            FSM_Proceed(wparam);
        return 0;
    case WM_DESTROY:
        fsm_destroy(hwnd);
        return 0;
    default:
        return DefWindowProcA(hwnd, msg, wparam, lparam);
    }
}
