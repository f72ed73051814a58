/*
 * The serving window: the transports' socket events arrive here as
 * messages and are handed to the transport they belong to.
 */
#include "svcxprt.h"

#include "../net/wsock.h"

#include <algorithm>

namespace pal {
namespace svc {

std::vector<Transport *> &transports = *new std::vector<Transport *>;

namespace {

const UINT WM_SOCKET_EVENT = WM_APP + 0x351;
/* Posted to go on with a transport after a full turn. */
const UINT WM_SERVE_AGAIN = WM_APP + 0x352;
const UINT_PTR SWEEP_TIMER = 1;
const UINT SWEEP_INTERVAL_MS = 1000;
const char WINDOW_CLASS[] = "PalRpcServer";

HWND serving_window = nullptr;
DWORD serving_thread = 0;
/* Transports closed while a dispatch held them, freed when none does. */
std::vector<Transport *> &closed = *new std::vector<Transport *>;
int dispatch_depth = 0;

long events_of(const Transport *t)
{
    switch (t->kind) {
    case Kind::DATAGRAM:
        return FD_READ;
    case Kind::LISTENER:
        return FD_ACCEPT;
    case Kind::CONNECTION:
        return FD_READ | FD_WRITE | FD_CLOSE;
    }
    return 0;
}

void select_events(Transport *t, HWND window)
{
    if (window)
        net::sockets()->WSAAsyncSelect(t->xprt.xp_sock, window, WM_SOCKET_EVENT, events_of(t));
    else if (serving_window)
        net::sockets()->WSAAsyncSelect(t->xprt.xp_sock, serving_window, 0, 0);
}

Transport *find(SOCKET sock)
{
    for (Transport *t : transports)
        if (t->xprt.xp_sock == sock)
            return t;
    return nullptr;
}

void free_closed()
{
    if (dispatch_depth != 0)
        return;
    auto idle = std::stable_partition(closed.begin(), closed.end(),
                                      [](Transport *t) { return t->busy != 0; });
    for (auto it = idle; it != closed.end(); ++it)
        delete *it;
    closed.erase(idle, closed.end());
}

void handle(Transport *t, long event)
{
    ++dispatch_depth;
    switch (t->kind) {
    case Kind::DATAGRAM:
        datagram_ready(t);
        break;
    case Kind::LISTENER:
        listener_ready(t);
        break;
    case Kind::CONNECTION:
        connection_ready(t, event == FD_WRITE);
        break;
    }
    --dispatch_depth;
    free_closed();
}

LRESULT CALLBACK window_proc(HWND window, UINT message, WPARAM wparam, LPARAM lparam)
{
    switch (message) {
    case WM_SOCKET_EVENT:
    case WM_SERVE_AGAIN:
        if (Transport *t = find((SOCKET)wparam))
            handle(t, message == WM_SOCKET_EVENT ? WSAGETSELECTEVENT(lparam) : FD_READ);
        return 0;
    case WM_TIMER:
        if (wparam == SWEEP_TIMER) {
            sweep_idle(GetTickCount());
            free_closed();
        }
        return 0;
    case WM_DESTROY:
        if (window == serving_window) {
            serving_window = nullptr;
            serving_thread = 0;
        }
        return 0;
    default:
        return DefWindowProcA(window, message, wparam, lparam);
    }
}

HWND make_window()
{
    static ATOM atom = 0;
    HINSTANCE instance = GetModuleHandleA(nullptr);
    if (!atom) {
        WNDCLASSA wc = {};
        wc.lpfnWndProc = window_proc;
        wc.hInstance = instance;
        wc.lpszClassName = WINDOW_CLASS;
        atom = RegisterClassA(&wc);
        if (!atom)
            return nullptr;
    }
    return CreateWindowExA(0, WINDOW_CLASS, "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, instance,
                           nullptr);
}

} // namespace

Transport *make_transport(Kind kind, SOCKET sock)
{
    Transport *t = new Transport;
    t->kind = kind;
    t->xprt.xp_sock = sock;
    t->xprt.xp_port = net::bound_port(sock);
    t->xprt.xp_p1 = t;
    t->last_active = GetTickCount();
    transports.push_back(t);
    if (serving_window)
        select_events(t, serving_window);
    return t;
}

void close_transport(Transport *t)
{
    if (t->dead)
        return;
    t->dead = true;
    select_events(t, nullptr);
    net::sockets()->closesocket(t->xprt.xp_sock);
    transports.erase(std::find(transports.begin(), transports.end(), t));
    forget_transport(&t->xprt);
    closed.push_back(t);
    free_closed();
}

void serve_later(Transport *t)
{
    if (serving_window && !t->dead)
        PostMessageA(serving_window, WM_SERVE_AGAIN, (WPARAM)t->xprt.xp_sock, 0);
}

void serve_on_this_thread(bool on)
{
    DWORD self = GetCurrentThreadId();
    if (!on) {
        if (serving_thread != self)
            return;
        for (Transport *t : transports)
            select_events(t, nullptr);
        DestroyWindow(serving_window);
        serving_window = nullptr;
        serving_thread = 0;
        return;
    }
    if (serving_thread == self && serving_window)
        return;
    if (!net::sockets())
        return;
    HWND window = make_window();
    if (!window)
        return;
    /* The window of the thread named before closes itself on its own
     * thread; its sockets now report here. */
    HWND before = serving_window;
    serving_window = window;
    serving_thread = self;
    if (before)
        PostMessageA(before, WM_CLOSE, 0, 0);
    SetTimer(window, SWEEP_TIMER, SWEEP_INTERVAL_MS, nullptr);
    for (Transport *t : transports)
        select_events(t, window);
}

} // namespace svc
} // namespace pal
