/*
 * The library as a module of the platform layer's loader, where the system
 * has no loader of its own for it: what attach.cpp hands to that loader.
 */
#ifndef CALLMGR_API_MODULE_H
#define CALLMGR_API_MODULE_H

#include "api/api.h"

#include <palmodule.h>

#ifdef __cplusplus
extern "C" {
#endif

/* The library as a module: its exports by ordinal, its entry point and its
 * resources.  A static description, never null, valid for the life of the
 * process; nothing to free. */
const PAL_MODULEDESC *LIB_Describe(void);

#ifdef __cplusplus
}
#endif

#endif
