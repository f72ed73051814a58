#include "scripts/hostprobe.h"

#include <arpa/inet.h>
#include <net/if.h>
#include <netdb.h>
#include <netinet/in.h>
#include <rpc/rpc.h>

#include <cstdio>
#include <cstdlib>

namespace hostprobe {

std::string resolve(const char *name, int *status)
{
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo *found = nullptr;
    *status = getaddrinfo(name, nullptr, &hints, &found);
    if (*status != 0)
        return "";
    char text[INET_ADDRSTRLEN] = "";
    const auto *in = reinterpret_cast<const sockaddr_in *>(found->ai_addr);
    inet_ntop(AF_INET, &in->sin_addr, text, sizeof text);
    freeaddrinfo(found);
    return text;
}

std::set<unsigned long> rpcbind_programs(const char *host, std::string *error)
{
    std::set<unsigned long> programs;
    netconfig *tcp = getnetconfigent("tcp");
    if (tcp == nullptr) {
        *error = "no tcp netconfig";
        return programs;
    }
    rpcblist *list = rpcb_getmaps(tcp, host);
    if (list == nullptr) {
        const char *why = clnt_spcreateerror(host);
        *error = why != nullptr ? why : "rpcb_getmaps failed";
    }
    for (rpcblist *entry = list; entry != nullptr; entry = entry->rpcb_next)
        programs.insert(entry->rpcb_map.r_prog);
    rpcblist_ptr owned = reinterpret_cast<rpcblist_ptr>(list);
    xdr_free(reinterpret_cast<xdrproc_t>(xdr_rpcblist_ptr), reinterpret_cast<char *>(&owned));
    freenetconfigent(tcp);
    return programs;
}

bool register_probe(const char *addr, unsigned long program)
{
    netconfig *tcp = getnetconfigent("tcp");
    if (tcp == nullptr)
        return false;
    char uaddr[64];
    // A universal address ends in the port's two bytes: 39.16 is 10000.
    std::snprintf(uaddr, sizeof uaddr, "%s.39.16", addr);
    netbuf *where = uaddr2taddr(tcp, uaddr);
    bool done = where != nullptr && rpcb_set(program, 1, tcp, where);
    if (where != nullptr) {
        std::free(where->buf);
        std::free(where);
    }
    freenetconfigent(tcp);
    return done;
}

std::string interfaces()
{
    std::string names;
    struct if_nameindex *list = if_nameindex();
    for (struct if_nameindex *i = list; i != nullptr && i->if_index != 0; ++i)
        names += (names.empty() ? "" : ",") + std::string(i->if_name);
    if_freenameindex(list);
    return names;
}

std::string env(const char *name)
{
    const char *value = std::getenv(name);
    return value != nullptr ? value : "";
}

} // namespace hostprobe
