/*
 * sndPlaySoundA: through the desktop's audio (mmsystem/sdlsound.h), unless
 * CALLMGR_SOUND=off, where nothing plays and the answer is what a device
 * would give: a stop request succeeds, a sound succeeds when its file can be
 * read.  A test layer (kernel/hooks.h) hears every request either way.
 */
#include <mmsystem.h>

#include "kernel/hooks.h"
#include "mmsystem/sdlsound.h"

#include <unistd.h>

extern "C" BOOL WINAPI sndPlaySoundA(LPCSTR name, UINT flags)
{
    const pal::TestHooks *h = pal::test_hooks();
    if (h && h->sound)
        h->sound(name, flags);
    if (pal::sound_enabled())
        return pal::sound_play(name, flags);
    if (!name)
        return TRUE;
    return access(name, R_OK) == 0 ? TRUE : FALSE;
}
