/*
 * Registrations: which dispatch routine serves a program version, and its
 * mappings at the port mapper.  The built-in port mapper runs for as long
 * as a program other than itself is registered.
 */
#include "pmap.h"
#include "svcxprt.h"

#include "../net/wsock.h"

#include <algorithm>

namespace pal {
namespace svc {

namespace {

struct Registration {
    rpcprog_t prog;
    rpcvers_t vers;
    svc_dispatch_t dispatch;
    SVCXPRT *xprt;
};

std::vector<Registration> &registrations = *new std::vector<Registration>;

void stop_builtin_when_alone()
{
    bool any = std::any_of(registrations.begin(), registrations.end(),
                           [](const Registration &r) { return r.prog != PMAPPROG; });
    if (!any)
        pmap::builtin_stop();
}

} // namespace

svc_dispatch_t find_dispatch(rpcprog_t prog, rpcvers_t vers, bool *found, rpcvers_t *low,
                             rpcvers_t *high)
{
    *found = false;
    svc_dispatch_t dispatch = nullptr;
    for (const Registration &r : registrations) {
        if (r.prog != prog)
            continue;
        *low = *found ? std::min(*low, r.vers) : r.vers;
        *high = *found ? std::max(*high, r.vers) : r.vers;
        *found = true;
        if (r.vers == vers && !dispatch)
            dispatch = r.dispatch;
    }
    return dispatch;
}

void forget_transport(SVCXPRT *xprt)
{
    std::erase_if(registrations, [&](const Registration &r) { return r.xprt == xprt; });
}

} // namespace svc
} // namespace pal

using namespace pal;

extern "C" {

bool_t svc_register(SVCXPRT *xprt, rpcprog_t prog, rpcvers_t vers, svc_dispatch_t dispatch,
                    int protocol)
{
    if (!xprt || !dispatch)
        return FALSE;
    if (protocol != 0) {
        struct pmap mapping = {prog, vers, (uint32_t)protocol, xprt->xp_port};
        if (!pmap::register_mapping(&mapping))
            return FALSE;
    }
    svc::registrations.push_back({prog, vers, dispatch, xprt});
    return TRUE;
}

void svc_unregister(rpcprog_t prog, rpcvers_t vers)
{
    std::erase_if(svc::registrations,
                  [&](const svc::Registration &r) { return r.prog == prog && r.vers == vers; });
    pmap_unset(prog, vers);
    svc::stop_builtin_when_alone();
}

void svc_destroy(SVCXPRT *xprt)
{
    svc::Transport *t = svc::of(xprt);
    if (t->kind == svc::Kind::LISTENER) {
        std::vector<svc::Transport *> connections;
        for (svc::Transport *c : svc::transports)
            if (c->listener == t)
                connections.push_back(c);
        for (svc::Transport *c : connections)
            svc::close_transport(c);
    }
    svc::close_transport(t);
}
}
