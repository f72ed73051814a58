// The fixture of tests that start the library with an application window
// (tests/api/calltest.h) and must leave nothing behind: faults and modal
// drivers cleared, every application cleaned up, the sockets handed to
// the application closed, the settings restored, nothing registered.
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
        /* Blocks still on their way belong to the application window. */
        ct_pump();
        /* The sockets are the application's: the next case may want the
         * same ports. */
        ct_close_sockets();
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

    /* Registers an application and waits until the local address is
     * known; `name` (when not null) receives the host's name. */
    WORD start(char *name = nullptr)
    {
        WORD id = CMStartup(owner, CT_NOTIFY, name);
        EXPECT_LT(id, 128);
        EXPECT_TRUE(ct_wait_until([] { return FSM_LocalAddress() != 0xFFFFFFFFu; }));
        return id;
    }

    /* As start(), for an application that rings while it calls and takes
     * its ports from fixed ranges; `session` receives an open session. */
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
