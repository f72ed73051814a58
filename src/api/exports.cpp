/*
 * The library as the loader knows it: its name, its exports, its entry point
 * and its resources.  The export table itself (ordinals, names, routines) is
 * written at build time from callmgr.def, the one list of exports, into
 * callmgr_exports.cpp in the build tree.
 */
#include "api/module.h"

#include <callmgr.h>
#include <cmwire.h>

extern "C" const unsigned char CALLMGR_Resources[];
extern "C" const size_t CALLMGR_Resources_size;
extern "C" const PAL_EXPORT LIB_Exports[];
extern "C" const size_t LIB_ExportCount;

extern "C" const PAL_MODULEDESC *LIB_Describe(void)
{
    static const PAL_MODULEDESC module = {"CALLMGR.DLL", LIB_Exports,       LIB_ExportCount,
                                          LibMain,       CALLMGR_Resources, CALLMGR_Resources_size};
    return &module;
}
