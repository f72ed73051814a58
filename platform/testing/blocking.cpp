/*
 * PalRunBlocking: the work on a worker thread, the caller in a message loop
 * until the worker says it is done.
 */
#include <paltest.h>
#include <windows.h>

#include "rpc/sigpipe.h"
#include "user/queue.h"

#include <atomic>
#include <memory>
#include <thread>

namespace {

/* Shared by the caller and its worker; the worker writes the result before
 * it marks the work done. */
struct Blocking {
    std::atomic<bool> done{false};
    DWORD result = 0;
};

} // namespace

extern "C" DWORD WINAPI PalRunBlocking(PAL_BLOCKINGWORK work, void *context)
{
    pal::QueueRef q = pal::queue_current();
    auto state = std::make_shared<Blocking>();
    std::thread worker([state, q, work, context] {
        /* The work writes to peers that may be gone. */
        pal::SigpipeGuard guard;
        state->result = work(context);
        state->done.store(true);
        /* The waiting thread may be blocked in its message wait. */
        pal::queue_wake(*q);
    });

    bool quit = false;
    int quit_code = 0;
    MSG m;
    while (!state->done.load()) {
        if (PeekMessageA(&m, nullptr, 0, 0, PM_REMOVE)) {
            if (m.message == WM_QUIT) {
                quit = true;
                quit_code = (int)m.wParam;
                continue;
            }
            TranslateMessage(&m);
            DispatchMessageA(&m);
            continue;
        }
        WaitMessage();
    }
    worker.join();
    if (quit)
        PostQuitMessage(quit_code);
    return state->result;
}
