// The conformance driver over real Win32 (built with mingw-w64).
#include "conformance.h"

namespace conf {

Impl impl()
{
    return WINE;
}

void set_key(int vk, bool down)
{
    BYTE keys[256];
    GetKeyboardState(keys);
    keys[vk & 0xff] = down ? 0x80 : 0;
    SetKeyboardState(keys);
}

void begin_time() {}

/* Real time passes; a little more than asked so that a timer due at
 * exactly `ms` has fallen due however the system rounds its ticks. */
void pass_time(DWORD ms)
{
    Sleep(ms + ms / 4 + 20);
}

void end_time() {}

} // namespace conf
