// Call set-up between two hosts, beside the least that the same network
// round trips cost, all measured in one run between the same two hosts.
//
//   callsetup_bench --peer-addr ADDR --peer-name NAME --tcp-port PORT
//                   [--iterations N] [--rounds R] [--warmup W] [--gap-ms G]
//
// Host B runs `bench_peer serve` (reporting PORT) and an auto-accepting
// application (`bench_peer answer` or `cmcall answer --auto-accept`).
// Three ways of doing one exchange with B are timed, each from start to
// finish with nothing left open:
//   raw TCP    connect, send a 100-byte request, read a 100-byte answer,
//              close;
//   libtirpc   clnt_create(ADDR, program 0x20000099, 1, "tcp"), one
//              clnt_call with 100 bytes each way, clnt_destroy: a port
//              mapper query and a connection, as every call-manager message
//              costs;
//   call       CMOpenSession, CMInviteUser("Bench <bench@NAME>"), the message
//              loop until B's acceptance arrives as notification code 2,
//              CMCloseSession, and closing the sockets the library handed
//              over.  That is a name lookup, an invitation to B and an
//              acceptance sent back by B, each its own RPC exchange.
// The three alternate in R rounds of N/R iterations each, so drift in the
// machine's load falls on all of them alike.  With --gap-ms, each call
// set-up starts G milliseconds after the one before ended (not measured):
// a single answering application is offered the next invitation only once
// it has handled the last acceptance, which a back-to-back inviter can
// overtake.  Prints one table: median, 90th and 99th percentile, mean and
// minimum in microseconds, and each median against raw TCP's.  Exit status 0 when every iteration
// succeeded, 1 when any failed, 2 on bad arguments or when the application could not be set up.
#include "bench_common.h"

#include <algorithm>
#include <chrono>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

const UINT CALL_NOTIFY = WM_USER + 0x130;
const UINT_PTR TIMER_GIVEUP = 1;
/* One call set-up normally takes milliseconds; after this long the answer
 * is taken as lost. */
const UINT CALL_GIVEUP_MS = 10000;
/* A method that fails this many times in a row is not measured further. */
const unsigned MAX_FAILURES_IN_A_ROW = 3;

struct Options {
    std::string peer_addr;
    std::string peer_name;
    unsigned tcp_port = 0;
    unsigned iterations = 300;
    unsigned rounds = 10;
    unsigned warmup = 10;
    unsigned gap_ms = 0;
};

struct Method {
    const char *name;
    const char *what;
    std::vector<double> us;
    unsigned failures = 0;
    unsigned failures_in_a_row = 0;
    std::string last_error;
};

/* The call of the current iteration, as its notifications tell it. */
struct CallState {
    unsigned session = 0;
    bool accepted = false;
    unsigned failed_code = 0; /* the notification that ended it otherwise */
    bool timed_out = false;
    BENCH_SOCKETS sockets = {{0, 0}};
};

CallState call;
HWND notify_wnd = nullptr;
WORD app = 0;
DWORD last_invite_tick = 0;
bool invited_once = false;

LRESULT CALLBACK notify_proc(HWND hwnd, UINT msg, WPARAM wparam, LPARAM lparam)
{
    if (msg == WM_TIMER && wparam == TIMER_GIVEUP) {
        KillTimer(hwnd, TIMER_GIVEUP);
        call.timed_out = true;
        return 0;
    }
    if (msg != CALL_NOTIFY)
        return DefWindowProcA(hwnd, msg, wparam, lparam);
    unsigned code = (unsigned)(wparam >> 8) & 0xFF;
    unsigned session = (unsigned)wparam & 0xFF;
    BENCH_SOCKETS sockets = bench_take_block(code, lparam);
    if (session != call.session) {
        bench_close_sockets(&sockets);
        return 0;
    }
    switch (code) {
    case CMN_CALLSTARTED:
        call.sockets = sockets;
        break;
    case 2: /* the acceptance */
        call.accepted = true;
        break;
    case CMN_ADDRESS:
    case CMN_RINGING:
        break;
    default:
        call.failed_code = code;
        break;
    }
    return 0;
}

// ----------------------------------------------------------------- methods

bool tcp_once(const Options &, const struct sockaddr_in &peer, std::string *error)
{
    return bench_tcp_once(peer, error);
}

bool rpc_once(const Options &o, const struct sockaddr_in &, std::string *error)
{
    char out[BENCH_PAYLOAD], in[BENCH_PAYLOAD];
    std::memset(out, 'r', sizeof out);
    std::memset(in, 0, sizeof in);
    CLIENT *clnt = clnt_create(o.peer_addr.c_str(), BENCH_PROG, BENCH_VERS, "tcp");
    if (!clnt) {
        *error = std::string("clnt_create: ") + clnt_spcreateerror(o.peer_addr.c_str());
        return false;
    }
    struct timeval timeout = {25, 0};
    enum clnt_stat st =
        clnt_call(clnt, BENCH_PROC_ECHO, bench_xdrproc(bench_xdr_payload), (caddr_t)out,
                  bench_xdrproc(bench_xdr_payload), (caddr_t)in, timeout);
    bool ok = st == RPC_SUCCESS && in[0] == ('r' ^ 1);
    if (!ok)
        *error = std::string("clnt_call: ") + clnt_sperrno(st);
    clnt_destroy(clnt);
    return ok;
}

bool call_once(const Options &o, const struct sockaddr_in &, std::string *error)
{
    std::string address = "Bench <bench@" + o.peer_name + ">";
    call = CallState{};
    WORD session = CMOpenSession(app);
    if (session == 0 || session >= 128) {
        *error = "CMOpenSession: status " + std::to_string(session);
        return false;
    }
    call.session = session;
    CMAPPINFO info;
    std::memset(&info, 0, sizeof info);
    CMGetAppInfo(session, &info);
    UINT status = CMInviteUser(session, address.c_str(), "Benchmark");
    last_invite_tick = GetTickCount();
    invited_once = true;
    if (status == 0) {
        SetTimer(notify_wnd, TIMER_GIVEUP, CALL_GIVEUP_MS, nullptr);
        MSG m;
        while (!call.accepted && !call.failed_code && !call.timed_out &&
               GetMessageA(&m, nullptr, 0, 0) > 0)
            DispatchMessageA(&m);
        KillTimer(notify_wnd, TIMER_GIVEUP);
    }
    CMCloseSession(session);
    bench_close_sockets(&call.sockets);
    bench_close_socket(info.tcpsocket);
    if (status != 0)
        *error = "CMInviteUser: status " + std::to_string(status);
    else if (call.failed_code)
        *error = "notification " + std::to_string(call.failed_code) +
                 (call.failed_code == 5                 ? " (declined)"
                  : call.failed_code == CMN_UNREACHABLE ? " (unreachable, or refused as busy)"
                  : call.failed_code == CMN_NOADDRESS   ? " (no address)"
                                                        : "") +
                 " instead of 2";
    else if (call.timed_out)
        *error = "no answer within " + std::to_string(CALL_GIVEUP_MS / 1000) + " s";
    else if (!call.accepted)
        *error = "the message loop ended";
    call.session = 0;
    return status == 0 && call.accepted;
}

/* A call is told apart from the one before by the millisecond of its
 * creation: never start two in the same one.  Waited out before the clock
 * starts, so it is not measured. */
void await_next_tick()
{
    while (invited_once && GetTickCount() == last_invite_tick)
        std::this_thread::sleep_for(std::chrono::microseconds(100));
}

typedef bool (*Once)(const Options &, const struct sockaddr_in &, std::string *);

void run(Method *m, Once once, const Options &o, const struct sockaddr_in &peer, unsigned count,
         bool keep)
{
    for (unsigned i = 0; i < count; ++i) {
        if (m->failures_in_a_row >= MAX_FAILURES_IN_A_ROW)
            return;
        if (once == call_once) {
            if (o.gap_ms)
                std::this_thread::sleep_for(std::chrono::milliseconds(o.gap_ms));
            await_next_tick();
        }
        std::string error;
        Clock::time_point t0 = Clock::now();
        bool ok = once(o, peer, &error);
        Clock::time_point t1 = Clock::now();
        if (!ok) {
            char when[64];
            snprintf(when, sizeof when, " (after %.1f ms, %s)",
                     std::chrono::duration<double, std::milli>(t1 - t0).count(),
                     keep ? "measured" : "warm-up");
            m->failures++;
            m->failures_in_a_row++;
            m->last_error = error + when;
            continue;
        }
        m->failures_in_a_row = 0;
        if (keep)
            m->us.push_back(std::chrono::duration<double, std::micro>(t1 - t0).count());
    }
}

// ------------------------------------------------------------------ report

struct Summary {
    double median = 0, p90 = 0, p99 = 0, mean = 0, min = 0, max = 0;
};

/* The nearest-rank percentile of sorted samples: the smallest sample with
 * at least `pct` per cent of the samples at or below it. */
double percentile(const std::vector<double> &sorted, unsigned pct)
{
    size_t n = sorted.size();
    size_t rank = (n * pct + 99) / 100;
    return sorted[std::min(n, std::max<size_t>(rank, 1)) - 1];
}

Summary summarise(std::vector<double> v)
{
    Summary s;
    if (v.empty())
        return s;
    std::sort(v.begin(), v.end());
    size_t n = v.size();
    s.median = n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
    s.p90 = percentile(v, 90);
    s.p99 = percentile(v, 99);
    double sum = 0;
    for (double x : v)
        sum += x;
    s.mean = sum / (double)n;
    s.min = v.front();
    s.max = v.back();
    return s;
}

/* The one-minute load average, for reading the tails: the two hosts share
 * the machine's processors with whatever else runs on it. */
std::string load_average()
{
    char buf[64] = "";
    FILE *f = std::fopen("/proc/loadavg", "r");
    if (f) {
        if (!std::fgets(buf, sizeof buf, f))
            buf[0] = 0;
        std::fclose(f);
    }
    char *space = std::strchr(buf, ' ');
    if (space)
        *space = 0;
    return buf[0] ? buf : "?";
}

bool parse_unsigned(const char *text, unsigned low, unsigned high, unsigned *out)
{
    if (!text || !*text)
        return false;
    char *end = nullptr;
    errno = 0;
    unsigned long v = std::strtoul(text, &end, 10);
    if (errno || *end || text[0] == '-' || v < low || v > high)
        return false;
    *out = (unsigned)v;
    return true;
}

bool parse_args(int argc, char **argv, Options *o, std::string *error)
{
    if (const char *a = std::getenv("CALLMGR_PEER_ADDR"))
        o->peer_addr = a;
    if (const char *n = std::getenv("CALLMGR_PEER_NAME"))
        o->peer_name = n;
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        const char *value = i + 1 < argc ? argv[i + 1] : nullptr;
        bool ok = value != nullptr;
        if (arg == "--peer-addr" && ok)
            o->peer_addr = value;
        else if (arg == "--peer-name" && ok)
            o->peer_name = value;
        else if (arg == "--tcp-port" && ok)
            ok = parse_unsigned(value, 1, 65535, &o->tcp_port);
        else if (arg == "--iterations" && ok)
            ok = parse_unsigned(value, 1, 100000, &o->iterations);
        else if (arg == "--rounds" && ok)
            ok = parse_unsigned(value, 1, 1000, &o->rounds);
        else if (arg == "--warmup" && ok)
            ok = parse_unsigned(value, 0, 10000, &o->warmup);
        else if (arg == "--gap-ms" && ok)
            ok = parse_unsigned(value, 0, 10000, &o->gap_ms);
        else
            ok = false;
        if (!ok) {
            *error = "bad or incomplete argument: " + arg;
            return false;
        }
        ++i;
    }
    if (o->peer_addr.empty() || o->peer_name.empty() || o->tcp_port == 0) {
        *error = "--peer-addr, --peer-name and --tcp-port are needed";
        return false;
    }
    if (o->rounds > o->iterations)
        o->rounds = o->iterations;
    return true;
}

} // namespace

int main(int argc, char **argv)
{
    Options o;
    std::string error;
    if (!parse_args(argc, argv, &o, &error)) {
        std::fprintf(
            stderr,
            "callsetup_bench: %s\nusage: callsetup_bench --peer-addr ADDR --peer-name "
            "NAME --tcp-port PORT [--iterations N] [--rounds R] [--warmup W] [--gap-ms G]\n",
            error.c_str());
        return 2;
    }
    struct sockaddr_in peer;
    std::memset(&peer, 0, sizeof peer);
    peer.sin_family = AF_INET;
    peer.sin_port = htons((uint16_t)o.tcp_port);
    if (inet_pton(AF_INET, o.peer_addr.c_str(), &peer.sin_addr) != 1) {
        std::fprintf(stderr, "callsetup_bench: --peer-addr wants a dotted IPv4 address\n");
        return 2;
    }

    char host[BENCH_HOST_ROOM] = "";
    app = bench_start_app("callsetup_bench", "BenchCallSetup", notify_proc, CALL_NOTIFY,
                          &notify_wnd, host);
    if (app == 0)
        return 2;

    Method tcp{"raw TCP", "connect, 100 B each way, close", {}, 0, 0, {}};
    Method rpc{"libtirpc", "clnt_create, clnt_call, clnt_destroy", {}, 0, 0, {}};
    Method cm{"call set-up", "CMOpenSession .. code 2 .. CMCloseSession", {}, 0, 0, {}};
    struct {
        Method *m;
        Once once;
    } methods[] = {{&tcp, tcp_once}, {&rpc, rpc_once}, {&cm, call_once}};

    std::string load_before = load_average();
    for (auto &x : methods)
        run(x.m, x.once, o, peer, o.warmup, false);
    for (unsigned r = 0; r < o.rounds; ++r) {
        /* Spread the iterations over the rounds, the remainder first. */
        unsigned count = o.iterations / o.rounds + (r < o.iterations % o.rounds ? 1 : 0);
        for (auto &x : methods)
            run(x.m, x.once, o, peer, count, true);
    }

    Summary base = summarise(tcp.us);
    std::printf("call set-up from %s to %s (%s): %u iterations each in %u interleaved rounds, "
                "%u warm-up, %u ms between call set-ups\n",
                host, o.peer_name.c_str(), o.peer_addr.c_str(), o.iterations, o.rounds, o.warmup,
                o.gap_ms);
    std::printf("load average of the machine: %s before, %s after\n", load_before.c_str(),
                load_average().c_str());
    std::printf("%-12s %-42s %5s %5s %10s %10s %10s %10s %10s %7s\n", "method", "each iteration",
                "ok", "fail", "median us", "p90 us", "p99 us", "mean us", "min us", "x TCP");
    bool all_ok = true;
    for (auto &x : methods) {
        Summary s = summarise(x.m->us);
        char ratio[32] = "-";
        if (base.median > 0 && !x.m->us.empty())
            snprintf(ratio, sizeof ratio, "%.1f", s.median / base.median);
        std::printf("%-12s %-42s %5zu %5u %10.1f %10.1f %10.1f %10.1f %10.1f %7s\n", x.m->name,
                    x.m->what, x.m->us.size(), x.m->failures, s.median, s.p90, s.p99, s.mean, s.min,
                    ratio);
        if (x.m->failures) {
            all_ok = false;
            std::printf("  %s: last failure: %s\n", x.m->name, x.m->last_error.c_str());
        }
    }
    Summary call_s = summarise(cm.us);
    if (base.median > 0 && base.mean > 0 && !cm.us.empty())
        std::printf("call set-up / raw TCP: median %.1fx, p99 %.1fx, mean %.1fx\n",
                    call_s.median / base.median, call_s.p99 / base.p99, call_s.mean / base.mean);

    UINT status = CMCleanup(app);
    if (status != 0)
        std::fprintf(stderr, "callsetup_bench: CMCleanup returned %u\n", status);
    DestroyWindow(notify_wnd);
    WSACleanup();
    return all_ok ? 0 : 1;
}
