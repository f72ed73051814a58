// Runs in a host of a net through CALLMGR_NET_EXEC:  testhost_net_peer N
// prints this host's name, environment and interfaces, then for each host J
// of 1..N one line
//   J <address of hostJ> <address of hostJ.callmgr.test> <rpcbind>
// where <rpcbind> tells whether hostJ's rpcbind answers by that name.  That
// each host has its own rpcbind is shown by three_host_test, whose peers
// register on hosts 2 and 3 alike.
#include <arpa/inet.h>
#include <net/if.h>
#include <netdb.h>
#include <netinet/in.h>
#include <rpc/rpc.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

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

// "rpcbind" when the rpcbind of HOST lists its programs over TCP, else
// libtirpc's message.
std::string rpcbind_answer(const char *host)
{
    netconfig *tcp = getnetconfigent("tcp");
    rpcblist_ptr list = tcp != nullptr ? rpcb_getmaps(tcp, host) : nullptr;
    std::string answer = list != nullptr ? "rpcbind" : clnt_spcreateerror(host);
    xdr_free(reinterpret_cast<xdrproc_t>(xdr_rpcblist_ptr), reinterpret_cast<char *>(&list));
    freenetconfigent(tcp);
    return answer;
}

// The host's network interfaces, comma-separated: "lo,eth0".
std::string interfaces()
{
    std::string names;
    struct if_nameindex *list = if_nameindex();
    for (struct if_nameindex *i = list; i != nullptr && i->if_index != 0; ++i) {
        if (!names.empty())
            names += ',';
        names += i->if_name;
    }
    if_freenameindex(list);
    return names;
}

} // namespace

int main(int argc, char **argv)
{
    if (argc != 2)
        return 2;
    char name[256] = "";
    gethostname(name, sizeof name);
    std::printf("name=%s env=%s addr=%s net-exec=%s size=%s if=%s\n", name,
                env("CALLMGR_HOST_NAME").c_str(), env("CALLMGR_HOST_ADDR").c_str(),
                env("CALLMGR_NET_EXEC").empty() ? "unset" : "set", env("CALLMGR_NET_SIZE").c_str(),
                interfaces().c_str());
    for (int j = 1; j <= std::atoi(argv[1]); ++j) {
        std::string shortname = "host";
        shortname += std::to_string(j);
        std::printf("%d %s %s %s\n", j, lookup(shortname).c_str(),
                    lookup(shortname + ".callmgr.test").c_str(),
                    rpcbind_answer(shortname.c_str()).c_str());
    }
    return 0;
}
