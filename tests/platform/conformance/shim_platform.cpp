// The conformance driver over the platform layer's test hooks.
#include "conformance.h"

#include "user/dialog.h" /* pal::keyboard_set */

#include <paltest.h>

namespace conf {

Impl impl()
{
    return PLATFORM;
}

void set_key(int vk, bool down)
{
    pal::keyboard_set(vk, down);
}

void begin_time()
{
    PalClockSetVirtual(TRUE, 1000);
}

void pass_time(DWORD ms)
{
    PalClockAdvance(ms);
}

void end_time()
{
    PalClockSetVirtual(FALSE, 0);
}

} // namespace conf
