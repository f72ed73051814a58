/* What the conformance tests need beyond the public Win32 headers.
 *
 * The tests in this folder include only <windows.h> (and <winsock.h>,
 * <mmsystem.h>) plus this header, so the same sources build twice: against
 * the platform layer on Linux, and with mingw-w64 into Windows programs that
 * run on another Win32 (Wine in the test suite).  Whatever Win32 offers no
 * public function for -- the test's instance, holding a key down, letting
 * time pass -- is one call here, implemented once over the platform's test
 * hooks (shim_platform.cpp) and once over real Win32 (shim_win32.cpp).
 *
 * Where the platform deliberately behaves otherwise than Windows, the check
 * is kept and marked:
 *
 *     KNOWN_DEVIATION(PLATFORM, "why the platform differs") EXPECT_EQ(...);
 *
 * runs the check everywhere except under the named implementation
 * (PLATFORM or WINE), where it prints the reason instead.  A deviation is
 * never folded silently into an expectation.
 */
#ifndef CALLMGR_TESTS_CONFORMANCE_H
#define CALLMGR_TESTS_CONFORMANCE_H

#include <windows.h>

#include <vector>

namespace conf {

enum Impl { PLATFORM, WINE };

/* The implementation this program runs on. */
Impl impl();

/* True (after printing the reason) when the check that follows is a known
 * deviation of the implementation `who`, which is then the running one. */
bool deviates(Impl who, const char *why, const char *file, int line);

/* The instance the test's classes are registered for. */
HINSTANCE instance();

/* Holds a key down (or lets it go) as GetKeyState sees it, for messages a
 * test sends itself. */
void set_key(int vk, bool down);

/* Lets `ms` milliseconds of the clock pass: virtual time on the platform,
 * real time elsewhere.  begin_time/end_time bracket a test that does so. */
void begin_time();
void pass_time(DWORD ms);
void end_time();

/* Takes every message waiting for the thread, dispatching each; returns how
 * many there were. */
int pump();

/* Registers a class of the test's instance; an existing one is replaced so
 * a repeated test gets its own procedure again. */
ATOM register_class(const char *name, WNDPROC proc, int extra_bytes = 0);

} // namespace conf

#define KNOWN_DEVIATION(who, why)                                                                  \
    if (::conf::deviates(::conf::who, why, __FILE__, __LINE__)) {                                  \
    } else

#endif
