// The Invite - RSVP dialog: what it shows, the answers, its ring and
// time-out in virtual time, and nested dialogs.
#include "api/api.h"
#include "api/settings.h"
#include "netlib/netlib.h"
#include "ui/ui.h"

#include "support/msgseq.h"
#include "support/played.h"

#include "ui/dialogs.h"

#include <paltest.h>

#include <algorithm>
#include <cstring>

namespace {

const DWORD kStart = 1000;
const char kSound[] = "C:\\SOUNDS\\RSVP.WAV";
const std::string kRing = std::string("play ") + kSound + " 19"; /* 0x13 */

CM member(const char *realname, const char *user = nullptr, const char *host = nullptr,
          ipaddr_t ipaddr = 0)
{
    CM cm{};
    cm.realname = const_cast<char *>(realname);
    cm.user = const_cast<char *>(user);
    cm.host = const_cast<char *>(host);
    cm.ipaddr = ipaddr;
    return cm;
}

// A received invitation: the inviter and the call's member list in order.
struct Invitation {
    CM from{};
    std::vector<CM> cms;
    std::vector<CML> nodes;
    CALLER caller{};
    CALLCTX ctx{};

    Invitation(const char *subject, CM inviter, std::vector<CM> members,
               std::vector<bool> present = {})
        : from(inviter), cms(std::move(members))
    {
        nodes.resize(cms.size());
        for (size_t i = 0; i < cms.size(); ++i) {
            bool has = i >= present.size() || present[i];
            nodes[i].cm = has ? &cms[i] : nullptr;
            nodes[i].next = i + 1 < nodes.size() ? &nodes[i + 1] : nullptr;
        }
        caller.subject = const_cast<char *>(subject);
        caller.members = nodes.empty() ? nullptr : &nodes[0];
        ctx.from = &from;
        ctx.to = cms.empty() ? nullptr : &cms[0];
        ctx.caller = &caller;
    }
};

Invitation three_members()
{
    return Invitation(
        "Budget review", member("Ann Smith", "ann", "east"),
        {member("gamma"), member(nullptr, "alpha", "h1"), member("", "", "beta", 0x0A000001)});
}

class Rsvp : public ::testing::Test {
  protected:
    void SetUp() override
    {
        saved_settings = LIB_Settings;
        saved_instance = LIB_Instance;
        memset(&LIB_Settings, 0, sizeof LIB_Settings);
        LIB_Instance = resource_instance();
        PalClockSetVirtual(TRUE, kStart);
        PalSoundClear();
        SEQ_RegisterClass("RsvpOwner");
        owner = SEQ_CreateWindow("RsvpOwner");
        ShowWindow(owner, SW_SHOW);
    }
    void TearDown() override
    {
        PalClearModalIdle();
        PalFaultClear();
        DestroyWindow(owner);
        while (NET_Users())
            NET_Cleanup();
        PalSoundClear();
        PalClockSetVirtual(FALSE, 0);
        LIB_Settings = saved_settings;
        LIB_Instance = saved_instance;
    }
    void ring_on(const char *sound = kSound)
    {
        LIB_Settings.rsvpring = 1;
        snprintf(LIB_Settings.rsvpsound, sizeof LIB_Settings.rsvpsound, "%s", sound);
    }

    CMSETTINGS saved_settings;
    HINSTANCE saved_instance = nullptr;
    HWND owner = nullptr;
};

TEST_F(Rsvp, ShowsTheInvitationAndEnterOnTheFocusedAcceptJoins)
{
    /* A node without a member and a member known only by its address while
     * the socket library is not loaded get no entry and are not counted. */
    Invitation inv("Budget review", member("Ann Smith", "ann", "east"),
                   {member("gamma"), member(nullptr, "alpha", "h1"), member("", "", "beta"),
                    member("lost"), member(nullptr, nullptr, nullptr, 0x0A000007)},
                   {true, true, true, false, true});
    HWND seen = nullptr;
    INT result = -1;
    DialogScript()
        .on(500, "read, Enter",
            [&](HWND dlg) {
                seen = dlg;
                EXPECT_EQ("Budget review", PalGetDlgItemText(dlg, 502));
                EXPECT_EQ("Ann Smith", PalGetDlgItemText(dlg, 504));
                EXPECT_EQ("Members: (3)", PalGetDlgItemText(dlg, 505));
                EXPECT_EQ((std::vector<std::string>{"alpha", "beta", "gamma"}),
                          PalListContents(GetDlgItem(dlg, 506)));
                EXPECT_FALSE(IsWindowEnabled(owner));
                return PalPressKey(dlg, VK_RETURN);
            })
        .run([&] { result = RSVP_Run(owner, &inv.ctx); });
    EXPECT_EQ(CALL_ACCEPT, result);
    EXPECT_FALSE(IsWindow(seen));
    EXPECT_TRUE(IsWindowEnabled(owner));
    EXPECT_EQ((std::vector<std::string>{"stop"}), played()) << "ring off: only the stop";

    /* Once the socket library is loaded, the dotted address stands in. */
    CM address = member(nullptr, nullptr, "", 0x0A000007);
    EXPECT_EQ(nullptr, RSVP_MemberLabel(&address)) << "no socket library, no dotted form";
    ASSERT_EQ(1, NET_Startup(resource_instance()));
    EXPECT_STREQ("10.0.0.7", RSVP_MemberLabel(&address)) << "most significant byte first";
}

TEST_F(Rsvp, EveryAnswerButAcceptAndNoDialogAtAllDecline)
{
    Invitation inv = three_members();
    ring_on();
    const std::pair<const char *, std::function<bool(HWND)>> ways[] = {
        {"Decline", [](HWND dlg) { return PalPressButton(dlg, RSVP_DECLINE); }},
        {"Esc", [](HWND dlg) { return PalPressKey(dlg, VK_ESCAPE); }},
        {"Close", [](HWND dlg) { return PalCloseWindow(dlg); }},
    };
    for (const auto &[name, act] : ways) {
        INT result = -1;
        DialogScript().on(500, name, act).run([&] { result = RSVP_Run(owner, &inv.ctx); });
        EXPECT_EQ(CALL_DECLINE, result) << name;
        EXPECT_TRUE(IsWindowEnabled(owner)) << name;
        EXPECT_EQ((std::vector<std::string>{kRing, "stop"}), played()) << name;
    }

    /* Without a dialog: its window fails, or its record cannot be had. */
    PalFaultSet(PAL_FAULT_CREATEWINDOW, 0, 1, ERROR_NOT_ENOUGH_MEMORY);
    EXPECT_EQ(CALL_DECLINE, RSVP_Run(owner, &inv.ctx));
    PalFaultClear();
    EXPECT_EQ((std::vector<std::string>{kRing, "stop"}), played());

    PalFaultSet(PAL_FAULT_LOCALALLOC, 0, 1, ERROR_NOT_ENOUGH_MEMORY);
    EXPECT_EQ(CALL_DECLINE, RSVP_Run(owner, &inv.ctx));
    PalFaultClear();
    EXPECT_EQ(nullptr, PalFindModalDialog());
    EXPECT_TRUE(IsWindowEnabled(owner));
}

TEST_F(Rsvp, TheRingFollowsItsSettingsAndAutoAcceptSkipsTheDialog)
{
    Invitation inv = three_members();
    /* Ring off, or no sound named: nothing but the stop, though ticks pass. */
    PalOnModalIdle([](HWND dlg) {
        if (GetTickCount() - kStart < 8000) {
            PalClockAdvance(4000);
            return true;
        }
        return PalPressButton(dlg, RSVP_ACCEPT);
    });
    for (int ring : {0, 1}) {
        PalClockSetVirtual(TRUE, kStart);
        ring_on(ring ? "" : kSound);
        LIB_Settings.rsvpring = ring;
        EXPECT_EQ(CALL_ACCEPT, RSVP_Run(owner, &inv.ctx));
        EXPECT_EQ((std::vector<std::string>{"stop"}), played()) << ring;
    }
    PalClearModalIdle();

    /* Without an invitation, the store filled to its last byte without a
     * terminator and a nonzero field behind it: the longest name, no more. */
    memset(LIB_Settings.rsvpsound, 'x', sizeof LIB_Settings.rsvpsound);
    LIB_Settings.autoaccept = 0;
    EXPECT_EQ(CALL_DECLINE, RSVP_Run(owner, nullptr));
    EXPECT_EQ((std::vector<std::string>{"play " + std::string(SETTINGS_SOUNDSIZE - 1, 'x') + " 19",
                                        "stop"}),
              played());

    /* Auto-accept: no sound, no dialog, no time passes. */
    ring_on();
    LIB_Settings.autoaccept = 1;
    DialogScript().run([&] {
        EXPECT_EQ(CALL_ACCEPT, RSVP_Run(owner, &inv.ctx));
        EXPECT_EQ(CALL_ACCEPT, RSVP_Run(owner, nullptr));
    });
    EXPECT_EQ(0u, PalSoundCount());
}

/* Left alone the outer dialog rings every four seconds and declines at the
 * 31st tick, not a millisecond before. */
TEST_F(Rsvp, NestedDialogsKeepTheirOwnRingCountsTimersAndAnswersAndTimeOuts)
{
    Invitation first = three_members();
    Invitation second("Second call", member("Bob"), {member("delta")});
    ring_on();
    HWND outer = nullptr, inner = nullptr;
    INT inner_result = -1;
    DWORD inner_ended_at = 0;
    std::string outer_subject_after;
    bool open_just_before = false;
    PalOnModalIdle([&](HWND dlg) {
        DWORD elapsed = GetTickCount() - kStart;
        if (!outer)
            outer = dlg;
        if (dlg == outer) {
            if (elapsed == 8000 && !inner) {
                inner_result = RSVP_Run(owner, &second.ctx);
                inner_ended_at = GetTickCount() - kStart;
                outer_subject_after = PalGetDlgItemText(outer, 502);
                return true;
            }
            if (elapsed == 123999)
                open_just_before = PalFindModalDialog() == dlg;
            PalClockAdvance(elapsed == 120000 ? 3999 : elapsed == 123999 ? 1 : 4000);
            return true;
        }
        inner = dlg;
        if (elapsed < 20000) {
            PalClockAdvance(4000);
            return true;
        }
        return PalPressButton(dlg, RSVP_ACCEPT);
    });
    INT outer_result = RSVP_Run(owner, &first.ctx);
    DWORD outer_ended_at = GetTickCount() - kStart;
    PalClearModalIdle();

    EXPECT_EQ(CALL_ACCEPT, inner_result);
    EXPECT_EQ(CALL_DECLINE, outer_result);
    EXPECT_EQ(20000u, inner_ended_at);
    EXPECT_EQ("Budget review", outer_subject_after);
    EXPECT_EQ(124000u, outer_ended_at)
        << "the inner dialog neither restarted nor advanced the outer count";
    EXPECT_TRUE(open_just_before);
    /* Outer: the start and ticks 1..30; inner: the start and its 3 ticks;
     * each run stops the sound when it ends, the outer one last. */
    std::vector<std::string> sounds = played();
    EXPECT_EQ(35, std::count(sounds.begin(), sounds.end(), kRing));
    EXPECT_EQ(2, std::count(sounds.begin(), sounds.end(), std::string("stop")));
    EXPECT_EQ("stop", sounds.back());
}

} // namespace
