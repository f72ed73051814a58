#include "kernel/fault.h"

#include "kernel/hooks.h"

namespace pal {

bool fault_hit(PAL_FAULT point, int *error)
{
    const TestHooks *h = test_hooks();
    return h && h->fault_hit && h->fault_hit(point, error);
}

} // namespace pal
