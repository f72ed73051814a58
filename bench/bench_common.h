// What both sides of the call set-up benchmark share: the baselines' test
// program and payload, and the small chores of a call-manager application
// (its window, the blocks and sockets that notifications hand over, waiting
// for the local address).
#ifndef CALLMGR_BENCH_BENCH_COMMON_H
#define CALLMGR_BENCH_BENCH_COMMON_H

#include <callmgr.h>
#include <cmwire.h>
#include <winsock.h>

#include <rpc/rpc.h>

#include <cerrno>
#include <cstdio>
#include <cstdint>
#include <cstring>
#include <string>

#include <netinet/in.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

/* The bare RPC baseline's program: a number of the range for transient,
 * locally assigned programs, far from the call manager's own. */
const rpcprog_t BENCH_PROG = 0x20000099;
const rpcvers_t BENCH_VERS = 1;
const rpcproc_t BENCH_PROC_ECHO = 1;

/* Bytes each way in the baselines' request and answer. */
const size_t BENCH_PAYLOAD = 100;

inline bool_t bench_xdr_payload(XDR *xdrs, char *payload)
{
    return xdr_opaque(xdrs, payload, BENCH_PAYLOAD);
}

/* An XDR routine as the runtime's generic routine type (through a plain
 * function type, which is what keeps the cast well-defined to the compiler). */
template <typename F> inline xdrproc_t bench_xdrproc(F *proc)
{
    return reinterpret_cast<xdrproc_t>(reinterpret_cast<void (*)(void)>(proc));
}

/* Seconds of the real-time clock: comparable between hosts. */
inline double bench_now()
{
    struct timeval tv;
    gettimeofday(&tv, nullptr);
    return (double)tv.tv_sec + (double)tv.tv_usec / 1e6;
}

/* Moves exactly `len` bytes over a blocking descriptor; false at its end or
 * on an error. */
inline bool bench_read_full(int fd, void *buf, size_t len)
{
    for (size_t got = 0; got < len;) {
        ssize_t n = read(fd, (char *)buf + got, len - got);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        got += (size_t)n;
    }
    return true;
}

inline bool bench_write_full(int fd, const void *buf, size_t len)
{
    for (size_t put = 0; put < len;) {
        ssize_t n = write(fd, (const char *)buf + put, len - put);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        put += (size_t)n;
    }
    return true;
}

/* A listening TCP socket on any address and a port the stack picks (put in
 * *port), with the backlog the runtime's own stream transport asks for; -1
 * when there is none. */
inline int bench_tcp_listen(unsigned *port)
{
    int fd = socket(AF_INET, SOCK_STREAM, 0);
    if (fd < 0)
        return -1;
    int one = 1;
    setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    struct sockaddr_in sa;
    std::memset(&sa, 0, sizeof sa);
    sa.sin_family = AF_INET;
    socklen_t len = sizeof sa;
    if (bind(fd, (struct sockaddr *)&sa, sizeof sa) != 0 || listen(fd, SOMAXCONN) != 0 ||
        getsockname(fd, (struct sockaddr *)&sa, &len) != 0) {
        close(fd);
        return -1;
    }
    *port = ntohs(sa.sin_port);
    return fd;
}

/* The raw TCP baseline, once: connect to `peer`, BENCH_PAYLOAD bytes each
 * way, close.  False, with *error said, when it fails. */
inline bool bench_tcp_once(const struct sockaddr_in &peer, std::string *error)
{
    char out[BENCH_PAYLOAD], in[BENCH_PAYLOAD];
    std::memset(out, 'q', sizeof out);
    int fd = socket(AF_INET, SOCK_STREAM, 0);
    if (fd < 0) {
        *error = std::string("socket: ") + std::strerror(errno);
        return false;
    }
    bool ok = false;
    if (connect(fd, (const struct sockaddr *)&peer, sizeof peer) != 0)
        *error = std::string("connect: ") + std::strerror(errno);
    else if (!bench_write_full(fd, out, sizeof out))
        *error = "short write";
    else if (!bench_read_full(fd, in, sizeof in) || in[0] != ('q' ^ 1))
        *error = "short or wrong answer";
    else
        ok = true;
    close(fd);
    return ok;
}

/* An invitation of two members in plain records, as a peer sends it: user
 * "bench" at host `from_host` (address `from`, host order) invites user
 * "bench" at `to_host`.  The records point into the object: it stays put. */
struct BenchInvitation {
    std::string texts[2][4];
    std::string callid;
    CM members[2];
    CML nodes[2];
    CALLER caller;
    CALLREQ request;

    BenchInvitation(const std::string &id, ipaddr_t from, const char *from_host, ipaddr_t to,
                    const char *to_host)
        : callid(id)
    {
        const char *hosts[2] = {from_host, to_host};
        const ipaddr_t addrs[2] = {from, to};
        for (int i = 0; i < 2; ++i) {
            texts[i][0] = hosts[i];
            texts[i][1] = "bench";
            texts[i][2] = std::string("Bench ") + hosts[i];
            texts[i][3] = std::string("bench@") + hosts[i];
            members[i] = CM{CMS_IDLE,
                            addrs[i],
                            texts[i][0].data(),
                            texts[i][1].data(),
                            texts[i][2].data(),
                            texts[i][3].data(),
                            0};
            nodes[i] = CML{&members[i], i == 0 ? &nodes[1] : nullptr};
        }
        caller = CALLER{CS_ACTIVE,
                        1,
                        0,
                        1,
                        5000,
                        5002,
                        6000,
                        callid.data(),
                        (char *)"233.1.0.1",
                        (char *)"233.1.0.2",
                        (char *)"",
                        (char *)"Bench",
                        &members[0],
                        &members[0],
                        &nodes[0]};
        request = CALLREQ{CALL_INVITE, &members[1], &members[0], &caller};
    }
    BenchInvitation(const BenchInvitation &) = delete;
    BenchInvitation &operator=(const BenchInvitation &) = delete;
};

/* The processor time the whole process has used so far, user and system,
 * in seconds: what a rate costs, beside how fast it is. */
inline double bench_cpu_seconds()
{
    struct rusage u;
    if (getrusage(RUSAGE_SELF, &u) != 0)
        return 0;
    return (double)(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
           (double)(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

/* Returns when standard input ends or brings a line: the peers' stop
 * signal, which also comes when whoever started them goes away. */
inline void bench_wait_stdin()
{
    char c;
    for (;;) {
        ssize_t n = read(0, &c, 1);
        if (n <= 0 || c == '\n')
            return;
    }
}

/* The sockets a notification hands to the application: the library does
 * not close them, so whoever receives them must. */
struct BENCH_SOCKETS {
    uint32_t udp[2];
};

inline void bench_close_socket(uint32_t s)
{
    if (s != 0 && s != 0xFFFFFFFFu)
        closesocket((SOCKET)s);
}

inline void bench_close_sockets(BENCH_SOCKETS *sockets)
{
    for (uint32_t &s : sockets->udp) {
        bench_close_socket(s);
        s = 0;
    }
}

/* Frees the block a notification carries (it is the application's once
 * posted), keeping the datagram sockets of a CMN_CALLSTARTED block. */
inline BENCH_SOCKETS bench_take_block(unsigned code, LPARAM lparam)
{
    BENCH_SOCKETS sockets = {{0, 0}};
    bool carries = code == CMN_CALLSTARTED || code == CMN_CALLUPDATED || code == CMN_ADDRESS ||
                   code == CMN_MEMBERSADDED;
    if (!carries || !lparam)
        return sockets;
    HGLOBAL block = (HGLOBAL)lparam;
    if (code == CMN_CALLSTARTED && GlobalSize(block) >= offsetof(CMCALLINFO, members)) {
        const CMCALLINFO *info = (const CMCALLINFO *)GlobalLock(block);
        if (info) {
            sockets.udp[0] = info->udpsocket1;
            sockets.udp[1] = info->udpsocket2;
            GlobalUnlock(block);
        }
    }
    GlobalFree(block);
    return sockets;
}

/* A hidden window of its own class that receives the notifications. */
inline HWND bench_make_window(const char *cls, WNDPROC proc)
{
    WSADATA wsa;
    if (WSAStartup(MAKEWORD(1, 1), &wsa) != 0)
        return nullptr;
    WNDCLASSA wc;
    std::memset(&wc, 0, sizeof wc);
    wc.lpfnWndProc = proc;
    wc.lpszClassName = cls;
    if (!RegisterClassA(&wc))
        return nullptr;
    return CreateWindowExA(0, cls, "", 0, 0, 0, 0, 0, nullptr, nullptr, nullptr, nullptr);
}

/* The library looks the local address up when the first application
 * registers, and a call's identity and its local member depend on it: wait
 * (up to five seconds, dispatching messages) until a session reports it.
 * The session used for asking is closed again, with its stream socket. */
inline bool bench_await_local_address(UINT app)
{
    WORD session = CMOpenSession(app);
    if (session == 0 || session >= 128)
        return false;
    CMAPPINFO info;
    std::memset(&info, 0, sizeof info);
    DWORD start = GetTickCount();
    UINT_PTR poll = SetTimer(nullptr, 0, 10, nullptr);
    MSG m;
    while (CMGetAppInfo(session, &info) == 0 && info.localaddr == 0xFFFFFFFFu &&
           GetTickCount() - start < 5000 && GetMessageA(&m, nullptr, 0, 0) > 0)
        DispatchMessageA(&m);
    KillTimer(nullptr, poll);
    CMCloseSession(session);
    bench_close_socket(info.tcpsocket);
    return info.localaddr != 0xFFFFFFFFu;
}

/* Room for the host name CMStartup hands back. */
const size_t BENCH_HOST_ROOM = 256;

/* Makes a notification window of class `cls` (*wnd), registers one
 * application whose notifications come to it as `msg`, with the host name
 * in `host` (BENCH_HOST_ROOM bytes) when one is given, and waits until the
 * library knows the local address.  The application, or 0 when a step
 * failed: why is printed after `prog`, and nothing is left registered. */
inline WORD bench_start_app(const char *prog, const char *cls, WNDPROC proc, UINT msg, HWND *wnd,
                            char *host)
{
    *wnd = bench_make_window(cls, proc);
    if (!*wnd) {
        std::fprintf(stderr, "%s: cannot make the notification window\n", prog);
        return 0;
    }
    WORD app = CMStartup(*wnd, msg, host);
    if (app == 0 || app >= 128) {
        std::fprintf(stderr, "%s: CMStartup failed with status %u\n", prog, app);
        return 0;
    }
    if (host)
        host[BENCH_HOST_ROOM - 1] = 0;
    if (!bench_await_local_address(app)) {
        std::fprintf(stderr, "%s: the local address is not known\n", prog);
        CMCleanup(app);
        return 0;
    }
    return app;
}

#endif
