/*
 * Fault points.  The layer's functions ask their point before they act and,
 * when a test layer (kernel/hooks.h) says so, fail as the real function
 * would, with the error it chose.  Without a test layer no point fails.
 */
#ifndef PAL_KERNEL_FAULT_H
#define PAL_KERNEL_FAULT_H

#include <paltest.h>

namespace pal {

/* True when the point is to fail now; *error receives the armed error. */
bool fault_hit(PAL_FAULT point, int *error = nullptr);

} // namespace pal

#endif
