/*
 * poll_call - the call manager in a plain poll(2) loop, beside a descriptor
 * of the application's own (here the signals that end it).
 *
 *     cc poll_call.c callapp.c $(pkg-config --cflags --libs callmgr) -o poll_call
 *     ./poll_call answer          # or: ./poll_call invite bob@hostb
 */
#include "callapp.h"

#include <callmgr.h>
#include <palevent.h>

#include <errno.h>
#include <poll.h>
#include <signal.h>
#include <sys/signalfd.h>
#include <unistd.h>

int main(int argc, char **argv)
{
    /* SIGINT and SIGTERM arrive as reads of a descriptor, so the loop ends
     * the call manager properly. */
    sigset_t ending;
    sigemptyset(&ending);
    sigaddset(&ending, SIGINT);
    sigaddset(&ending, SIGTERM);
    sigprocmask(SIG_BLOCK, &ending, NULL);
    int sigfd = signalfd(-1, &ending, SFD_CLOEXEC);

    int status = CallAppStart(argc, argv);
    if (status != 0)
        return status;
    struct pollfd fds[2] = {{PalGetMessageFd(), POLLIN, 0}, {sigfd, POLLIN, 0}};
    while (!CallAppFinished(&status)) {
        DWORD timeout = PalGetMessageTimeout();
        if (poll(fds, 2, timeout == INFINITE ? -1 : (int)timeout) < 0 && errno != EINTR)
            return 2;
        if (fds[1].revents & POLLIN) {
            struct signalfd_siginfo info;
            if (read(sigfd, &info, sizeof info) == sizeof info)
                CallAppQuit();
        }
        MSG msg;
        while (PeekMessageA(&msg, NULL, 0, 0, PM_REMOVE)) {
            TranslateMessage(&msg);
            DispatchMessageA(&msg);
        }
    }
    return status;
}
