/*
 * The shared library's load: the system loader's part of making the library
 * a module of the process and running its attach.
 */
#include "api/module.h"

__attribute__((constructor)) static void lib_load(void)
{
    PalAttachModule(LIB_Describe());
}
