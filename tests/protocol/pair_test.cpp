// Two linked hosts: an invitation sent from host A with CALL_Send reaches
// the application on host B as FSM_INVITED with a faithful copy of the call;
// B's acceptance joins the member on A, notifies code 2 with B's address and
// stops A's ring; a second invitation finds B busy; an update reaches B.
#include "protocol/callsample.h"
#include "protocol/rpctest.h"

#include "api/settings.h"
#include "fsm/fsm.h"
#include "members/members.h"
#include "netlib/netlib.h"
#include "protocol/rpc.h"
#include "support/instance.h"
#include "support/recorder.h"

#include <paltest.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>

namespace {

const UINT NOTIFY = WM_USER + 11;

// The peer program on host B, its report read line by line while this
// thread serves.
class Peer {
  public:
    Peer()
    {
        std::string command = std::string(getenv("CALLMGR_PEER_EXEC")) + " -- " + PEER_PROGRAM;
        run_blocking([&] { pipe_ = popen(command.c_str(), "r"); });
    }
    ~Peer() { finish(); }
    std::string line()
    {
        std::string out;
        run_blocking([&] {
            char buf[4096];
            if (pipe_ && fgets(buf, sizeof buf, pipe_))
                out = buf;
        });
        if (!out.empty() && out.back() == '\n')
            out.pop_back();
        return out;
    }
    int finish()
    {
        int status = -1;
        if (pipe_)
            run_blocking([&] { status = pclose(pipe_); });
        pipe_ = nullptr;
        return status;
    }

  private:
    FILE *pipe_ = nullptr;
};

TEST(Pair, AnInvitationIsAcceptedAcrossTwoHosts)
{
    ASSERT_EQ(1, NET_Startup(resource_instance()));
    register_recording_class("PairOwner");
    HWND owner = make_window("PairOwner");
    CMAPP *app = APP_Create(owner, NOTIFY);
    ASSERT_TRUE(SERVER_Startup() && CLIENT_Startup());
    LIB_Settings.callring = 1;
    snprintf(LIB_Settings.callsound, sizeof LIB_Settings.callsound, "%s", "C:\\RING.WAV");

    // The call as host A holds it after resolving: alice on A invites bob
    // on B (and a third member that differs from bob only in its name).
    SampleCall sample("pair-call-1");
    sample.texts[0][0] = "hosta.callmgr.test";
    sample.members[0].host = sample.texts[0][0].data();
    sample.members[0].ipaddr = 0xC6120001u;
    CMSESSION *session = SESSION_Create(app);
    ASSERT_EQ(0, CALL_FromRequest(&session->call, &sample.request));
    CALLCTX *call = session->call;
    call->to->ipaddr = 0xC6120002u;
    LPCM third = call->caller->members->next->next->cm;

    Peer peer;
    ASSERT_EQ("ready", peer.line());

    RING_Start(app);
    received().clear();
    EXPECT_EQ(CALL_DELIVERED, CALL_Send(app, call, CALL_INVITE, FALSE));
    EXPECT_EQ("invited app=1 callid=pair-call-1 subject=Design review seqno=42 members=3 "
              "to=bob@hostb/Bob B from=alice@hosta.callmgr.test/Alice A",
              peer.line());
    EXPECT_EQ("reply 16", peer.line());
    pump();
    EXPECT_EQ(CMS_JOINED, call->to->state);
    EXPECT_EQ(CMS_IDLE, third->state);
    ASSERT_EQ(1u, received().size());
    EXPECT_EQ((WPARAM)((2 << 8) | session->id), received()[0].wparam);
    EXPECT_EQ((LPARAM)0x020012C6, received()[0].lparam) << "B's address, network order";
    EXPECT_EQ(0u, app->ringtimer);
    PAL_SOUND last;
    ASSERT_TRUE(PalSoundGet(PalSoundCount() - 1, &last));
    EXPECT_TRUE(last.stop);

    // B keeps the accepted call, so its application is no longer idle.
    EXPECT_EQ(CALL_NOTHANDLED, CALL_Send(app, call, CALL_INVITE, FALSE));
    // By name rather than address, an update reaches the call on B.
    call->to->ipaddr = 0;
    REC_Free(call->to->host);
    call->to->host = REC_CopyText("hostb.callmgr.test");
    EXPECT_EQ(CALL_DELIVERED, CALL_Send(app, call, CALL_UPDATE, FALSE));
    EXPECT_EQ("updated callid=pair-call-1", peer.line());
    EXPECT_EQ("", peer.line());
    EXPECT_EQ(0, peer.finish());

    EXPECT_EQ(0u, app->busy);
    CALL_Free(call);
    session->call = nullptr;
    APP_Destroy(app);
    DestroyWindow(owner);
    NET_Cleanup();
    LIB_Settings.callring = 0;
}

} // namespace
