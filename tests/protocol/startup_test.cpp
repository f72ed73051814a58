// CMStartup beside another application of this machine: cmcall answering,
// first alive, then killed without a chance to unregister.
#include "protocol/rpctest.h"

#include "api/api.h"
#include "support/instance.h"

#include <callmgr.h>

#include <gtest/gtest.h>

#include <cstring>

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char **environ;

namespace {

const UINT NOTIFY = WM_USER + 5;

// cmcall answering invitations on this host; `registered` once it said so.
struct Answerer {
    pid_t pid = -1;
    FILE *out = nullptr;
    bool registered = false;

    Answerer()
    {
        int fds[2];
        if (pipe2(fds, O_CLOEXEC) != 0)
            return;
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, fds[1], 1);
        char program[] = CMCALL_PROGRAM, answer[] = "answer";
        char *argv[] = {program, answer, nullptr};
        if (posix_spawn(&pid, program, &actions, nullptr, argv, environ) != 0)
            pid = -1;
        posix_spawn_file_actions_destroy(&actions);
        close(fds[1]);
        out = fdopen(fds[0], "r");
        // Its first line tells that CMStartup succeeded.
        char line[512];
        registered = out && fgets(line, sizeof line, out) && strstr(line, "registered");
    }
    ~Answerer()
    {
        end(SIGTERM);
        if (out)
            fclose(out);
    }
    void end(int signal)
    {
        if (pid > 0) {
            kill(pid, signal);
            waitpid(pid, nullptr, 0);
        }
        pid = -1;
    }
};

TEST(Startup, AnApplicationKilledLeavesNoRegistrationInTheWayOfTheNext)
{
    LibMain(resource_instance(), DLL_PROCESS_ATTACH, nullptr);
    WNDCLASSA wc{};
    wc.lpfnWndProc = DefWindowProcA;
    wc.lpszClassName = "StartupApp";
    RegisterClassA(&wc); // fails harmlessly once registered
    HWND owner =
        CreateWindowExA(0, "StartupApp", "", 0, 0, 0, 0, 0, nullptr, nullptr, nullptr, nullptr);

    Answerer other;
    ASSERT_TRUE(other.registered);
    const unsigned short tcp = mapped_port("tcp"), udp = mapped_port("udp");
    ASSERT_TRUE(tcp && udp);
    EXPECT_EQ(CMERR_SERVER, CMStartup(owner, NOTIFY, nullptr)) << "the live one keeps the program";
    EXPECT_EQ(tcp, mapped_port("tcp"));
    EXPECT_EQ(udp, mapped_port("udp"));

    other.end(SIGKILL);
    EXPECT_EQ(tcp, mapped_port("tcp")) << "left behind";
    EXPECT_EQ(udp, mapped_port("udp"));
    WORD id = CMStartup(owner, NOTIFY, nullptr);
    EXPECT_LT(id, 128);
    // Only this process is left to answer.
    EXPECT_TRUE(program_ready("-t 127.0.0.1"));
    EXPECT_TRUE(program_ready("-u 127.0.0.1"));
    EXPECT_EQ(0u, CMCleanup(id));
    EXPECT_EQ("", registered_transports());
    DestroyWindow(owner);
}

} // namespace
