/*
 * The library's exports with their ordinals, as the loader offers them to
 * GetProcAddress.  callmgr.def lists the same names and ordinals for the
 * record; a test keeps the two in step.
 */
#include "api/api.h"

#include <callmgr.h>

extern "C" const unsigned char CALLMGR_Resources[];
extern "C" const size_t CALLMGR_Resources_size;

namespace {

const PAL_EXPORT lib_exports[] = {
    {1, "WEP", PAL_PROC(WEP)},
    {64, "FSM_WndProc", PAL_PROC(FSM_WndProc)},
};

} // namespace

extern "C" const PAL_MODULEDESC *LIB_Describe(void)
{
    static const PAL_MODULEDESC module = {"CALLMGR.DLL",     lib_exports,
                                          sizeof lib_exports / sizeof lib_exports[0],
                                          LibMain,           CALLMGR_Resources,
                                          CALLMGR_Resources_size};
    return &module;
}
