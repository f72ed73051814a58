/*
 * The loader: built-in modules found by name, loaded with a reference count,
 * their entry point run at the first load and the last release.
 *
 * A module's handle stays the same for the life of the process, also across
 * unload and reload, and a handle of an unloaded module is refused, so a
 * stale handle is never followed.
 */
#include <winbase.h>

#include "kernel/fault.h"
#include "kernel/module.h"
#include "winsock/wsock.h"

#include <cctype>
#include <cstring>
#include <list>
#include <map>
#include <mutex>
#include <string>

namespace {

struct Module {
    std::string name;
    const PAL_MODULEDESC *desc = nullptr;
    int refs = 0;
};

std::recursive_mutex loader_mutex;
std::map<std::string, const PAL_MODULEDESC *> known; /* by normalised name */
std::list<Module> modules;                           /* every module ever loaded */

std::string normalise(const char *name)
{
    std::string n;
    for (const char *p = name; *p; ++p)
        n += (char)std::toupper((unsigned char)*p);
    size_t slash = n.find_last_of("\\/");
    if (slash != std::string::npos)
        n = n.substr(slash + 1);
    if (n.find('.') == std::string::npos)
        n += ".DLL";
    return n;
}

Module *find_loaded(HMODULE h)
{
    for (Module &m : modules)
        if ((HMODULE)&m == h)
            return m.refs > 0 ? &m : nullptr;
    return nullptr;
}

const PAL_MODULEDESC *const builtins[] = {&pal::wsock32_module, &pal::vxlib32_module};

/* The modules the layer itself provides are known from the first load on. */
void register_builtins()
{
    static bool done = false;
    if (done)
        return;
    done = true;
    for (const PAL_MODULEDESC *d : builtins)
        known.emplace(normalise(d->name), d);
}

HMODULE load(const std::string &name)
{
    std::lock_guard<std::recursive_mutex> lock(loader_mutex);
    register_builtins();
    int err = ERROR_MOD_NOT_FOUND;
    if (pal::fault_hit(PAL_FAULT_LOADLIBRARY, &err)) {
        SetLastError((DWORD)err);
        return nullptr;
    }
    auto k = known.find(name);
    if (k == known.end()) {
        SetLastError(ERROR_MOD_NOT_FOUND);
        return nullptr;
    }
    Module *mod = nullptr;
    for (Module &m : modules)
        if (m.name == name)
            mod = &m;
    if (mod && mod->refs > 0) {
        ++mod->refs;
        return (HMODULE)mod;
    }
    if (!mod) {
        modules.push_back(Module{name, nullptr, 0});
        mod = &modules.back();
    }
    mod->desc = k->second;
    mod->refs = 1;
    HMODULE h = (HMODULE)mod;
    if (mod->desc->entry && !mod->desc->entry((HINSTANCE)h, DLL_PROCESS_ATTACH, nullptr)) {
        /* An entry point that refuses the attach fails the load. */
        mod->refs = 0;
        mod->desc->entry((HINSTANCE)h, DLL_PROCESS_DETACH, nullptr);
        SetLastError(ERROR_MOD_NOT_FOUND);
        return nullptr;
    }
    return h;
}

} // namespace

namespace pal {

const PAL_MODULEDESC *module_desc(HMODULE module)
{
    std::lock_guard<std::recursive_mutex> lock(loader_mutex);
    Module *m = find_loaded(module);
    return m ? m->desc : nullptr;
}

const PAL_MODULEDESC *const *module_builtins(size_t *count)
{
    *count = sizeof builtins / sizeof builtins[0];
    return builtins;
}

} // namespace pal

extern "C" {

BOOL WINAPI PalRegisterModule(const PAL_MODULEDESC *desc)
{
    if (!desc || !desc->name) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    std::lock_guard<std::recursive_mutex> lock(loader_mutex);
    register_builtins();
    known[normalise(desc->name)] = desc;
    return TRUE;
}

HINSTANCE WINAPI PalAttachModule(const PAL_MODULEDESC *desc)
{
    if (!PalRegisterModule(desc))
        return nullptr;
    return load(normalise(desc->name));
}

HMODULE WINAPI LoadLibraryA(LPCSTR name)
{
    if (!name || !*name) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    return load(normalise(name));
}

BOOL WINAPI FreeLibrary(HMODULE module)
{
    std::lock_guard<std::recursive_mutex> lock(loader_mutex);
    Module *m = find_loaded(module);
    if (!m) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    if (--m->refs == 0 && m->desc->entry)
        m->desc->entry((HINSTANCE)module, DLL_PROCESS_DETACH, nullptr);
    return TRUE;
}

FARPROC WINAPI GetProcAddress(HMODULE module, LPCSTR name)
{
    std::lock_guard<std::recursive_mutex> lock(loader_mutex);
    Module *m = find_loaded(module);
    if (!m) {
        SetLastError(ERROR_INVALID_HANDLE);
        return nullptr;
    }
    for (size_t i = 0; i < m->desc->export_count; ++i) {
        const PAL_EXPORT &e = m->desc->exports[i];
        bool match = IS_INTRESOURCE(name) ? (e.ordinal != 0 && e.ordinal == LOWORD(name))
                                          : (e.name && std::strcmp(e.name, name) == 0);
        if (match)
            return e.proc;
    }
    SetLastError(ERROR_PROC_NOT_FOUND);
    return nullptr;
}

HMODULE WINAPI GetModuleHandleA(LPCSTR name)
{
    if (!name) {
        SetLastError(ERROR_MOD_NOT_FOUND);
        return nullptr;
    }
    std::lock_guard<std::recursive_mutex> lock(loader_mutex);
    std::string n = normalise(name);
    for (Module &m : modules)
        if (m.name == n && m.refs > 0)
            return (HMODULE)&m;
    SetLastError(ERROR_MOD_NOT_FOUND);
    return nullptr;
}

} // extern "C"
