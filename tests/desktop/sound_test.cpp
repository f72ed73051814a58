/* The sound player on SDL's disk audio driver: what reaches the "device" is
 * a file, so the samples played can be read back byte for byte. */
#include "mmsystem/sdlsound.h"

#include <mmsystem.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

std::vector<unsigned char> read_all(const std::string &path)
{
    std::ifstream in(path, std::ios::binary);
    return std::vector<unsigned char>(std::istreambuf_iterator<char>(in), {});
}

/* A RIFF WAVE image of 8-bit unsigned stereo samples. */
std::vector<unsigned char> wav_8bit_stereo(const std::vector<unsigned char> &pcm, unsigned rate)
{
    std::vector<unsigned char> w;
    auto put = [&w](const char *tag, std::initializer_list<std::pair<unsigned, int>> fields) {
        w.insert(w.end(), tag, tag + 4);
        for (auto [x, bytes] : fields)
            for (int i = 0; i < bytes; ++i)
                w.push_back((unsigned char)(x >> (8 * i)));
    };
    const unsigned size = (unsigned)pcm.size();
    put("RIFF", {{36 + size, 4}});
    put("WAVE", {});
    put("fmt ", {{16, 4}, {1, 2}, {2, 2}, {rate, 4}, {rate * 2, 4}, {2, 2}, {8, 2}});
    put("data", {{size, 4}});
    w.insert(w.end(), pcm.begin(), pcm.end());
    return w;
}

/* The device may get silence between its opening and the start of the
 * sound: what it played with leading silence taken off, as is `sound`. */
bool plays(const std::vector<unsigned char> &played, const std::vector<unsigned char> &sound,
           unsigned char silence, size_t times = 1)
{
    auto lead = [&](const std::vector<unsigned char> &v) {
        size_t i = 0;
        while (i < v.size() && v[i] == silence)
            ++i;
        return i;
    };
    size_t skip = lead(sound), at = lead(played);
    if (at < skip || played.size() < at - skip + sound.size() * times)
        return false;
    size_t start = at - skip;
    for (size_t k = 0; k < times; ++k)
        if (!std::equal(sound.begin(), sound.end(),
                        played.begin() + (long)(start + k * sound.size())))
            return false;
    return true;
}

off_t size_of(const std::string &path)
{
    struct stat st;
    return stat(path.c_str(), &st) == 0 ? st.st_size : -1;
}

class SoundTest : public ::testing::Test {
  protected:
    std::string dir, out;
    void SetUp() override
    {
        char tmpl[] = "/tmp/callmgr-sound-XXXXXX";
        ASSERT_NE(nullptr, mkdtemp(tmpl));
        dir = tmpl;
        out = dir + "/device.raw";
        setenv("SDL_AUDIODRIVER", "disk", 1);
        setenv("SDL_DISKAUDIOFILE", out.c_str(), 1);
        setenv("SDL_DISKAUDIODELAY", "0", 1);
        pal::sound_reset();
    }
    void TearDown() override
    {
        pal::sound_reset();
        unsetenv("SDL_AUDIODRIVER");
        unsetenv("SDL_DISKAUDIOFILE");
        unsetenv("SDL_DISKAUDIODELAY");
        std::remove(out.c_str());
        rmdir(dir.c_str());
    }
};

TEST_F(SoundTest, TheRingPlaysOnceSyncReturnsAfterItAndALoopRepeatsUntilStopped)
{
    /* A canonical WAV file (scripts/make_ring.py): a 44-byte header, then
     * 1.2 s of 16-bit mono at 22050 Hz. */
    std::vector<unsigned char> ring = read_all(CALLMGR_RING_WAV);
    ASSERT_EQ(44u + 52920u, ring.size());
    ring.erase(ring.begin(), ring.begin() + 44);
    ASSERT_EQ(TRUE, pal::sound_play(CALLMGR_RING_WAV, SND_SYNC | SND_NODEFAULT));
    pal::sound_reset(); /* closes the device file */
    std::vector<unsigned char> played = read_all(out);
    ASSERT_TRUE(plays(played, ring, 0));
    size_t end = played.size();
    while (end > 0 && played[end - 1] == 0)
        --end;
    EXPECT_LE(end, played.size() - 4096) << "the device played silence after the ring";

    /* Looped, until a null name stops it. */
    ASSERT_EQ(TRUE, pal::sound_play(CALLMGR_RING_WAV, SND_ASYNC | SND_LOOP | SND_NODEFAULT));
    /* The device plays in real time: four rings' worth within ten seconds. */
    auto until = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (size_of(out) < (off_t)ring.size() * 4 && std::chrono::steady_clock::now() < until)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    ASSERT_GE(size_of(out), (off_t)ring.size() * 4) << "the loop stopped by itself";
    EXPECT_EQ(FALSE, pal::sound_play(CALLMGR_RING_WAV, SND_ASYNC | SND_NOSTOP))
        << "no-stop refuses while the loop plays";
    EXPECT_EQ(TRUE, pal::sound_play(nullptr, 0));
    off_t stopped = size_of(out);
    played = read_all(out);
    EXPECT_EQ(stopped, (off_t)played.size()) << "nothing written after the stop";
    EXPECT_TRUE(plays(played, ring, 0, 2)) << "the ring twice, back to back";
    /* Nothing plays now: no-stop may play. */
    EXPECT_EQ(TRUE, pal::sound_play(CALLMGR_RING_WAV, SND_SYNC | SND_NOSTOP));
}

/* From memory this time. */
TEST_F(SoundTest, EightBitStereoReachesTheDeviceAsItIs)
{
    std::vector<unsigned char> pcm;
    for (int i = 0; i < 2000; ++i) {
        pcm.push_back((unsigned char)(128 + (i % 50) * 2)); /* left: a saw */
        pcm.push_back((unsigned char)(i % 2 ? 40 : 216));   /* right: a square */
    }
    std::vector<unsigned char> image = wav_8bit_stereo(pcm, 11025);
    ASSERT_EQ(TRUE, pal::sound_play((LPCSTR)image.data(), SND_SYNC | SND_MEMORY));
    pal::sound_reset();
    std::vector<unsigned char> played = read_all(out);
    EXPECT_TRUE(plays(played, pcm, 128));
    EXPECT_EQ(128, played.back()) << "unsigned 8-bit silence follows";
}

TEST_F(SoundTest, AMissingFilePlaysTheDefaultUnlessToldAndNoDeviceFailsAtOnce)
{
    std::string missing = dir + "/missing.wav";
    EXPECT_EQ(FALSE, pal::sound_play(missing.c_str(), SND_SYNC | SND_NODEFAULT));
    EXPECT_EQ(-1, size_of(out)) << "the device was never opened";
    /* Not a WAV either way. */
    std::string junk = dir + "/junk.wav";
    {
        std::ofstream f(junk);
        f << "RIFF? no";
    }
    EXPECT_EQ(FALSE, pal::sound_play(junk.c_str(), SND_SYNC | SND_NODEFAULT));
    EXPECT_EQ(TRUE, pal::sound_play(missing.c_str(), SND_SYNC));
    pal::sound_reset();
    std::vector<unsigned char> played = read_all(out);
    ASSERT_GE(played.size(), 6615u * 2) << "0.15 s of 16-bit mono at 22050 Hz";
    int peak = 0;
    for (size_t i = 0; i + 1 < played.size(); i += 2)
        peak = std::max(peak, std::abs((int)(short)(played[i] | played[i + 1] << 8)));
    EXPECT_GT(peak, 5000);
    std::remove(junk.c_str());

    /* Without an audio device every call fails at once. */
    setenv("SDL_AUDIODRIVER", "no-such-driver", 1);
    pal::sound_reset();
    auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(FALSE, pal::sound_play(CALLMGR_RING_WAV, SND_ASYNC | SND_NODEFAULT));
    EXPECT_EQ(FALSE, pal::sound_play(CALLMGR_RING_WAV, SND_SYNC));
    EXPECT_EQ(TRUE, pal::sound_play(nullptr, 0)) << "stopping nothing succeeds";
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2));
}

} // namespace
