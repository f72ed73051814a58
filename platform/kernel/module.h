/* The loader's view of a loaded module, for the other parts of the layer. */
#ifndef PAL_KERNEL_MODULE_H
#define PAL_KERNEL_MODULE_H

#include <palmodule.h>

#include <cstddef>

namespace pal {

/* The description a loaded module was loaded from; null for a handle that
 * names no loaded module. */
const PAL_MODULEDESC *module_desc(HMODULE module);

/* The modules the layer itself provides, `count` of them; a test layer
 * registers them again over a test's own descriptions. */
const PAL_MODULEDESC *const *module_builtins(size_t *count);

} // namespace pal

#endif
