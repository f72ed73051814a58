/*
 * palrpc.h - the RPC server in the message wait, and blocking network work
 * on a thread that keeps its message loop.
 *
 * One thread serves the RPC server's descriptors (svc_pollfd): the one named
 * with PalRpcServeOnThisThread.  Each of its message waits -- GetMessageA,
 * PeekMessageA, WaitMessage, modal loops, PalRunBlocking -- also waits on
 * the descriptors and dispatches the calls that arrive, on that thread.  The
 * message waits of every other thread never touch them, so server routines
 * run only where the records they read live.
 *
 * A window thread that must wait for a network exchange cannot simply block:
 * its windows would stop answering, and an RPC call to its own server (which
 * it serves from its message wait) would never be answered.  PalRunBlocking
 * runs the blocking part on a worker thread and keeps the calling thread
 * retrieving and dispatching its messages meanwhile, as a modal loop does:
 * posted and sent messages, timers and incoming RPC calls are handled, so
 * the caller's code can be entered again before PalRunBlocking returns.
 *
 * The work runs on another thread: it must touch nothing that the calling
 * thread's code uses without locks; it reads its context, does its
 * exchange, writes its results into its context and returns.  A WM_QUIT
 * met while waiting is posted again once the work is done, so the caller's
 * own loop still ends.
 */
#ifndef PAL_PALRPC_H
#define PAL_PALRPC_H

#include <windef.h>

PAL_BEGIN_DECLS

/* TRUE names the calling thread as the one that serves the RPC server from
 * its message waits, in place of any thread named before (which is woken so
 * that it lets the descriptors go).  FALSE gives the service up, and only
 * when the calling thread is the named one; afterwards no thread serves
 * until one is named again.  A named thread that ends gives the service up
 * as well. */
void WINAPI PalRpcServeOnThisThread(BOOL on);

typedef DWORD(WINAPI *PAL_BLOCKINGWORK)(void *context);

/* Runs work(context) on a worker thread, dispatching this thread's messages
 * until it returns; returns what work returned. */
DWORD WINAPI PalRunBlocking(PAL_BLOCKINGWORK work, void *context);

PAL_END_DECLS

#endif
