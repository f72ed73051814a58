/* mmsystem.h - sound, as far as the platform layer offers it. */
#ifndef PAL_MMSYSTEM_H
#define PAL_MMSYSTEM_H

#include <windows.h>

#define SND_SYNC 0x0000
#define SND_ASYNC 0x0001
#define SND_NODEFAULT 0x0002
#define SND_MEMORY 0x0004
#define SND_LOOP 0x0008
#define SND_NOSTOP 0x0010

#ifndef RC_INVOKED
PAL_BEGIN_DECLS

/*
 * Plays a sound file; a null name stops the sound that plays.  The layer has
 * no audio output: it keeps the record of what was asked to play (see
 * paltest.h) and answers as Windows does without a sound device: FALSE for
 * a file that cannot be read.
 */
BOOL WINAPI sndPlaySoundA(LPCSTR name, UINT flags);

PAL_END_DECLS
#endif

#endif
