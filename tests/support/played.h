/* The sounds the platform layer was asked to play, as tests look at them. */
#ifndef CALLMGR_TESTS_PLAYED_H
#define CALLMGR_TESTS_PLAYED_H

#include <paltest.h>

#include <string>
#include <vector>

/* What was asked to play since the last look: "play NAME FLAGS" or "stop". */
inline std::vector<std::string> played()
{
    std::vector<std::string> out;
    for (UINT i = 0; i < PalSoundCount(); ++i) {
        PAL_SOUND s;
        PalSoundGet(i, &s);
        out.push_back(s.stop ? "stop"
                             : "play " + std::string(s.name) + " " + std::to_string(s.flags));
    }
    PalSoundClear();
    return out;
}

#endif
