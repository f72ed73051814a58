/*
 * The transports of the RPC layer: what the connection, datagram and
 * waiting files share.
 *
 * The serving thread is the application's own: no peer may hold it.  The
 * runtime's connection transport reads a record blocking (a peer that sends
 * half a record holds the thread until the runtime gives up, and one that
 * trickles holds it without end) and writes a reply blocking or spinning;
 * its datagram transport decodes a call from its whole receive buffer, so a
 * datagram cut short is completed with the bytes of the one before.  So the
 * layer serves the sockets of the transports the system makes itself, by
 * the runtime's public transport interface:
 *
 * - A listening stream socket is accepted on here, never by the runtime.
 *   Each connection is a transport of this layer (rpcstream.cpp): it reads
 *   what is there without waiting, gathers records up to MAX_RECORD,
 *   dispatches complete ones, and writes replies without waiting, holding
 *   what the peer has not taken and reading nothing more from that peer
 *   meanwhile.
 * - A datagram socket is served through a transport of this layer
 *   (rpcdgram.cpp) on a duplicate of its descriptor: each datagram is
 *   decoded from its own bytes, and a reply that cannot be sent at once is
 *   dropped, as a datagram may be.
 *
 * Calls still reach the registered dispatch routines through the runtime
 * (svc_getreq_common), which finds the program and checks the credentials.
 * The runtime's own transports stay registered (their ports are the ones in
 * the port mapper) but are never polled; when the system destroys one, what
 * stood in for it goes at the serving thread's next wait (rpcwait.cpp).
 *
 * Everything here is touched only by the serving thread.
 */
#ifndef PAL_RPC_RPCXPRT_H
#define PAL_RPC_RPCXPRT_H

#include <windows.h>
#include <rpc/rpc.h>
#include <rpc/svc_mt.h>

#include <stddef.h>
#include <sys/socket.h>
#include <sys/types.h>

#include <map>
#include <vector>

namespace pal {
namespace rpcx {

/* The largest call record.  A full invitation of typical members (a few
 * dozen bytes of text each) at the member-list bound fits several times; a
 * longer record closes its connection. */
const size_t MAX_RECORD = 1u << 20;

enum class Kind { DATAGRAM, STREAM };

/* A transport of this layer: the runtime's transport record first, so that
 * the runtime's handle leads back here. */
struct Transport {
    SVCXPRT xprt;
    SVCXPRT_EXT ext;
    char verifier[MAX_AUTH_BYTES];
    Kind kind = Kind::DATAGRAM;
    /* The runtime's socket this one serves: for a datagram transport the
     * descriptor it duplicates, for a connection its listening socket. */
    int origin_fd = -1;
    ino_t origin_ino = 0;
    struct sockaddr_storage remote;
    struct sockaddr_storage local;
    /* The call being served: its bytes and the stream over them. */
    std::vector<char> call;
    XDR xdrs;
    bool have_call = false;
    u_int32_t xid = 0;
    /* Dispatches of this transport in progress (a dispatch routine may wait
     * for messages and so serve again); it is never freed meanwhile. */
    int busy = 0;
    bool dead = false;
    /* Connections only. */
    std::vector<char> in;    /* bytes read and not yet taken as a call */
    size_t scan_at = 0;      /* where the record in progress has been scanned to */
    size_t complete_end = 0; /* where the first whole record ends, 0: none yet */
    std::vector<char> out;   /* reply bytes the peer has not taken yet */
    size_t out_at = 0;
    bool eof = false; /* the peer has shut its side */
    DWORD last_active = 0;
    int turn = 0; /* calls served in this turn */
};

inline Transport *of(SVCXPRT *x)
{
    return static_cast<Transport *>(x->xp_p1);
}

/* A listening socket of the runtime, accepted on here. */
struct Listener {
    int fd = -1;
    ino_t ino = 0;
    bool paused = false;
    DWORD paused_at = 0;
};

/* The tables are never destroyed: a thread that ends late may still give its
 * service up. */
extern std::map<int, Transport *> &transports; /* by own descriptor */
extern std::map<int, Transport *> &datagram_by_origin;
extern std::map<int, Listener> &listeners; /* by descriptor */
/* Runtime sockets served the runtime's way. */
extern std::map<int, ino_t> &foreign;
extern size_t connection_count;
extern size_t input_held;
/* Wakes a real-time wait when a connection's idle time or a listening
 * socket's pause ends: its descriptor (-1: none), and the clock time it is
 * armed for while `armed`. */
struct SweepTimer {
    int fd = -1;
    bool armed = false;
    DWORD due = 0;
};
extern SweepTimer sweep_timer;

/* ---- Shared by both kinds (rpcxprt.cpp) ----------------------------------- */

bool_t getargs(SVCXPRT *x, xdrproc_t proc, void *where);
bool_t freeargs(SVCXPRT *, xdrproc_t proc, void *where);
/* Encodes a reply to the call being served, after `room` bytes left free at
 * the start; false when it cannot be encoded. */
bool encode_reply(Transport *t, struct rpc_msg *msg, size_t room, std::vector<char> *bytes);
/* The transport is taken down by this layer once no dispatch uses it. */
void mark_destroy(SVCXPRT *x);
extern const struct __rpc_svcxprt::xp_ops2 control_ops;
Transport *make_transport(Kind kind, int fd, const struct __rpc_svcxprt::xp_ops *ops);
/* Frees the transports that are done with and no dispatch holds. */
void collect();
/* Hands the calls waiting on transport `t` to the runtime's dispatch. */
void dispatch_calls(Transport *t);

/* ---- Datagrams (rpcdgram.cpp) ---------------------------------------------- */

extern const struct __rpc_svcxprt::xp_ops datagram_ops;

/* ---- Connections (rpcstream.cpp) ------------------------------------------- */

/* Whether a whole record waits, or the peer shut its side inside one. */
bool record_waiting(Transport *t);
/* Closes connections quiet past the bound and ends listening pauses. */
void sweep(DWORD now);
/* Ends the connections accepted on a listening socket the runtime no longer
 * has. */
void end_listener(const Listener &l);
/* Connections accepted per readiness of a listening socket. */
const int ACCEPTS_PER_TURN = 16;
/* Accepts the connections waiting on a listening socket; their descriptors
 * go to accepted[], and how many there are is returned. */
int accept_on(Listener &l, int (&accepted)[ACCEPTS_PER_TURN]);
/* Reads what the peer sent and serves the records that are complete. */
void serve_connection(Transport *t, short revents);
/* Arms the sweep timer for the earliest end of an idle span or a pause;
 * true when it is armed.  A timer already armed no later than that is left
 * as it is: a wake before the end only sweeps and arms again, while setting
 * the timer on every wait would cost a system call each.  Virtual time
 * needs none: advancing the clock wakes every waiting thread. */
bool arm_sweep_timer(DWORD now);

} // namespace rpcx
} // namespace pal

#endif
