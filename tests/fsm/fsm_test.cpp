// The state-machine window on hosta.callmgr.test: creation, the local host, lookups.
#include "api/api.h"
#include "fsm/fsm.h"
#include "netlib/netlib.h"
#include "support/instance.h"
#include "support/msgseq_gtest.h"

#include <paltest.h>

#include <gtest/gtest.h>

#include <functional>

namespace {

/* A call of two members, a then b, made in place. */
struct TwoMembers {
    CM a, b;
    CML second{&b, nullptr}, first{&a, &second};
    CALLER caller{};
    CALLCTX call{};
    TwoMembers(CM first_member, CM second_member) : a(first_member), b(second_member)
    {
        caller.members = &first;
        call.caller = &caller;
    }
    TwoMembers(const TwoMembers &) = delete;
};

const UINT ASK = WM_USER + 40; // success; ASK + 1 is failure

class Fsm : public ::testing::Test {
  protected:
    void SetUp() override
    {
        inst = resource_instance();
        LibMain(inst, DLL_PROCESS_ATTACH, nullptr);
        SEQ_RegisterClass("FsmOwner");
        owner = SEQ_CreateWindow("FsmOwner");
        SEQ_Flush();
    }
    void TearDown() override
    {
        PalFaultClear();
        DestroyWindow(owner);
    }

    // Dispatches until `done` holds after a message, for 30 seconds at most.
    static void pump_until(const std::function<bool(const MSG &)> &done)
    {
        UINT_PTR guard = SetTimer(nullptr, 0, 30000, nullptr);
        MSG m;
        while (GetMessageA(&m, nullptr, 0, 0) && !(m.message == WM_TIMER && m.wParam == guard)) {
            DispatchMessageA(&m);
            if (done(m))
                break;
        }
        KillTimer(nullptr, guard);
    }
    // A new window, once the local host's lookup is answered.
    HWND ready_window()
    {
        HWND fsm = CMFSM_Create(inst, owner);
        EXPECT_NE(nullptr, fsm);
        pump_until([](const MSG &m) {
            return m.message == FSM_LOCALADDR || m.message == FSM_LOCALADDRFAILED;
        });
        return fsm;
    }

    HINSTANCE inst = nullptr;
    HWND owner = nullptr;
};

TEST_F(Fsm, TheFirstWindowLearnsTheLocalHost)
{
    HWND fsm = ready_window();
    EXPECT_EQ(0x7F000101u, FSM_LocalAddress());
    SendMessageA(fsm, FSM_LOCALADDRFAILED, 0, 0);
    EXPECT_EQ(0xFFFFFFFFu, FSM_LocalAddress()) << "a failed lookup leaves it unknown";
    DestroyWindow(owner);

    // The first window again sets the service up from nothing.
    owner = SEQ_CreateWindow("FsmOwner");
    fsm = ready_window();
    EXPECT_STREQ("hosta.callmgr.test", FSM_FullHostName());
    EXPECT_STREQ("hosta", FSM_ShortHostName());
    EXPECT_EQ(0x7F000101u, FSM_LocalAddress());
    DestroyWindow(owner);
    EXPECT_FALSE(IsWindow(fsm)) << "the window ends with its owner";
    EXPECT_EQ(0u, NET_Users());
    EXPECT_EQ(0x7F000101u, FSM_LocalAddress()) << "kept after the last window";
}

TEST_F(Fsm, DottedAddressesAndMembersAreAnsweredAtOnceByPosting)
{
    HWND fsm = ready_window();
    // Posted, not sent; the local host's lookup took id 0x8001.
    static const struct {
        const char *text;
        UINT message;
        LPARAM lparam;
    } dotted[] = {{"10.1.2.3", ASK, 0x0A010203},
                  {"255.255.255.255", ASK, (LPARAM)0xFFFFFFFF},
                  {"0.0.0.0", ASK + 1, WSANO_DATA}};
    MSG m;
    WPARAM id = 0x8002;
    for (const auto &d : dotted) {
        EXPECT_EQ(id, LOOKUP_Start(owner, ASK, d.text));
        EXPECT_EQ(0u, SEQ_Count()) << d.text;
        ASSERT_TRUE(PeekMessageA(&m, owner, 0, 0, PM_REMOVE));
        EXPECT_EQ(d.message, m.message) << d.text;
        EXPECT_EQ(id++, m.wParam);
        EXPECT_EQ(d.lparam, m.lParam) << d.text;
    }

    // A dotted member still resolving is looked up the same way.
    CMAPP *app = APP_Create(owner, ASK);
    CMSESSION *s = SESSION_Create(app);
    SendMessageA(fsm, FSM_RESOLVE, s->id, 0); // no call: nothing happens
    char address[] = "10.4.4.4", named[] = "peer";
    TwoMembers call({CMS_RESOLVING, 0, address, nullptr, nullptr, nullptr, 0},
                    {CMS_IDLE, 0x0A000001, named, nullptr, nullptr, nullptr, 0});
    CM &resolving = call.a;
    s->call = &call.call;
    SendMessageA(fsm, FSM_RESOLVE, 0x10000 | s->id, 0);
    EXPECT_EQ(id, resolving.ipaddr) << "the member holds its lookup's id";
    ASSERT_TRUE(PeekMessageA(&m, fsm, FSM_RESOLVED, FSM_RESOLVED, PM_REMOVE));
    EXPECT_EQ(id, m.wParam);
    EXPECT_EQ(0x0A040404, m.lParam);

    // A lookup that cannot start is answered as failed, not left resolving.
    CM unstarted{CMS_RESOLVING, 0, named, nullptr, nullptr, nullptr, 0};
    call.second.cm = &unstarted;
    PalFaultSet(PAL_FAULT_ASYNCLOOKUP, 0, 1, WSAENOBUFS);
    SendMessageA(fsm, FSM_RESOLVE, 0x10000 | s->id, 0);
    ASSERT_TRUE(PeekMessageA(&m, fsm, FSM_RESOLVEFAILED, FSM_RESOLVEFAILED, PM_REMOVE));
    EXPECT_NE(0u, unstarted.ipaddr);
    EXPECT_EQ(unstarted.ipaddr, m.wParam);
    s->call = nullptr;
    APP_Destroy(app);
}

TEST_F(Fsm, ClosingTheLastWindowDropsPendingLookupsSilently)
{
    HWND fsm = CMFSM_Create(inst, owner);
    ASSERT_NE(nullptr, fsm);
    ASSERT_NE(0u, LOOKUP_Start(owner, ASK, "peer.callmgr.test"));
    DestroyWindow(fsm);

    // Lookups are answered in order: once a later one is, the dropped one
    // would have been too.  (The socket library's own answer may come.)
    WSADATA data;
    ASSERT_EQ(0, WSAStartup(MAKEWORD(1, 1), &data));
    char entry[MAXGETHOSTSTRUCT];
    ASSERT_NE(nullptr, WSAAsyncGetHostByName(owner, WM_USER + 99, "peer", entry, sizeof entry));
    pump_until([](const MSG &m) { return m.message == WM_USER + 99; });
    for (const SEQ_RECORD &x : SEQ_Recorded())
        EXPECT_NE(ASK, x.msg);
    WSACleanup();
}

TEST_F(Fsm, AFailedCreationLeavesNoWindowAndNoReference)
{
    static const struct {
        PAL_FAULT point;
        int count;
        int error;
    } faults[] = {{PAL_FAULT_LOADLIBRARY, 1, ERROR_MOD_NOT_FOUND},
                  {PAL_FAULT_WSASTARTUP, 2, WSASYSNOTREADY},
                  {PAL_FAULT_GETHOSTNAME, 1, WSAENETDOWN},
                  {PAL_FAULT_ASYNCLOOKUP, 1, WSAENOBUFS},
                  {PAL_FAULT_CREATEWINDOW, 1, ERROR_NOT_ENOUGH_MEMORY}};
    for (const auto &f : faults) {
        PalFaultSet(f.point, 0, f.count, f.error);
        EXPECT_EQ(nullptr, CMFSM_Create(inst, owner)) << f.point;
    }
    EXPECT_EQ(nullptr, FindWindowA("CMFSMClass", nullptr));
    EXPECT_EQ(0u, NET_Users());

    ASSERT_NE(nullptr, ready_window()) << "nothing was left half set up";
    EXPECT_EQ(0x7F000101u, FSM_LocalAddress());
}

// An id stays taken while its answer is owed, however far the counter goes
// round and whatever task handles the socket library gives: a member waiting
// for its name is never handed the answer of a later lookup.
TEST_F(Fsm, AnIdIsNotHandedOutAgainWhileItsAnswerIsOwed)
{
    HWND fsm = ready_window();
    CMAPP *app = APP_Create(nullptr, 0);
    app->fsmwnd = fsm;
    char named[] = "peer", dotted[] = "10.2.2.2";
    TwoMembers call({CMS_RESOLVING, 0, named, nullptr, nullptr, nullptr, 0},
                    {CMS_RESOLVING, 0, dotted, nullptr, nullptr, nullptr, 0});
    CM &waiting = call.a, &later = call.b;
    SESSION_Create(app)->call = &call.call;

    LOOKUP_Member(fsm, &waiting);
    const DWORD owed = waiting.ipaddr;
    ASSERT_NE(0u, owed);
    ASSERT_LT(owed, 0x10000u);
    // Round the 16-bit counter to just before the owed id, every answer handled.
    const DWORD before = owed == 1 ? 0xFFFF : owed - 1;
    MSG m;
    DWORD id = 0;
    for (int round = 0; round <= 0x10000 && id != before; ++round) {
        id = LOOKUP_Start(fsm, FSM_RESOLVED, "10.9.9.9");
        ASSERT_TRUE(PeekMessageA(&m, fsm, FSM_RESOLVED, FSM_RESOLVED, PM_REMOVE));
        DispatchMessageA(&m);
    }
    ASSERT_EQ(before, id);

    LOOKUP_Member(fsm, &later);
    EXPECT_NE(owed, later.ipaddr);
    ASSERT_TRUE(PeekMessageA(&m, fsm, FSM_RESOLVED, FSM_RESOLVED, PM_REMOVE));
    DispatchMessageA(&m);
    EXPECT_EQ(0x0A020202u, later.ipaddr);
    EXPECT_EQ(CMS_RESOLVING, waiting.state) << "another lookup's answer";
    pump_until([&](const MSG &) { return waiting.state != CMS_RESOLVING; });
    EXPECT_EQ(0xC6120009u, waiting.ipaddr) << "its own answer: peer";
    app->sessions->call = nullptr;
    APP_Destroy(app);
}

} // namespace
