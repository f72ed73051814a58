/* What the conformance tests need beyond the public Win32 headers, so the
 * same sources also build as Windows programs run under Wine (drivers in
 * shim_platform.cpp and shim_win32.cpp).
 *     KNOWN_DEVIATION(WINE, "why it differs") EXPECT_EQ(...);
 * runs the check everywhere except under the named implementation, where it
 * prints the reason instead: a deviation is never folded into an expectation. */
#ifndef CALLMGR_TESTS_CONFORMANCE_H
#define CALLMGR_TESTS_CONFORMANCE_H

#include <windows.h>

namespace conf {

enum Impl { PLATFORM, WINE };

Impl impl();
/* True (after printing the reason) when `who` is the running implementation. */
bool deviates(Impl who, const char *why, const char *file, int line);

HINSTANCE instance();
/* Holds a key down (or lets it go) as GetKeyState sees it. */
void set_key(int vk, bool down);

/* Registers a class of the test's instance, replacing an existing one. */
ATOM register_class(const char *name, WNDPROC proc, int extra_bytes = 0);

} // namespace conf

#define KNOWN_DEVIATION(who, why)                                                                  \
    if (::conf::deviates(::conf::who, why, __FILE__, __LINE__)) {                                  \
    } else

#endif
