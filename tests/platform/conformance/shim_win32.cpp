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

} // namespace conf
