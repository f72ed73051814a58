// An application built against the installed library with pkg-config
// alone, using only the installed headers.
//   app                    a posted message, a timer and a name lookup arrive
//                          in order, and loading the library has attached
//                          the TCP/IP stack
//   app PEERHOST PEERADDR  the same, then on a pair of test hosts: it calls
//                          "<bob@PEERHOST>" and expects CMN_CALLSTARTED,
//                          CMN_ADDRESS, CMN_RINGING and the acceptance (2),
//                          each naming PEERADDR; then it prints "app:
//                          answering" and auto-accepts PEERHOST's invitation
//                          (CMN_CALLSTARTED); then it cleans up.
// Every step prints a line starting "app: ".  Exit status: 0 all as
// expected, 1 a check failed, 2 set-up failed, 3 no TCP/IP stack window.
#include <callmgr.h>
#include <winsock.h>

#include <stddef.h>
#include <stdint.h>
#include <stdio.h>
#include <string.h>

#include <string>
#include <vector>

namespace {

const UINT APP_POSTED = WM_USER + 1;
const UINT APP_LOOKUP = WM_USER + 2;
const UINT APP_NOTIFY = WM_USER + 3;
const DWORD UNKNOWN_ADDR = 0xFFFFFFFFu;

char host_entry[MAXGETHOSTSTRUCT];
HANDLE lookup_task;
int step = 0; // platform checks passed so far, 3 when all did
int failures = 0;

bool fail(const char *what)
{
    fprintf(stderr, "app: %s\n", what);
    ++failures;
    return false;
}

// One notification, with a copy of the block it carried (which is freed
// here, as the application owns it).
struct Note {
    int code;
    int session;
    LPARAM lparam;
    std::vector<unsigned char> block;
};
std::vector<Note> notes;

bool carries_block(int code)
{
    return code == CMN_CALLSTARTED || code == CMN_CALLUPDATED || code == CMN_ADDRESS ||
           code == CMN_MEMBERSADDED;
}

void on_notify(WPARAM wparam, LPARAM lparam)
{
    Note note{(int)((wparam >> 8) & 0xFF), (int)(wparam & 0xFF), lparam, {}};
    if (carries_block(note.code) && lparam) {
        HGLOBAL block = (HGLOBAL)lparam;
        const unsigned char *bytes = (const unsigned char *)GlobalLock(block);
        if (bytes)
            note.block.assign(bytes, bytes + GlobalSize(block));
        GlobalUnlock(block);
        GlobalFree(block);
    }
    printf("app: notification %d for session %d\n", note.code, note.session);
    notes.push_back(note);
}

LRESULT CALLBACK app_proc(HWND hwnd, UINT msg, WPARAM wparam, LPARAM lparam)
{
    switch (msg) {
    case APP_POSTED:
        if (step != 0 || wparam != 7 || lparam != 70)
            fail("posted message out of order");
        else if (!SetTimer(hwnd, 1, 50, nullptr))
            fail("SetTimer");
        else
            step = 1;
        return 0;
    case WM_TIMER:
        KillTimer(hwnd, 1);
        if (step != 1 || wparam != 1)
            fail("timer out of order");
        else if (!(lookup_task = WSAAsyncGetHostByName(hwnd, APP_LOOKUP, "localhost", host_entry,
                                                       sizeof host_entry)))
            fail("WSAAsyncGetHostByName");
        else
            step = 2;
        return 0;
    case APP_LOOKUP: {
        const struct hostent *he = (const struct hostent *)host_entry;
        if (step != 2 || (HANDLE)wparam != lookup_task || WSAGETASYNCERROR(lparam) != 0 ||
            !he->h_addr_list[0] || (unsigned char)he->h_addr_list[0][0] != 127) {
            fail("lookup of localhost");
            return 0;
        }
        printf("app: posted message, timer and lookup of %s arrived in order\n", he->h_name);
        step = 3;
        return 0;
    }
    case APP_NOTIFY:
        on_notify(wparam, lparam);
        return 0;
    default:
        return DefWindowProcA(hwnd, msg, wparam, lparam);
    }
}

// Dispatches messages until done() holds (true), a check failed or
// `seconds` passed (false).
template <typename Done> bool run_until(Done done, int seconds)
{
    UINT_PTR guard = SetTimer(nullptr, 0, (UINT)seconds * 1000, nullptr);
    bool expired = false;
    MSG msg;
    while (!done() && !failures && !expired && GetMessageA(&msg, nullptr, 0, 0) > 0) {
        if (msg.message == WM_TIMER && msg.hwnd == nullptr && msg.wParam == guard)
            expired = true;
        else {
            TranslateMessage(&msg);
            DispatchMessageA(&msg);
        }
    }
    KillTimer(nullptr, guard);
    return done() && !failures;
}

const Note *find_note(int code, int session)
{
    for (const Note &n : notes)
        if (n.code == code && n.session == session)
            return &n;
    return nullptr;
}

std::vector<int> codes_of(int session)
{
    std::vector<int> codes;
    for (const Note &n : notes)
        if (n.session == session)
            codes.push_back(n.code);
    return codes;
}

std::string text(const char *field, size_t size)
{
    return std::string(field, strnlen(field, size));
}

// The call information block of a CMN_CALLSTARTED, whole and of `count`
// members; null (and a failure) otherwise.
const CMCALLINFO *call_info(const Note &note, unsigned count)
{
    const CMCALLINFO *info = (const CMCALLINFO *)note.block.data();
    if (note.block.size() < sizeof(CMCALLINFO) + sizeof(CMMEMBERENTRY) * count ||
        info->count != count)
        return fail("CMN_CALLSTARTED without a whole block of the expected members"), nullptr;
    return info;
}

const CMMEMBERENTRY &member(const CMCALLINFO *info, unsigned i)
{
    return *(const CMMEMBERENTRY *)((const char *)info + offsetof(CMCALLINFO, members) +
                                    sizeof(CMMEMBERENTRY) * i);
}

// Step 1: calls bob on the peer host from a session of its own.
bool place_call(WORD app, const char *peer_host, uint32_t peer_addr)
{
    WORD session = CMOpenSession(app);
    if (session >= 128)
        return fail("CMOpenSession");
    // The call carries the local address; wait until the library knows it.
    CMAPPINFO appinfo{};
    auto known = [&] {
        return CMGetAppInfo(session, &appinfo) == 0 && appinfo.localaddr != UNKNOWN_ADDR;
    };
    if (!run_until(known, 30))
        return fail("the local address never became known");

    const std::string address = std::string("<bob@") + peer_host + ">";
    UINT status = CMInviteUser(session, address.c_str(), "Installed call");
    if (status != 0) {
        fprintf(stderr, "app: CMInviteUser %s returned %u\n", address.c_str(), status);
        ++failures;
        return false;
    }
    printf("app: invited %s\n", address.c_str());
    // An answer, or the news that there will be none.
    auto over = [&] {
        for (const Note &n : notes)
            if (n.session == session && (n.code == 2 || n.code == 5 || n.code == CMN_UNREACHABLE ||
                                         n.code == CMN_NOADDRESS))
                return true;
        return false;
    };
    if (!run_until(over, 60))
        return fail("no answer to the invitation");
    const std::vector<int> expected{CMN_CALLSTARTED, CMN_ADDRESS, CMN_RINGING, 2};
    if (codes_of(session) != expected)
        return fail(
            "the call's notifications are not CMN_CALLSTARTED, CMN_ADDRESS, CMN_RINGING, 2");

    const CMCALLINFO *info = call_info(*find_note(CMN_CALLSTARTED, session), 2);
    if (!info)
        return false;
    const uint32_t local_net = htonl(appinfo.localaddr);
    if (info->localaddr != local_net || info->originaddr != local_net)
        fail("the call is not this host's");
    if (text(info->subject, sizeof info->subject) != "Installed call")
        fail("the call's subject");
    if (info->udpsocket1 == 0 || info->udpsocket1 == 0xFFFFFFFFu || info->udpsocket2 == 0 ||
        info->udpsocket2 == 0xFFFFFFFFu)
        fail("the call's datagram sockets");
    if (text(member(info, 1).user, 64) != "bob" || text(member(info, 1).host, 64) != peer_host)
        fail("the invited member");

    const Note *address_note = find_note(CMN_ADDRESS, session);
    if (address_note->block.size() != sizeof(CMMEMBERINFO) ||
        ((const CMMEMBERINFO *)address_note->block.data())->resolved.ipaddr != peer_addr)
        fail("CMN_ADDRESS does not carry the peer's address");
    if ((uint32_t)find_note(CMN_RINGING, session)->lparam != peer_addr)
        fail("CMN_RINGING does not name the peer");
    if ((uint32_t)find_note(2, session)->lparam != peer_addr)
        fail("the acceptance does not come from the peer");
    if (failures)
        return false;
    printf("app: %s accepted the call\n", peer_host);

    // The call is over for this application; a closed session leaves it
    // free to take the next invitation.
    if (CMCloseSession(session) != 0)
        return fail("CMCloseSession");
    return true;
}

// Step 2: answers the peer's invitation by itself.
bool answer_call(uint32_t peer_addr)
{
    CMINFO settings{};
    settings.autoaccept = 1;
    if (!CMSetInfo(&settings))
        return fail("CMSetInfo");
    const size_t before = notes.size();
    auto answered = [&] {
        for (size_t i = before; i < notes.size(); ++i)
            if (notes[i].code == CMN_CALLSTARTED || notes[i].code == CMN_INVITEREFUSED)
                return true;
        return false;
    };
    printf("app: answering\n");
    if (!run_until(answered, 60))
        return fail("no invitation came");
    const Note &started = notes.back();
    if (notes.size() != before + 1 || started.code != CMN_CALLSTARTED)
        return fail("the invitation did not end in CMN_CALLSTARTED alone");
    const CMCALLINFO *info = call_info(started, 2);
    if (!info)
        return false;
    if (info->originaddr != peer_addr || member(info, 0).ipaddr != peer_addr)
        fail("the call was not the peer's");
    printf("app: joined the call '%s' of %s@%s\n", text(info->subject, 256).c_str(),
           text(member(info, 0).user, 64).c_str(), text(member(info, 0).host, 64).c_str());
    if (CMCloseSession((UINT)started.session) != 0)
        fail("CMCloseSession of the answered call");
    return !failures;
}

} // namespace

int main(int argc, char **argv)
{
    setvbuf(stdout, nullptr, _IOLBF, 0);
    if (argc != 1 && argc != 3) {
        fprintf(stderr, "usage: app [PEERHOST PEERADDR]\n");
        return 2;
    }
    const char *peer_host = argc == 3 ? argv[1] : nullptr;
    const uint32_t peer_addr = argc == 3 ? inet_addr(argv[2]) : 0;
    if (peer_host && (peer_addr == INADDR_NONE || strlen(peer_host) > 63)) {
        fprintf(stderr, "app: bad peer '%s' '%s'\n", argv[1], argv[2]);
        return 2;
    }

    WSADATA data;
    if (WSAStartup(MAKEWORD(1, 1), &data) != 0)
        return 2;
    WNDCLASSA wc{};
    wc.lpfnWndProc = app_proc;
    wc.lpszClassName = "InstalledApp";
    if (!RegisterClassA(&wc))
        return 2;
    HWND hwnd = CreateWindowExA(0, "InstalledApp", "app", WS_OVERLAPPEDWINDOW, 0, 0, 100, 100,
                                nullptr, nullptr, nullptr, nullptr);
    if (!hwnd)
        return 2;
    /* Loading the library attached the TCP/IP stack, whose window is up. */
    if (!FindWindowA("KRAQClass", nullptr))
        return 3;
    PostMessageA(hwnd, APP_POSTED, 7, 70);
    int status = 0;
    if (!run_until([] { return step == 3; }, 30)) {
        if (!failures)
            fail("the posted message, timer and lookup did not all arrive");
        status = 1;
    }

    if (status == 0 && peer_host) {
        char name[256];
        WORD app = CMStartup(hwnd, APP_NOTIFY, name);
        if (app >= 128) {
            fprintf(stderr, "app: CMStartup returned %u\n", (unsigned)app);
            status = 2;
        } else {
            printf("app: registered as application %u on %s\n", (unsigned)app, name);
            bool ok = place_call(app, peer_host, peer_addr) && answer_call(peer_addr);
            UINT cleanup = CMCleanup(app);
            if (cleanup != 0) {
                fprintf(stderr, "app: CMCleanup returned %u\n", cleanup);
                ++failures;
            }
            if (!ok || failures)
                status = 1;
        }
    }
    DestroyWindow(hwnd);
    WSACleanup();
    if (status == 0)
        printf("app: done\n");
    return status;
}
