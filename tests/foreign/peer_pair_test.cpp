// The foreign peer against itself on a pair of hosts: "answer" on host B,
// "invite" on host A.  What one side sends, the other must print back
// field for field, so a fault in the protocol description shows here before
// the library is involved.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "foreign/linematch.h"

namespace {

// A program whose standard output is read line by line.
class Program {
  public:
    explicit Program(const std::string &command) : pipe_(popen(command.c_str(), "r")) {}
    ~Program() { finish(); }
    std::string line()
    {
        char buf[2048];
        if (pipe_ == nullptr || std::fgets(buf, sizeof buf, pipe_) == nullptr)
            return "<eof>";
        std::string out = buf;
        if (!out.empty() && out.back() == '\n')
            out.pop_back();
        return out;
    }
    // The exit status, or -1 when the program did not exit normally.
    int finish()
    {
        if (pipe_ == nullptr)
            return -1;
        const int status = pclose(pipe_);
        pipe_ = nullptr;
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }

  private:
    FILE *pipe_;
};

std::string on_b(const std::string &args)
{
    return std::string(std::getenv("CALLMGR_PEER_EXEC")) + " -- " FOREIGN_PEER " " + args;
}

std::string on_a(const std::string &args) { return FOREIGN_PEER " " + args; }

// 198.18.0.1, host A, as the number that starts a call identifier made there.
const std::string kCallIdOfA = "3323068417/";

TEST(ForeignPeer, AnInvitationIsAcceptedAcrossThePair)
{
    Program answer(on_b("answer"));
    ASSERT_EQ(answer.line(), "ready");
    Program invite(on_a("invite hostb.callmgr.test bob --subject 'Design review'"));
    EXPECT_EQ(invite.line(), "answer 16");

    const std::string invited = answer.line();
    EXPECT_TRUE(line_matches(invited, "invite msg=0 callid=3323068417/# subject=Design review "
                                      "seqno=1 members=2 to=bob@hostb.callmgr.test "
                                      "from=foreign@hosta.callmgr.test"))
        << invited;
    const std::string callid = line_field(invited, "callid");
    // The reply goes to the address the inviter gave for itself.
    EXPECT_EQ(answer.line(), "replied msg=1 host=198.18.0.1 answer=16");
    EXPECT_EQ(invite.line(), "reply msg=1 from=bob@hostb.callmgr.test "
                             "to=foreign@hosta.callmgr.test callid=" + callid + " seqno=1");
    EXPECT_EQ(invite.finish(), 0);
    EXPECT_EQ(answer.finish(), 0);
}

// Invited by address and by short name, with no subject: an empty text
// travels and comes back empty; both are declined.
TEST(ForeignPeer, InvitationsAreDeclinedByAddressAndByName)
{
    Program answer(on_b("answer --decline --count 2"));
    ASSERT_EQ(answer.line(), "ready");
    const std::string targets[] = {"198.18.0.2", "hostb"};
    for (const std::string &target : targets) {
        Program invite(on_a("invite " + target + " carol"));
        EXPECT_EQ(invite.line(), "answer 16") << target;
        const std::string invited = answer.line();
        EXPECT_EQ(invited.rfind("invite msg=0 callid=" + kCallIdOfA, 0), 0u) << invited;
        EXPECT_NE(invited.find(" subject= seqno=1 members=2 to=carol@" + target +
                               " from=foreign@hosta.callmgr.test"),
                  std::string::npos)
            << invited;
        EXPECT_EQ(answer.line(), "replied msg=4 host=198.18.0.1 answer=16");
        const std::string reply = invite.line();
        EXPECT_EQ(reply.rfind("reply msg=4 from=carol@" + target +
                                  " to=foreign@hosta.callmgr.test callid=" + kCallIdOfA,
                              0),
                  0u)
            << reply;
        EXPECT_EQ(invite.finish(), 0);
    }
    EXPECT_EQ(answer.finish(), 0);
}

// Nobody serves the program on B, or the name is unknown: the invitation is
// not taken and the inviter ends at once.
TEST(ForeignPeer, AnInvitationThatNobodyTakesEndsTheInviter)
{
    for (const char *target : {"hostb.callmgr.test", "nosuch.callmgr.test"}) {
        Program invite(on_a(std::string("invite ") + target + " bob 2>/dev/null"));
        const std::string answer = invite.line();
        EXPECT_EQ(answer.rfind("answer none: ", 0), 0u) << answer;
        EXPECT_EQ(invite.line(), "<eof>");
        EXPECT_EQ(invite.finish(), 1) << target;
    }
}

} // namespace
