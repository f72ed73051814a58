/*
 * callapp - the call-manager side of the example applications (callapp.h).
 * Everything here runs on the thread that runs the loop: the window
 * procedure from DispatchMessageA, the library's own work from the same
 * drain of the queue.
 */
#include "callapp.h"

#include <callmgr.h>
#include <winsock.h>

#include <stddef.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#define NOTIFY (WM_USER + 1)
#define TIMER_PLACE 1  /* looks whether the local address is known yet */
#define TIMER_GIVEUP 2 /* the invitation had no answer in time */
#define PLACE_EVERY_MS 20
#define ADDRESS_WAIT_MS 5000
#define ANSWER_WAIT_MS 60000
#define UNKNOWN_ADDR 0xFFFFFFFFu

static struct {
    HWND wnd;
    WORD app;
    WORD session;
    const char *address; /* invite: whom to call; answer: null */
    unsigned count;      /* answer: how many invitations, 0 for no end */
    unsigned answered;
    DWORD started;
    int leaving; /* CMCleanup is waiting for an exchange to end */
    int finished;
    int status;
} g;

static const char *dotted(LPARAM netaddr)
{
    struct in_addr a;
    a.s_addr = (uint32_t)netaddr;
    return inet_ntoa(a);
}

/* The end: leaves the call manager, at once or once CMN_CLEANEDUP says so. */
static void finish(int status)
{
    if (g.leaving || g.finished)
        return;
    g.status = status;
    KillTimer(g.wnd, TIMER_PLACE);
    KillTimer(g.wnd, TIMER_GIVEUP);
    if (CMCleanup(g.app) == CMERR_BUSY) {
        g.leaving = 1;
        return;
    }
    g.finished = 1;
}

/* 0 in a block without sockets, all bits set for one that failed. */
static void close_socket(uint32_t handle)
{
    if (handle != 0 && handle != UNKNOWN_ADDR)
        closesocket((SOCKET)handle);
}

/* The call's block: printed, its datagram sockets closed when we answered
 * (they are ours), and freed. */
static void take_call(const char *what, unsigned session, HGLOBAL block)
{
    const CMCALLINFO *info = block ? (const CMCALLINFO *)GlobalLock(block) : NULL;
    size_t size = info ? GlobalSize(block) : 0;
    printf("session %u: %s", session, what);
    if (info && size >= offsetof(CMCALLINFO, members)) {
        printf(", subject '%.256s':", info->subject);
        for (uint32_t i = 0;
             i < info->count &&
             offsetof(CMCALLINFO, members) + (i + 1) * sizeof(CMMEMBERENTRY) <= size;
             i++)
            printf(" %.64s@%.64s", info->members[i].user, info->members[i].host);
        if (!g.address) {
            close_socket(info->udpsocket1);
            close_socket(info->udpsocket2);
        }
    }
    printf("\n");
    if (info)
        GlobalUnlock(block);
    if (block)
        GlobalFree(block);
}

static void take_address(unsigned session, HGLOBAL block)
{
    const CMMEMBERINFO *info = block ? (const CMMEMBERINFO *)GlobalLock(block) : NULL;
    if (info && GlobalSize(block) >= sizeof *info)
        printf("session %u: %.64s is at %s\n", session, info->resolved.host,
               dotted((LPARAM)info->resolved.ipaddr));
    if (info)
        GlobalUnlock(block);
    if (block)
        GlobalFree(block);
}

static void on_notify(WPARAM wparam, LPARAM lparam)
{
    unsigned code = (wparam >> 8) & 0xFF, session = wparam & 0xFF;
    switch (code) {
    case CMN_CALLSTARTED:
        take_call("call started", session, (HGLOBAL)lparam);
        if (!g.address) {
            /* An idle application is offered the next invitation. */
            CMCloseSession(session);
            if (++g.answered == g.count)
                finish(0);
        }
        break;
    case CMN_CALLUPDATED:
        take_call("call updated", session, (HGLOBAL)lparam);
        break;
    case CMN_MEMBERSADDED:
        take_call("members added", session, (HGLOBAL)lparam);
        break;
    case CMN_ADDRESS:
        take_address(session, (HGLOBAL)lparam);
        break;
    case CMN_NOADDRESS:
        printf("session %u: no address\n", session);
        finish(1);
        break;
    case CMN_RINGING:
        printf("session %u: ringing %s\n", session, dotted(lparam));
        break;
    case CMN_UPDATING:
        printf("session %u: sending the member list to %s\n", session, dotted(lparam));
        break;
    case CMN_UNREACHABLE:
        printf("session %u: unreachable %s\n", session, dotted(lparam));
        finish(1);
        break;
    case CMN_INVITEREFUSED:
        printf("session %u: invitation refused\n", session);
        break;
    case CMN_CLEANEDUP:
        printf("cleaned up\n");
        g.finished = 1;
        break;
    case 2:
        printf("session %u: accepted by %s\n", session, dotted(lparam));
        finish(0);
        break;
    case 5:
        printf("session %u: declined by %s\n", session, dotted(lparam));
        finish(1);
        break;
    default:
        printf("session %u: notification %u from %s\n", session, code, dotted(lparam));
        break;
    }
    fflush(stdout);
}

/* A call placed before the local address is known would name its
 * originator as all bits set: it waits for the address a few seconds. */
static void place_call(void)
{
    CMAPPINFO info;
    if (CMGetAppInfo(g.session, &info) == 0 && info.localaddr == UNKNOWN_ADDR &&
        GetTickCount() - g.started < ADDRESS_WAIT_MS)
        return;
    KillTimer(g.wnd, TIMER_PLACE);
    /* The library reads an entry text, "Name <user@host>"; a bare address
     * is put in brackets. */
    char entry[300];
    int n = snprintf(entry, sizeof entry, strchr(g.address, '<') ? "%s" : "<%s>", g.address);
    if (n < 0 || (size_t)n >= sizeof entry) {
        printf("address too long: at most %d characters\n", (int)sizeof entry - 3);
        finish(2);
        return;
    }
    UINT status = CMInviteUser(g.session, entry, "Example call");
    if (status != 0) {
        printf("CMInviteUser: status %u\n", status);
        finish(2);
        return;
    }
    SetTimer(g.wnd, TIMER_GIVEUP, ANSWER_WAIT_MS, NULL);
}

static LRESULT CALLBACK window_proc(HWND hwnd, UINT msg, WPARAM wparam, LPARAM lparam)
{
    if (msg == NOTIFY) {
        on_notify(wparam, lparam);
        return 0;
    }
    if (msg == WM_TIMER && wparam == TIMER_PLACE) {
        place_call();
        return 0;
    }
    if (msg == WM_TIMER && wparam == TIMER_GIVEUP) {
        printf("no answer in time\n");
        finish(3);
        return 0;
    }
    return DefWindowProcA(hwnd, msg, wparam, lparam);
}

static int usage(const char *prog)
{
    fprintf(stderr, "usage: %s invite ADDRESS\n       %s answer [COUNT]\n", prog, prog);
    return 2;
}

int CallAppStart(int argc, char **argv)
{
    setvbuf(stdout, NULL, _IOLBF, 0);
    if (argc == 3 && strcmp(argv[1], "invite") == 0)
        g.address = argv[2];
    else if ((argc == 2 || argc == 3) && strcmp(argv[1], "answer") == 0)
        g.count = argc == 3 ? (unsigned)strtoul(argv[2], NULL, 10) : 0;
    else
        return usage(argv[0]);

    WSADATA data;
    WNDCLASSA wc;
    memset(&wc, 0, sizeof wc);
    wc.lpfnWndProc = window_proc;
    wc.lpszClassName = "CallAppWindow";
    if (WSAStartup(MAKEWORD(1, 1), &data) != 0 || !RegisterClassA(&wc))
        return 2;
    g.wnd = CreateWindowExA(0, "CallAppWindow", "callapp", WS_OVERLAPPEDWINDOW, 0, 0, 100, 100,
                            NULL, NULL, NULL, NULL);
    char host[256];
    g.app = g.wnd ? CMStartup(g.wnd, NOTIFY, host) : CMERR_WINDOW;
    if (g.app >= 128) {
        fprintf(stderr, "CMStartup: status %u\n", (unsigned)g.app);
        return 2;
    }
    if (!g.address) {
        CMINFO settings;
        memset(&settings, 0, sizeof settings);
        settings.autoaccept = 1;
        CMSetInfo(&settings);
        printf("answering on %s\n", host);
        return 0;
    }
    g.session = CMOpenSession(g.app);
    if (g.session >= 128) {
        fprintf(stderr, "CMOpenSession: status %u\n", (unsigned)g.session);
        CMCleanup(g.app);
        return 2;
    }
    printf("calling %s from %s\n", g.address, host);
    g.started = GetTickCount();
    SetTimer(g.wnd, TIMER_PLACE, PLACE_EVERY_MS, NULL);
    return 0;
}

void CallAppQuit(void)
{
    finish(g.status);
}

int CallAppFinished(int *status)
{
    if (!g.finished)
        return 0;
    *status = g.status;
    return 1;
}
