/*
 * The test layer: the platform's seams (kernel/hooks.h) filled in for tests.
 * Fault points armed by PalFaultSet, the virtual clock, the threads' idle
 * hooks, the built-in modules put back, and records of what sndPlaySoundA,
 * MessageBeep and WinHelpA were asked for.  It installs itself
 * when the program starts; only programs that use it carry it.
 */
#include <paldriver.h>
#include <paltest.h>
#include <mmsystem.h>

#include "kernel/clock.h"
#include "kernel/hooks.h"
#include "kernel/module.h"

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <string>
#include <vector>

namespace {

/* Fault points. */
struct FaultPoint {
    int skip = 0;
    int count = 0;
    int error = 0;
};

std::mutex fault_mutex;
FaultPoint faults[PAL_FAULT_COUNT];
std::atomic<bool> any_armed{false};

bool layer_fault_hit(PAL_FAULT point, int *error)
{
    if (!any_armed.load(std::memory_order_acquire) || point < 0 || point >= PAL_FAULT_COUNT)
        return false;
    std::lock_guard<std::mutex> lock(fault_mutex);
    FaultPoint &f = faults[point];
    if (f.count == 0)
        return false;
    if (f.skip > 0) {
        --f.skip;
        return false;
    }
    if (f.count > 0)
        --f.count;
    if (error)
        *error = f.error;
    return true;
}

/* The virtual clock. */
std::atomic<bool> virtual_on{false};
std::atomic<DWORD> virtual_now{0};

bool layer_virtual_clock(DWORD *now)
{
    if (!virtual_on.load(std::memory_order_acquire))
        return false;
    if (now)
        *now = virtual_now.load();
    return true;
}

/* What would have sounded or opened. */
struct Played {
    bool stop;
    std::string name;
    UINT flags;
};

std::mutex records_mutex;
std::vector<Played> played;
std::vector<UINT> beeps;
std::vector<PalHelpCall> help_calls;

void layer_sound(LPCSTR name, UINT flags)
{
    std::lock_guard<std::mutex> lock(records_mutex);
    /* A SND_MEMORY name is a WAVE image, not a text. */
    const char *shown = !name ? "" : (flags & SND_MEMORY) ? "<memory>" : name;
    played.push_back(Played{name == nullptr, shown, flags});
}

void layer_beep(UINT type)
{
    std::lock_guard<std::mutex> lock(records_mutex);
    beeps.push_back(type);
}

void layer_help(HWND hwnd, LPCSTR file, UINT command, ULONG_PTR data)
{
    std::lock_guard<std::mutex> lock(records_mutex);
    help_calls.push_back(PalHelpCall{hwnd, file ? file : "", command, data});
}

/* The idle hook of each thread (its message waits run on it alone). */
thread_local PAL_IDLEHOOK idle_hook = nullptr;
thread_local void *idle_context = nullptr;

bool layer_idle()
{
    return idle_hook && idle_hook(idle_context);
}

const pal::TestHooks layer = {
    layer_fault_hit, layer_virtual_clock, layer_sound, layer_beep, layer_help, layer_idle,
};

/* Installed as the program starts.  A test program also shows no desktop
 * windows and plays no sound unless its environment asks for them (the
 * desktop tests choose for themselves). */
bool start_layer()
{
    setenv("CALLMGR_DISPLAY", "headless", 0);
    setenv("CALLMGR_SOUND", "off", 0);
    pal::test_hooks_install(&layer);
    return true;
}

const bool installed_at_start = start_layer();

} // namespace

extern "C" {

void WINAPI PalTestLayerInstall(BOOL on)
{
    (void)installed_at_start;
    pal::test_hooks_install(on ? &layer : nullptr);
    pal::clock_changed();
}

void WINAPI PalFaultSet(PAL_FAULT point, int skip, int count, int error)
{
    if (point < 0 || point >= PAL_FAULT_COUNT)
        return;
    std::lock_guard<std::mutex> lock(fault_mutex);
    faults[point] = FaultPoint{skip, count, error};
    any_armed.store(true, std::memory_order_release);
}

void WINAPI PalFaultClear(void)
{
    std::lock_guard<std::mutex> lock(fault_mutex);
    for (FaultPoint &f : faults)
        f = FaultPoint{};
    any_armed.store(false, std::memory_order_release);
}

void WINAPI PalClockSetVirtual(BOOL on, DWORD start)
{
    virtual_now.store(start);
    virtual_on.store(on != FALSE, std::memory_order_release);
    pal::clock_changed();
}

void WINAPI PalClockAdvance(DWORD ms)
{
    virtual_now.fetch_add(ms);
    pal::clock_changed();
}

BOOL WINAPI PalClockIsVirtual(void)
{
    return pal::clock_is_virtual() ? TRUE : FALSE;
}

UINT WINAPI PalSoundCount(void)
{
    std::lock_guard<std::mutex> lock(records_mutex);
    return (UINT)played.size();
}

BOOL WINAPI PalSoundGet(UINT index, PAL_SOUND *sound)
{
    std::lock_guard<std::mutex> lock(records_mutex);
    if (!sound || index >= played.size())
        return FALSE;
    sound->stop = played[index].stop ? TRUE : FALSE;
    std::snprintf(sound->name, sizeof sound->name, "%s", played[index].name.c_str());
    sound->flags = played[index].flags;
    return TRUE;
}

void WINAPI PalSetIdleHook(PAL_IDLEHOOK hook, void *context)
{
    idle_hook = hook;
    idle_context = context;
}

void WINAPI PalRestoreBuiltinModules(void)
{
    size_t count = 0;
    const PAL_MODULEDESC *const *builtins = pal::module_builtins(&count);
    for (size_t i = 0; i < count; ++i)
        PalRegisterModule(builtins[i]);
}

void WINAPI PalSoundClear(void)
{
    std::lock_guard<std::mutex> lock(records_mutex);
    played.clear();
}

} // extern "C"

std::vector<UINT> PalBeeps()
{
    std::lock_guard<std::mutex> lock(records_mutex);
    return beeps;
}

std::vector<PalHelpCall> PalHelpCalls()
{
    std::lock_guard<std::mutex> lock(records_mutex);
    return help_calls;
}

void PalClearRecords()
{
    std::lock_guard<std::mutex> lock(records_mutex);
    beeps.clear();
    help_calls.clear();
}
