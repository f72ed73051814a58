// The conformance driver over the platform layer's test hooks.
#include "conformance.h"

#include "user/dialog.h" /* pal::keyboard_set */

namespace conf {

Impl impl()
{
    return PLATFORM;
}

void set_key(int vk, bool down)
{
    pal::keyboard_set(vk, down);
}

} // namespace conf
