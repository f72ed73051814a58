/*
 * palevent.h - the message loop inside an event loop of the application's
 * own (a GLib or Qt main loop, libuv, a plain poll loop), on Linux.
 *
 * A thread that has windows, timers or the RPC service normally runs
 * GetMessageA and DispatchMessageA.  A thread that already runs another
 * loop asks for a descriptor and a time-out instead, waits on them in its
 * own loop, and empties the message queue whenever either says so:
 *
 *     int fd = PalGetMessageFd();
 *     for (;;) {
 *         DWORD ms = PalGetMessageTimeout();
 *         struct pollfd p = {fd, POLLIN, 0};
 *         poll(&p, 1, ms == INFINITE ? -1 : (int)ms);
 *         MSG msg;
 *         while (PeekMessageA(&msg, NULL, 0, 0, PM_REMOVE)) {
 *             TranslateMessage(&msg);
 *             DispatchMessageA(&msg);
 *         }
 *     }
 *
 * Nothing else is needed: on a thread that has asked for its descriptor, a
 * PeekMessageA with no window and no message range does all that the
 * GetMessageA wait does (messages other threads sent, posted messages,
 * WM_TIMER and timer procedures that are due, the RPC server's calls on
 * the thread that serves it, the desktop's input and repaints), and the
 * platform makes no thread for the application's loop.
 *
 * The descriptor.  PalGetMessageFd returns a descriptor that becomes
 * readable whenever the calling thread has work for its message loop:
 * a message posted to it or to one of its windows (by any thread,
 * including itself), a message another thread sent, a timer that is due, an
 * incoming RPC call while this thread serves the RPC server
 * (PalRpcServeOnThisThread), a host-name lookup that has finished (its
 * answer is a posted message), the desktop's input to its windows.  Sound
 * posts nothing: sndPlaySoundA plays on the audio device's own thread.
 * It is level-triggered as the application sees it: readable while work
 * waits, and no longer readable once a PeekMessageA with no window and no
 * message range has found the queue empty.  That PeekMessageA is what
 * resets it; the application never reads from it or writes to it.  It
 * starts readable, so the first pass of the loop empties the queue.  A
 * PeekMessageA with a window or a message range never resets it.
 * It is an epoll descriptor: it can be polled, selected, or added to
 * another epoll set, with level-triggered interest in readability.  The
 * same descriptor serves the thread for as long as the thread lives; each
 * thread has its own.  The platform owns it and closes it when the thread
 * ends: the application never closes it.  It is made close-on-exec.
 *
 * The time-out.  PalGetMessageTimeout gives the milliseconds until the
 * calling thread's next timer is due: 0 when one is due now, INFINITE when
 * the thread has no timer.  The descriptor also becomes readable when a
 * timer falls due, so a loop may wait without a time-out; a loop that
 * prefers time-out sources (GLib's, libuv's timers) asks again after every
 * emptying of the queue, since dispatching may set and kill timers.  In the
 * virtual time of tests (paltest.h) the value is in virtual milliseconds and
 * the descriptor becomes readable whenever the clock is advanced.
 *
 * Modal loops.  A modal dialog (DialogBoxParamA, the call manager's Invite
 * and Invite - RSVP dialogs, MessageBoxA) and the call manager's network
 * exchanges that wait for a peer run a message loop of their own inside the
 * call that opened them: a dispatch from the queue, or a callback of the
 * application's that called CMInvite.  Meanwhile the application's loop
 * does not run: it is waiting for that call to return, so none of its own
 * callbacks (and none of its other sources, its own windows included) is
 * entered again.  The inner loop serves the thread's messages, timers, RPC
 * calls and desktop; when it ends, the call returns and the application's
 * loop goes on where it was, emptying the queue as before.
 */
#ifndef PAL_PALEVENT_H
#define PAL_PALEVENT_H

#include <winbase.h>

#ifndef RC_INVOKED
PAL_BEGIN_DECLS

/* The calling thread's message descriptor, made on the first call; -1 when
 * the system has no descriptor left to make it (errno says why), in which
 * case a later call tries again. */
int WINAPI PalGetMessageFd(void);

/* Milliseconds until the calling thread's next timer is due; 0 when one is
 * due now, INFINITE when it has none. */
DWORD WINAPI PalGetMessageTimeout(void);

PAL_END_DECLS
#endif

#endif
