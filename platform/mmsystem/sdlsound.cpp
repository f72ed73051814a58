/*
 * sndPlaySoundA's player on the desktop's audio device (SDL2).
 *
 * One sound at a time: a new request stops the one playing (unless it asks
 * not to) and opens the device in the sound's own format, so the samples
 * reach the device as the file holds them.  The device runs only while a
 * sound plays: a reaper thread closes it when a sound that was not looped
 * has ended, so an idle process keeps no audio thread busy.
 *
 * Locks: `play_mutex` guards the device and the playing sound; the audio
 * callback never takes it (closing the device waits for the callback), it
 * only takes `end_mutex` to say that the sound ended.
 */
#include "mmsystem/sdlsound.h"

#include <mmsystem.h>

#include <SDL.h>

#include <cmath>
#include <condition_variable>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include <dirent.h>
#include <unistd.h>

namespace pal {
namespace {

struct Playing {
    std::vector<Uint8> data;
    Uint8 silence = 0;
    size_t pos = 0;
    int silent_calls = 0; /* callbacks since the samples ran out */
    bool loop = false;
    unsigned long serial = 0;
};

struct Player {
    std::mutex play_mutex;
    bool audio_up = false;
    SDL_AudioDeviceID device = 0;
    Playing *playing = nullptr; /* read by the callback while the device runs */

    std::mutex end_mutex;
    std::condition_variable ended_cv;
    unsigned long ended = 0;  /* the serial of the last sound that ended */
    unsigned long serial = 0; /* the serial of the newest sound */
    bool reaper_started = false;
};

Player &player()
{
    static Player *p = new Player(); /* the reaper thread uses it to the end */
    return *p;
}

void mark_ended(Player &pl, unsigned long serial)
{
    {
        std::lock_guard<std::mutex> lock(pl.end_mutex);
        if (serial > pl.ended)
            pl.ended = serial;
    }
    pl.ended_cv.notify_all();
}

void SDLCALL fill(void *userdata, Uint8 *stream, int len)
{
    Playing *p = (Playing *)userdata;
    size_t want = (size_t)len, done = 0;
    while (done < want && !p->data.empty()) {
        if (p->pos >= p->data.size()) {
            if (!p->loop)
                break;
            p->pos = 0;
        }
        size_t n = std::min(want - done, p->data.size() - p->pos);
        std::memcpy(stream + done, p->data.data() + p->pos, n);
        p->pos += n;
        done += n;
    }
    if (done < want) {
        std::memset(stream + done, p->silence, want - done);
        /* The sound has been heard once the device has asked for two
         * buffers after the one that held its last samples: the audio
         * runtime keeps one buffer of its own between us and the device. */
        if (!p->loop && p->pos >= p->data.size() && ++p->silent_calls >= 3)
            mark_ended(player(), p->serial);
    }
}

/* Closes the device and drops the sound; play_mutex held. */
void stop_locked(Player &pl)
{
    if (pl.device)
        SDL_CloseAudioDevice(pl.device);
    pl.device = 0;
    if (pl.playing) {
        mark_ended(pl, pl.playing->serial);
        delete pl.playing;
        pl.playing = nullptr;
    }
}

bool playing_locked(Player &pl)
{
    if (!pl.playing)
        return false;
    std::lock_guard<std::mutex> lock(pl.end_mutex);
    return pl.ended < pl.playing->serial;
}

/* Closes the device after a sound that ended by itself. */
void reap()
{
    Player &pl = player();
    unsigned long reaped = 0;
    for (;;) {
        unsigned long serial;
        {
            std::unique_lock<std::mutex> lock(pl.end_mutex);
            pl.ended_cv.wait(lock, [&] { return pl.ended > reaped; });
            serial = reaped = pl.ended;
        }
        std::lock_guard<std::mutex> lock(pl.play_mutex);
        if (pl.playing && pl.playing->serial <= serial)
            stop_locked(pl);
    }
}

/* The sound Windows plays when the one asked for cannot be: a short beep,
 * 16-bit mono at 22050 Hz. */
std::vector<Uint8> default_sound(SDL_AudioSpec *audio)
{
    const int rate = 22050, samples = rate * 15 / 100;
    std::vector<Uint8> out((size_t)samples * 2);
    for (int i = 0; i < samples; ++i) {
        double fade = std::min(1.0, std::min(i, samples - i) / 200.0);
        auto v = (Sint16)(std::sin(2.0 * M_PI * 880.0 * i / rate) * 12000.0 * fade);
        out[(size_t)i * 2] = (Uint8)(v & 0xFF);
        out[(size_t)i * 2 + 1] = (Uint8)((v >> 8) & 0xFF);
    }
    SDL_zerop(audio);
    audio->freq = rate;
    audio->format = AUDIO_S16LSB;
    audio->channels = 1;
    return out;
}

/* Reads a WAV file or image; false when it is missing or no WAV SDL reads. */
bool load(LPCSTR name, UINT flags, SDL_AudioSpec *audio, std::vector<Uint8> *data)
{
    SDL_RWops *rw = nullptr;
    if (flags & SND_MEMORY) {
        const Uint8 *image = (const Uint8 *)name;
        if (std::memcmp(image, "RIFF", 4) != 0)
            return false;
        Uint32 size = (Uint32)image[4] | (Uint32)image[5] << 8 | (Uint32)image[6] << 16 |
                      (Uint32)image[7] << 24;
        if (size > 0x7FFFFFF0u)
            return false;
        rw = SDL_RWFromConstMem(image, (int)(size + 8));
    } else {
        rw = SDL_RWFromFile(name, "rb");
    }
    if (!rw)
        return false;
    Uint8 *buf = nullptr;
    Uint32 len = 0;
    if (!SDL_LoadWAV_RW(rw, 1, audio, &buf, &len))
        return false;
    data->assign(buf, buf + len);
    SDL_FreeWAV(buf);
    return true;
}

/* Whether there is anything to play on: an audio driver named for SDL, a
 * sound server of the user's session, or a sound card.  Without one the
 * request fails quietly, as on Windows, instead of the audio libraries
 * reporting their search for a device on the application's stderr. */
bool device_present()
{
    if (std::getenv("SDL_AUDIODRIVER") || std::getenv("PULSE_SERVER"))
        return true;
    if (const char *run = std::getenv("XDG_RUNTIME_DIR")) {
        for (const char *socket : {"/pulse/native", "/pipewire-0"}) {
            std::string path = std::string(run) + socket;
            if (access(path.c_str(), F_OK) == 0)
                return true;
        }
    }
    DIR *dir = opendir("/dev/snd");
    if (!dir)
        return false;
    bool card = false;
    while (struct dirent *e = readdir(dir))
        if (std::strncmp(e->d_name, "pcmC", 4) == 0)
            card = true;
    closedir(dir);
    return card;
}

bool audio_up_locked(Player &pl)
{
    if (pl.audio_up)
        return true;
    if (!device_present())
        return false;
    SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
    if (SDL_InitSubSystem(SDL_INIT_AUDIO) != 0)
        return false;
    /* The display reads SDL's event queue; devices coming and going are
     * nothing it needs. */
    SDL_EventState(SDL_AUDIODEVICEADDED, SDL_IGNORE);
    SDL_EventState(SDL_AUDIODEVICEREMOVED, SDL_IGNORE);
    pl.audio_up = true;
    if (!pl.reaper_started) {
        pl.reaper_started = true;
        std::thread(reap).detach();
    }
    return true;
}

} // namespace

bool sound_enabled()
{
    const char *v = std::getenv("CALLMGR_SOUND");
    return !(v && std::strcmp(v, "off") == 0);
}

BOOL sound_play(LPCSTR name, UINT flags)
{
    Player &pl = player();
    std::unique_lock<std::mutex> lock(pl.play_mutex);
    if (!name) {
        stop_locked(pl);
        return TRUE;
    }
    if ((flags & SND_NOSTOP) && playing_locked(pl))
        return FALSE;
    SDL_AudioSpec audio;
    SDL_zero(audio);
    auto sound = std::make_unique<Playing>();
    if (!load(name, flags, &audio, &sound->data)) {
        if (flags & SND_NODEFAULT)
            return FALSE;
        sound->data = default_sound(&audio);
    }
    if (!audio_up_locked(pl))
        return FALSE;
    stop_locked(pl);
    bool wait = !(flags & (SND_ASYNC | SND_LOOP));
    sound->loop = (flags & SND_LOOP) != 0;
    sound->serial = ++pl.serial;
    audio.samples = 2048;
    audio.callback = fill;
    audio.userdata = sound.get();
    SDL_AudioSpec got;
    SDL_AudioDeviceID dev = SDL_OpenAudioDevice(nullptr, 0, &audio, &got, 0);
    if (!dev)
        return FALSE;
    sound->silence = got.silence;
    pl.device = dev;
    pl.playing = sound.release();
    unsigned long serial = pl.playing->serial;
    SDL_PauseAudioDevice(dev, 0);
    if (!wait)
        return TRUE;
    lock.unlock();
    {
        std::unique_lock<std::mutex> end(pl.end_mutex);
        pl.ended_cv.wait(end, [&] { return pl.ended >= serial; });
    }
    return TRUE;
}

void sound_reset()
{
    Player &pl = player();
    std::lock_guard<std::mutex> lock(pl.play_mutex);
    stop_locked(pl);
    if (pl.audio_up)
        SDL_QuitSubSystem(SDL_INIT_AUDIO);
    pl.audio_up = false;
}

} // namespace pal
