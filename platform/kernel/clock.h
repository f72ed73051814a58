/*
 * The layer's one clock.  GetTickCount, timers and message waits all read it;
 * in virtual time it moves only when a test advances it, and every advance
 * wakes the waiting threads so that they look at their timers again.
 */
#ifndef PAL_KERNEL_CLOCK_H
#define PAL_KERNEL_CLOCK_H

#include <windef.h>

namespace pal {

DWORD clock_now();
bool clock_is_virtual();

/* Called on every change of virtual time (set by the message queues). */
void clock_set_listener(void (*listener)());

} // namespace pal

#endif
