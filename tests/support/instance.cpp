#include "support/instance.h"

#include <palmodule.h>

extern "C" const unsigned char CALLMGR_Resources[];
extern "C" const size_t CALLMGR_Resources_size;

HINSTANCE resource_instance()
{
    static const PAL_MODULEDESC desc = {"CMRES.DLL", nullptr,           0,
                                        nullptr,     CALLMGR_Resources, CALLMGR_Resources_size};
    static HINSTANCE instance = PalAttachModule(&desc);
    return instance;
}
