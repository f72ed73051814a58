/*
 * The TCP client: one connection to a program version, calls made on it
 * blocking the calling thread for at most the call's time limit.  A call
 * that fails part-way leaves the connection in an unknown place of the
 * stream, so the connection is closed and later calls fail to send.
 */
#include "msgcore.h"
#include "record.h"
#include "xdrcore.h"

#include "../net/wsock.h"

#include <rpc/rpc.h>
#include <string.h>
#include <windows.h>

#include <vector>

using namespace pal;

struct CLIENT {
    SOCKET sock;
    rpcprog_t prog;
    rpcvers_t vers;
    u_int xid;
};

namespace {

const DWORD CONNECT_TIMEOUT_MS = 25000;

/* Waits until `sock` can be read (or written) or `deadline` passes. */
bool wait_ready(SOCKET sock, bool write, DWORD deadline)
{
    DWORD now = GetTickCount();
    return (LONG)(deadline - now) > 0 && net::wait_ready(sock, write, deadline - now);
}

SOCKET connect_to(u_long addr, u_short port)
{
    const net::Sockets *s = net::sockets();
    SOCKET sock = net::open_bound(SOCK_STREAM, 0);
    if (sock == INVALID_SOCKET)
        return sock;
    struct sockaddr_in to = {};
    to.sin_family = AF_INET;
    to.sin_port = net::net_short(port);
    to.sin_addr.s_addr = addr;
    int error = 0, length = sizeof error;
    if ((s->connect(sock, (struct sockaddr *)&to, sizeof to) == 0 ||
         (net::would_block() && wait_ready(sock, true, GetTickCount() + CONNECT_TIMEOUT_MS))) &&
        s->getsockopt(sock, SOL_SOCKET, SO_ERROR, (char *)&error, &length) == 0 && error == 0)
        return sock;
    s->closesocket(sock);
    return INVALID_SOCKET;
}

/* The call as a record of one fragment, ready to send. */
bool encode_call(CLIENT *clnt, rpcproc_t proc, xdrproc_t xargs, void *args,
                 std::vector<char> *bytes)
{
    std::vector<char> body;
    if (!onc::encode_call(clnt->xid, clnt->prog, clnt->vers, proc, xargs, args, &body) ||
        body.size() > onc::MAX_RECORD)
        return false;
    bytes->clear();
    onc::record_frame(body.data(), (uint32_t)body.size(), bytes);
    return true;
}

bool send_all(SOCKET sock, const std::vector<char> &bytes, DWORD deadline)
{
    size_t at = 0;
    while (at < bytes.size()) {
        int n = net::sockets()->send(sock, bytes.data() + at, (int)(bytes.size() - at), 0);
        if (n == SOCKET_ERROR) {
            if (!net::would_block() || !wait_ready(sock, true, deadline))
                return false;
            continue;
        }
        at += (size_t)n;
    }
    return true;
}

enum clnt_stat status_of(const struct rpc_msg &msg)
{
    if (msg.rm_reply.rp_stat == MSG_DENIED)
        return msg.rjcted_rply.rj_stat == RPC_MISMATCH ? RPC_VERSMISMATCH : RPC_AUTHERROR;
    switch (msg.acpted_rply.ar_stat) {
    case SUCCESS:
        return RPC_SUCCESS;
    case PROG_UNAVAIL:
        return RPC_PROGUNAVAIL;
    case PROG_MISMATCH:
        return RPC_PROGVERSMISMATCH;
    case PROC_UNAVAIL:
        return RPC_PROCUNAVAIL;
    case GARBAGE_ARGS:
        return RPC_CANTDECODEARGS;
    case SYSTEM_ERR:
        break;
    }
    return RPC_SYSTEMERROR;
}

/* Reads records until the reply to this call; its status. */
enum clnt_stat receive_reply(CLIENT *clnt, xdrproc_t xres, void *res, DWORD deadline)
{
    onc::RecordReader reader;
    std::vector<char> chunk(8192);
    size_t have = 0, at = 0;
    for (;;) {
        if (at == have) {
            int n = net::sockets()->recv(clnt->sock, chunk.data(), (int)chunk.size(), 0);
            if (n == SOCKET_ERROR && net::would_block()) {
                if (!wait_ready(clnt->sock, false, deadline))
                    return RPC_TIMEDOUT;
                continue;
            }
            if (n <= 0)
                return RPC_CANTRECV;
            have = (size_t)n;
            at = 0;
        }
        size_t taken = 0;
        onc::RecordStep step = onc::record_feed(&reader, chunk.data() + at, have - at, &taken);
        at += taken;
        if (step == onc::RecordStep::TOO_LONG)
            return RPC_CANTRECV;
        if (step != onc::RecordStep::COMPLETE)
            continue;
        onc::Reply reply;
        bool decoded =
            onc::decode_reply(reader.record.data(), (u_int)reader.record.size(), xres, res, &reply);
        /* A reply to an earlier call that timed out here is passed over. */
        if (reply.msg.rm_xid == clnt->xid)
            return decoded ? status_of(reply.msg) : RPC_CANTDECODERES;
        onc::record_restart(&reader);
    }
}

} // namespace

extern "C" {

CLIENT *clnt_create(const char *host, rpcprog_t prog, rpcvers_t vers, const char *proto)
{
    u_long addr = 0;
    if (!proto || _stricmp(proto, "tcp") != 0 || !net::host_address(host, &addr))
        return nullptr;
    struct sockaddr_in where = {};
    where.sin_family = AF_INET;
    where.sin_addr.s_addr = addr;
    u_short port = pmap_getport(&where, prog, vers, IPPROTO_TCP);
    if (port == 0)
        return nullptr;
    SOCKET sock = connect_to(addr, port);
    if (sock == INVALID_SOCKET)
        return nullptr;
    CLIENT *clnt = new CLIENT{sock, prog, vers, GetTickCount() ^ (u_int)(uintptr_t)&where};
    return clnt;
}

enum clnt_stat clnt_call(CLIENT *clnt, rpcproc_t proc, xdrproc_t xargs, void *args, xdrproc_t xres,
                         void *res, struct timeval timeout)
{
    if (clnt->sock == INVALID_SOCKET)
        return RPC_CANTSEND;
    DWORD deadline =
        GetTickCount() + (DWORD)timeout.tv_sec * 1000u + (DWORD)timeout.tv_usec / 1000u;
    ++clnt->xid;
    std::vector<char> bytes;
    if (!encode_call(clnt, proc, xargs, args, &bytes))
        return RPC_CANTENCODEARGS;
    enum clnt_stat status = send_all(clnt->sock, bytes, deadline)
                                ? receive_reply(clnt, xres, res, deadline)
                                : RPC_CANTSEND;
    if (status == RPC_CANTSEND || status == RPC_CANTRECV || status == RPC_TIMEDOUT) {
        net::sockets()->closesocket(clnt->sock);
        clnt->sock = INVALID_SOCKET;
    }
    return status;
}

bool_t clnt_freeres(CLIENT *, xdrproc_t xres, void *res)
{
    onc::free_object(xres, res);
    return TRUE;
}

void clnt_destroy(CLIENT *clnt)
{
    if (!clnt)
        return;
    if (clnt->sock != INVALID_SOCKET)
        net::sockets()->closesocket(clnt->sock);
    delete clnt;
}
}
