// The fixture of tests that start the library with an application window
// and leave nothing behind.
#ifndef CALLMGR_TESTS_API_CALLFIXTURE_H
#define CALLMGR_TESTS_API_CALLFIXTURE_H

#include "api/calltest.h"

#include "api/settings.h"
#include "fsm/fsm.h"
#include "netlib/netlib.h"
#include "protocol/rpc.h"
#include "registry/registry.h"

#include <paldriver.h>
#include <paltest.h>

#include <gtest/gtest.h>

#include <cstdio>

class CallFixture : public ::testing::Test {
  protected:
    void SetUp() override
    {
        saved = LIB_Settings;
        owner = ct_start_window();
        ASSERT_NE(nullptr, owner);
    }
    void TearDown() override
    {
        PalFaultClear();
        PalClearModalIdle();
        ct_pump();          // blocks still on their way belong to the application window
        ct_close_sockets(); // the next case may want the same ports
        for (CMAPP *app = APP_First(); app; app = APP_First()) {
            app->busy = 0;
            CMCleanup(app->id);
        }
        DestroyWindow(owner);
        ct_pump();
        ct_reset();
        LIB_Settings = saved;
        EXPECT_EQ(0u, SERVER_Users()) << "nothing stays registered";
        EXPECT_EQ(0u, CLIENT_Users());
        EXPECT_EQ(0u, NET_Users());
    }

    // Registers an application and waits until the local address is known.
    WORD start(char *name = nullptr)
    {
        WORD id = CMStartup(owner, CT_NOTIFY, name);
        EXPECT_LT(id, 128);
        EXPECT_TRUE(ct_wait_until([] { return FSM_LocalAddress() != 0xFFFFFFFFu; }));
        return id;
    }

    // As start(), ringing and with fixed port ranges; opens *session.
    WORD start_caller(WORD *session)
    {
        LIB_Settings.callring = 1;
        snprintf(LIB_Settings.callsound, sizeof LIB_Settings.callsound, "%s", "C:\\CALL.WAV");
        WORD id = start();
        CMNETINFO net{};
        net.tcplow = 6000;
        net.tcphigh = 6099;
        net.udp1low = 7000;
        net.udp1high = 7099;
        net.udp2low = 7100;
        net.udp2high = 7199;
        EXPECT_EQ(0u, CMSetNetInfo(id, &net));
        *session = CMOpenSession(id);
        EXPECT_LT(*session, 128);
        return id;
    }

    CMSETTINGS saved;
    HWND owner = nullptr;
};

#endif
