// Call set-ups back to back from one inviting application, for the call
// set-up rate of several inviting hosts against one answering host.
//
//   rate_bench --peer-name NAME [--count N] [--seconds S] [--warmup W]
//              [--concurrent K]
//
// Each call set-up is the same as callsetup_bench's: CMOpenSession,
// CMInviteUser("Bench <bench@NAME>"), the message loop until the acceptance
// arrives as notification code 2, CMCloseSession, the handed-over sockets
// closed.  K calls (--concurrent, default 1, at most 32) are kept in flight,
// each in a session of its own; the next starts as soon as one ends.  Runs
// N call set-ups (default 1000) or for S seconds, whichever ends first,
// after W unmeasured ones made one at a time (default 5).  Prints one line:
//   "rate ok=OK fail=F start=T0 end=T1 rate=R median_us=M concurrent=K cpu_s=C
//    [last failure]"
// with T0 and T1 in seconds of the real-time clock, so that the lines of
// inviters on several hosts can be summed over one span, and C the
// processor time (user and system) of the whole process.  A set-up that
// fails (the answering host had no idle application, for one) counts as
// failed and is not retried.  Exit status 0 when none failed, 1 otherwise,
// 2 when the application could not be set up.
#include "bench_common.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include <sys/time.h>

namespace {

const UINT CALL_NOTIFY = WM_USER + 0x150;
const UINT_PTR TIMER_CHECK = 1;
/* One call set-up normally takes milliseconds; after this long its answer
 * is taken as lost. */
const double CALL_GIVEUP_S = 10.0;
const unsigned MAX_CONCURRENT = 32;

/* One call in flight: its session, when it started, and how it ended. */
struct Slot {
    unsigned session = 0;
    unsigned tcpsocket = 0;
    double t0 = 0;
    bool active = false;
    bool ended = false;
    bool accepted = false;
    std::string error;
    BENCH_SOCKETS sockets = {{0, 0}};
};

Slot slots[MAX_CONCURRENT];
unsigned concurrent = 1;
HWND notify_wnd = nullptr;
WORD app = 0;

Slot *slot_of(unsigned session)
{
    for (unsigned i = 0; i < concurrent; ++i)
        if (slots[i].active && !slots[i].ended && slots[i].session == session)
            return &slots[i];
    return nullptr;
}

void end_slot(Slot *s, bool accepted, const std::string &error)
{
    s->ended = true;
    s->accepted = accepted;
    s->error = error;
}

LRESULT CALLBACK notify_proc(HWND hwnd, UINT msg, WPARAM wparam, LPARAM lparam)
{
    if (msg == WM_TIMER && wparam == TIMER_CHECK) {
        double now = bench_now();
        for (unsigned i = 0; i < concurrent; ++i)
            if (slots[i].active && !slots[i].ended && now - slots[i].t0 > CALL_GIVEUP_S)
                end_slot(&slots[i], false, "no answer in time");
        return 0;
    }
    if (msg != CALL_NOTIFY)
        return DefWindowProcA(hwnd, msg, wparam, lparam);
    unsigned code = (unsigned)(wparam >> 8) & 0xFF;
    unsigned session = (unsigned)wparam & 0xFF;
    BENCH_SOCKETS sockets = bench_take_block(code, lparam);
    Slot *s = slot_of(session);
    if (!s) {
        bench_close_sockets(&sockets);
        return 0;
    }
    if (code == CMN_CALLSTARTED)
        s->sockets = sockets;
    else if (code == 2)
        end_slot(s, true, "");
    else if (code != CMN_ADDRESS && code != CMN_RINGING)
        end_slot(s, false,
                 "notification " + std::to_string(code) +
                     (code == CMN_UNREACHABLE ? " (unreachable, or refused as busy)" : ""));
    return 0;
}

/* Starts a call in the slot; one that cannot start leaves the slot ended. */
void start_slot(Slot *s, const std::string &address)
{
    *s = Slot{};
    s->active = true;
    s->t0 = bench_now();
    WORD session = CMOpenSession(app);
    if (session == 0 || session >= 128) {
        end_slot(s, false, "CMOpenSession: status " + std::to_string(session));
        s->session = 0;
        return;
    }
    s->session = session;
    CMAPPINFO info;
    std::memset(&info, 0, sizeof info);
    CMGetAppInfo(session, &info);
    s->tcpsocket = info.tcpsocket;
    UINT status = CMInviteUser(session, address.c_str(), "Benchmark");
    if (status != 0)
        end_slot(s, false, "CMInviteUser: status " + std::to_string(status));
}

/* Closes an ended call's session and what it handed over. */
void close_slot(Slot *s)
{
    if (s->session)
        CMCloseSession(s->session);
    bench_close_sockets(&s->sockets);
    bench_close_socket(s->tcpsocket);
    s->active = false;
}

bool parse(const char *text, unsigned long high, unsigned long *out)
{
    if (!text || !*text || text[0] == '-')
        return false;
    char *end = nullptr;
    errno = 0;
    unsigned long v = std::strtoul(text, &end, 10);
    if (errno || *end || v > high)
        return false;
    *out = v;
    return true;
}

} // namespace

int main(int argc, char **argv)
{
    std::string peer;
    unsigned long count = 1000, seconds = 0, warmup = 5, conc = 1;
    bool ok = true;
    for (int i = 1; ok && i < argc; i += 2) {
        std::string arg = argv[i];
        const char *v = i + 1 < argc ? argv[i + 1] : nullptr;
        if (arg == "--peer-name" && v)
            peer = v;
        else if (arg == "--count")
            ok = parse(v, 10000000, &count) && count > 0;
        else if (arg == "--seconds")
            ok = parse(v, 3600, &seconds);
        else if (arg == "--warmup")
            ok = parse(v, 10000, &warmup);
        else if (arg == "--concurrent")
            ok = parse(v, MAX_CONCURRENT, &conc) && conc > 0;
        else
            ok = false;
    }
    if (!ok || peer.empty()) {
        std::fprintf(stderr, "usage: rate_bench --peer-name NAME [--count N] [--seconds S] "
                             "[--warmup W] [--concurrent K]\n");
        return 2;
    }
    app =
        bench_start_app("rate_bench", "BenchRate", notify_proc, CALL_NOTIFY, &notify_wnd, nullptr);
    if (app == 0)
        return 2;
    std::string address = "Bench <bench@" + peer + ">";
    SetTimer(notify_wnd, TIMER_CHECK, 100, nullptr);

    /* Warm-up one at a time, then `conc` calls kept in flight: each that
     * ends is closed and replaced from this loop, never from inside a
     * notification, so the library is not re-entered from its own waits. */
    std::vector<double> us;
    us.reserve(count);
    unsigned long started = 0, good = 0, failed = 0, warm = 0;
    std::string last_error;
    double start = 0, deadline = 0;
    bool measuring = warmup == 0;
    concurrent = measuring ? (unsigned)conc : 1;
    if (measuring) {
        start = bench_now();
        deadline = seconds ? start + (double)seconds : 0;
    }
    auto may_start = [&] {
        if (!measuring)
            return true;
        return started < count && (!deadline || bench_now() < deadline);
    };
    for (;;) {
        bool any_active = false;
        for (unsigned i = 0; i < concurrent; ++i) {
            Slot *s = &slots[i];
            if (s->active && s->ended) {
                double t1 = bench_now();
                close_slot(s);
                if (!measuring) {
                    warm++;
                } else if (s->accepted) {
                    good++;
                    us.push_back((t1 - s->t0) * 1e6);
                } else {
                    failed++;
                    last_error = s->error;
                }
            }
            if (!measuring && warm >= warmup) {
                measuring = true;
                concurrent = (unsigned)conc;
                start = bench_now();
                deadline = seconds ? start + (double)seconds : 0;
            }
            if (!s->active && may_start()) {
                start_slot(s, address);
                if (measuring)
                    started++;
            }
            any_active = any_active || s->active;
        }
        if (!any_active && measuring)
            break;
        bool pending = false;
        for (unsigned i = 0; i < concurrent; ++i)
            pending = pending || (slots[i].active && slots[i].ended);
        if (pending)
            continue;
        MSG m;
        if (GetMessageA(&m, nullptr, 0, 0) <= 0)
            break;
        DispatchMessageA(&m);
    }
    double end = bench_now();
    KillTimer(notify_wnd, TIMER_CHECK);
    double median = 0;
    if (!us.empty()) {
        std::sort(us.begin(), us.end());
        median = us[us.size() / 2];
    }
    std::printf("rate ok=%lu fail=%lu start=%.6f end=%.6f rate=%.0f median_us=%.0f "
                "concurrent=%u cpu_s=%.3f%s%s\n",
                good, failed, start, end, end > start ? (double)good / (end - start) : 0.0, median,
                concurrent, bench_cpu_seconds(),
                last_error.empty() ? "" : " last failure: ", last_error.c_str());
    std::fflush(stdout);
    CMCleanup(app);
    DestroyWindow(notify_wnd);
    WSACleanup();
    return failed ? 1 : 0;
}
