/*
 * palrpc.h - the RPC server in the message wait, and network exchanges that
 * wait without stopping the thread's message loop.
 *
 * One thread serves the RPC server's descriptors (svc_pollfd): the one named
 * with PalRpcServeOnThisThread.  Each of its message waits -- GetMessageA,
 * WaitMessage, modal loops, PalWaitSocket -- also waits on
 * the descriptors and dispatches the calls that arrive, on that thread.  The
 * message waits of every other thread never touch them, so server routines
 * run only where the records they read live.
 *
 * A window thread that must wait for a network exchange cannot simply block:
 * its windows would stop answering, and an RPC call to its own server (which
 * it serves from its message wait) would never be answered.  PalWaitSocket
 * waits for one descriptor inside the message wait and keeps the calling
 * thread retrieving and dispatching its messages meanwhile, as a modal loop
 * does: posted and sent messages, timers and incoming RPC calls are handled,
 * so the caller's code can be entered again before it returns.  A WM_QUIT
 * met while waiting is posted again before returning, so the caller's own
 * loop still ends.
 *
 * Both platforms implement it; the header takes only <windows.h> types.
 */
#ifndef PAL_PALRPC_H
#define PAL_PALRPC_H

#include <windows.h>

#ifdef __cplusplus
extern "C" {
#endif

/* TRUE names the calling thread as the one that serves the RPC server from
 * its message waits, in place of any thread named before (which is woken so
 * that it lets the descriptors go).  FALSE gives the service up, and only
 * when the calling thread is the named one; afterwards no thread serves
 * until one is named again.  A named thread that ends gives the service up
 * as well. */
void WINAPI PalRpcServeOnThisThread(BOOL on);

/*
 * Non-blocking stream connections for exchanges driven from the message
 * wait.  A connection is a descriptor; it is never bound to a chosen source
 * port, so the system gives it an ordinary ephemeral one (binding a reserved
 * port walks every port in TIME_WAIT and costs more than the exchange).
 * Writing to a peer that has gone fails with an error, never SIGPIPE.
 */

/* Readiness that PalWaitSocket waits for and reports. */
#define PAL_SOCKET_READ 0x0001
#define PAL_SOCKET_WRITE 0x0004
/* Reported whatever was asked for: an error or the peer's hang-up. */
#define PAL_SOCKET_ERROR 0x0008
#define PAL_SOCKET_HANGUP 0x0010

/* What PalStreamSend and PalStreamRecv return when nothing can move now. */
#define PAL_STREAM_WOULDBLOCK (-2)

/* The IPv4 address (host byte order) of a dotted-quad text or a host name,
 * looked up as the RPC runtime does (hosts file, then the name service);
 * FALSE when there is none.  A name lookup may block for the name service's
 * own time-out; dotted texts never wait. */
BOOL WINAPI PalHostAddress(const char *host, DWORD *addr);

/* Starts a TCP connection to `addr`:`port` (both in host byte order); the
 * descriptor, or -1 when none could be made or the connection failed at
 * once.  The connection is complete when the descriptor is writable and
 * PalStreamConnected says 0. */
int WINAPI PalStreamConnect(DWORD addr, WORD port);
/* 0 once the connection is made; the error that ended it otherwise. */
int WINAPI PalStreamConnected(int fd);
/* Bytes written or read (a read of 0 is the end of the stream), -1 on an
 * error, PAL_STREAM_WOULDBLOCK when the call would have to wait. */
int WINAPI PalStreamSend(int fd, const void *bytes, int length);
int WINAPI PalStreamRecv(int fd, void *bytes, int length);
void WINAPI PalStreamClose(int fd);

/* Waits until `fd` is ready for `events` (PAL_SOCKET_READ, _WRITE) or
 * until `timeout` milliseconds of the platform clock have passed, and
 * retrieves and dispatches this thread's messages meanwhile exactly as
 * a modal loop does: sent and posted messages, timers, the RPC server's
 * calls on the serving thread, a WM_QUIT posted again before returning.
 * The caller's code may run again inside, and wait in turn.  Returns the
 * ready events (the asked ones, PAL_SOCKET_ERROR, PAL_SOCKET_HANGUP), or 0
 * when the time is up.  Time taken by the handlers it ran does not hide a
 * descriptor that became ready meanwhile: it is looked at once more before
 * the wait gives up.  In virtual time the limit passes only as a test
 * advances the clock. */
DWORD WINAPI PalWaitSocket(int fd, DWORD events, DWORD timeout);

#ifdef __cplusplus
}
#endif

#endif
