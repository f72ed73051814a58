/*
 * cmcall - places calls and answers invitations from the command line.
 *
 *   cmcall answer [--auto-accept | --decline] [--count N] [--json] [--sound FILE]
 *   cmcall invite ADDRESS... [--subject TEXT] [--timeout SECONDS] [--json] [--sound FILE]
 *   cmcall invite --dialog [--timeout SECONDS] [--json] [--sound FILE]
 *
 * It is an application of the call manager as a conferencing application
 * is: a hidden window receives the library's notifications, a message loop
 * runs them, and every notification becomes one line on standard output.
 *
 * answer: registers and waits.  With --auto-accept the library accepts every
 * invitation itself.  Otherwise the library asks through its Invite - RSVP
 * dialog; --decline presses that dialog's Decline button as a person would.
 * Without it the person answers: on a desktop the dialog is a window of its
 * own and rings; without one it declines by itself after about two minutes.
 * Without --sound both ends ring with the ring installed with the library.  An
 * accepted call's session is closed again at once (its datagram sockets with
 * it): the library hands a new invitation only to an application whose newest
 * session has no call, so cmcall stays ready for the next one.  Ends after
 * --count answered invitations, or on SIGINT/SIGTERM (exit 0), declining a
 * dialog that is still open.
 *
 * invite: one session and one CMInviteUser per address.  Ends when every
 * member has answered, is unreachable or has no address.  Exit status: 0 all
 * accepted, 1 any declined, unreachable or without address, 2 bad arguments
 * or a call-manager error, 3 time-out, 128 + signal when interrupted.
 *
 * invite --dialog: one session, and the library's Invite dialog (CMInvite)
 * in it, where the person types or picks the members and the subject and
 * presses Call.  The members then share the session, so each notification
 * is matched to its member by address (see roster.cpp).  Closing the dialog
 * without a call exits 2 (cancelled); the time-out starts once the call is
 * placed.
 */
#include "cmcall.h"
#include "os.h"

#include <winsock.h>

#include <cstdio>
#include <chrono>
#include <cstring>
#include <thread>
#include <vector>

namespace {

const char WINDOW_CLASS[] = "CmcallWindow";
const UINT CMCALL_NOTIFY = WM_USER + 0x100;
const UINT CMCALL_STOP = WM_USER + 0x101;
const UINT_PTR TIMER_TIMEOUT = 1;
const UINT_PTR TIMER_RSVP = 2;
const UINT_PTR TIMER_CLEANUP = 3;
const UINT_PTR TIMER_LOCALADDR = 4;
/* How often answer looks for an Invite - RSVP dialog to read or press. */
const UINT RSVP_POLL_MS = 200;
/* How long a deferred clean-up may take before cmcall leaves anyway. */
const UINT CLEANUP_WAIT_MS = 60000;
/* The local address is looked up when the application registers; a call
 * placed before it is known names its originator as all bits set.  invite
 * waits for it this long, looking every LOCALADDR_POLL_MS. */
const DWORD LOCALADDR_WAIT_MS = 5000;
const UINT LOCALADDR_POLL_MS = 20;
const char RSVP_TITLE[] = "Invite - RSVP";
const int RSVP_SUBJECT = 502;
const int RSVP_FROM = 504;
const int RSVP_DECLINE = 7;
const char INVITE_TITLE[] = "Invite";

struct Cmcall {
    CmcallOptions options;
    HWND wnd = nullptr;
    unsigned app = 0;
    std::vector<unsigned> sessions; /* invite: every session opened */
    CmcallRoster members;
    bool in_dialog = false;    /* invite --dialog: CMInvite's dialog is running */
    bool call_started = false; /* invite --dialog: the members are known */
    unsigned answered = 0;
    bool done = false;
    int exit_code = 0;
    bool stopping = false;
    bool cleanup_over = false;   /* a deferred clean-up completed or was given up */
    bool localaddr_over = false; /* the local address is known, or waited for long enough */
    DWORD localaddr_deadline = 0;
    bool invited_once = false;
    DWORD last_invite_tick = 0;
    HWND rsvp_seen = nullptr;
};

Cmcall g;
void RunLoop(const bool *until);

void Emit(const CmcallEvent &event)
{
    std::string line = CMCALL_FormatEvent(event, CMCALL_TimeStamp(), g.options.json);
    std::fputs(line.c_str(), stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
}

CmcallEvent Event(const char *kind, const std::string &text)
{
    CmcallEvent event;
    event.kind = kind;
    event.text = text;
    return event;
}

CmcallMember *FindMember(unsigned session, uint32_t netaddr, CmcallNotice notice)
{
    int i = CMCALL_RosterFind(g.members, session, netaddr, notice);
    return i < 0 ? nullptr : &g.members[static_cast<size_t>(i)];
}

std::string MemberLabel(unsigned session, uint32_t netaddr, CmcallNotice notice)
{
    const CmcallMember *m = FindMember(session, netaddr, notice);
    return m ? m->label : "session " + std::to_string(session);
}

/* One line about a member: "TEXT LABEL (ADDR)", or "TEXT: LABEL (ADDR)". */
void EmitMember(const char *kind, const std::string &text, unsigned session, uint32_t netaddr,
                bool with_addr, CmcallNotice notice)
{
    std::string label = MemberLabel(session, netaddr, notice);
    std::string line = text + label;
    if (with_addr)
        line += " (" + CMCALL_Dotted(netaddr) + ")";
    CmcallEvent event = Event(kind, line);
    CMCALL_AddNumber(&event, "session", session);
    CMCALL_AddString(&event, "member", label);
    if (with_addr)
        CMCALL_AddString(&event, "addr", CMCALL_Dotted(netaddr));
    Emit(event);
}

void SetState(unsigned session, uint32_t netaddr, CmcallNotice notice, CmcallMemberState state)
{
    CmcallMember *m = FindMember(session, netaddr, notice);
    if (m && m->state == CMCALL_PENDING)
        m->state = state;
}

void SetRang(unsigned session, uint32_t netaddr)
{
    CmcallMember *m = FindMember(session, netaddr, CMCALL_NOTICE_RINGING);
    if (m)
        m->rang = true;
}

void Finish(int exit_code)
{
    if (g.done)
        return;
    g.done = true;
    g.exit_code = exit_code;
}

/* invite: ends once no member waits for anything any more. */
void CheckAllAnswered()
{
    if (g.options.mode != CMCALL_INVITE || g.done)
        return;
    if (g.options.dialog && !g.call_started)
        return;
    unsigned counts[CMCALL_OTHER + 1] = {};
    for (const CmcallMember &m : g.members) {
        if (m.state == CMCALL_PENDING)
            return;
        counts[m.state]++;
    }
    int code = !g.members.empty() && counts[CMCALL_ACCEPTED] == g.members.size() ? 0 : 1;
    std::string text = "result: " + std::to_string(counts[CMCALL_ACCEPTED]) + " accepted, " +
                       std::to_string(counts[CMCALL_DECLINED]) + " declined, " +
                       std::to_string(counts[CMCALL_UNREACHABLE]) + " unreachable, " +
                       std::to_string(counts[CMCALL_NOADDRESS]) + " without address";
    if (counts[CMCALL_OTHER])
        text += ", " + std::to_string(counts[CMCALL_OTHER]) + " other answers";
    CmcallEvent event = Event("result", text);
    CMCALL_AddNumber(&event, "accepted", counts[CMCALL_ACCEPTED]);
    CMCALL_AddNumber(&event, "declined", counts[CMCALL_DECLINED]);
    CMCALL_AddNumber(&event, "unreachable", counts[CMCALL_UNREACHABLE]);
    CMCALL_AddNumber(&event, "no_address", counts[CMCALL_NOADDRESS]);
    CMCALL_AddNumber(&event, "other", counts[CMCALL_OTHER]);
    CMCALL_AddNumber(&event, "exit", static_cast<unsigned long>(code));
    Emit(event);
    Finish(code);
}

/* answer: ends after --count answered invitations. */
void CountAnswer()
{
    g.answered++;
    if (g.options.count && g.answered >= g.options.count)
        Finish(0);
}

void CloseSocket(uint32_t handle)
{
    if (handle != 0 && handle != 0xFFFFFFFFu)
        closesocket(static_cast<SOCKET>(handle));
}

/* Reads a posted block and frees it: the block is ours once posted. */
void TakeCallInfo(const char *kind, unsigned code, unsigned session, LPARAM lparam)
{
    HGLOBAL block = reinterpret_cast<HGLOBAL>(lparam);
    uint32_t sockets[2] = {0, 0};
    CmcallEvent event;
    /* The call the Invite dialog placed names its members; the first block
     * of our own session says who they are. */
    const bool names_members = g.options.mode == CMCALL_INVITE && g.options.dialog &&
                               code == CMN_CALLSTARTED && !g.call_started;
    size_t first_new = g.members.size();
    if (block) {
        size_t size = GlobalSize(block);
        const CMCALLINFO *info = static_cast<const CMCALLINFO *>(GlobalLock(block));
        event = CMCALL_CallInfoEvent(kind, session, info, info ? size : 0);
        if (info && size >= offsetof(CMCALLINFO, members)) {
            sockets[0] = info->udpsocket1;
            sockets[1] = info->udpsocket2;
        }
        if (names_members)
            CMCALL_RosterAddCall(&g.members, session, info, info ? size : 0);
        if (info)
            GlobalUnlock(block);
        GlobalFree(block);
    } else {
        event = CMCALL_CallInfoEvent(kind, session, nullptr, 0);
    }
    Emit(event);
    if (names_members) {
        g.call_started = true;
        for (size_t i = first_new; i < g.members.size(); i++) {
            const CmcallMember &m = g.members[i];
            CmcallEvent line = Event("inviting", "inviting " + m.label + " (session " +
                                                     std::to_string(session) + ")");
            CMCALL_AddNumber(&line, "session", session);
            CMCALL_AddString(&line, "member", m.label);
            Emit(line);
        }
    }

    if (code != CMN_CALLSTARTED || g.options.mode != CMCALL_ANSWER)
        return;
    /* An accepted invitation.  Closing its session leaves the application
     * idle, so the library offers it the next invitation. */
    UINT status = CMCloseSession(session);
    CloseSocket(sockets[0]);
    CloseSocket(sockets[1]);
    CmcallEvent closed =
        Event("session-closed",
              status == 0
                  ? "session " + std::to_string(session) + " closed, ready for the next invitation"
                  : "session " + std::to_string(session) +
                        " could not be closed: " + CMCALL_StatusName(status));
    CMCALL_AddNumber(&closed, "session", session);
    CMCALL_AddNumber(&closed, "status", status);
    Emit(closed);
    CountAnswer();
}

void TakeMemberInfo(unsigned session, LPARAM lparam)
{
    HGLOBAL block = reinterpret_cast<HGLOBAL>(lparam);
    if (!block) {
        Emit(CMCALL_MemberInfoEvent(session, nullptr, 0));
        return;
    }
    size_t size = GlobalSize(block);
    const CMMEMBERINFO *info = static_cast<const CMMEMBERINFO *>(GlobalLock(block));
    CMCALL_RosterResolve(&g.members, session, info, info ? size : 0);
    Emit(CMCALL_MemberInfoEvent(session, info, info ? size : 0));
    if (info)
        GlobalUnlock(block);
    GlobalFree(block);
}

void OnNotify(WPARAM wparam, LPARAM lparam)
{
    unsigned code = (wparam >> 8) & 0xFF;
    unsigned session = wparam & 0xFF;
    uint32_t netaddr = static_cast<uint32_t>(lparam);
    switch (code) {
    case CMN_CALLSTARTED:
        TakeCallInfo("call-started", code, session, lparam);
        break;
    case CMN_CALLUPDATED:
        TakeCallInfo("call-updated", code, session, lparam);
        break;
    case CMN_MEMBERSADDED:
        TakeCallInfo("members-added", code, session, lparam);
        break;
    case CMN_ADDRESS:
        TakeMemberInfo(session, lparam);
        break;
    case CMN_NOADDRESS:
        /* lParam still holds the lookup id, no address. */
        EmitMember("no-address", "no address: ", session, netaddr, false, CMCALL_NOTICE_NOADDRESS);
        SetState(session, netaddr, CMCALL_NOTICE_NOADDRESS, CMCALL_NOADDRESS);
        break;
    case CMN_RINGING:
        EmitMember("ringing", "ringing ", session, netaddr, true, CMCALL_NOTICE_RINGING);
        SetRang(session, netaddr);
        break;
    case CMN_UPDATING:
        EmitMember("updating", "sending the member list to ", session, netaddr, true,
                   CMCALL_NOTICE_UPDATING);
        break;
    case CMN_UNREACHABLE:
        EmitMember("unreachable", "unreachable: ", session, netaddr, true, CMCALL_NOTICE_ANSWER);
        SetState(session, netaddr, CMCALL_NOTICE_ANSWER, CMCALL_UNREACHABLE);
        break;
    case CMN_INVITEREFUSED: {
        CmcallEvent event = Event("invitation-refused", "invitation refused");
        CMCALL_AddNumber(&event, "session", session);
        Emit(event);
        CountAnswer();
        break;
    }
    case CMN_CLEANEDUP:
        Emit(Event("cleaned-up", "cleaned up"));
        g.cleanup_over = true;
        break;
    case 2: /* CALL_ACCEPT + 1 */
        EmitMember("accepted", "accepted by ", session, netaddr, true, CMCALL_NOTICE_ANSWER);
        SetState(session, netaddr, CMCALL_NOTICE_ANSWER, CMCALL_ACCEPTED);
        break;
    case 5: /* CALL_DECLINE + 1 */
        EmitMember("declined", "declined by ", session, netaddr, true, CMCALL_NOTICE_ANSWER);
        SetState(session, netaddr, CMCALL_NOTICE_ANSWER, CMCALL_DECLINED);
        break;
    default: {
        /* Any other reply m arrives as m + 1. */
        std::string label = MemberLabel(session, netaddr, CMCALL_NOTICE_ANSWER);
        CmcallEvent event =
            Event("reply", "answer " + std::to_string(code ? code - 1 : 0) + " from " + label +
                               " (" + CMCALL_Dotted(netaddr) + ")");
        CMCALL_AddNumber(&event, "session", session);
        CMCALL_AddNumber(&event, "code", code);
        CMCALL_AddString(&event, "member", label);
        CMCALL_AddString(&event, "addr", CMCALL_Dotted(netaddr));
        Emit(event);
        SetState(session, netaddr, CMCALL_NOTICE_ANSWER, CMCALL_OTHER);
        break;
    }
    }
    CheckAllAnswered();
}

std::string DialogText(HWND dlg, int id)
{
    char text[256] = "";
    GetDlgItemTextA(dlg, id, text, sizeof text);
    return text;
}

/* answer: reads an Invite - RSVP dialog when it appears, and presses its
 * Decline button when told to (--decline, or stopping). */
void PollRsvp()
{
    HWND dlg = FindWindowA(nullptr, RSVP_TITLE);
    if (!dlg) {
        g.rsvp_seen = nullptr;
        return;
    }
    const bool press = g.options.decline || g.stopping;
    if (dlg != g.rsvp_seen) {
        g.rsvp_seen = dlg;
        std::string subject = DialogText(dlg, RSVP_SUBJECT);
        std::string from = DialogText(dlg, RSVP_FROM);
        std::string text =
            std::string(RSVP_TITLE) + " dialog: " +
            (subject.empty() ? std::string("no subject") : "subject \"" + subject + "\"") +
            ", from " + (from.empty() ? std::string("?") : from) +
            (press ? "; pressing Decline"
                   : "; waiting for an answer (declines by itself after about "
                     "two minutes)");
        CmcallEvent event = Event("rsvp", text);
        CMCALL_AddString(&event, "subject", subject);
        CMCALL_AddString(&event, "from", from);
        CMCALL_AddString(&event, "action", press ? "decline" : "wait");
        Emit(event);
    }
    /* Posted again on every tick while the dialog stays: ending an ending
     * dialog once more is harmless, and a click that got lost is not. */
    if (press)
        PostMessageA(dlg, WM_COMMAND, RSVP_DECLINE,
                     reinterpret_cast<LPARAM>(GetDlgItem(dlg, RSVP_DECLINE)));
}

void OnTimeout()
{
    KillTimer(g.wnd, TIMER_TIMEOUT);
    std::string waiting;
    for (const CmcallMember &m : g.members) {
        if (m.state != CMCALL_PENDING)
            continue;
        waiting += waiting.empty() ? "" : ", ";
        waiting += m.label;
    }
    CmcallEvent event = Event("timeout", "time-out after " + std::to_string(g.options.timeout) +
                                             " s; no answer from " + waiting);
    CMCALL_AddNumber(&event, "seconds", g.options.timeout);
    CMCALL_AddString(&event, "waiting", waiting);
    Emit(event);
    Finish(3);
}

bool LocalAddressKnown()
{
    if (g.sessions.empty())
        return false;
    CMAPPINFO info;
    return CMGetAppInfo(g.sessions.front(), &info) == 0 && info.localaddr != 0xFFFFFFFFu;
}

void CheckLocalAddress()
{
    if (g.done || LocalAddressKnown() ||
        static_cast<int32_t>(GetTickCount() - g.localaddr_deadline) >= 0) {
        KillTimer(g.wnd, TIMER_LOCALADDR);
        g.localaddr_over = true;
    }
}

/* Runs the message loop until the library knows the local address, so the
 * calls name their originator. */
void AwaitLocalAddress()
{
    if (LocalAddressKnown())
        return;
    g.localaddr_deadline = GetTickCount() + LOCALADDR_WAIT_MS;
    SetTimer(g.wnd, TIMER_LOCALADDR, LOCALADDR_POLL_MS, nullptr);
    RunLoop(&g.localaddr_over);
    KillTimer(g.wnd, TIMER_LOCALADDR);
}

void OnStop(int sig)
{
    const char *name = sig == CMCALL_STOP_INTERRUPT   ? "SIGINT"
                       : sig == CMCALL_STOP_TERMINATE ? "SIGTERM"
                                                      : "SIGHUP";
    CmcallEvent event = Event("stopping", std::string("stopping on ") + name);
    CMCALL_AddString(&event, "signal", name);
    Emit(event);
    g.stopping = true;
    if (g.options.mode == CMCALL_ANSWER) {
        /* A dialog still open is declined, so the inviter hears an answer and
         * the modal loop ends. */
        PollRsvp();
        Finish(0);
    } else {
        Finish(128 + sig);
        /* The Invite dialog is closed as its Close button would, so that
         * CMInvite returns and the loop can end. */
        HWND dlg = g.in_dialog ? FindWindowA(nullptr, INVITE_TITLE) : nullptr;
        if (dlg)
            PostMessageA(dlg, WM_COMMAND, IDCANCEL,
                         reinterpret_cast<LPARAM>(GetDlgItem(dlg, IDCANCEL)));
    }
}

LRESULT CALLBACK CmcallWndProc(HWND hwnd, UINT msg, WPARAM wparam, LPARAM lparam)
{
    switch (msg) {
    case CMCALL_NOTIFY:
        OnNotify(wparam, lparam);
        return 0;
    case CMCALL_STOP:
        OnStop(static_cast<int>(wparam));
        return 0;
    case WM_TIMER:
        if (wparam == TIMER_TIMEOUT)
            OnTimeout();
        else if (wparam == TIMER_RSVP)
            PollRsvp();
        else if (wparam == TIMER_LOCALADDR)
            CheckLocalAddress();
        else if (wparam == TIMER_CLEANUP) {
            std::fprintf(stderr, "cmcall: the deferred clean-up did not complete\n");
            g.cleanup_over = true;
        }
        return 0;
    default:
        return DefWindowProcA(hwnd, msg, wparam, lparam);
    }
}

/* ---------------------------------------------------------------- main */

/* Runs the message loop until *until is true. */
void RunLoop(const bool *until)
{
    MSG msg;
    while (!*until) {
        BOOL got = GetMessageA(&msg, nullptr, 0, 0);
        if (got <= 0)
            break;
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
}

int Fail(const std::string &text)
{
    std::fprintf(stderr, "cmcall: %s\n", text.c_str());
    return 2;
}

std::string StatusLine(unsigned status)
{
    return std::string(CMCALL_StatusText(status)) + " (" + CMCALL_StatusName(status) + ", " +
           std::to_string(status) + ")";
}

/* Closes the sessions, unregisters and waits for a deferred clean-up. */
void Shutdown()
{
    KillTimer(g.wnd, TIMER_TIMEOUT);
    /* Notifications already posted (an invitation refused while stopping)
     * are still told; a bounded number, so a flood cannot hold us. */
    MSG msg;
    for (int i = 0; i < 64 && PeekMessageA(&msg, g.wnd, CMCALL_NOTIFY, CMCALL_NOTIFY, PM_REMOVE);
         i++)
        DispatchMessageA(&msg);
    KillTimer(g.wnd, TIMER_RSVP);
    for (unsigned session : g.sessions)
        CMCloseSession(session);
    UINT status = CMCleanup(g.app);
    if (status == CMERR_BUSY) {
        SetTimer(g.wnd, TIMER_CLEANUP, CLEANUP_WAIT_MS, nullptr);
        RunLoop(&g.cleanup_over);
        KillTimer(g.wnd, TIMER_CLEANUP);
    } else if (status == 0) {
        Emit(Event("cleaned-up", "cleaned up"));
    } else {
        std::fprintf(stderr, "cmcall: clean-up failed: %s\n", StatusLine(status).c_str());
    }
}

/* The ring installed with the library (share/callmgr/ring.wav under the
 * prefix cmcall runs from), or the one of the build tree cmcall was built
 * in; empty when neither is there or its name does not fit the settings. */
std::string DefaultRing()
{
    std::vector<std::string> candidates;
    std::string folder = CMCALL_ProgramFolder();
    if (!folder.empty())
        candidates.push_back(folder + "/../share/callmgr/ring.wav");
#ifdef CMCALL_BUILD_RING
    candidates.push_back(CMCALL_BUILD_RING);
#endif
    for (const std::string &c : candidates) {
        if (c.size() > CMCALL_MAX_SOUND)
            continue;
        std::FILE *file = std::fopen(c.c_str(), "rb");
        if (file) {
            std::fclose(file);
            return c;
        }
    }
    return std::string();
}

int Run(const CmcallOptions &options)
{
    g.options = options;

    WSADATA wsa;
    bool winsock = WSAStartup(MAKEWORD(1, 1), &wsa) == 0;

    WNDCLASSA wc;
    std::memset(&wc, 0, sizeof wc);
    wc.lpfnWndProc = CmcallWndProc;
    wc.lpszClassName = WINDOW_CLASS;
    if (!RegisterClassA(&wc))
        return Fail("cannot register the window class");
    /* Never shown: it only receives notifications. */
    g.wnd = CreateWindowExA(0, WINDOW_CLASS, "cmcall", 0, 0, 0, 0, 0, nullptr, nullptr, nullptr,
                            nullptr);
    if (!g.wnd)
        return Fail("cannot create the notification window");
    if (!CMCALL_WatchStops(g.wnd, CMCALL_STOP))
        return Fail("cannot set up signal handling");

    const std::string sound = options.has_sound ? options.sound : DefaultRing();
    if (!sound.empty() || options.mode == CMCALL_ANSWER) {
        /* Every setting is replaced at once, the address book path too: an
         * empty one would switch off the address book that the Invite
         * dialog of `invite --dialog` offers, so the library's default
         * book is named again. */
        CMINFO info;
        std::memset(&info, 0, sizeof info);
        std::snprintf(info.addressbook, sizeof info.addressbook, "%s", CMCALL_ADDRESS_BOOK);
        if (!sound.empty()) {
            info.rsvpring = 1;
            info.callring = 1;
            std::snprintf(info.rsvpsound, sizeof info.rsvpsound, "%s", sound.c_str());
            std::snprintf(info.callsound, sizeof info.callsound, "%s", sound.c_str());
        }
        info.autoaccept = options.mode == CMCALL_ANSWER && options.autoaccept;
        CMSetInfo(&info);
    }

    char host[256] = "";
    WORD app = CMStartup(g.wnd, CMCALL_NOTIFY, host);
    if (app == 0 || app >= 128) {
        std::string why = "cannot register with the call manager: " + StatusLine(app);
        if (app == CMERR_SERVER)
            why += "; is rpcbind running on this host?";
        DestroyWindow(g.wnd);
        return Fail(why);
    }
    g.app = app;
    host[sizeof host - 1] = 0;
    {
        CmcallEvent event =
            Event("registered", "registered as application " + std::to_string(app) + " on " + host);
        CMCALL_AddNumber(&event, "app", app);
        CMCALL_AddString(&event, "host", host);
        Emit(event);
    }

    if (options.mode == CMCALL_INVITE && options.dialog) {
        WORD session = CMOpenSession(g.app);
        if (session == 0 || session >= 128) {
            Shutdown();
            return Fail("cannot open a session: " + StatusLine(session));
        }
        g.sessions.push_back(session);
        AwaitLocalAddress();
        if (!g.done) {
            CmcallEvent event =
                Event("dialog", "Invite dialog open for session " + std::to_string(session) +
                                    ": type the members and press Call");
            CMCALL_AddNumber(&event, "session", session);
            Emit(event);
            /* Modal: the dialog's loop dispatches our notifications (and a
             * stop) while the person fills it in. */
            g.in_dialog = true;
            UINT status = CMInvite(session);
            g.in_dialog = false;
            if (status != 0 && !g.done) {
                Shutdown();
                return Fail("no call placed from the Invite dialog: " + StatusLine(status));
            }
            SetTimer(g.wnd, TIMER_TIMEOUT, options.timeout * 1000u, nullptr);
        }
    } else if (options.mode == CMCALL_INVITE) {
        for (const std::string &typed : options.addresses) {
            CmcallMember m;
            m.label = CMCALL_AddressLabel(typed);
            std::string wrapped = CMCALL_WrapAddress(typed);
            WORD session = CMOpenSession(g.app);
            if (session == 0 || session >= 128) {
                Shutdown();
                return Fail("cannot open a session: " + StatusLine(session));
            }
            m.session = session;
            g.sessions.push_back(session);
            g.members.push_back(m);
            AwaitLocalAddress();
            if (g.done)
                break;
            CmcallEvent event = Event("inviting", "inviting " + m.label + " (session " +
                                                      std::to_string(session) + ")");
            CMCALL_AddNumber(&event, "session", session);
            CMCALL_AddString(&event, "member", m.label);
            CMCALL_AddString(&event, "address", wrapped);
            Emit(event);
            /* A call is identified by the local address and the tick count
             * of its creation: two calls made in one millisecond could not be
             * told apart when their answers come back. */
            while (g.invited_once && GetTickCount() == g.last_invite_tick)
                std::this_thread::sleep_for(std::chrono::microseconds(200));
            g.invited_once = true;
            g.last_invite_tick = GetTickCount();
            UINT status = CMInviteUser(session, wrapped.c_str(),
                                       options.has_subject ? options.subject.c_str() : nullptr);
            if (status != 0) {
                Shutdown();
                return Fail("cannot invite '" + typed + "': " + StatusLine(status));
            }
        }
        SetTimer(g.wnd, TIMER_TIMEOUT, options.timeout * 1000u, nullptr);
    } else {
        std::string how = options.autoaccept ? "accepting each at once"
                          : options.decline  ? "declining each in its dialog"
                                             : "asking in the Invite - RSVP dialog";
        std::string text = "waiting for invitations, " + how;
        if (options.count)
            text += ", " + std::to_string(options.count) +
                    (options.count == 1 ? " invitation" : " invitations");
        CmcallEvent event = Event("waiting", text);
        CMCALL_AddString(&event, "answer",
                         options.autoaccept ? "accept"
                         : options.decline  ? "decline"
                                            : "dialog");
        CMCALL_AddNumber(&event, "count", options.count);
        Emit(event);
        if (!options.autoaccept)
            SetTimer(g.wnd, TIMER_RSVP, RSVP_POLL_MS, nullptr);
    }

    RunLoop(&g.done);
    Shutdown();
    DestroyWindow(g.wnd);
    if (winsock)
        WSACleanup();
    return g.exit_code;
}

} // namespace

int main(int argc, char **argv)
{
    CmcallOptions options;
    std::string error;
    if (!CMCALL_ParseArgs(argc, argv, &options, &error)) {
        std::fprintf(stderr, "cmcall: %s\n%s", error.c_str(), CMCALL_Usage());
        return 2;
    }
    if (options.mode == CMCALL_HELP) {
        std::fputs(CMCALL_Usage(), stdout);
        return 0;
    }
    /* Without a desktop the Invite dialog would wait unseen for ever. */
    if (options.mode == CMCALL_INVITE && options.dialog && !CMCALL_DesktopHere()) {
        std::fprintf(stderr, "cmcall: invite --dialog needs a desktop: set DISPLAY (or "
                             "WAYLAND_DISPLAY), or CALLMGR_DISPLAY=live\n");
        return 2;
    }
    return Run(options);
}
