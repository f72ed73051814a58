/*
 * The server transports of the Windows RPC runtime: what the datagram,
 * connection, registration and serving files share.
 *
 * Every socket of the server is non-blocking and reports its readiness by
 * WSAAsyncSelect to one hidden window, made on the thread named to serve
 * (PalRpcServeOnThisThread); calls are read, dispatched and answered there
 * as those messages are dispatched, by the thread's own message loop or any
 * wait that dispatches messages.  No transport is served while no thread is
 * named.  A dispatch routine may itself wait and so serve again: the
 * transport it runs on is busy meanwhile, read no further, and freed only
 * after the routine returns.
 *
 * Everything here is touched by the serving thread only (and, before one
 * is named, by the thread that makes the transports).
 */
#ifndef PAL_WIN32_RPC_SVCXPRT_H
#define PAL_WIN32_RPC_SVCXPRT_H

#include "msgcore.h"
#include "record.h"

#include <rpc/rpc.h>
#include <windows.h>

#include <vector>

namespace pal {
namespace svc {

/* At most this many connections; a newcomer closes the one quiet longest. */
const size_t MAX_CONNECTIONS = 64;
/* A connection quiet this long is closed. */
const DWORD IDLE_CLOSE_MS = 30000;
/* Records or datagrams handled per window message, so that a busy peer
 * cannot hold the thread from its other messages. */
const int TURN = 16;

enum class Kind { DATAGRAM, LISTENER, CONNECTION };

/* A transport; the standard record first, so that it leads back here. */
struct Transport {
    SVCXPRT xprt;
    Kind kind;
    /* The call being served: its bytes, its parsed header, the caller. */
    const char *record = nullptr;
    u_int record_length = 0;
    onc::Call call;
    struct sockaddr_in peer = {};
    int busy = 0;
    bool dead = false;
    /* Datagrams: the receive buffer.  Connections: bytes read and not yet
     * taken into a record. */
    std::vector<char> in;
    size_t in_at = 0;
    /* Connections only. */
    Transport *listener = nullptr;
    onc::RecordReader reader;
    std::vector<char> out; /* reply bytes the peer has not taken yet */
    size_t out_at = 0;
    DWORD last_active = 0;
};

inline Transport *of(SVCXPRT *x)
{
    return static_cast<Transport *>(x->xp_p1);
}

/* The live transports; freed ones leave it at once, their records later. */
extern std::vector<Transport *> &transports;

/* ---- serving (svcserve.cpp) ---- */
/* Makes a transport over `sock` and selects its events when a thread
 * serves. */
Transport *make_transport(Kind kind, SOCKET sock);
/* Closes the transport's socket and frees it once no dispatch holds it. */
void close_transport(Transport *t);
/* Asks for the transport's events again, e.g. after it stopped reading. */
void serve_later(Transport *t);
/* Names the calling thread as the serving one (on), or gives the service
 * up when it is the serving one. */
void serve_on_this_thread(bool on);

/* ---- calls (svccall.cpp) ---- */
/* Serves one record that arrived on `t`: checks it, finds the program and
 * runs its dispatch routine. */
void dispatch_record(Transport *t, const char *record, u_int length);
/* Sends the encoded reply bytes to the caller of the call being served. */
bool send_reply(Transport *t, const std::vector<char> &bytes);

/* ---- the two kinds (svcdgram.cpp, svcstream.cpp) ---- */
void datagram_ready(Transport *t);
void listener_ready(Transport *t);
void connection_ready(Transport *t, bool writable);
bool datagram_send(Transport *t, const std::vector<char> &bytes);
bool connection_send(Transport *t, const std::vector<char> &bytes);
void sweep_idle(DWORD now);

/* ---- registrations (svcreg.cpp) ---- */
/* The dispatch routine of `prog` version `vers`; null when none.  `low`
 * and `high` give the versions of the program registered, *found whether
 * any is. */
svc_dispatch_t find_dispatch(rpcprog_t prog, rpcvers_t vers, bool *found, rpcvers_t *low,
                             rpcvers_t *high);
/* Drops the registrations on a transport that goes. */
void forget_transport(SVCXPRT *xprt);

} // namespace svc
} // namespace pal

#endif
