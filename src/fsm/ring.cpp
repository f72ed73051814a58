/*
 * The outgoing ring: the calling sound played at once and then every four
 * seconds from a timer without a window, until a reply comes or a session
 * closes.  Each ringing application has its own timer; the sound is the
 * library's one calling sound.
 */
#include "fsm/fsm.h"
#include "api/settings.h"

#include <callmgr.h>

namespace {

void ring_play(void)
{
    if (LIB_Settings.callring && LIB_Settings.callsound[0])
        sndPlaySoundA(LIB_Settings.callsound, RING_SOUNDFLAGS);
}

} // namespace

extern "C" void CALLBACK CLIENT_TimerProc(HWND, UINT, UINT_PTR, DWORD)
{
    ring_play();
}

extern "C" void RING_Start(CMAPP *app)
{
    ring_play();
    if (!app->ringproc) {
        app->ringproc = CLIENT_TimerProc;
        app->ringtimer = (UINT)SetTimer(nullptr, 0, RING_INTERVAL, CLIENT_TimerProc);
    }
}

extern "C" void RING_Stop(CMAPP *app)
{
    if (app->ringtimer)
        KillTimer(nullptr, app->ringtimer);
    app->ringtimer = 0;
    sndPlaySoundA(nullptr, 0);
    app->ringproc = nullptr;
}
