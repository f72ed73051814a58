// What both sides of the call set-up benchmark share: the baselines' test
// program and payload, and the small chores of a call-manager application
// (its window, the blocks and sockets that notifications hand over, waiting
// for the local address).
#ifndef CALLMGR_BENCH_BENCH_COMMON_H
#define CALLMGR_BENCH_BENCH_COMMON_H

#include <callmgr.h>
#include <winsock.h>

#include <rpc/rpc.h>

#include <cstdint>
#include <cstring>

#include <sys/resource.h>
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

/* Returns when standard input ends or brings a line: the peers' stop
 * signal, which also comes when whoever started them goes away. */
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

#endif
