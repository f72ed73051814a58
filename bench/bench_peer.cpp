// The far side of the call set-up benchmark, run on host B.
//
//   bench_peer serve    the baselines' servers: a TCP server that answers one
//                       100-byte request with 100 bytes and closes, and a
//                       bare libtirpc server of program BENCH_PROG version 1
//                       over TCP whose procedure 1 echoes 100 bytes.  Prints
//                       "ready serve tcp=PORT prog=PROG".
//   bench_peer answer [APPS]
//                       APPS call-manager applications (default 2, at most 8)
//                       with auto-accept on, each closing every accepted
//                       call's session (and the sockets handed over with it)
//                       at once, so it is idle again and offered the next
//                       invitation.  Prints "ready answer HOST apps=APPS".
//
// Why more than one application: an application is idle again only once it
// has handled the acceptance's CMN_CALLSTARTED, and that is posted after
// the acceptance has been delivered.  The inviter may be quicker: its next
// invitation can reach this host while the notification still waits in the
// queue, and an application whose newest session has a call refuses it as
// not handled.  A second application takes such an invitation, as a second
// conferencing application on the machine would.  With APPS 1 those
// invitations fail, as they would with any single auto-accepting
// application that answers back to back.
//
// Both run until their standard input ends (or a line arrives on it), then
// unregister and print "done ..." with what they served (answer also its
// processor time, cpu_s).  The servers are
// single-threaded, as the call manager's own server is, so the baselines pay
// for no concurrency the measured system does not have.
#include "bench_common.h"

#include <callmgr.h>
#include <winsock.h>

#include <rpc/rpc.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>

#include <unistd.h>

namespace {

// ------------------------------------------------------------------ serve

std::atomic<unsigned long> tcp_served{0};
std::atomic<unsigned long> rpc_served{0};

/* One connection at a time: read the request, answer, close. */
void tcp_serve(int listener)
{
    char buf[BENCH_PAYLOAD];
    for (;;) {
        int fd = accept(listener, nullptr, nullptr);
        if (fd < 0) {
            if (errno == EINTR || errno == ECONNABORTED)
                continue;
            return;
        }
        if (bench_read_full(fd, buf, sizeof buf)) {
            buf[0] ^= 1; /* an answer, not an echo */
            if (bench_write_full(fd, buf, sizeof buf))
                tcp_served++;
        }
        close(fd);
    }
}

void rpc_dispatch(struct svc_req *req, SVCXPRT *xprt)
{
    switch (req->rq_proc) {
    case NULLPROC:
        svc_sendreply(xprt, bench_xdrproc(xdr_void), nullptr);
        return;
    case BENCH_PROC_ECHO: {
        char buf[BENCH_PAYLOAD];
        std::memset(buf, 0, sizeof buf);
        if (!svc_getargs(xprt, bench_xdrproc(bench_xdr_payload), (caddr_t)buf)) {
            svcerr_decode(xprt);
            return;
        }
        buf[0] ^= 1;
        if (svc_sendreply(xprt, bench_xdrproc(bench_xdr_payload), (caddr_t)buf))
            rpc_served++;
        else
            svcerr_systemerr(xprt);
        svc_freeargs(xprt, bench_xdrproc(bench_xdr_payload), (caddr_t)buf);
        return;
    }
    default:
        svcerr_noproc(xprt);
    }
}

int serve()
{
    unsigned port = 0;
    int listener = bench_tcp_listen(&port);
    if (listener < 0) {
        std::fprintf(stderr, "bench_peer: cannot listen on TCP: %s\n", std::strerror(errno));
        return 1;
    }
    SVCXPRT *xprt = svctcp_create(RPC_ANYSOCK, 0, 0);
    if (!xprt) {
        std::fprintf(stderr, "bench_peer: svctcp_create failed\n");
        return 1;
    }
    /* A registration left by an earlier run on the same host would make
     * ours fail. */
    pmap_unset(BENCH_PROG, BENCH_VERS);
    if (!svc_register(xprt, BENCH_PROG, BENCH_VERS, rpc_dispatch, IPPROTO_TCP)) {
        std::fprintf(stderr, "bench_peer: cannot register program %#lx with rpcbind\n",
                     (unsigned long)BENCH_PROG);
        return 1;
    }
    std::thread(tcp_serve, listener).detach();
    /* The end of standard input ends us; the main thread runs the RPC
     * service loop, which has no way to be told to stop. */
    std::thread([] {
        bench_wait_stdin();
        pmap_unset(BENCH_PROG, BENCH_VERS);
        std::printf("done serve tcp=%lu rpc=%lu\n", tcp_served.load(), rpc_served.load());
        std::fflush(stdout);
        _exit(0);
    }).detach();
    std::printf("ready serve tcp=%u prog=%#lx\n", port, (unsigned long)BENCH_PROG);
    std::fflush(stdout);
    svc_run();
    std::fprintf(stderr, "bench_peer: svc_run returned\n");
    return 1;
}

// ----------------------------------------------------------------- answer

const UINT ANSWER_NOTIFY = WM_USER + 0x120;
const UINT ANSWER_STOP = WM_USER + 0x121;

unsigned long answered = 0;
unsigned long refused = 0;

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
    if (code == CMN_CALLSTARTED) {
        /* An accepted invitation: leave the application idle again. */
        CMCloseSession(session);
        bench_close_sockets(&sockets);
        answered++;
    } else if (code == CMN_INVITEREFUSED) {
        refused++;
    }
    return 0;
}

const unsigned MAX_APPS = 8;

void cleanup_apps(const WORD *apps, unsigned count, UINT *worst)
{
    for (unsigned i = 0; i < count; ++i) {
        UINT status = CMCleanup(apps[i]);
        if (status != 0)
            *worst = status;
    }
}

int answer(unsigned count)
{
    /* One window takes every application's notifications: session handles
     * are unique across applications. */
    HWND wnd = bench_make_window("BenchAnswer", answer_proc);
    if (!wnd) {
        std::fprintf(stderr, "bench_peer: cannot make the notification window\n");
        return 1;
    }
    CMINFO info;
    std::memset(&info, 0, sizeof info);
    info.autoaccept = 1;
    CMSetInfo(&info);
    char host[256] = "";
    WORD apps[MAX_APPS];
    UINT status = 0;
    for (unsigned i = 0; i < count; ++i) {
        apps[i] = CMStartup(wnd, ANSWER_NOTIFY, i == 0 ? host : nullptr);
        if (apps[i] == 0 || apps[i] >= 128) {
            std::fprintf(stderr, "bench_peer: CMStartup failed with status %u\n", apps[i]);
            cleanup_apps(apps, i, &status);
            return 1;
        }
    }
    host[sizeof host - 1] = 0;
    if (!bench_await_local_address((UINT)apps[0])) {
        std::fprintf(stderr, "bench_peer: the local address is not known\n");
        cleanup_apps(apps, count, &status);
        return 1;
    }
    std::thread([wnd] {
        bench_wait_stdin();
        PostMessageA(wnd, ANSWER_STOP, 0, 0);
    }).detach();
    std::printf("ready answer %s apps=%u\n", host, count);
    std::fflush(stdout);

    MSG m;
    while (GetMessageA(&m, nullptr, 0, 0) > 0)
        DispatchMessageA(&m);
    cleanup_apps(apps, count, &status);
    std::printf("done answer accepted=%lu refused=%lu cleanup=%u cpu_s=%.3f\n", answered, refused,
                status, bench_cpu_seconds());
    std::fflush(stdout);
    DestroyWindow(wnd);
    return 0;
}

} // namespace

int main(int argc, char **argv)
{
    std::string mode = argc > 1 ? argv[1] : "";
    if (mode == "serve")
        return serve();
    if (mode == "answer" && argc <= 3) {
        unsigned count = 2;
        if (argc == 3) {
            char *end = nullptr;
            unsigned long v = std::strtoul(argv[2], &end, 10);
            if (*end || v < 1 || v > MAX_APPS) {
                std::fprintf(stderr, "bench_peer: answer takes 1 to %u applications\n", MAX_APPS);
                return 2;
            }
            count = (unsigned)v;
        }
        return answer(count);
    }
    std::fprintf(stderr, "usage: bench_peer serve | answer [APPS]\n");
    return 2;
}
