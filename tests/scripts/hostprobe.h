// What a test sees of the host it runs on: name lookups and the host's
// rpcbind table, asked the way the system will ask them.
#pragma once

#include <set>
#include <string>

namespace hostprobe {

// A program number from the range left to local use, registered only by
// these checks.
constexpr unsigned long kProbeProgram = 0x2fffff01;

// The IPv4 address NAME resolves to through getaddrinfo, or "" with the
// getaddrinfo status in *status.
std::string resolve(const char *name, int *status);

// The program numbers registered with the rpcbind of HOST (an address),
// asked over TCP; "error" holds libtirpc's message when it cannot be asked.
std::set<unsigned long> rpcbind_programs(const char *host, std::string *error);

// Registers PROGRAM version 1 over TCP at ADDR:10000 with the local
// rpcbind; the registration ends with the host.
bool register_probe(const char *addr, unsigned long program = kProbeProgram);

// The host's network interfaces, comma-separated: "lo,eth0".
std::string interfaces();

// The environment variable NAME, or "" when it is not set.
std::string env(const char *name);

} // namespace hostprobe
