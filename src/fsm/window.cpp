/*
 * The state-machine window and its procedure.
 */
#include "fsm/fsm.h"
#include "members/members.h"
#include "netlib/netlib.h"
#include "resources/resource.h"

namespace {

/* The window's user data: what its creation took, so that its destruction
 * releases exactly that; whether it is to end once its procedure returns
 * (its application went while the procedure was running); and, above
 * these flags, how many calls of the procedure are running, FSM_RUNNING
 * each (a handler that waits in a dialog or an exchange is re-entered). */
const LONG_PTR FSM_HOLDS_NET = 1;
const LONG_PTR FSM_HOLDS_LOCALHOST = 2;
const LONG_PTR FSM_ENDING = 4;
const LONG_PTR FSM_RUNNING = 8;

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
    /* Only the running calls stay counted. */
    SetWindowLongPtrA(hwnd, GWLP_USERDATA, holds & ~(FSM_RUNNING - 1));
}

/* A call of the procedure returns.  The outermost one ends a window whose
 * application went meanwhile: the handlers further up still need what the
 * window holds (the socket library, to send an answer or close the sockets
 * of a refused call). */
void fsm_leave(HWND hwnd)
{
    if (!IsWindow(hwnd))
        return; /* gone with its owner */
    LONG_PTR state = GetWindowLongPtrA(hwnd, GWLP_USERDATA) - FSM_RUNNING;
    SetWindowLongPtrA(hwnd, GWLP_USERDATA, state);
    if (state < FSM_RUNNING && (state & FSM_ENDING))
        DestroyWindow(hwnd);
}

LRESULT fsm_handle(HWND hwnd, UINT msg, WPARAM wparam, LPARAM lparam);

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

extern "C" void CMFSM_End(HWND hwnd)
{
    /* Only our own window: the handle may have gone with its owner. */
    if (!IsWindow(hwnd) || (WNDPROC)GetWindowLongPtrA(hwnd, GWLP_WNDPROC) != FSM_WndProc)
        return;
    LONG_PTR state = GetWindowLongPtrA(hwnd, GWLP_USERDATA);
    if (state >= FSM_RUNNING)
        SetWindowLongPtrA(hwnd, GWLP_USERDATA, state | FSM_ENDING);
    else
        DestroyWindow(hwnd);
}

extern "C" LRESULT CALLBACK FSM_WndProc(HWND hwnd, UINT msg, WPARAM wparam, LPARAM lparam)
{
    SetWindowLongPtrA(hwnd, GWLP_USERDATA, GetWindowLongPtrA(hwnd, GWLP_USERDATA) + FSM_RUNNING);
    LRESULT result = fsm_handle(hwnd, msg, wparam, lparam);
    fsm_leave(hwnd);
    return result;
}

namespace {

LRESULT fsm_handle(HWND hwnd, UINT msg, WPARAM wparam, LPARAM lparam)
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
        FSM_Proceed(wparam);
        return 0;
    case WM_DESTROY:
        fsm_destroy(hwnd);
        return 0;
    default:
        return DefWindowProcA(hwnd, msg, wparam, lparam);
    }
}

} // namespace
