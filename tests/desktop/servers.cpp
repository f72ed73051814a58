#include "desktop/servers.h"

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <poll.h>
#include <unistd.h>
#include <vector>

namespace {

/* Runs `argv`, its output thrown away, ended when the test process ends
 * however it ends.  Descriptors not marked close-on-exec stay open in it. */
pid_t spawn(const std::vector<std::string> &argv)
{
    std::vector<char *> args;
    for (const std::string &a : argv)
        args.push_back(const_cast<char *>(a.c_str()));
    args.push_back(nullptr);
    pid_t pid = fork();
    if (pid != 0)
        return pid;
    prctl(PR_SET_PDEATHSIG, SIGTERM);
    int null = open("/dev/null", O_RDWR);
    dup2(null, 0);
    dup2(null, 1);
    dup2(null, 2);
    execv(args[0], args.data());
    _exit(127);
}

void stop(pid_t pid)
{
    if (pid > 0 && kill(pid, SIGTERM) == 0)
        waitpid(pid, nullptr, 0);
}

/* `server` did not start: what there is of it (`pid`) ends. */
bool failed(DesktopServer &server, pid_t pid, const std::string &problem)
{
    stop(pid);
    server.problem = problem;
    return false;
}

bool installed(DesktopServer &server, const char *tool, const char *package)
{
    return access(tool, X_OK) == 0 ||
           failed(server, -1, std::string(tool) + " is not installed (package " + package + ")");
}

/* Reads from `fd` until `want` appears or it has been quiet for 20 s. */
std::string read_until(int fd, const std::string &want)
{
    std::string got;
    pollfd p{fd, POLLIN, 0};
    char buf[256];
    while (got.find(want) == std::string::npos && poll(&p, 1, 20000) == 1) {
        ssize_t n = read(fd, buf, sizeof buf);
        if (n <= 0)
            break;
        got.append(buf, (size_t)n);
    }
    return got;
}

bool start_x(DesktopServer &x)
{
    if (!installed(x, "/usr/bin/Xvfb", "xvfb") || !installed(x, "/usr/bin/xdotool", "xdotool") ||
        !installed(x, "/usr/bin/import", "imagemagick"))
        return false;
    int fds[2];
    if (pipe(fds) != 0)
        return failed(x, -1, "no pipe for Xvfb");
    /* Xvfb writes its display number once it takes clients. */
    pid_t pid = spawn({"/usr/bin/Xvfb", "-displayfd", std::to_string(fds[1]), "-screen", "0",
                       "1024x768x24", "-nolisten", "tcp", "-noreset"});
    close(fds[1]);
    std::string number = read_until(fds[0], "\n");
    close(fds[0]);
    number = number.substr(0, number.find('\n'));
    if (pid < 0 || number.empty())
        return failed(x, pid, "Xvfb did not start");
    x.pid = pid;
    x.name = ":" + number;
    return true;
}

bool start_wayland(DesktopServer &wl, const DesktopServer &x)
{
    if (x.pid < 0)
        return failed(wl, -1, x.problem);
    if (!installed(wl, "/usr/bin/weston", "weston"))
        return false;
    char dir[] = "/tmp/callmgr-wayland.XXXXXX";
    if (!mkdtemp(dir))
        return failed(wl, -1, "no runtime directory for weston");
    wl.dir = dir;
    wl.name = "callmgr-wl-" + std::to_string(getpid());
    /* weston says READY=1 on a notification socket once it takes clients. */
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    std::snprintf(addr.sun_path, sizeof addr.sun_path, "%s/notify", dir);
    int s = socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (s < 0 || bind(s, (sockaddr *)&addr, sizeof addr) != 0) {
        close(s);
        return failed(wl, -1, "no notification socket for weston");
    }
    pid_t pid =
        spawn({"/usr/bin/env", "DISPLAY=" + x.name, "XDG_RUNTIME_DIR=" + wl.dir,
               std::string("NOTIFY_SOCKET=") + addr.sun_path, "/usr/bin/weston",
               "--backend=x11-backend.so", "--use-pixman", "--socket=" + wl.name, "--idle-time=0",
               "--width=800", "--height=600", "--modules=systemd-notify.so"});
    std::string said = read_until(s, "READY=1");
    close(s);
    unlink(addr.sun_path);
    if (pid < 0 || said.find("READY=1") == std::string::npos)
        return failed(wl, pid, "weston did not start");
    wl.pid = pid;
    return true;
}

} // namespace

DesktopServer::~DesktopServer()
{
    stop(pid);
    if (!dir.empty()) {
        std::remove((dir + "/" + name + ".lock").c_str());
        rmdir(dir.c_str());
    }
}

const DesktopServer &desktop_x()
{
    static DesktopServer x;
    [[maybe_unused]] static bool started = start_x(x);
    return x;
}

const DesktopServer &desktop_wayland()
{
    const DesktopServer &x = desktop_x(); /* first, so that it ends last */
    static DesktopServer wl;
    [[maybe_unused]] static bool started = start_wayland(wl, x);
    return wl;
}
