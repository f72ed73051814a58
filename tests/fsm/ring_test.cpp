// The outgoing ring in virtual time: the calling sound at the start and
// every four seconds, one timer per application, and the stop.
#include "api/settings.h"
#include "fsm/fsm.h"

#include "support/msgseq.h"
#include "support/played.h"

#include <mmsystem.h>
#include <paltest.h>

#include <gtest/gtest.h>

#include <string>

namespace {

const char *const RING = "play C:\\SOUNDS\\RING.WAV 19";

class Ring : public ::testing::Test {
  protected:
    void SetUp() override
    {
        PalClockSetVirtual(TRUE, 1000);
        PalSoundClear();
        saved = LIB_Settings;
        LIB_Settings.callring = 1;
        snprintf(LIB_Settings.callsound, sizeof LIB_Settings.callsound, "%s",
                 "C:\\SOUNDS\\RING.WAV");
    }
    void TearDown() override
    {
        LIB_Settings = saved;
        PalClockSetVirtual(FALSE, 0);
    }
    // The sounds asked for in the next `ms` milliseconds.
    static std::vector<std::string> after(DWORD ms)
    {
        played();
        PalClockAdvance(ms);
        SEQ_Pump();
        return played();
    }
    CMSETTINGS saved;
    CMAPP first{}, second{};
};

TEST_F(Ring, TheSoundPlaysAtOnceAndEveryFourSecondsWhileSwitchedOnUntilStopped)
{
    RING_Start(&first);
    EXPECT_EQ((std::vector<std::string>{RING}), played());
    ASSERT_NE(0u, first.ringtimer);
    EXPECT_TRUE(after(3999).empty());
    EXPECT_EQ((std::vector<std::string>{RING}), after(1));

    UINT timer = first.ringtimer;
    RING_Start(&first);
    EXPECT_EQ((std::vector<std::string>{RING}), played()) << "once more, no second timer";
    EXPECT_EQ(timer, first.ringtimer);

    RING_Start(&second);
    EXPECT_NE(first.ringtimer, second.ringtimer);
    EXPECT_EQ((std::vector<std::string>{RING, RING}), after(4000));
    RING_Stop(&second);
    EXPECT_EQ((std::vector<std::string>{"stop"}), played());
    EXPECT_EQ((std::vector<std::string>{RING}), after(4000)) << "the first still rings";

    RING_Stop(&first);
    EXPECT_EQ(0u, first.ringtimer);
    EXPECT_FALSE(KillTimer(nullptr, timer)) << "the timer itself is gone";
    EXPECT_TRUE(after(20000).empty());
    RING_Stop(&first);
    EXPECT_EQ((std::vector<std::string>{"stop"}), played()) << "a stop is always asked";

    // With the switch off or no file the ring is silent but runs.
    LIB_Settings.callring = 0;
    RING_Start(&first);
    EXPECT_NE(0u, first.ringtimer);
    EXPECT_TRUE(after(4000).empty());
    LIB_Settings.callring = 1;
    LIB_Settings.callsound[0] = 0;
    EXPECT_TRUE(after(4000).empty());
    snprintf(LIB_Settings.callsound, sizeof LIB_Settings.callsound, "%s", "C:\\SOUNDS\\RING.WAV");
    EXPECT_EQ((std::vector<std::string>{RING}), after(4000))
        << "the settings are read at every tick";
    RING_Stop(&first);
}

TEST_F(Ring, WithoutTheTestLayerARingingCallLeavesNoRecord)
{
    // The platform as an application has it keeps no sound however long it rings.
    PalTestLayerInstall(FALSE);
    RING_Start(&first);
    ASSERT_NE(0u, first.ringtimer);
    for (int tick = 0; tick < 50; ++tick)
        first.ringproc(nullptr, WM_TIMER, first.ringtimer, 0);
    RING_Stop(&first);
    EXPECT_TRUE(sndPlaySoundA(nullptr, 0)) << "a stop still succeeds";
    PalTestLayerInstall(TRUE);
    EXPECT_EQ(0u, PalSoundCount());
}

} // namespace
