// The parts of the conformance driver that need nothing but Win32.
#include "conformance.h"

#include <cstdio>

namespace conf {

bool deviates(Impl who, const char *why, const char *file, int line)
{
    if (who != impl())
        return false;
    std::printf("[ KNOWN DEVIATION ] %s:%d: %s\n", file, line, why);
    std::fflush(stdout);
    return true;
}

HINSTANCE instance()
{
    /* Asking must not disturb the last-error value a test looks at next. */
    DWORD saved = GetLastError();
    HINSTANCE i = GetModuleHandleA(nullptr);
    SetLastError(saved);
    return i;
}

ATOM register_class(const char *name, WNDPROC proc, int extra_bytes)
{
    UnregisterClassA(name, instance());
    WNDCLASSA wc{};
    wc.lpfnWndProc = proc;
    wc.cbWndExtra = extra_bytes;
    wc.hInstance = instance();
    wc.lpszClassName = name;
    return RegisterClassA(&wc);
}

} // namespace conf
