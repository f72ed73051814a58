/*
 * Calls to a port mapper: mapping and unmapping at the local one, finding a
 * port at any host's.  While this process serves the port mapper itself,
 * local requests go straight to its table: the serving thread may be the
 * one asking, and it cannot answer a call while it waits for the answer.
 */
#include "pmap.h"

#include "msgcore.h"
#include "xdrcore.h"

#include "../net/wsock.h"

#include <windows.h>

#include <vector>

namespace pal {
namespace pmap {

namespace {

/* How long the local port mapper is given, and how often it is asked again
 * meanwhile. */
const DWORD LOCAL_TIMEOUT_MS = 1500;
const DWORD RESEND_MS = 500;
const DWORD REMOTE_TIMEOUT_MS = 5000;

u_int next_xid = 0;

bool is_local(u_long addr)
{
    return addr == LOOPBACK || addr == INADDR_ANY;
}

} // namespace

Outcome call(u_long addr, rpcproc_t proc, xdrproc_t args_proc, void *args, xdrproc_t result_proc,
             void *result, DWORD timeout_ms)
{
    const net::Sockets *s = net::sockets();
    std::vector<char> request;
    if (next_xid == 0)
        next_xid = GetTickCount() ^ GetCurrentProcessId() << 16;
    u_int xid = ++next_xid;
    if (!s || !onc::encode_call(xid, PMAPPROG, PMAPVERS, proc, args_proc, args, &request))
        return Outcome::NO_ANSWER;
    SOCKET sock = net::open_bound(SOCK_DGRAM, 0);
    if (sock == INVALID_SOCKET)
        return Outcome::NO_ANSWER;
    /* Connected, so that a port that nothing listens on is reported at
     * once rather than waited out. */
    struct sockaddr_in to = {};
    to.sin_family = AF_INET;
    to.sin_port = net::net_short(PMAPPORT);
    to.sin_addr.s_addr = addr;
    if (s->connect(sock, (struct sockaddr *)&to, sizeof to) != 0) {
        s->closesocket(sock);
        return Outcome::NO_ANSWER;
    }
    std::vector<char> reply(8800);
    Outcome outcome = Outcome::NO_ANSWER;
    bool refused = false;
    DWORD start = GetTickCount();
    while (outcome == Outcome::NO_ANSWER && !refused && GetTickCount() - start < timeout_ms) {
        s->send(sock, request.data(), (int)request.size(), 0);
        DWORD sent = GetTickCount();
        while (GetTickCount() - sent < RESEND_MS &&
               net::wait_ready(sock, false, RESEND_MS - (GetTickCount() - sent), &refused)) {
            int n = s->recv(sock, reply.data(), (int)reply.size(), 0);
            if (n == SOCKET_ERROR) {
                refused = !net::would_block();
                if (refused)
                    break;
                continue;
            }
            onc::Reply answer;
            if (onc::decode_reply(reply.data(), (u_int)n, result_proc, result, &answer) &&
                answer.msg.rm_xid == xid && answer.msg.rm_reply.rp_stat == MSG_ACCEPTED &&
                answer.msg.acpted_rply.ar_stat == SUCCESS) {
                outcome = Outcome::DONE;
                break;
            }
        }
    }
    s->closesocket(sock);
    return outcome;
}

} // namespace pmap
} // namespace pal

using namespace pal;

namespace {

template <typename T> xdrproc_t proc_of(bool_t (*proc)(XDR *, T *))
{
    return reinterpret_cast<xdrproc_t>(reinterpret_cast<void (*)(void)>(proc));
}

bool_t code_bool(XDR *xdrs, bool_t *value)
{
    return onc::code_bool(xdrs, value);
}

bool_t code_port(XDR *xdrs, uint32_t *value)
{
    return onc::code_u32(xdrs, value);
}

/* SET or UNSET at the local port mapper; its answer, or false when none
 * answered. */
bool local_change(rpcproc_t proc, struct pmap *mapping, bool *answered)
{
    bool_t result = FALSE;
    *answered = pmap::call(pmap::LOOPBACK, proc, proc_of(xdr_pmap), mapping, proc_of(code_bool),
                           &result, pmap::LOCAL_TIMEOUT_MS) == pmap::Outcome::DONE;
    return *answered && result;
}

} // namespace

namespace pal {
namespace pmap {

bool register_mapping(struct pmap *mapping)
{
    if (builtin_active())
        return builtin_set(*mapping);
    bool answered = false;
    if (local_change(PMAPPROC_SET, mapping, &answered))
        return true;
    return !answered && builtin_start() && builtin_set(*mapping);
}

} // namespace pmap
} // namespace pal

extern "C" {

bool_t pmap_set(rpcprog_t prog, rpcvers_t vers, int protocol, u_short port)
{
    struct pmap mapping = {prog, vers, (uint32_t)protocol, port};
    if (pmap::builtin_active())
        return pmap::builtin_set(mapping);
    bool answered = false;
    return local_change(PMAPPROC_SET, &mapping, &answered);
}

bool_t pmap_unset(rpcprog_t prog, rpcvers_t vers)
{
    struct pmap mapping = {prog, vers, 0, 0};
    if (pmap::builtin_active())
        return pmap::builtin_unset(prog, vers);
    bool answered = false;
    return local_change(PMAPPROC_UNSET, &mapping, &answered);
}

u_short pmap_getport(struct sockaddr_in *address, rpcprog_t prog, rpcvers_t vers, u_int protocol)
{
    u_long addr = address->sin_addr.s_addr;
    if (pmap::builtin_active() && pmap::is_local(addr))
        return pmap::builtin_getport(prog, vers, protocol);
    struct pmap mapping = {prog, vers, protocol, 0};
    uint32_t port = 0;
    if (pmap::call(addr, PMAPPROC_GETPORT, proc_of(xdr_pmap), &mapping, proc_of(code_port), &port,
                   pmap::REMOTE_TIMEOUT_MS) != pmap::Outcome::DONE ||
        port > 0xFFFF)
        return 0;
    return (u_short)port;
}
}
