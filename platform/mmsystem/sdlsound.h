/*
 * Sound through the desktop's audio (SDL2): WAV files and WAV images in
 * memory, PCM of 8 or 16 bits, mono or stereo, at any common rate.
 *
 * sound_play takes sndPlaySoundA's arguments and flags: SND_ASYNC returns
 * at once, SND_SYNC (0) when the sound has ended; SND_LOOP repeats until
 * the next request (and implies SND_ASYNC); SND_NOSTOP fails while a sound
 * plays; SND_MEMORY takes `name` as a RIFF WAVE image; a missing or
 * unreadable sound plays the default sound unless SND_NODEFAULT.  A null
 * name stops what plays.  Without an audio device the call fails (FALSE)
 * at once.  Any thread; one sound plays at a time.
 */
#ifndef PAL_MMSYSTEM_SDLSOUND_H
#define PAL_MMSYSTEM_SDLSOUND_H

#include <windows.h>

namespace pal {

/* Whether sndPlaySoundA plays through the audio device: unless
 * CALLMGR_SOUND=off. */
bool sound_enabled();

BOOL sound_play(LPCSTR name, UINT flags);

/* Stops what plays and lets go of the audio device, so that the next sound
 * opens it again under the environment then in force (tests). */
void sound_reset();

} // namespace pal

#endif
