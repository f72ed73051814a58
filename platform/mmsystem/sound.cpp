/*
 * sndPlaySoundA without an audio device: every request is recorded, so tests
 * can see what would have played, in order.
 */
#include <mmsystem.h>
#include <paltest.h>

#include <cstdio>
#include <mutex>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

struct Played {
    bool stop;
    std::string name;
    UINT flags;
};

std::mutex sound_mutex;
std::vector<Played> played;

} // namespace

extern "C" BOOL WINAPI sndPlaySoundA(LPCSTR name, UINT flags)
{
    std::lock_guard<std::mutex> lock(sound_mutex);
    played.push_back(Played{name == nullptr, name ? name : "", flags});
    if (!name)
        return TRUE;
    return access(name, R_OK) == 0 ? TRUE : FALSE;
}

extern "C" UINT WINAPI PalSoundCount(void)
{
    std::lock_guard<std::mutex> lock(sound_mutex);
    return (UINT)played.size();
}

extern "C" BOOL WINAPI PalSoundGet(UINT index, PAL_SOUND *sound)
{
    std::lock_guard<std::mutex> lock(sound_mutex);
    if (!sound || index >= played.size())
        return FALSE;
    sound->stop = played[index].stop ? TRUE : FALSE;
    std::snprintf(sound->name, sizeof sound->name, "%s", played[index].name.c_str());
    sound->flags = played[index].flags;
    return TRUE;
}

extern "C" void WINAPI PalSoundClear(void)
{
    std::lock_guard<std::mutex> lock(sound_mutex);
    played.clear();
}
