// The invited side of the two-host test, run on host B: one application
// with its server, which reports on stdout what reaches its state-machine
// window, accepts the first invitation (keeping the call, so that it is
// busy afterwards) and ends when an update arrives.  A real-time guard ends
// it should host A never get that far.
#include "fsm/fsm.h"
#include "members/members.h"
#include "netlib/netlib.h"
#include "protocol/rpc.h"
#include "support/instance.h"

#include <cstdio>
#include <string>

namespace {

const UINT_PTR GUARD = 1;
CMAPP *app = nullptr;

std::string member_text(const CM *m)
{
    return std::string(m->user) + "@" + m->host + "/" + m->realname;
}

void report(const std::string &line)
{
    std::printf("%s\n", line.c_str());
    std::fflush(stdout);
}

LRESULT CALLBACK peer_fsm(HWND hwnd, UINT msg, WPARAM wparam, LPARAM lparam)
{
    CALLCTX *call = (CALLCTX *)lparam;
    switch (msg) {
    case FSM_INVITED: {
        size_t members = 0;
        for (CML *n = call->caller->members; n; n = n->next)
            ++members;
        report("invited app=" + std::to_string(wparam == app->id) +
               " callid=" + call->caller->callid + " subject=" + call->caller->subject + " seqno=" +
               std::to_string(call->caller->seqno) + " members=" + std::to_string(members) +
               " to=" + member_text(call->to) + " from=" + member_text(call->from));
        CMSESSION *s = SESSION_Create(app);
        s->call = call;
        report("reply " + std::to_string(CALL_Send(app, call, CALL_ACCEPT, TRUE)));
        return 0;
    }
    case FSM_UPDATED:
        report(std::string("updated callid=") + call->caller->callid);
        FSM_WndProc(hwnd, msg, wparam, lparam);
        PostQuitMessage(0);
        return 0;
    case WM_TIMER:
        report("guard");
        PostQuitMessage(1);
        return 0;
    default:
        return DefWindowProcA(hwnd, msg, wparam, lparam);
    }
}

} // namespace

int main()
{
    if (NET_Startup(resource_instance()) != 1)
        return 2;
    WNDCLASSA wc = {};
    wc.lpfnWndProc = peer_fsm;
    wc.hInstance = resource_instance();
    wc.lpszClassName = "PeerFsm";
    RegisterClassA(&wc);
    app = APP_Create(nullptr, 0);
    app->fsmwnd = CreateWindowExA(0, "PeerFsm", "", 0, 0, 0, 0, 0, nullptr, nullptr,
                                  resource_instance(), nullptr);
    if (!SERVER_Startup() || !CLIENT_Startup())
        return 3;
    SetTimer(app->fsmwnd, GUARD, 60000, nullptr);
    report("ready");
    MSG m;
    while (GetMessageA(&m, nullptr, 0, 0))
        DispatchMessageA(&m);
    DestroyWindow(app->fsmwnd);
    APP_Destroy(app);
    NET_Cleanup();
    return (int)m.wParam;
}
