/*
 * The layer's seams for tests: one table of functions through which a test
 * layer can fail calls on purpose, stand the clock still, hear what would
 * have sounded and act when a thread's message wait falls idle.  Nothing is
 * installed in a product: every seam is then off (no call fails on purpose,
 * the clock is the real one, nothing is kept of sounds, beeps or help
 * requests, no wait calls back), and asking costs one atomic load.
 */
#ifndef PAL_KERNEL_HOOKS_H
#define PAL_KERNEL_HOOKS_H

#include <paltest.h>
#include <windef.h>

namespace pal {

struct TestHooks {
    /* True when `point` is to fail now; *error (when not null) receives
     * the error to fail with. */
    bool (*fault_hit)(PAL_FAULT point, int *error);
    /* True when the clock is virtual; *now (when not null) receives its
     * time. */
    bool (*virtual_clock)(DWORD *now);
    /* sndPlaySoundA (a null name stops), MessageBeep and WinHelpA were
     * called. */
    void (*sound)(LPCSTR name, UINT flags);
    void (*beep)(UINT type);
    void (*help)(HWND hwnd, LPCSTR file, UINT command, ULONG_PTR data);
    /* The calling thread's message wait found nothing to do and is about
     * to block: true when the hook made work, so the wait looks again. */
    bool (*idle)(void);
};

/* The installed table, or null. */
const TestHooks *test_hooks();
/* Installs `table` (which must outlive its use) or, with null, removes it. */
void test_hooks_install(const TestHooks *table);

} // namespace pal

#endif
