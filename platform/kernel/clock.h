/*
 * The layer's one clock.  GetTickCount, timers and message waits all read
 * it.  It is the real monotonic clock unless a test layer (kernel/hooks.h)
 * makes it virtual; virtual time moves only when the test layer moves it,
 * and it then calls clock_changed so that waiting threads look at their
 * timers again.
 */
#ifndef PAL_KERNEL_CLOCK_H
#define PAL_KERNEL_CLOCK_H

#include <windef.h>

namespace pal {

DWORD clock_now();
bool clock_is_virtual();

/* Called on every change of virtual time (set by the message queues). */
void clock_set_listener(void (*listener)());
/* Virtual time was set or advanced: tells the listener. */
void clock_changed();

} // namespace pal

#endif
