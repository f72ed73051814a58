#include <winbase.h>

namespace {
thread_local DWORD last_error = 0;
}

extern "C" DWORD WINAPI GetLastError(void)
{
    return last_error;
}
extern "C" void WINAPI SetLastError(DWORD err)
{
    last_error = err;
}
