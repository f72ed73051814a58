#include "support/recorder.h"

std::vector<Received> &received()
{
    static std::vector<Received> r;
    return r;
}

LRESULT CALLBACK recording_proc(HWND hwnd, UINT msg, WPARAM wparam, LPARAM lparam)
{
    received().push_back(Received{hwnd, msg, wparam, lparam});
    return DefWindowProcA(hwnd, msg, wparam, lparam);
}

void register_recording_class(const char *name)
{
    WNDCLASSA wc{};
    wc.lpfnWndProc = recording_proc;
    wc.lpszClassName = name;
    RegisterClassA(&wc);
}

HWND make_window(const char *cls, HWND owner, DWORD style)
{
    return CreateWindowExA(0, cls, "", style, 0, 0, 10, 10, owner, nullptr, nullptr, nullptr);
}

int pump()
{
    MSG m;
    int n = 0;
    while (PeekMessageA(&m, nullptr, 0, 0, PM_REMOVE)) {
        DispatchMessageA(&m);
        ++n;
    }
    return n;
}
