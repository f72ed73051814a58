// CALL_Send on an isolated host, to this process's own server: the target
// chosen by address or name, the exchange while the caller keeps serving,
// the busy count, and the failures that all end as CALL_UNREACHABLE.
#include "protocol/callsample.h"
#include "protocol/probeapp.h"

#include "fsm/fsm.h"
#include "netlib/netlib.h"
#include "protocol/rpc.h"
#include "support/recorder.h"

#include <paltest.h>

#include <gtest/gtest.h>

namespace {

const UINT NOTIFY = WM_USER + 9;
// Posted before an exchange; handled while it waits.
const UINT NOTE_BUSY = WM_USER + 10;
const UINT CHANGE_CALL = WM_USER + 11;

struct Invited {
    std::string callid, subject;
};
std::vector<Invited> invited;
CMAPP *sender = nullptr;
DWORD busy_while_waiting = 0;

CALLCTX *changing = nullptr;

LRESULT CALLBACK fsm_probe(HWND hwnd, UINT msg, WPARAM wparam, LPARAM lparam)
{
    if (msg == FSM_INVITED) {
        const CALLCTX *c = (const CALLCTX *)lparam;
        invited.push_back(Invited{c->caller->callid, c->caller->subject});
    }
    if (msg == NOTE_BUSY && sender && sender->busy > busy_while_waiting)
        busy_while_waiting = sender->busy;
    if (msg == CHANGE_CALL && changing) {
        // As a re-entered entry of the application might.
        REC_Free(changing->to->host);
        changing->to->host = REC_CopyText("nosuch.callmgr.test");
        REC_Free(changing->caller->subject);
        changing->caller->subject = REC_CopyText("Changed");
        changing = nullptr;
    }
    if (msg == FSM_INVITED || msg == FSM_UPDATED) {
        /* Only what arrived matters here: the call is not answered. */
        CALL_Free((CALLCTX *)lparam);
        return 0;
    }
    return DefWindowProcA(hwnd, msg, wparam, lparam);
}

class Send : public ::testing::Test {
  protected:
    void SetUp() override
    {
        ASSERT_EQ(1, NET_Startup(resource_instance()));
        register_recording_class("SendOwner");
        owner = make_window("SendOwner");
        sender = probe_app(owner, NOTIFY, "SendFsm", fsm_probe);
        ASSERT_TRUE(SERVER_Startup());
        ASSERT_TRUE(CLIENT_Startup());
        ASSERT_EQ(0, CALL_FromRequest(&call, &sample.request));
        invited.clear();
        received().clear();
    }
    void TearDown() override
    {
        PalSetIdleHook(nullptr, nullptr);
        PalFaultClear();
        APP_Destroy(sender);
        sender = nullptr;
        CALL_Free(call);
        DestroyWindow(owner);
        NET_Cleanup();
    }

    INT send_invite()
    {
        INT r = CALL_Send(sender, call, CALL_INVITE, FALSE);
        pump();
        return r;
    }

    HWND owner = nullptr;
    SampleCall sample{"call-from-alice"};
    CALLCTX *call = nullptr;
};

TEST_F(Send, ARequestReachesTheOwnServerByAddressOrByName)
{
    busy_while_waiting = 0;
    PostMessageA(sender->fsmwnd, NOTE_BUSY, 0, 0);
    call->to->ipaddr = 0x7F000001u; // 127.0.0.1; its host text says "hostb"
    EXPECT_EQ(CALL_DELIVERED, send_invite());
    ASSERT_EQ(1u, invited.size());
    EXPECT_EQ("call-from-alice", invited[0].callid);
    EXPECT_EQ(1u, busy_while_waiting) << "counted while the caller waited";
    EXPECT_EQ(0u, sender->busy);

    // Without a usable address the host text is contacted: the host's own
    // name is another loopback address of this host.
    REC_Free(call->to->host);
    call->to->host = REC_CopyText(getenv("CALLMGR_HOST_NAME"));
    for (ipaddr_t none : {0u, 0xFFFFFFFFu}) {
        call->to->ipaddr = none;
        EXPECT_EQ(CALL_DELIVERED, send_invite()) << none;
    }
    EXPECT_EQ(3u, invited.size());

    // A session with a call makes the application busy: answered 3.
    CMSESSION *s = SESSION_Create(sender);
    ASSERT_EQ(0, CALL_FromRequest(&s->call, &sample.request));
    EXPECT_EQ(CALL_NOTHANDLED, send_invite());
    EXPECT_EQ(3u, invited.size());
}

TEST_F(Send, TheExchangeSendsTheCallAsItWasWhenItStarted)
{
    call->to->ipaddr = 0;
    REC_Free(call->to->host);
    call->to->host = REC_CopyText(getenv("CALLMGR_HOST_NAME"));
    changing = call;
    PostMessageA(sender->fsmwnd, CHANGE_CALL, 0, 0);
    EXPECT_EQ(CALL_DELIVERED, send_invite());
    EXPECT_EQ(nullptr, changing) << "the call changed while the exchange ran";
    ASSERT_EQ(1u, invited.size());
    EXPECT_EQ("Design review", invited[0].subject);
    EXPECT_STREQ("Changed", call->caller->subject);
}

TEST_F(Send, EveryFailureOfTheExchangeIsUnreachableAndLeavesBusyAsItWas)
{
    sender->busy = 2;
    // Without a caller nothing is sent at all.
    EXPECT_EQ(CMERR_NOCALL, CALL_Send(sender, nullptr, CALL_INVITE, FALSE));
    LPCALLER caller = call->caller;
    call->caller = nullptr;
    EXPECT_EQ(CMERR_NOCALL, CALL_Send(sender, call, CALL_ACCEPT, TRUE));
    call->caller = caller;
    // A name the host does not know.
    call->to->ipaddr = 0;
    REC_Free(call->to->host);
    call->to->host = REC_CopyText("nosuch.callmgr.test");
    EXPECT_EQ(CALL_UNREACHABLE, send_invite());
    // No host text at all.
    REC_Free(call->to->host);
    call->to->host = nullptr;
    EXPECT_EQ(CALL_UNREACHABLE, send_invite());
    // A record that cannot be encoded: nothing reaches the server.
    call->to->ipaddr = 0x7F000001u;
    std::string long_subject(300, 's');
    char *subject = call->caller->subject;
    call->caller->subject = long_subject.data();
    EXPECT_EQ(CALL_UNREACHABLE, send_invite());
    call->caller->subject = subject;
    // Memory for the encoded record runs out.
    PalFaultSet(PAL_FAULT_LOCALALLOC, 0, 1, 0);
    EXPECT_EQ(CALL_UNREACHABLE, send_invite());
    PalFaultClear();
    EXPECT_EQ(2u, sender->busy);
    EXPECT_TRUE(invited.empty());

    // A host whose port mapper does not know the program.
    APP_Destroy(sender); // the last reference takes the server down
    sender = APP_Create(owner, NOTIFY);
    call->to->ipaddr = 0x7F000002u;
    EXPECT_EQ(CALL_UNREACHABLE, send_invite());
    EXPECT_EQ(0u, sender->busy);
}

} // namespace
