/*
 * Fault points.  Tests (paltest.h) arm a point to fail after a number of
 * successful passes; the layer's functions ask the point before they act and
 * fail as the real function would, with the error the test chose.
 */
#ifndef PAL_KERNEL_FAULT_H
#define PAL_KERNEL_FAULT_H

#include <paltest.h>

namespace pal {

/* True when the point is to fail now; *error receives the armed error. */
bool fault_hit(PAL_FAULT point, int *error = nullptr);

} // namespace pal

#endif
