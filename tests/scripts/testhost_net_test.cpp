// Runs on host 1 of a fresh net of three hosts made by scripts/testhost.sh
//   net 3 --hosts-entry "192.0.2.9 extra.callmgr.test xtra"
// (see CMakeLists.txt); the others are reached through CALLMGR_NET_EXEC.
#include <dirent.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <set>
#include <string>

#include "scripts/hostprobe.h"

namespace {

struct Outcome {
  int status = -1;  // exit status, or -1 when the command did not exit
  std::string out;
};

Outcome run(const std::string& command) {
  Outcome result;
  FILE* pipe = popen(command.c_str(), "r");
  if (pipe == nullptr) return result;
  char chunk[512];
  size_t got;
  while ((got = std::fread(chunk, 1, sizeof chunk, pipe)) > 0) result.out.append(chunk, got);
  const int status = pclose(pipe);
  if (WIFEXITED(status)) result.status = WEXITSTATUS(status);
  return result;
}

std::string on_host(int host, const std::string& command) {
  return hostprobe::env("CALLMGR_NET_EXEC") + " " + std::to_string(host) + " -- " + command;
}

TEST(TestHostNet, EachHostReachesTheOthersByNameAndHasItsOwnRpcbind) {
  ASSERT_EQ(hostprobe::env("CALLMGR_NET_SIZE"), "3");
  ASSERT_NE(hostprobe::env("CALLMGR_NET_EXEC"), "");
  EXPECT_EQ(hostprobe::env("CALLMGR_PEER_EXEC"), "");
  // Every host registers its own probe program with its own rpcbind first,
  // so each survey below tells the three rpcbinds apart.
  for (int i = 1; i <= 3; ++i) {
    Outcome registered = run(on_host(i, std::string(TESTHOST_NET_PEER) + " register " + std::to_string(i)));
    ASSERT_EQ(registered.status, 0) << "host " << i << ": " << registered.out;
  }
  const std::string others =
      "1 198.18.0.1 198.18.0.1 rpcbind,probe+1\n"
      "2 198.18.0.2 198.18.0.2 rpcbind,probe+2\n"
      "3 198.18.0.3 198.18.0.3 rpcbind,probe+3\n";
  for (int i = 1; i <= 3; ++i) {
    const std::string name = "host" + std::to_string(i) + ".callmgr.test";
    Outcome survey = run(on_host(i, std::string(TESTHOST_NET_PEER) + " survey 3"));
    EXPECT_EQ(survey.status, 0);
    EXPECT_EQ(survey.out, "name=" + name + " env=" + name + " addr=198.18.0." + std::to_string(i) +
                              " net-exec=" + (i == 1 ? "set" : "unset") +
                              " size=3 if=lo,eth0\n" + others)
        << "on host " << i;
  }
}

TEST(TestHostNet, ExtraEntriesAndStatusesPassThrough) {
  int status = -1;
  EXPECT_EQ(hostprobe::resolve("xtra", &status), "192.0.2.9");
  EXPECT_EQ(run(on_host(3, "getent hosts extra.callmgr.test")).out,
            "192.0.2.9       extra.callmgr.test xtra\n");
  EXPECT_EQ(run(on_host(2, "sh -c 'exit 7'")).status, 7);
  EXPECT_EQ(run(on_host(1, "sh -c 'exit 0'")).status, 0);
  EXPECT_EQ(run(on_host(4, "true 2>/dev/null")).status, 125);
  EXPECT_EQ(run(on_host(0, "true 2>/dev/null")).status, 125);
}

// Refused before anything is made: the status says "not set up".
TEST(TestHostNet, BadFormsAreRefused) {
  const char* forms[] = {
      "net 0 -- true",
      "net 9 -- true",
      "net x -- true",
      "net 2 --",
      "net 2 --hostname 3 three.callmgr.test -- true",
      "net 2 --hostname 2 host1.callmgr.test -- true",
      "net 2 --hostname 1 -bad -- true",
      "net 2 --hosts-entry nonsense -- true",
  };
  for (const char* form : forms) {
    Outcome outcome = run(std::string("bash " TESTHOST_SCRIPT " ") + form + " 2>/dev/null");
    EXPECT_EQ(outcome.status, 125) << form;
  }
}

std::set<int> processes() {
  std::set<int> pids;
  DIR* proc = opendir("/proc");
  if (proc == nullptr) return pids;
  while (dirent* entry = readdir(proc)) {
    char* end = nullptr;
    const long pid = std::strtol(entry->d_name, &end, 10);
    if (*end == '\0' && pid > 0) pids.insert(static_cast<int>(pid));
  }
  closedir(proc);
  return pids;
}

// Processes that came since BEFORE and have not ended (zombies have ended).
std::set<int> alive_since(const std::set<int>& before) {
  std::set<int> left;
  for (int pid : processes()) {
    if (before.count(pid) != 0 || pid == getpid()) continue;
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
    std::string text((std::istreambuf_iterator<char>(stat)), std::istreambuf_iterator<char>());
    const size_t paren = text.rfind(')');
    if (paren != std::string::npos && paren + 2 < text.size() && text[paren + 2] == 'Z') continue;
    if (!text.empty()) left.insert(pid);
  }
  return left;
}

bool empty_dir(const std::string& path) {
  DIR* dir = opendir(path.c_str());
  if (dir == nullptr) return false;
  int entries = 0;
  while (dirent* entry = readdir(dir))
    if (std::strcmp(entry->d_name, ".") != 0 && std::strcmp(entry->d_name, "..") != 0) ++entries;
  closedir(dir);
  return entries == 0;
}

// A net made inside this host: whether its command ends or the script that
// made it is killed, no process and no file of it is left.
TEST(TestHostNet, NothingOutlivesTheCommandOrTheScript) {
  char scratch[] = "/tmp/callmgr-nettest.XXXXXX";
  ASSERT_NE(mkdtemp(scratch), nullptr);
  const std::string tmpdir = scratch;
  const std::set<int> before = processes();

  Outcome ended = run("TMPDIR=" + tmpdir + " bash " TESTHOST_SCRIPT
                      " net 2 -- sh -c 'hostname; exit 3'");
  EXPECT_EQ(ended.status, 3);
  EXPECT_EQ(ended.out, "host1.callmgr.test\n");
  EXPECT_EQ(alive_since(before), std::set<int>{});
  EXPECT_TRUE(empty_dir(tmpdir));

  // The command waits on a pipe that this test holds open.
  int out[2], in[2];
  ASSERT_EQ(pipe2(out, O_CLOEXEC), 0);
  ASSERT_EQ(pipe2(in, O_CLOEXEC), 0);
  const pid_t script = fork();
  ASSERT_GE(script, 0);
  if (script == 0) {
    dup2(out[1], STDOUT_FILENO);
    dup2(in[0], STDIN_FILENO);
    setenv("TMPDIR", tmpdir.c_str(), 1);
    execlp("bash", "bash", TESTHOST_SCRIPT, "net", "2", "--", "sh", "-c", "echo up; exec cat",
           static_cast<char*>(nullptr));
    _exit(127);
  }
  close(out[1]);
  close(in[0]);
  char line[16] = "";
  FILE* report = fdopen(out[0], "r");
  ASSERT_NE(report, nullptr);
  ASSERT_NE(std::fgets(line, sizeof line, report), nullptr);
  EXPECT_STREQ(line, "up\n");
  const std::set<int> made = alive_since(before);
  EXPECT_GE(made.size(), 5u) << "keepers, rpcbinds and the command";

  ASSERT_EQ(kill(script, SIGKILL), 0);
  int status = 0;
  ASSERT_EQ(waitpid(script, &status, 0), script);
  // The command ends with host 1, and with it the last writer of the pipe.
  EXPECT_EQ(std::fgets(line, sizeof line, report), nullptr);
  std::fclose(report);
  for (int pid : made) {
    const int handle = static_cast<int>(syscall(SYS_pidfd_open, pid, 0));
    if (handle < 0) continue;  // already gone
    pollfd ended_fd{handle, POLLIN, 0};
    EXPECT_EQ(poll(&ended_fd, 1, 20000), 1) << "process " << pid << " outlives its net";
    close(handle);
  }
  close(in[1]);
  EXPECT_EQ(alive_since(before), std::set<int>{});
  EXPECT_TRUE(empty_dir(tmpdir));
  rmdir(scratch);
}

}  // namespace
