// The call manager's server under a flood of invitations, beside a bare TCP
// server doing the least the same job needs, with the same client load.
//
//   server_bench bare
//       A bare TCP server: one thread, accept, read one record, write a
//       32-byte accepted reply carrying the call's xid and the answer 16,
//       close.  Prints "ready bare tcp=PORT".
//   server_bench answer [--apps N] [--busy]
//       A call-manager answering process: N applications (default 2, at most
//       8) with auto-accept on, each closing an accepted call's session at
//       once (as bench_peer answer does).  With --busy every application
//       first places a call of its own to a member that has no address, so
//       none is idle: each invitation is then received, decoded, offered to
//       the applications and answered "not handled" (3), which is the
//       server's whole path and nothing of the application's.  Prints
//       "ready answer tcp=PORT rss_kb=KB", PORT being the library server's
//       TCP port as the local port mapper has it.
//   Both servers read commands from standard input: a line "rss" prints
//   "rss_kb=KB" (the process's resident set), end of input stops them and
//   prints "done ..." (the bare server also its processor time, cpu_s).
//
//   server_bench client --addr ADDR --port PORT [--threads T]
//                       [--requests N] [--seconds S] [--from-addr ADDR]
//                       [--handout]
//       T threads (default 4) each send invitations back to back, each on a
//       new connection: connect, one CALL_INVITE request record of program
//       391010 version 1, read the reply record, close.  Stops after N
//       requests in all (default 20000) or S seconds, whichever comes first.
//       With --handout each pair of requests (the two connections of a call
//       set-up) also makes, binds to a port of the system's choice, asks the
//       port of, and closes the sockets a call set-up hands out: the
//       inviting session's stream socket and two datagram sockets at each
//       end.  Prints one line:
//         "client ok=K delivered=D nothandled=H fail=F start=T0 end=T1 rate=R
//          record=B cpu_s=C"
//       with T0 and T1 in seconds of the real-time clock, so that the lines
//       of clients on several hosts can be summed over one span, B the
//       request record's bytes and C the process's processor time (user and
//       system).  Exit status
//       0 when no request failed.
//
// The request is the library's own wire form (its xdr_CALLREQ), built once;
// only the xid changes from one request to the next.  The inviting member
// is --from-addr (default this host's address as the connection shows it);
// its host runs no call manager, so an invitation that an auto-accepting
// application takes is declined when the acceptance cannot be delivered.
#include "bench_common.h"

#include <cmwire.h>

#include <rpc/pmap_clnt.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <sys/time.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include <unistd.h>

namespace {

/* A reply record: the marker, then xid, REPLY, MSG_ACCEPTED, an empty
 * AUTH_NONE verifier, SUCCESS and the INT answer. */
const size_t REPLY_BYTES = 4 + 7 * 4;
/* The largest request either server takes: an invitation of two members is
 * a few hundred bytes. */
const size_t MAX_REQUEST = 4096;

unsigned long rss_kb()
{
    FILE *f = std::fopen("/proc/self/status", "r");
    if (!f)
        return 0;
    char line[256];
    unsigned long kb = 0;
    while (std::fgets(line, sizeof line, f))
        if (std::strncmp(line, "VmRSS:", 6) == 0) {
            kb = std::strtoul(line + 6, nullptr, 10);
            break;
        }
    std::fclose(f);
    return kb;
}

uint32_t get_u32(const unsigned char *p)
{
    return (uint32_t)p[0] << 24 | (uint32_t)p[1] << 16 | (uint32_t)p[2] << 8 | p[3];
}

void put_u32(unsigned char *p, uint32_t v)
{
    p[0] = (unsigned char)(v >> 24);
    p[1] = (unsigned char)(v >> 16);
    p[2] = (unsigned char)(v >> 8);
    p[3] = (unsigned char)v;
}

/* Reads one record (all its fragments) into buf; its length, or 0 when the
 * peer went away or the record is larger than the buffer. */
size_t read_record(int fd, unsigned char *buf, size_t cap)
{
    size_t len = 0;
    for (;;) {
        unsigned char mark[4];
        if (!bench_read_full(fd, mark, sizeof mark))
            return 0;
        uint32_t m = get_u32(mark);
        size_t frag = m & 0x7FFFFFFFu;
        if (frag > cap - len || !bench_read_full(fd, buf + len, frag))
            return 0;
        len += frag;
        if (m & 0x80000000u)
            return len;
    }
}

// ------------------------------------------------------------------ servers

std::atomic<bool> stopping{false};

/* The command reader shared by both servers: "rss" answers at once, the end
 * of input calls `stop`. */
void command_loop(void (*stop)())
{
    char line[64];
    while (std::fgets(line, sizeof line, stdin)) {
        if (std::strncmp(line, "rss", 3) == 0) {
            std::printf("rss_kb=%lu\n", rss_kb());
            std::fflush(stdout);
        }
    }
    stop();
}

std::atomic<unsigned long> bare_served{0};

int serve_bare()
{
    unsigned port = 0;
    int listener = bench_tcp_listen(&port);
    if (listener < 0) {
        std::fprintf(stderr, "server_bench: cannot listen: %s\n", std::strerror(errno));
        return 1;
    }
    std::thread([] {
        command_loop([] {
            std::printf("done bare served=%lu rss_kb=%lu cpu_s=%.3f\n", bare_served.load(),
                        rss_kb(), bench_cpu_seconds());
            std::fflush(stdout);
            _exit(0);
        });
    }).detach();
    std::printf("ready bare tcp=%u rss_kb=%lu\n", port, rss_kb());
    std::fflush(stdout);
    unsigned char buf[MAX_REQUEST];
    unsigned char reply[REPLY_BYTES];
    for (;;) {
        int fd = accept(listener, nullptr, nullptr);
        if (fd < 0) {
            if (errno == EINTR || errno == ECONNABORTED || errno == EMFILE || errno == ENFILE)
                continue;
            return 1;
        }
        size_t len = read_record(fd, buf, sizeof buf);
        if (len >= 4) {
            put_u32(reply, 0x80000000u | (uint32_t)(REPLY_BYTES - 4));
            std::memcpy(reply + 4, buf, 4); /* the xid */
            put_u32(reply + 8, 1);          /* REPLY */
            put_u32(reply + 12, 0);         /* MSG_ACCEPTED */
            put_u32(reply + 16, 0);         /* AUTH_NONE */
            put_u32(reply + 20, 0);
            put_u32(reply + 24, 0); /* SUCCESS */
            put_u32(reply + 28, CALL_DELIVERED);
            if (bench_write_full(fd, reply, sizeof reply))
                bare_served++;
        }
        close(fd);
    }
}

const UINT ANSWER_NOTIFY = WM_USER + 0x140;
const UINT ANSWER_STOP = WM_USER + 0x141;
const unsigned MAX_APPS = 8;

unsigned long answered = 0, refused = 0, noaddress = 0;

/* Sessions of our own calls, which stay open; any other started call is an
 * accepted invitation, closed at once so its application is idle again. */
WORD own_sessions[MAX_APPS];
unsigned own_count = 0;

bool is_own(unsigned session)
{
    for (unsigned i = 0; i < own_count; ++i)
        if (own_sessions[i] == session)
            return true;
    return false;
}

LRESULT CALLBACK answer_proc(HWND hwnd, UINT msg, WPARAM wparam, LPARAM lparam)
{
    if (msg == ANSWER_STOP) {
        PostQuitMessage(0);
        return 0;
    }
    if (msg != ANSWER_NOTIFY)
        return DefWindowProcA(hwnd, msg, wparam, lparam);
    unsigned code = (unsigned)(wparam >> 8) & 0xFF;
    unsigned session = (unsigned)wparam & 0xFF;
    BENCH_SOCKETS sockets = bench_take_block(code, lparam);
    bench_close_sockets(&sockets);
    if (code == CMN_CALLSTARTED && !is_own(session)) {
        CMCloseSession(session);
        answered++;
    } else if (code == CMN_INVITEREFUSED) {
        refused++;
    } else if (code == CMN_NOADDRESS) {
        noaddress++;
    }
    return 0;
}

HWND answer_wnd = nullptr;

int serve_answer(unsigned count, bool busy)
{
    answer_wnd = bench_make_window("BenchServerAnswer", answer_proc);
    if (!answer_wnd) {
        std::fprintf(stderr, "server_bench: cannot make the notification window\n");
        return 1;
    }
    CMINFO info;
    std::memset(&info, 0, sizeof info);
    info.autoaccept = 1;
    CMSetInfo(&info);
    WORD apps[MAX_APPS];
    for (unsigned i = 0; i < count; ++i) {
        apps[i] = CMStartup(answer_wnd, ANSWER_NOTIFY, nullptr);
        if (apps[i] == 0 || apps[i] >= 128) {
            std::fprintf(stderr, "server_bench: CMStartup failed with status %u\n", apps[i]);
            for (unsigned j = 0; j < i; ++j)
                CMCleanup(apps[j]);
            return 1;
        }
    }
    if (!bench_await_local_address(apps[0])) {
        std::fprintf(stderr, "server_bench: the local address is not known\n");
        return 1;
    }
    if (busy) {
        /* A call to a name no host has: the session keeps its call, so the
         * application is never idle. */
        for (unsigned i = 0; i < count; ++i) {
            WORD s = CMOpenSession(apps[i]);
            if (s == 0 || s >= 128 || CMInviteUser(s, "Busy <busy@nohost.invalid>", "Busy") != 0) {
                std::fprintf(stderr, "server_bench: cannot make application %u busy\n", i + 1);
                return 1;
            }
            own_sessions[own_count++] = s;
        }
        /* Let the lookups fail before the clients come. */
        DWORD start = GetTickCount();
        UINT_PTR poll = SetTimer(nullptr, 0, 10, nullptr);
        MSG m;
        while (noaddress < count && GetTickCount() - start < 5000 &&
               GetMessageA(&m, nullptr, 0, 0) > 0)
            DispatchMessageA(&m);
        KillTimer(nullptr, poll);
    }
    struct sockaddr_in local;
    std::memset(&local, 0, sizeof local);
    local.sin_family = AF_INET;
    local.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    unsigned short port = pmap_getport(&local, CALLPROG, CALLVERS, IPPROTO_TCP);
    if (port == 0) {
        std::fprintf(stderr, "server_bench: the port mapper does not know program %d\n", CALLPROG);
        return 1;
    }
    std::thread([] { command_loop([] { PostMessageA(answer_wnd, ANSWER_STOP, 0, 0); }); }).detach();
    std::printf("ready answer tcp=%u rss_kb=%lu apps=%u%s\n", port, rss_kb(), count,
                busy ? " busy" : "");
    std::fflush(stdout);
    MSG m;
    while (GetMessageA(&m, nullptr, 0, 0) > 0)
        DispatchMessageA(&m);
    unsigned long rss = rss_kb();
    for (unsigned i = 0; i < own_count; ++i)
        CMCloseSession(own_sessions[i]);
    UINT worst = 0;
    for (unsigned i = 0; i < count; ++i) {
        UINT status = CMCleanup(apps[i]);
        if (status)
            worst = status;
    }
    std::printf("done answer accepted=%lu refused=%lu rss_kb=%lu cleanup=%u\n", answered, refused,
                rss, worst);
    std::fflush(stdout);
    DestroyWindow(answer_wnd);
    return 0;
}

// ------------------------------------------------------------------- client

struct ClientOptions {
    std::string addr;
    std::string from_addr;
    unsigned port = 0;
    unsigned threads = 4;
    unsigned long requests = 20000;
    double seconds = 0;
    bool handout = false;
};

/* The request record, xid at offset 4. */
std::vector<unsigned char> build_request(ipaddr_t to_addr, ipaddr_t from_addr)
{
    BenchInvitation sample("bench-server-" + std::to_string((unsigned long)getpid()), from_addr,
                           "client", to_addr, "server");
    std::vector<unsigned char> rec(MAX_REQUEST);
    const uint32_t header[10] = {0, 0 /* CALL */, 2, CALLPROG, CALLVERS, CALLPROC_REQUEST, 0, 0, 0,
                                 0};
    for (unsigned i = 0; i < 10; ++i)
        put_u32(&rec[4 + 4 * i], header[i]);
    XDR x;
    xdrmem_create(&x, (char *)&rec[44], (u_int)(rec.size() - 44), XDR_ENCODE);
    if (!xdr_CALLREQ(&x, &sample.request)) {
        xdr_destroy(&x);
        return {};
    }
    size_t body = 40 + xdr_getpos(&x);
    xdr_destroy(&x);
    put_u32(&rec[0], 0x80000000u | (uint32_t)body);
    rec.resize(4 + body);
    return rec;
}

/* The sockets a call set-up hands out, made and closed as the library
 * makes them and an application closes them: `first` of a set-up's two
 * requests makes the inviting side's (a stream socket, two datagram
 * sockets), the second the answering side's (two datagram sockets). */
void hand_out(bool first)
{
    const int types[3] = {SOCK_STREAM, SOCK_DGRAM, SOCK_DGRAM};
    for (int i = first ? 0 : 1; i < 3; ++i) {
        int fd = socket(AF_INET, types[i] | SOCK_CLOEXEC, 0);
        if (fd < 0)
            continue;
        struct sockaddr_in any;
        std::memset(&any, 0, sizeof any);
        any.sin_family = AF_INET;
        socklen_t len = sizeof any;
        if (bind(fd, (struct sockaddr *)&any, sizeof any) == 0)
            getsockname(fd, (struct sockaddr *)&any, &len);
        close(fd);
    }
}

struct Counters {
    std::atomic<unsigned long> issued{0};
    std::atomic<unsigned long> delivered{0};
    std::atomic<unsigned long> nothandled{0};
    std::atomic<unsigned long> failed{0};
};

void client_thread(const ClientOptions &o, const struct sockaddr_in &peer,
                   std::vector<unsigned char> rec, Counters *c, double deadline, unsigned seed)
{
    unsigned char reply[64];
    uint32_t xid = seed << 24;
    for (;;) {
        if (c->issued.fetch_add(1) >= o.requests || (deadline > 0 && bench_now() >= deadline))
            return;
        put_u32(&rec[4], ++xid);
        if (o.handout)
            hand_out(xid % 2 == 1);
        int fd = socket(AF_INET, SOCK_STREAM, 0);
        bool ok = false;
        uint32_t answer = 0;
        if (fd >= 0) {
            int one = 1;
            setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
            if (connect(fd, (const struct sockaddr *)&peer, sizeof peer) == 0 &&
                bench_write_full(fd, rec.data(), rec.size())) {
                size_t len = read_record(fd, reply, sizeof reply);
                ok = len == REPLY_BYTES - 4 && get_u32(reply) == xid && get_u32(reply + 4) == 1 &&
                     get_u32(reply + 8) == 0 && get_u32(reply + 20) == 0;
                if (ok)
                    answer = get_u32(reply + 24);
            }
            close(fd);
        }
        if (ok && answer == CALL_DELIVERED)
            c->delivered++;
        else if (ok && answer == CALL_NOTHANDLED)
            c->nothandled++;
        else
            c->failed++;
    }
}

bool parse_ul(const char *text, unsigned long low, unsigned long high, unsigned long *out)
{
    if (!text || !*text || text[0] == '-')
        return false;
    char *end = nullptr;
    errno = 0;
    unsigned long v = std::strtoul(text, &end, 10);
    if (errno || *end || v < low || v > high)
        return false;
    *out = v;
    return true;
}

int run_client(int argc, char **argv)
{
    ClientOptions o;
    bool ok = true;
    for (int i = 2; ok && i < argc; i += 2) {
        std::string arg = argv[i];
        const char *v = i + 1 < argc ? argv[i + 1] : nullptr;
        unsigned long n = 0;
        if (arg == "--addr" && v)
            o.addr = v;
        else if (arg == "--from-addr" && v)
            o.from_addr = v;
        else if (arg == "--port" && (ok = parse_ul(v, 1, 65535, &n)))
            o.port = (unsigned)n;
        else if (arg == "--threads" && (ok = parse_ul(v, 1, 256, &n)))
            o.threads = (unsigned)n;
        else if (arg == "--requests" && (ok = parse_ul(v, 1, 100000000, &n)))
            o.requests = n;
        else if (arg == "--seconds" && (ok = parse_ul(v, 1, 3600, &n)))
            o.seconds = (double)n;
        else if (arg == "--handout") {
            o.handout = true;
            --i; /* a flag: no value follows */
        } else
            ok = false;
    }
    struct sockaddr_in peer;
    std::memset(&peer, 0, sizeof peer);
    peer.sin_family = AF_INET;
    peer.sin_port = htons((uint16_t)o.port);
    struct in_addr from;
    from.s_addr = 0;
    if (!ok || o.port == 0 || inet_pton(AF_INET, o.addr.c_str(), &peer.sin_addr) != 1 ||
        (!o.from_addr.empty() && inet_pton(AF_INET, o.from_addr.c_str(), &from) != 1)) {
        std::fprintf(stderr, "usage: server_bench client --addr ADDR --port PORT [--threads T] "
                             "[--requests N] [--seconds S] [--from-addr ADDR] [--handout]\n");
        return 2;
    }
    if (o.from_addr.empty()) {
        /* Our address as the server sees it. */
        int fd = socket(AF_INET, SOCK_DGRAM, 0);
        struct sockaddr_in me;
        socklen_t len = sizeof me;
        if (fd >= 0 && connect(fd, (struct sockaddr *)&peer, sizeof peer) == 0 &&
            getsockname(fd, (struct sockaddr *)&me, &len) == 0)
            from = me.sin_addr;
        if (fd >= 0)
            close(fd);
    }
    std::vector<unsigned char> rec = build_request(ntohl(peer.sin_addr.s_addr), ntohl(from.s_addr));
    if (rec.empty()) {
        std::fprintf(stderr, "server_bench: cannot encode the invitation\n");
        return 2;
    }
    Counters c;
    double start = bench_now();
    double deadline = o.seconds > 0 ? start + o.seconds : 0;
    std::vector<std::thread> threads;
    for (unsigned t = 0; t < o.threads; ++t)
        threads.emplace_back(client_thread, std::cref(o), std::cref(peer), rec, &c, deadline,
                             (unsigned)(getpid() * 8 + t) & 0xFF);
    for (auto &t : threads)
        t.join();
    double end = bench_now();
    unsigned long good = c.delivered + c.nothandled;
    std::printf("client ok=%lu delivered=%lu nothandled=%lu fail=%lu start=%.6f end=%.6f "
                "rate=%.0f record=%zu cpu_s=%.3f\n",
                good, c.delivered.load(), c.nothandled.load(), c.failed.load(), start, end,
                end > start ? (double)good / (end - start) : 0.0, rec.size(), bench_cpu_seconds());
    return c.failed ? 1 : 0;
}

} // namespace

int main(int argc, char **argv)
{
    std::string mode = argc > 1 ? argv[1] : "";
    if (mode == "bare" && argc == 2)
        return serve_bare();
    if (mode == "answer") {
        unsigned long apps = 2;
        bool busy = false, ok = true;
        for (int i = 2; ok && i < argc; ++i) {
            std::string arg = argv[i];
            if (arg == "--busy")
                busy = true;
            else if (arg == "--apps" && i + 1 < argc)
                ok = parse_ul(argv[++i], 1, MAX_APPS, &apps);
            else
                ok = false;
        }
        if (ok)
            return serve_answer((unsigned)apps, busy);
    }
    if (mode == "client")
        return run_client(argc, argv);
    std::fprintf(stderr, "usage: server_bench bare | answer [--apps N] [--busy] | client ...\n");
    return 2;
}
