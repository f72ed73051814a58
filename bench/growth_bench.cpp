// A conference grown member by member through the Invite dialog, for the
// cost of each member added (scripts/bench_growth.sh runs it on a net of
// test hosts).
//
//   growth_bench member
//       One application with auto-accept on that keeps the session of every
//       accepted call, so that updates of the call find it.  Prints
//       "ready member HOST cpu_s=C", then a line per call event:
//         "joined members=K cpu_s=C"    an invitation accepted (K members)
//         "updated members=K cpu_s=C"   a member-list update arrived
//       and, once its standard input ends (or a line arrives on it),
//       "done member joined=J updated=U refused=R cleanup=S cpu_s=C".  C
//       is the processor time of the whole process so far (at ready, and at
//       the stop before unregistering), so that what the calls cost shows
//       apart from what starting the process cost.
//   growth_bench invite NAME...
//       One application and one session on this host.  For each NAME in
//       turn it calls CMInvite and, in the Invite dialog, types
//       "Bench <bench@NAME>" into the address field and presses Call, as a
//       person would: the first NAME starts the call, each further one is
//       added to it.  After each it runs the message loop until that member
//       has accepted, then prints
//         "step member=K ms=T dialog_ms=D cpu_ms=P invitations=I updates=U
//          accepted=A"
//       (K the member count of the call, T the milliseconds from CMInvite to
//       the acceptance, D those until CMInvite returned, P this process's
//       processor time meanwhile; I, U and A the invitations and updates
//       sent and the acceptances received so far, told by the notifications
//       CMN_RINGING, CMN_UPDATING and code 2, one each per message), and at
//       the end
//         "grow members=K ms=T invitations=I updates=U accepted=A
//          start_cpu_s=S cpu_s=C"
//       with T from the first CMInvite to the last acceptance, and S and C
//       the processor time of the whole process before the first CMInvite
//       and after the last acceptance.  A member that declines, cannot
//       be reached or does not answer within 30 seconds ends the run.
//
// Exit status 0 when every member joined, 1 otherwise, 2 when the
// application could not be set up.
#include "bench_common.h"

#include <cstdio>
#include <string>
#include <thread>
#include <vector>

namespace {

const UINT GROWTH_NOTIFY = WM_USER + 0x160;
const UINT GROWTH_STOP = WM_USER + 0x161;
const UINT GROWTH_FILL = WM_USER + 0x162;
const UINT_PTR TIMER_GIVEUP = 1;
const UINT_PTR TIMER_FILL = 2;
/* One addition takes milliseconds; the call protocol's own time-out for an
 * exchange is 25 seconds. */
const UINT STEP_GIVEUP_MS = 30000;
/* How many times, a timer tick apart, the dialog is looked for before the
 * run gives up. */
const unsigned FILL_TRIES = 1000;

/* The Invite dialog: its caption and the controls a person uses. */
const char INVITE_TITLE[] = "Invite";
const int INVITE_ADDRESS = 102;
const int INVITE_CALL = 110;

unsigned member_count(unsigned code, LPARAM lparam)
{
    if ((code != CMN_CALLSTARTED && code != CMN_CALLUPDATED) || !lparam)
        return 0;
    HGLOBAL block = (HGLOBAL)lparam;
    if (GlobalSize(block) < offsetof(CMCALLINFO, members))
        return 0;
    const CMCALLINFO *info = (const CMCALLINFO *)GlobalLock(block);
    unsigned count = info ? info->count : 0;
    GlobalUnlock(block);
    return count;
}

// ----------------------------------------------------------------- member

unsigned long joined = 0, updated = 0, refused = 0;

LRESULT CALLBACK member_proc(HWND hwnd, UINT msg, WPARAM wparam, LPARAM lparam)
{
    if (msg == GROWTH_STOP) {
        PostQuitMessage(0);
        return 0;
    }
    if (msg != GROWTH_NOTIFY)
        return DefWindowProcA(hwnd, msg, wparam, lparam);
    unsigned code = (unsigned)(wparam >> 8) & 0xFF;
    unsigned count = member_count(code, lparam);
    /* The session stays open with its call; the datagram sockets are not
     * used here. */
    BENCH_SOCKETS sockets = bench_take_block(code, lparam);
    bench_close_sockets(&sockets);
    if (code == CMN_CALLSTARTED) {
        joined++;
        std::printf("joined members=%u cpu_s=%.6f\n", count, bench_cpu_seconds());
    } else if (code == CMN_CALLUPDATED) {
        updated++;
        std::printf("updated members=%u cpu_s=%.6f\n", count, bench_cpu_seconds());
    } else if (code == CMN_INVITEREFUSED) {
        refused++;
    }
    std::fflush(stdout);
    return 0;
}

int member()
{
    CMINFO info;
    std::memset(&info, 0, sizeof info);
    info.autoaccept = 1;
    CMSetInfo(&info);
    HWND wnd = nullptr;
    char host[BENCH_HOST_ROOM] = "";
    WORD app =
        bench_start_app("growth_bench", "GrowthMember", member_proc, GROWTH_NOTIFY, &wnd, host);
    if (app == 0)
        return 2;
    std::thread([wnd] {
        bench_wait_stdin();
        PostMessageA(wnd, GROWTH_STOP, 0, 0);
    }).detach();
    std::printf("ready member %s cpu_s=%.6f\n", host, bench_cpu_seconds());
    std::fflush(stdout);
    MSG m;
    while (GetMessageA(&m, nullptr, 0, 0) > 0)
        DispatchMessageA(&m);
    double cpu = bench_cpu_seconds();
    /* Closing the application closes its sessions. */
    UINT status = CMCleanup(app);
    std::printf("done member joined=%lu updated=%lu refused=%lu cleanup=%u cpu_s=%.6f\n", joined,
                updated, refused, status, cpu);
    std::fflush(stdout);
    DestroyWindow(wnd);
    return 0;
}

// ----------------------------------------------------------------- invite

struct Grower {
    HWND wnd = nullptr;
    std::string address; /* what the next dialog gets typed */
    unsigned fill_tries = 0;
    bool filled = false; /* the dialog was filled in and Call pressed */
    unsigned long invitations = 0, updates = 0, accepted = 0;
    std::string failure; /* why the run ends early */
    BENCH_SOCKETS sockets = {{0, 0}};
};

Grower g;

/* Types the address into the Invite dialog and presses Call, once the
 * dialog is there; until then, looks again at the next tick. */
void fill_dialog()
{
    HWND dlg = FindWindowA(nullptr, INVITE_TITLE);
    if (!dlg || !GetDlgItem(dlg, INVITE_ADDRESS)) {
        if (++g.fill_tries < FILL_TRIES)
            SetTimer(g.wnd, TIMER_FILL, 1, nullptr);
        else
            g.failure = "the Invite dialog did not appear";
        return;
    }
    SetDlgItemTextA(dlg, INVITE_ADDRESS, g.address.c_str());
    PostMessageA(dlg, WM_COMMAND, MAKEWPARAM(INVITE_CALL, BN_CLICKED),
                 (LPARAM)GetDlgItem(dlg, INVITE_CALL));
    g.filled = true;
}

LRESULT CALLBACK invite_proc(HWND hwnd, UINT msg, WPARAM wparam, LPARAM lparam)
{
    if (msg == GROWTH_FILL || (msg == WM_TIMER && wparam == TIMER_FILL)) {
        KillTimer(hwnd, TIMER_FILL);
        if (!g.filled)
            fill_dialog();
        return 0;
    }
    if (msg == WM_TIMER && wparam == TIMER_GIVEUP) {
        KillTimer(hwnd, TIMER_GIVEUP);
        if (g.failure.empty())
            g.failure = "no answer in time";
        return 0;
    }
    if (msg != GROWTH_NOTIFY)
        return DefWindowProcA(hwnd, msg, wparam, lparam);
    unsigned code = (unsigned)(wparam >> 8) & 0xFF;
    BENCH_SOCKETS sockets = bench_take_block(code, lparam);
    if (code == CMN_CALLSTARTED)
        g.sockets = sockets;
    switch (code) {
    case CMN_RINGING:
        g.invitations++;
        break;
    case CMN_UPDATING:
        g.updates++;
        break;
    case 2: /* the acceptance */
        g.accepted++;
        break;
    case CMN_CALLSTARTED:
    case CMN_MEMBERSADDED:
    case CMN_ADDRESS:
        break;
    default:
        if (g.failure.empty())
            g.failure = "notification " + std::to_string(code);
    }
    return 0;
}

/* Adds one member through the Invite dialog and runs the loop until it has
 * accepted; false when the run is to end.  *dialog_end is when CMInvite
 * returned. */
bool add_member(WORD session, const std::string &name, double *dialog_end)
{
    g.address = "Bench <bench@" + name + ">";
    g.fill_tries = 0;
    g.filled = false;
    unsigned long before = g.accepted;
    /* Handled by the dialog's own loop once the dialog is there. */
    PostMessageA(g.wnd, GROWTH_FILL, 0, 0);
    UINT status = CMInvite(session);
    *dialog_end = bench_now();
    KillTimer(g.wnd, TIMER_FILL);
    if (status != 0) {
        if (g.failure.empty())
            g.failure = "CMInvite: status " + std::to_string(status);
        return false;
    }
    SetTimer(g.wnd, TIMER_GIVEUP, STEP_GIVEUP_MS, nullptr);
    MSG m;
    while (g.accepted == before && g.failure.empty() && GetMessageA(&m, nullptr, 0, 0) > 0)
        DispatchMessageA(&m);
    KillTimer(g.wnd, TIMER_GIVEUP);
    return g.failure.empty() && g.accepted > before;
}

int invite(const std::vector<std::string> &names)
{
    WORD app = bench_start_app("growth_bench", "GrowthInvite", invite_proc, GROWTH_NOTIFY, &g.wnd,
                               nullptr);
    if (app == 0)
        return 2;
    WORD session = CMOpenSession(app);
    if (session == 0 || session >= 128) {
        std::fprintf(stderr, "growth_bench: no session: status %u\n", session);
        CMCleanup(app);
        return 2;
    }
    CMAPPINFO appinfo;
    std::memset(&appinfo, 0, sizeof appinfo);
    CMGetAppInfo(session, &appinfo);

    double start_cpu = bench_cpu_seconds();
    double start = bench_now();
    unsigned members = 1;
    for (const std::string &name : names) {
        double t0 = bench_now(), cpu0 = bench_cpu_seconds(), dialog_end = 0;
        if (!add_member(session, name, &dialog_end))
            break;
        members++;
        std::printf("step member=%u ms=%.3f dialog_ms=%.3f cpu_ms=%.3f invitations=%lu "
                    "updates=%lu accepted=%lu\n",
                    members, (bench_now() - t0) * 1e3, (dialog_end - t0) * 1e3,
                    (bench_cpu_seconds() - cpu0) * 1e3, g.invitations, g.updates, g.accepted);
        std::fflush(stdout);
    }
    double end = bench_now();
    std::printf("grow members=%u ms=%.3f invitations=%lu updates=%lu accepted=%lu "
                "start_cpu_s=%.6f cpu_s=%.6f%s%s\n",
                members, (end - start) * 1e3, g.invitations, g.updates, g.accepted, start_cpu,
                bench_cpu_seconds(), g.failure.empty() ? "" : " failure: ", g.failure.c_str());
    std::fflush(stdout);
    CMCloseSession(session);
    bench_close_sockets(&g.sockets);
    bench_close_socket(appinfo.tcpsocket);
    CMCleanup(app);
    DestroyWindow(g.wnd);
    WSACleanup();
    return members == names.size() + 1 ? 0 : 1;
}

} // namespace

int main(int argc, char **argv)
{
    std::string mode = argc > 1 ? argv[1] : "";
    if (mode == "member" && argc == 2)
        return member();
    if (mode == "invite" && argc > 2)
        return invite(std::vector<std::string>(argv + 2, argv + argc));
    std::fprintf(stderr, "usage: growth_bench member | invite NAME...\n");
    return 2;
}
