/*
 * The built-in port mapper, version 2 on UDP and TCP port 111: served on
 * the runtime's own transports while this process has a program registered
 * and no other port mapper answered on the machine.  Only local callers
 * may change the mappings; anyone may read them.
 */
#include "pmap.h"

#include "svcxprt.h"
#include "xdrcore.h"

#include "../net/wsock.h"

#include <vector>

namespace pal {
namespace pmap {

namespace {

std::vector<struct pmap> &mappings = *new std::vector<struct pmap>;
SVCXPRT *udp = nullptr;
SVCXPRT *tcp = nullptr;

template <typename T> xdrproc_t proc_of(bool_t (*proc)(XDR *, T *))
{
    return reinterpret_cast<xdrproc_t>(reinterpret_cast<void (*)(void)>(proc));
}

bool_t code_mapping(XDR *xdrs, struct pmap *mapping)
{
    return onc::code_u32(xdrs, &mapping->pm_prog) && onc::code_u32(xdrs, &mapping->pm_vers) &&
           onc::code_u32(xdrs, &mapping->pm_prot) && onc::code_u32(xdrs, &mapping->pm_port);
}

bool_t code_u32(XDR *xdrs, uint32_t *value)
{
    return onc::code_u32(xdrs, value);
}

bool_t code_bool(XDR *xdrs, bool_t *value)
{
    return onc::code_bool(xdrs, value);
}

/* The DUMP result: each mapping after a TRUE, then FALSE. */
bool_t code_list(XDR *xdrs, std::vector<struct pmap> *list)
{
    for (struct pmap &mapping : *list) {
        bool_t more = TRUE;
        if (!onc::code_bool(xdrs, &more) || !code_mapping(xdrs, &mapping))
            return FALSE;
    }
    bool_t more = FALSE;
    return onc::code_bool(xdrs, &more);
}

bool from_local(SVCXPRT *xprt)
{
    return svc::of(xprt)->peer.sin_addr.s_addr == LOOPBACK;
}

void dispatch(struct svc_req *request, SVCXPRT *xprt)
{
    struct pmap mapping = {};
    switch (request->rq_proc) {
    case PMAPPROC_NULL:
        svc_sendreply(xprt, proc_of(code_bool), nullptr);
        return;
    case PMAPPROC_SET:
    case PMAPPROC_UNSET:
    case PMAPPROC_GETPORT: {
        if (!svc_getargs(xprt, proc_of(code_mapping), &mapping)) {
            svcerr_decode(xprt);
            return;
        }
        if (request->rq_proc == PMAPPROC_GETPORT) {
            uint32_t port = builtin_getport(mapping.pm_prog, mapping.pm_vers, mapping.pm_prot);
            svc_sendreply(xprt, proc_of(code_u32), &port);
            return;
        }
        bool_t done = from_local(xprt) && (request->rq_proc == PMAPPROC_SET
                                               ? builtin_set(mapping)
                                               : builtin_unset(mapping.pm_prog, mapping.pm_vers));
        svc_sendreply(xprt, proc_of(code_bool), &done);
        return;
    }
    case PMAPPROC_DUMP: {
        std::vector<struct pmap> list = mappings;
        svc_sendreply(xprt, proc_of(code_list), &list);
        return;
    }
    default:
        svcerr_noproc(xprt);
    }
}

} // namespace

bool builtin_active()
{
    return udp != nullptr;
}

bool builtin_start()
{
    if (builtin_active())
        return true;
    SOCKET u = net::open_bound(SOCK_DGRAM, PMAPPORT);
    SOCKET t = net::open_bound(SOCK_STREAM, PMAPPORT);
    if (u != INVALID_SOCKET && t != INVALID_SOCKET) {
        udp = svcudp_create((int)u);
        tcp = udp ? svctcp_create((int)t, 0, 0) : nullptr;
    }
    if (!udp || !tcp) {
        if (udp)
            svc_destroy(udp);
        else if (u != INVALID_SOCKET)
            net::sockets()->closesocket(u);
        if (t != INVALID_SOCKET && !tcp)
            net::sockets()->closesocket(t);
        udp = tcp = nullptr;
        return false;
    }
    svc_register(udp, PMAPPROG, PMAPVERS, dispatch, 0);
    svc_register(tcp, PMAPPROG, PMAPVERS, dispatch, 0);
    mappings.clear();
    mappings.push_back({PMAPPROG, PMAPVERS, IPPROTO_UDP, PMAPPORT});
    mappings.push_back({PMAPPROG, PMAPVERS, IPPROTO_TCP, PMAPPORT});
    return true;
}

void builtin_stop()
{
    if (!builtin_active())
        return;
    SVCXPRT *u = udp, *t = tcp;
    udp = tcp = nullptr;
    svc_destroy(u);
    svc_destroy(t);
    mappings.clear();
}

bool builtin_set(const struct pmap &mapping)
{
    for (const struct pmap &m : mappings)
        if (m.pm_prog == mapping.pm_prog && m.pm_vers == mapping.pm_vers &&
            m.pm_prot == mapping.pm_prot)
            return false;
    mappings.push_back(mapping);
    return true;
}

bool builtin_unset(rpcprog_t prog, rpcvers_t vers)
{
    size_t before = mappings.size();
    std::erase_if(mappings,
                  [&](const struct pmap &m) { return m.pm_prog == prog && m.pm_vers == vers; });
    return mappings.size() != before;
}

u_short builtin_getport(rpcprog_t prog, rpcvers_t vers, u_int protocol)
{
    for (const struct pmap &m : mappings)
        if (m.pm_prog == prog && m.pm_vers == vers && m.pm_prot == protocol)
            return (u_short)m.pm_port;
    return 0;
}

} // namespace pmap
} // namespace pal
