/*
 * Writing to a connection whose peer has gone raises SIGPIPE, which ends the
 * process unless the application said otherwise.  No peer may end the
 * application that way, and the application's own disposition is not ours
 * to change: while the RPC runtime writes for us, SIGPIPE is blocked on the
 * writing thread only, and one raised meanwhile is taken off again (the
 * write itself fails with EPIPE, which the runtime reports as an error).
 */
#ifndef PAL_RPC_SIGPIPE_H
#define PAL_RPC_SIGPIPE_H

#include <signal.h>

namespace pal {

class SigpipeGuard {
  public:
    SigpipeGuard();
    ~SigpipeGuard();
    SigpipeGuard(const SigpipeGuard &) = delete;
    SigpipeGuard &operator=(const SigpipeGuard &) = delete;

  private:
    sigset_t old_;
    bool pending_before_ = false;
};

} // namespace pal

#endif
