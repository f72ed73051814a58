// Binding the socket library through a recording stand-in for WSOCK32.DLL,
// and attaching the TCP/IP stack.
#include "netlib/netlib.h"
#include "support/instance.h"

#include <palmodule.h>
#include <paltest.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

std::vector<std::string> calls;
bool refuse = false; /* every version is refused */

int PASCAL fake_startup(WORD version, LPWSADATA)
{
    calls.push_back("WSAStartup " + std::to_string(version));
    return refuse ? WSAVERNOTSUPPORTED : 0;
}
int PASCAL fake_cleanup(void)
{
    calls.push_back("WSACleanup");
    return 0;
}
u_long PASCAL fake_inet_addr(const char *)
{
    calls.push_back("inet_addr");
    return 0x0100007F;
}
BOOL WINAPI fake_entry(HINSTANCE, DWORD reason, LPVOID)
{
    calls.push_back(reason == DLL_PROCESS_ATTACH ? "attach" : "detach");
    return TRUE;
}

/* No gethostname: a slot the module lacks stays empty. */
const PAL_EXPORT fake_exports[] = {
    {10, "inet_addr", PAL_PROC(fake_inet_addr)},
    {115, "WSAStartup", PAL_PROC(fake_startup)},
    {116, "WSACleanup", PAL_PROC(fake_cleanup)},
};
const PAL_MODULEDESC fake_wsock = {"WSOCK32.DLL", fake_exports, 3, fake_entry, nullptr, 0};

class Binding : public ::testing::Test {
  protected:
    void SetUp() override
    {
        PalRegisterModule(&fake_wsock);
        calls.clear();
        refuse = false;
    }
    void TearDown() override
    {
        while (NET_Users())
            NET_Cleanup();
        PalRestoreBuiltinModules();
        PalFaultClear();
    }
};

TEST_F(Binding, UsersLoadOnceStartEachAndCleanUpOnceAtTheLast)
{
    EXPECT_EQ(1, NET_Startup(resource_instance()));
    EXPECT_EQ(1, NET_Startup(resource_instance()));
    char name[16] = "x";
    EXPECT_EQ(0x0100007Fu, NET_inet_addr("127.0.0.1"));
    EXPECT_EQ(-1, NET_gethostname(name, sizeof name)) << "the module has no gethostname";
    NET_Cleanup();
    EXPECT_EQ(4u, calls.size()) << "nothing cleaned up while a user is left";
    NET_Cleanup();
    EXPECT_EQ((std::vector<std::string>{"attach", "WSAStartup 257", "WSAStartup 257", "inet_addr",
                                        "WSACleanup", "detach"}),
              calls);
    EXPECT_EQ(nullptr, NET_Slots.WSAStartup) << "every slot is emptied";
    NET_Cleanup();
    EXPECT_EQ(0u, NET_Users()) << "a release too many does nothing";

    /* Unloaded, the guarded calls give fixed results. */
    in_addr any{};
    EXPECT_EQ(-1, NET_gethostname(name, sizeof name));
    EXPECT_EQ(nullptr, NET_inet_ntoa(any));
    EXPECT_EQ(0u, NET_inet_addr("127.0.0.1"));
    EXPECT_EQ(0u, NET_htonl(1));
    EXPECT_EQ(0u, NET_ntohl(1));
    EXPECT_EQ(nullptr, NET_WSAAsyncGetHostByName(nullptr, 0, "a", name, sizeof name));

    /* Version 1.0 is tried next; a refusal still counts, a failed load does not. */
    calls.clear();
    refuse = true;
    EXPECT_EQ(0, NET_Startup(resource_instance()));
    EXPECT_EQ(1u, NET_Users());
    NET_Cleanup();
    EXPECT_EQ((std::vector<std::string>{"attach", "WSAStartup 257", "WSAStartup 1", "WSACleanup",
                                        "detach"}),
              calls);

    calls.clear();
    PalFaultSet(PAL_FAULT_LOADLIBRARY, 0, 1, ERROR_MOD_NOT_FOUND);
    EXPECT_EQ(0, NET_Startup(resource_instance()));
    EXPECT_EQ(0u, NET_Users());
    EXPECT_TRUE(calls.empty());
}

BOOL WINAPI refusing_entry(HINSTANCE, DWORD reason, LPVOID)
{
    return reason != DLL_PROCESS_ATTACH;
}

TEST(Stack, AttachUsesARunningStacksWindowOrLoadsTheLibraryOnce)
{
    HINSTANCE inst = resource_instance();
    EXPECT_EQ(0, STACK_Detach()) << "nothing attached yet";
    EXPECT_EQ(0, STACK_Attach(nullptr));

    /* A running stack: its window exists; the library is not loaded. */
    WNDCLASSA wc{};
    wc.lpfnWndProc = DefWindowProcA;
    wc.lpszClassName = "KRAQClass";
    wc.hInstance = inst;
    ASSERT_TRUE(RegisterClassA(&wc));
    HWND running =
        CreateWindowExA(0, "KRAQClass", "", 0, 0, 0, 0, 0, nullptr, nullptr, inst, nullptr);
    EXPECT_EQ(1, STACK_Attach(inst));
    EXPECT_EQ(nullptr, GetModuleHandleA("VXLIB32.DLL"));
    EXPECT_EQ(0, STACK_Attach(inst)) << "attached already";
    EXPECT_EQ(1, STACK_Detach()) << "the window is still there";
    DestroyWindow(running);
    UnregisterClassA("KRAQClass", inst);

    /* A library that brings no window up is loaded, once, and the detach unloads it. */
    static const PAL_MODULEDESC windowless = {"VXLIB32.DLL", nullptr, 0, nullptr, nullptr, 0};
    PalRegisterModule(&windowless);
    EXPECT_EQ(1, STACK_Attach(inst)) << "loaded";
    EXPECT_EQ(nullptr, STACK_Window());
    EXPECT_EQ(0, STACK_Attach(inst)) << "attached already: not loaded a second time";
    EXPECT_EQ(0, STACK_Detach()) << "no stack window is left";
    EXPECT_EQ(nullptr, GetModuleHandleA("VXLIB32.DLL"));
    EXPECT_EQ(0, STACK_Detach()) << "nothing attached any more";

    static const PAL_MODULEDESC broken = {"VXLIB32.DLL", nullptr, 0, refusing_entry, nullptr, 0};
    PalRegisterModule(&broken);
    EXPECT_EQ(0, STACK_Attach(inst)) << "a library that cannot be loaded";
    PalRestoreBuiltinModules();
}

} // namespace
