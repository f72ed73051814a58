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

std::string on_a(const std::string &args)
{
    return FOREIGN_PEER " " + args;
}

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
                             "to=foreign@hosta.callmgr.test callid=" +
                                 callid + " seqno=1");
    EXPECT_EQ(invite.finish(), 0);
    EXPECT_EQ(answer.finish(), 0);
}

} // namespace
