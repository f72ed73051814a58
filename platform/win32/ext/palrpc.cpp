/*
 * The network extensions of the platform on Windows: the serving thread,
 * address lookup, non-blocking stream connections, and the wait for one
 * socket that keeps the thread's messages flowing.
 */
#include "../net/wsock.h"
#include "../rpc/svcxprt.h"

#include <palrpc.h>

using namespace pal;

namespace {

const UINT WM_WAIT_SOCKET = WM_APP + 0x361;
const UINT_PTR WAIT_TIMER = 1;
const char WAIT_CLASS[] = "PalWaitSocket";

/* One wait in progress; waits nest, each with a window of its own. */
struct Wait {
    DWORD ready;
    bool timed_out;
};

LRESULT CALLBACK wait_proc(HWND window, UINT message, WPARAM wparam, LPARAM lparam)
{
    Wait *wait = (Wait *)GetWindowLongPtrA(window, GWLP_USERDATA);
    if (message == WM_WAIT_SOCKET && wait) {
        switch (WSAGETSELECTEVENT(lparam)) {
        case FD_READ:
        case FD_ACCEPT:
            wait->ready |= PAL_SOCKET_READ;
            break;
        case FD_WRITE:
            wait->ready |= PAL_SOCKET_WRITE;
            break;
        case FD_CONNECT:
            wait->ready |= WSAGETSELECTERROR(lparam) ? PAL_SOCKET_ERROR : PAL_SOCKET_WRITE;
            break;
        case FD_CLOSE:
            wait->ready |= PAL_SOCKET_HANGUP | PAL_SOCKET_READ;
            break;
        }
        if (WSAGETSELECTERROR(lparam))
            wait->ready |= PAL_SOCKET_ERROR;
        return 0;
    }
    if (message == WM_TIMER && wparam == WAIT_TIMER && wait) {
        wait->timed_out = true;
        return 0;
    }
    return DefWindowProcA(window, message, wparam, lparam);
}

HWND make_wait_window()
{
    static ATOM atom = 0;
    HINSTANCE instance = GetModuleHandleA(nullptr);
    if (!atom) {
        WNDCLASSA wc = {};
        wc.lpfnWndProc = wait_proc;
        wc.hInstance = instance;
        wc.lpszClassName = WAIT_CLASS;
        atom = RegisterClassA(&wc);
        if (!atom)
            return nullptr;
    }
    return CreateWindowExA(0, WAIT_CLASS, "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, instance,
                           nullptr);
}

/* What `fd` is ready for now, without waiting. */
DWORD poll(SOCKET sock, DWORD events)
{
    fd_set read, write, failed;
    FD_ZERO(&read);
    FD_ZERO(&write);
    FD_ZERO(&failed);
    if (events & PAL_SOCKET_READ)
        FD_SET(sock, &read);
    if (events & PAL_SOCKET_WRITE)
        FD_SET(sock, &write);
    FD_SET(sock, &failed);
    struct timeval now = {0, 0};
    if (net::sockets()->select(0, &read, &write, &failed, &now) <= 0)
        return 0;
    return (net::in_set(sock, read) ? PAL_SOCKET_READ : 0) |
           (net::in_set(sock, write) ? PAL_SOCKET_WRITE : 0) |
           (net::in_set(sock, failed) ? PAL_SOCKET_ERROR : 0);
}

int result_of(int n)
{
    if (n != SOCKET_ERROR)
        return n;
    return net::would_block() ? PAL_STREAM_WOULDBLOCK : -1;
}

} // namespace

extern "C" {

void WINAPI PalRpcServeOnThisThread(BOOL on)
{
    svc::serve_on_this_thread(on != FALSE);
}

BOOL WINAPI PalHostAddress(const char *host, DWORD *addr)
{
    u_long found = 0;
    if (!net::host_address(host, &found))
        return FALSE;
    *addr = net::net_long(found);
    return TRUE;
}

int WINAPI PalStreamConnect(DWORD addr, WORD port)
{
    const net::Sockets *s = net::sockets();
    if (!s)
        return -1;
    SOCKET sock = s->socket(AF_INET, SOCK_STREAM, 0);
    if (sock == INVALID_SOCKET)
        return -1;
    u_long nonblocking = 1;
    struct sockaddr_in to = {};
    to.sin_family = AF_INET;
    to.sin_port = net::net_short(port);
    to.sin_addr.s_addr = net::net_long(addr);
    if (s->ioctlsocket(sock, FIONBIO, &nonblocking) != 0 ||
        (s->connect(sock, (struct sockaddr *)&to, sizeof to) != 0 && !net::would_block())) {
        s->closesocket(sock);
        return -1;
    }
    return (int)sock;
}

int WINAPI PalStreamConnected(int fd)
{
    int error = 0, length = sizeof error;
    if (net::sockets()->getsockopt((SOCKET)fd, SOL_SOCKET, SO_ERROR, (char *)&error, &length) != 0)
        return net::sockets()->WSAGetLastError();
    return error;
}

int WINAPI PalStreamSend(int fd, const void *bytes, int length)
{
    return result_of(net::sockets()->send((SOCKET)fd, (const char *)bytes, length, 0));
}

int WINAPI PalStreamRecv(int fd, void *bytes, int length)
{
    return result_of(net::sockets()->recv((SOCKET)fd, (char *)bytes, length, 0));
}

void WINAPI PalStreamClose(int fd)
{
    if (fd >= 0 && net::sockets())
        net::sockets()->closesocket((SOCKET)fd);
}

DWORD WINAPI PalWaitSocket(int fd, DWORD events, DWORD timeout)
{
    const net::Sockets *s = net::sockets();
    SOCKET sock = (SOCKET)fd;
    events &= PAL_SOCKET_READ | PAL_SOCKET_WRITE;
    HWND window = s ? make_wait_window() : nullptr;
    if (!window)
        return 0;
    Wait wait = {0, false};
    SetWindowLongPtrA(window, GWLP_USERDATA, (LONG_PTR)&wait);
    long wanted = FD_CLOSE | FD_CONNECT;
    if (events & PAL_SOCKET_READ)
        wanted |= FD_READ | FD_ACCEPT;
    if (events & PAL_SOCKET_WRITE)
        wanted |= FD_WRITE;
    s->WSAAsyncSelect(sock, window, WM_WAIT_SOCKET, wanted);
    /* Readiness from before the selection may not be reported again. */
    wait.ready = poll(sock, events);
    if (timeout != INFINITE)
        SetTimer(window, WAIT_TIMER, timeout, nullptr);
    bool quit = false;
    int quit_code = 0;
    while (!(wait.ready & (events | PAL_SOCKET_ERROR | PAL_SOCKET_HANGUP)) && !wait.timed_out &&
           timeout != 0) {
        MSG msg;
        BOOL got = GetMessageA(&msg, nullptr, 0, 0);
        if (got == -1)
            break;
        if (!got) {
            /* Kept for the caller's own loop. */
            quit = true;
            quit_code = (int)msg.wParam;
            continue;
        }
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
    s->WSAAsyncSelect(sock, window, 0, 0);
    KillTimer(window, WAIT_TIMER);
    DestroyWindow(window);
    if (quit)
        PostQuitMessage(quit_code);
    DWORD ready = wait.ready & (events | PAL_SOCKET_ERROR | PAL_SOCKET_HANGUP);
    return ready;
}
}
