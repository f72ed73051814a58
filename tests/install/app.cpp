// An application built against the installed library with pkg-config: it
// makes a window, runs its message loop, and sees a posted message, a timer
// and a name lookup arrive as they would on Windows.  Exits 0 when all three
// came in order; the library's load has attached the TCP/IP stack.
#include <callmgr.h>
#include <winsock.h>

#include <stdio.h>
#include <string.h>

namespace {

const UINT APP_POSTED = WM_USER + 1;
const UINT APP_LOOKUP = WM_USER + 2;
char host_entry[MAXGETHOSTSTRUCT];
HANDLE lookup_task;
int step = 0;

void fail(const char *what)
{
    fprintf(stderr, "app: %s\n", what);
    PostQuitMessage(1);
}

LRESULT CALLBACK app_proc(HWND hwnd, UINT msg, WPARAM wparam, LPARAM lparam)
{
    switch (msg) {
    case APP_POSTED:
        if (step++ != 0 || wparam != 7 || lparam != 70)
            fail("posted message out of order");
        else if (!SetTimer(hwnd, 1, 50, nullptr))
            fail("SetTimer");
        return 0;
    case WM_TIMER:
        KillTimer(hwnd, 1);
        if (step++ != 1 || wparam != 1)
            fail("timer out of order");
        else if (!(lookup_task = WSAAsyncGetHostByName(hwnd, APP_LOOKUP, "localhost", host_entry,
                                                       sizeof host_entry)))
            fail("WSAAsyncGetHostByName");
        return 0;
    case APP_LOOKUP: {
        const struct hostent *he = (const struct hostent *)host_entry;
        if (step++ != 2 || (HANDLE)wparam != lookup_task || WSAGETASYNCERROR(lparam) != 0 ||
            !he->h_addr_list[0] || (unsigned char)he->h_addr_list[0][0] != 127) {
            fail("lookup of localhost");
            return 0;
        }
        printf("app: posted message, timer and lookup of %s arrived in order\n", he->h_name);
        PostQuitMessage(0);
        return 0;
    }
    default:
        return DefWindowProcA(hwnd, msg, wparam, lparam);
    }
}

} // namespace

int main()
{
    WSADATA data;
    if (WSAStartup(MAKEWORD(1, 1), &data) != 0)
        return 2;
    WNDCLASSA wc;
    memset(&wc, 0, sizeof wc);
    wc.lpfnWndProc = app_proc;
    wc.lpszClassName = "InstalledApp";
    if (!RegisterClassA(&wc))
        return 2;
    HWND hwnd = CreateWindowExA(0, "InstalledApp", "app", WS_OVERLAPPEDWINDOW, 0, 0, 100, 100,
                                nullptr, nullptr, nullptr, nullptr);
    if (!hwnd)
        return 2;
    /* Loading the library attached the TCP/IP stack, whose window is up. */
    if (!FindWindowA("KRAQClass", nullptr))
        return 3;
    PostMessageA(hwnd, APP_POSTED, 7, 70);
    MSG msg;
    while (GetMessageA(&msg, nullptr, 0, 0) > 0) {
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
    DestroyWindow(hwnd);
    WSACleanup();
    return (int)msg.wParam;
}
