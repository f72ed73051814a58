#include "rpc/sigpipe.h"

#include <pthread.h>
#include <time.h>

namespace pal {

namespace {

sigset_t sigpipe_set()
{
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGPIPE);
    return set;
}

} // namespace

SigpipeGuard::SigpipeGuard()
{
    sigset_t set = sigpipe_set();
    pthread_sigmask(SIG_BLOCK, &set, &old_);
    sigset_t pending;
    sigpending(&pending);
    pending_before_ = sigismember(&pending, SIGPIPE) == 1;
}

SigpipeGuard::~SigpipeGuard()
{
    /* A SIGPIPE that was pending before is not ours to take. */
    if (!pending_before_) {
        sigset_t set = sigpipe_set();
        struct timespec now = {0, 0};
        while (sigtimedwait(&set, nullptr, &now) == SIGPIPE) {
        }
    }
    pthread_sigmask(SIG_SETMASK, &old_, nullptr);
}

} // namespace pal
