// Runs in host I of a net through CALLMGR_NET_EXEC.
//   testhost_net_peer register I   registers kProbeProgram + I with this
//                                  host's rpcbind, at this host's address
//   testhost_net_peer survey N     prints what this host sees:
//     name=<host name> env=<CALLMGR_HOST_NAME> addr=<CALLMGR_HOST_ADDR>
//       net-exec=<set|unset> size=<CALLMGR_NET_SIZE> if=<interfaces>
//     and for each host J of 1..N one line
//       J <address of hostJ> <address of hostJ.callmgr.test> <programs>
//     where <programs> are those that hostJ's rpcbind lists, asked by name.
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "scripts/hostprobe.h"

namespace {

std::string lookup(const std::string &name)
{
    int status = 0;
    std::string addr = hostprobe::resolve(name.c_str(), &status);
    return addr.empty() ? "none" : addr;
}

int survey(int hosts)
{
    char name[256] = "";
    gethostname(name, sizeof name);
    std::printf("name=%s env=%s addr=%s net-exec=%s size=%s if=%s\n", name,
                hostprobe::env("CALLMGR_HOST_NAME").c_str(),
                hostprobe::env("CALLMGR_HOST_ADDR").c_str(),
                hostprobe::env("CALLMGR_NET_EXEC").empty() ? "unset" : "set",
                hostprobe::env("CALLMGR_NET_SIZE").c_str(), hostprobe::interfaces().c_str());
    for (int j = 1; j <= hosts; ++j) {
        const std::string shortname = "host" + std::to_string(j);
        std::string error;
        std::string programs;
        for (unsigned long program : hostprobe::rpcbind_programs(shortname.c_str(), &error)) {
            programs += programs.empty() ? "" : ",";
            programs += program == 100000
                            ? std::string("rpcbind")
                            : "probe+" + std::to_string(program - hostprobe::kProbeProgram);
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
    if (mode == "register") {
        const std::string own = hostprobe::env("CALLMGR_HOST_ADDR");
        return hostprobe::register_probe(own.c_str(), hostprobe::kProbeProgram + number) ? 0 : 1;
    }
    if (mode == "survey")
        return survey(number);
    return 2;
}
