/*
 * palmodule.h - the platform layer's loader.
 *
 * Modules are built in: each is described once by the code that provides it
 * (its name, its exports by ordinal and name, its entry point and its
 * resource data in the format of a compiled .res file) and then loaded by
 * name with LoadLibraryA.  A library that is part of the process from the
 * start, such as the call manager itself, attaches itself with
 * PalAttachModule, which plays the part of the system loader: it loads the
 * module once and runs its entry point with DLL_PROCESS_ATTACH.
 */
#ifndef PAL_PALMODULE_H
#define PAL_PALMODULE_H

#include <windef.h>

PAL_BEGIN_DECLS

typedef BOOL(WINAPI *PAL_DLLMAIN)(HINSTANCE instance, DWORD reason, LPVOID reserved);

/* A function as an export, whatever its type. */
#define PAL_PROC(fn) ((FARPROC)(void (*)(void))(fn))

typedef struct PAL_EXPORT {
    WORD ordinal;     /* 0: exported by name only */
    const char *name; /* null: exported by ordinal only */
    FARPROC proc;
} PAL_EXPORT;

typedef struct PAL_MODULEDESC {
    const char *name; /* "WSOCK32.DLL" */
    const PAL_EXPORT *exports;
    size_t export_count;
    PAL_DLLMAIN entry;     /* may be null */
    const void *resources; /* compiled .res data, may be null */
    size_t resource_size;
} PAL_MODULEDESC;

/* Makes a module known to LoadLibraryA.  A module of the same name that is
 * already known is replaced for later loads.  The description must outlive
 * the module. */
BOOL WINAPI PalRegisterModule(const PAL_MODULEDESC *desc);

/* Registers the module if needed and loads it as the system loader would load
 * a library of the process: the first load runs its entry point. */
HINSTANCE WINAPI PalAttachModule(const PAL_MODULEDESC *desc);

PAL_END_DECLS

#endif
