// One exchange with another host, three ways, in the same run between the
// same two hosts:
//
//   exchange_bench --peer-addr ADDR --tcp-port PORT [--iterations N]
//                  [--rounds R] [--warmup W] [--only raw|libtirpc|call]
//
//   raw TCP    connect, 100 bytes each way, close (bench_peer serve);
//   libtirpc   clnt_create(ADDR, BENCH_PROG, 1, "tcp") + one clnt_call +
//              clnt_destroy: a port-mapper query and a connection;
//   CALL_Send  of a CALL_INVITE to the call manager on ADDR (server_bench
//              answer --busy): its port-mapper answer cached after the
//              first, a connection, the call, the answer ("not handled":
//              the answering applications are occupied, so the answering
//              host does nothing but the exchange).
// The methods alternate in R rounds; --only runs one of them alone (to
// profile it).  Prints median, 99th percentile, mean in microseconds and
// each median and p99 against raw TCP's.  Exit status 0 when every
// iteration succeeded, 1 otherwise, 2 on bad arguments.
#include "bench_common.h"

#include "members/members.h"
#include "netlib/netlib.h"
#include "protocol/rpc.h"

#include <palmodule.h>

#include <algorithm>
#include <arpa/inet.h>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <string>
#include <vector>

extern "C" const unsigned char CALLMGR_Resources[];
extern "C" const size_t CALLMGR_Resources_size;

namespace {

/* The library's resources, where the socket library's name is kept. */
HINSTANCE resource_instance()
{
    static const PAL_MODULEDESC desc = {"CMRES.DLL", nullptr,           0,
                                        nullptr,     CALLMGR_Resources, CALLMGR_Resources_size};
    static HINSTANCE instance = PalAttachModule(&desc);
    return instance;
}

using Clock = std::chrono::steady_clock;

struct Options {
    std::string peer_addr;
    unsigned tcp_port = 0, iterations = 300, rounds = 10, warmup = 10;
    int only = -1; /* every method */
};

const char *const METHOD_KEYS[3] = {"raw", "libtirpc", "call"};

bool rpc_once(const Options &o)
{
    char out[BENCH_PAYLOAD], in[BENCH_PAYLOAD] = {};
    std::memset(out, 'r', sizeof out);
    CLIENT *clnt = clnt_create(o.peer_addr.c_str(), BENCH_PROG, BENCH_VERS, "tcp");
    if (!clnt)
        return false;
    struct timeval timeout = {25, 0};
    bool ok = clnt_call(clnt, BENCH_PROC_ECHO, bench_xdrproc(bench_xdr_payload), (caddr_t)out,
                        bench_xdrproc(bench_xdr_payload), (caddr_t)in, timeout) == RPC_SUCCESS &&
              in[0] == ('r' ^ 1);
    clnt_destroy(clnt);
    return ok;
}

CALLCTX *invitation = nullptr;

bool send_once()
{
    INT r = CALL_Send(nullptr, invitation, CALL_INVITE, FALSE);
    return r == CALL_DELIVERED || r == CALL_NOTHANDLED;
}

struct Method {
    const char *name;
    std::vector<double> us;
    unsigned failures = 0;
};

double percentile(const std::vector<double> &sorted, unsigned pct)
{
    size_t n = sorted.size();
    size_t rank = (n * pct + 99) / 100;
    return sorted[std::min(n, std::max<size_t>(rank, 1)) - 1];
}

bool parse(const char *text, unsigned low, unsigned high, unsigned *out)
{
    char *end = nullptr;
    unsigned long v = text ? std::strtoul(text, &end, 10) : 0;
    if (!text || !*text || *end || v < low || v > high)
        return false;
    *out = (unsigned)v;
    return true;
}

} // namespace

int main(int argc, char **argv)
{
    Options o;
    bool ok = true;
    for (int i = 1; ok && i < argc; i += 2) {
        std::string arg = argv[i];
        const char *v = i + 1 < argc ? argv[i + 1] : nullptr;
        if (arg == "--peer-addr" && v)
            o.peer_addr = v;
        else if (arg == "--tcp-port")
            ok = parse(v, 1, 65535, &o.tcp_port);
        else if (arg == "--iterations")
            ok = parse(v, 1, 100000, &o.iterations);
        else if (arg == "--rounds")
            ok = parse(v, 1, 1000, &o.rounds);
        else if (arg == "--warmup")
            ok = parse(v, 0, 10000, &o.warmup);
        else if (arg == "--only" && v) {
            o.only = (int)(std::find_if(std::begin(METHOD_KEYS), std::end(METHOD_KEYS),
                                        [v](const char *k) { return std::strcmp(k, v) == 0; }) -
                           std::begin(METHOD_KEYS));
            ok = o.only < 3;
        } else
            ok = false;
    }
    sockaddr_in peer{};
    peer.sin_family = AF_INET;
    peer.sin_port = htons((uint16_t)o.tcp_port);
    if (!ok || o.tcp_port == 0 || inet_pton(AF_INET, o.peer_addr.c_str(), &peer.sin_addr) != 1) {
        std::fprintf(stderr, "usage: exchange_bench --peer-addr ADDR --tcp-port PORT "
                             "[--iterations N] [--rounds R] [--warmup W] "
                             "[--only raw|libtirpc|call]\n");
        return 2;
    }
    if (NET_Startup(resource_instance()) != 1) {
        std::fprintf(stderr, "exchange_bench: the socket library does not start\n");
        return 2;
    }
    // An invitation from this host to the bench user on the peer.
    ipaddr_t to = ntohl(peer.sin_addr.s_addr);
    BenchInvitation sample("bench-exchange", 0x7F000001u, "hosta", to, "hostb");
    if (CALL_FromRequest(&invitation, &sample.request) != 0) {
        std::fprintf(stderr, "exchange_bench: cannot build the invitation\n");
        return 2;
    }

    Method methods[3] = {{"raw TCP", {}, 0}, {"libtirpc", {}, 0}, {"CALL_Send", {}, 0}};
    std::string error;
    auto once = [&](int m) {
        return m == 0 ? bench_tcp_once(peer, &error) : m == 1 ? rpc_once(o) : send_once();
    };
    auto chosen = [&](int m) { return o.only < 0 || o.only == m; };
    for (unsigned w = 0; w < o.warmup; ++w)
        for (int m = 0; m < 3; ++m)
            if (chosen(m))
                once(m);
    unsigned per_round = std::max(1u, o.iterations / std::max(1u, o.rounds));
    for (unsigned done = 0; done < o.iterations;) {
        for (int m = 0; m < 3; ++m)
            for (unsigned i = 0; chosen(m) && i < per_round && done + i < o.iterations; ++i) {
                auto t0 = Clock::now();
                bool good = once(m);
                auto t1 = Clock::now();
                if (good)
                    methods[m].us.push_back(
                        std::chrono::duration<double, std::micro>(t1 - t0).count());
                else
                    methods[m].failures++;
            }
        done += per_round;
    }

    std::printf("%-10s %10s %10s %10s %8s %8s %6s\n", "method", "median us", "p99 us", "mean us",
                "x TCP", "p99 x", "fail");
    double tcp_median = 0, tcp_p99 = 0;
    int rc = 0;
    for (Method &m : methods) {
        std::sort(m.us.begin(), m.us.end());
        if (m.failures)
            rc = 1;
        if (m.us.empty()) {
            std::printf("%-10s %10s %10s %10s %8s %8s %6u\n", m.name, "-", "-", "-", "-", "-",
                        m.failures);
            continue;
        }
        size_t n = m.us.size();
        double median = n % 2 ? m.us[n / 2] : (m.us[n / 2 - 1] + m.us[n / 2]) / 2;
        double p99 = percentile(m.us, 99), sum = 0;
        for (double x : m.us)
            sum += x;
        if (&m == &methods[0]) {
            tcp_median = median;
            tcp_p99 = p99;
        }
        std::printf("%-10s %10.0f %10.0f %10.0f %8.1f %8.1f %6u\n", m.name, median, p99,
                    sum / (double)n, tcp_median > 0 ? median / tcp_median : 0,
                    tcp_p99 > 0 ? p99 / tcp_p99 : 0, m.failures);
    }
    CALL_Free(invitation);
    NET_Cleanup();
    return rc;
}
