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
#include <initializer_list>

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
        CMNETINFO net{0, 0, 0, 7000, 7099, 7100, 7199, 6000, 6099}; // udp1, udp2, tcp ranges
        EXPECT_EQ(0u, CMSetNetInfo(id, &net));
        *session = CMOpenSession(id);
        EXPECT_LT(*session, 128);
        return id;
    }

    // Binds datagram `ports` afresh: a socket left open would hold them.
    static void expect_ports_free(std::initializer_list<u_short> ports)
    {
        WSADATA data;
        ASSERT_EQ(0, WSAStartup(MAKEWORD(1, 1), &data));
        for (u_short port : ports) {
            SOCKET sock = socket(AF_INET, SOCK_DGRAM, 0);
            sockaddr_in at{};
            at.sin_family = AF_INET;
            at.sin_port = htons(port);
            EXPECT_EQ(0, bind(sock, (const sockaddr *)&at, sizeof at)) << "still bound: " << port;
            closesocket(sock);
        }
        WSACleanup();
    }

    CMSETTINGS saved;
    HWND owner = nullptr;
};

#endif
