#include "desktop/servers.h"

#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <poll.h>
#include <unistd.h>
#include <vector>

namespace {

/* Runs `argv` with `env` ahead of the inherited environment, its output
 * thrown away, ended when the test process ends however it ends.
 * Descriptors not marked close-on-exec stay open in it. */
pid_t spawn(const std::vector<std::string> &argv, const std::vector<std::string> &env)
{
    std::vector<char *> args, envp;
    for (const std::string &a : argv)
        args.push_back(const_cast<char *>(a.c_str()));
    args.push_back(nullptr);
    for (const std::string &e : env)
        envp.push_back(const_cast<char *>(e.c_str()));
    for (char **e = environ; *e; ++e)
        envp.push_back(*e);
    envp.push_back(nullptr);
    pid_t pid = fork();
    if (pid != 0)
        return pid;
    prctl(PR_SET_PDEATHSIG, SIGTERM);
    int null = open("/dev/null", O_RDWR);
    dup2(null, 0);
    dup2(null, 1);
    dup2(null, 2);
    execve(args[0], args.data(), envp.data());
    _exit(127);
}

bool installed(const char *tool, DesktopServer &server, const char *package)
{
    if (access(tool, X_OK) == 0)
        return true;
    server.problem = std::string(tool) + " is not installed (package " + package + ")";
    return false;
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

bool give_up(DesktopServer &server, pid_t pid, const std::string &problem)
{
    server.pid = pid;
    desktop_stop(server);
    server.problem = problem;
    return false;
}

} // namespace

bool desktop_start_x(DesktopServer &x)
{
    if (!installed("/usr/bin/Xvfb", x, "xvfb") || !installed("/usr/bin/xdotool", x, "xdotool") ||
        !installed("/usr/bin/import", x, "imagemagick"))
        return false;
    int fds[2];
    if (pipe(fds) != 0)
        return give_up(x, -1, "no pipe for Xvfb");
    /* Xvfb writes its display number once it takes clients. */
    pid_t pid = spawn({"/usr/bin/Xvfb", "-displayfd", std::to_string(fds[1]), "-screen", "0",
                       "1024x768x24", "-nolisten", "tcp", "-noreset"},
                      {});
    close(fds[1]);
    std::string number = read_until(fds[0], "\n");
    close(fds[0]);
    number = number.substr(0, number.find('\n'));
    if (pid < 0 || number.empty())
        return give_up(x, pid, "Xvfb did not start");
    x.pid = pid;
    x.name = ":" + number;
    return true;
}

bool desktop_start_wayland(DesktopServer &wl, const DesktopServer &x,
                           const std::string &runtime_dir)
{
    if (!installed("/usr/bin/weston", wl, "weston"))
        return false;
    /* weston says READY=1 on a notification socket once it takes clients. */
    std::string notify = runtime_dir + "/notify";
    int s = socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    bool bound = s >= 0 && notify.size() < sizeof addr.sun_path;
    if (bound) {
        memcpy(addr.sun_path, notify.c_str(), notify.size() + 1);
        unlink(notify.c_str());
        bound = bind(s, (sockaddr *)&addr, sizeof addr) == 0;
    }
    if (!bound) {
        if (s >= 0)
            close(s);
        return give_up(wl, -1, "no notification socket for weston");
    }
    std::string name = "callmgr-wl-" + std::to_string(getpid());
    pid_t pid =
        spawn({"/usr/bin/weston", "--backend=x11-backend.so", "--use-pixman", "--socket=" + name,
               "--idle-time=0", "--width=800", "--height=600", "--modules=systemd-notify.so"},
              {"DISPLAY=" + x.name, "XDG_RUNTIME_DIR=" + runtime_dir, "NOTIFY_SOCKET=" + notify});
    std::string said = read_until(s, "READY=1");
    close(s);
    unlink(notify.c_str());
    if (pid < 0 || said.find("READY=1") == std::string::npos)
        return give_up(wl, pid, "weston did not start");
    wl.pid = pid;
    wl.name = name;
    return true;
}

void desktop_stop(DesktopServer &server)
{
    if (server.pid > 0) {
        kill(server.pid, SIGTERM);
        waitpid(server.pid, nullptr, 0);
    }
    server.pid = -1;
}
