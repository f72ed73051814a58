// Runs in host I of a net through CALLMGR_NET_EXEC.
//   testhost_net_peer register I   registers kProbeProgram + I with this
//                                  host's rpcbind, at this host's address
//   testhost_net_peer survey N     prints what this host sees:
//     name=<host name> env=<CALLMGR_HOST_NAME> addr=<CALLMGR_HOST_ADDR>
//       net-exec=<set|unset> size=<CALLMGR_NET_SIZE> if=<interfaces>
//     and for each host J of 1..N one line
//       J <address of hostJ> <address of hostJ.callmgr.test> <programs>
//     where <programs> are those that hostJ's rpcbind lists, asked by name.
#include <arpa/inet.h>
#include <net/if.h>
#include <netdb.h>
#include <netinet/in.h>
#include <rpc/rpc.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <set>
#include <string>

namespace {

// A program number from the range left to local use.
constexpr unsigned long kProbeProgram = 0x2fffff01;

std::string env(const char *name)
{
    const char *value = std::getenv(name);
    return value != nullptr ? value : "";
}

// The IPv4 address NAME resolves to through getaddrinfo, or "none".
std::string lookup(const std::string &name)
{
    addrinfo hints{};
    hints.ai_family = AF_INET;
    addrinfo *found = nullptr;
    if (getaddrinfo(name.c_str(), nullptr, &hints, &found) != 0)
        return "none";
    char text[INET_ADDRSTRLEN] = "";
    const auto *in = reinterpret_cast<const sockaddr_in *>(found->ai_addr);
    inet_ntop(AF_INET, &in->sin_addr, text, sizeof text);
    freeaddrinfo(found);
    return text;
}

// The program numbers registered with the rpcbind of HOST, asked over TCP;
// "error" holds libtirpc's message when it cannot be asked.
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

// Registers PROGRAM version 1 over TCP at ADDR:10000 with the local
// rpcbind; the registration ends with the host.
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

// The host's network interfaces, comma-separated: "lo,eth0".
std::string interfaces()
{
    std::string names;
    struct if_nameindex *list = if_nameindex();
    for (struct if_nameindex *i = list; i != nullptr && i->if_index != 0; ++i)
        names += (names.empty() ? "" : ",") + std::string(i->if_name);
    if_freenameindex(list);
    return names;
}

int survey(int hosts)
{
    char name[256] = "";
    gethostname(name, sizeof name);
    std::printf("name=%s env=%s addr=%s net-exec=%s size=%s if=%s\n", name,
                env("CALLMGR_HOST_NAME").c_str(), env("CALLMGR_HOST_ADDR").c_str(),
                env("CALLMGR_NET_EXEC").empty() ? "unset" : "set", env("CALLMGR_NET_SIZE").c_str(),
                interfaces().c_str());
    for (int j = 1; j <= hosts; ++j) {
        const std::string shortname = "host" + std::to_string(j);
        std::string error;
        std::string programs;
        for (unsigned long program : rpcbind_programs(shortname.c_str(), &error)) {
            programs += programs.empty() ? "" : ",";
            programs += program == 100000 ? std::string("rpcbind")
                                          : "probe+" + std::to_string(program - kProbeProgram);
        }
        std::printf("%d %s %s %s%s\n", j, lookup(shortname).c_str(),
                    lookup(shortname + ".callmgr.test").c_str(), programs.c_str(), error.c_str());
    }
    return 0;
}

} // namespace

int main(int argc, char **argv)
{
    if (argc != 3)
        return 2;
    const std::string mode = argv[1];
    const int number = std::atoi(argv[2]);
    if (mode == "register")
        return register_probe(env("CALLMGR_HOST_ADDR").c_str(), kProbeProgram + number) ? 0 : 1;
    if (mode == "survey")
        return survey(number);
    return 2;
}
