// An application built against the installed library, with pkg-config alone
// or with CMake (CMakeLists.txt beside it), run on a pair of test hosts:
//   app PEERHOST PEERADDR
// It calls "<bob@PEERHOST>" and expects CMN_CALLSTARTED, CMN_ADDRESS,
// CMN_RINGING and the acceptance (2) from PEERADDR; then it prints "app:
// answering" and auto-accepts PEERHOST's invitation.  Exit status: 0 all as
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

const UINT APP_NOTIFY = WM_USER + 3;

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

LRESULT CALLBACK app_proc(HWND hwnd, UINT msg, WPARAM wparam, LPARAM lparam)
{
    if (msg != APP_NOTIFY)
        return DefWindowProcA(hwnd, msg, wparam, lparam);
    Note note{(int)((wparam >> 8) & 0xFF), (int)(wparam & 0xFF), lparam, {}};
    if (lparam && (note.code == CMN_CALLSTARTED || note.code == CMN_CALLUPDATED ||
                   note.code == CMN_ADDRESS || note.code == CMN_MEMBERSADDED)) {
        HGLOBAL block = (HGLOBAL)lparam;
        const unsigned char *bytes = (const unsigned char *)GlobalLock(block);
        if (bytes)
            note.block.assign(bytes, bytes + GlobalSize(block));
        GlobalUnlock(block);
        GlobalFree(block);
    }
    printf("app: notification %d for session %d\n", note.code, note.session);
    notes.push_back(note);
    return 0;
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

// Step 1: calls bob on the peer host from a session of its own.
bool place_call(WORD app, const char *peer_host, uint32_t peer_addr)
{
    WORD session = CMOpenSession(app);
    if (session >= 128)
        return fail("CMOpenSession");
    // The call carries the local address; wait until the library knows it
    // (all ones: not yet).
    CMAPPINFO appinfo{};
    auto known = [&] {
        return CMGetAppInfo(session, &appinfo) == 0 && appinfo.localaddr != 0xFFFFFFFFu;
    };
    if (!run_until(known, 30))
        return fail("the local address never became known");

    const std::string address = std::string("<bob@") + peer_host + ">";
    if (CMInviteUser(session, address.c_str(), "Installed call") != 0)
        return fail("CMInviteUser");
    // An answer, or the news that there will be none.
    std::vector<int> codes;
    auto over = [&] {
        codes.clear();
        for (const Note &n : notes)
            if (n.session == session)
                codes.push_back(n.code);
        return !codes.empty() && (codes.back() == 2 || codes.back() == 5 ||
                                  codes.back() == CMN_UNREACHABLE || codes.back() == CMN_NOADDRESS);
    };
    if (!run_until(over, 60))
        return fail("no answer to the invitation");
    if (codes != std::vector<int>{CMN_CALLSTARTED, CMN_ADDRESS, CMN_RINGING, 2})
        return fail(
            "the call's notifications are not CMN_CALLSTARTED, CMN_ADDRESS, CMN_RINGING, 2");
    if ((uint32_t)notes.back().lparam != peer_addr)
        return fail("the acceptance does not come from the peer");
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
    printf("app: answering\n");
    if (!run_until([&] { return notes.size() > before; }, 60))
        return fail("no invitation came");
    const Note &started = notes.back();
    if (notes.size() != before + 1 || started.code != CMN_CALLSTARTED)
        return fail("the invitation did not end in CMN_CALLSTARTED alone");
    const CMCALLINFO *info = (const CMCALLINFO *)started.block.data();
    if (started.block.size() < sizeof(CMCALLINFO) + sizeof(CMMEMBERENTRY) * 2 || info->count != 2)
        return fail("CMN_CALLSTARTED without a whole block of two members");
    const CMMEMBERENTRY &origin =
        *(const CMMEMBERENTRY *)((const char *)info + offsetof(CMCALLINFO, members));
    if (info->originaddr != peer_addr || origin.ipaddr != peer_addr)
        fail("the call was not the peer's");
    // The fields need not end in a zero byte.
    printf("app: joined the call '%.256s' of %.64s@%.64s\n", info->subject, origin.user,
           origin.host);
    if (CMCloseSession((UINT)started.session) != 0)
        fail("CMCloseSession of the answered call");
    return !failures;
}

} // namespace

int main(int argc, char **argv)
{
    setvbuf(stdout, nullptr, _IOLBF, 0);
    if (argc != 3) {
        fprintf(stderr, "usage: app PEERHOST PEERADDR\n");
        return 2;
    }
    const char *peer_host = argv[1];
    const uint32_t peer_addr = inet_addr(argv[2]);
    if (peer_addr == INADDR_NONE || strlen(peer_host) > 63) {
        fprintf(stderr, "app: bad peer '%s' '%s'\n", argv[1], argv[2]);
        return 2;
    }

    WSADATA data;
    WNDCLASSA wc{};
    wc.lpfnWndProc = app_proc;
    wc.lpszClassName = "InstalledApp";
    if (WSAStartup(MAKEWORD(1, 1), &data) != 0 || !RegisterClassA(&wc))
        return 2;
    HWND hwnd = CreateWindowExA(0, "InstalledApp", "app", WS_OVERLAPPEDWINDOW, 0, 0, 100, 100,
                                nullptr, nullptr, nullptr, nullptr);
    if (!hwnd)
        return 2;
    // Loading the library has attached the TCP/IP stack.
    if (!FindWindowA("KRAQClass", nullptr))
        return 3;
    char name[256];
    WORD app = CMStartup(hwnd, APP_NOTIFY, name);
    if (app >= 128) {
        fprintf(stderr, "app: CMStartup returned %u\n", (unsigned)app);
        return 2;
    }
    printf("app: registered as application %u on %s\n", (unsigned)app, name);
    if (place_call(app, peer_host, peer_addr))
        answer_call(peer_addr);
    if (CMCleanup(app) != 0)
        fail("CMCleanup");
    DestroyWindow(hwnd);
    WSACleanup();
    return failures ? 1 : 0;
}
