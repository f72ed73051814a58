#include "api/calltest.h"

#include "api/api.h"
#include "registry/registry.h"
#include "support/instance.h"

#include <paltest.h>
#include <winsock.h>

#include <cstddef>
#include <cstdlib>
#include <set>
#include <sys/wait.h>

namespace {

std::set<uint32_t> kept_sockets;

LRESULT CALLBACK app_proc(HWND hwnd, UINT msg, WPARAM wparam, LPARAM lparam)
{
    if (msg != CT_NOTIFY)
        return DefWindowProcA(hwnd, msg, wparam, lparam);
    Note note{(BYTE)(wparam >> 8), (BYTE)wparam, lparam, {}};
    if (lparam && (note.code == CMN_CALLSTARTED || note.code == CMN_CALLUPDATED ||
                   note.code == CMN_ADDRESS || note.code == CMN_MEMBERSADDED)) {
        HGLOBAL h = (HGLOBAL)lparam;
        const unsigned char *p = (const unsigned char *)GlobalLock(h);
        note.block.assign(p, p + GlobalSize(h));
        GlobalUnlock(h);
        GlobalFree(h);
    }
    ct_notes().push_back(note);
    if (ct_on_note())
        ct_on_note()(ct_notes().back());
    return 0;
}

std::vector<int> codes_where(const std::function<bool(const Note &)> &which)
{
    std::vector<int> codes;
    for (const Note &n : ct_notes())
        if (which(n))
            codes.push_back(n.code);
    return codes;
}

// Runs `fn` on a worker while this thread keeps its messages going.
template <typename F> void ct_blocking(F fn)
{
    PalRunBlocking(
        [](void *c) -> DWORD {
            (*(F *)c)();
            return 0;
        },
        &fn);
}

} // namespace

HWND ct_start_window()
{
    LibMain(resource_instance(), DLL_PROCESS_ATTACH, nullptr);
    WNDCLASSA wc{};
    wc.lpfnWndProc = app_proc;
    wc.lpszClassName = "CallTestApp";
    RegisterClassA(&wc);
    ct_reset();
    return CreateWindowExA(0, "CallTestApp", "", 0, 0, 0, 10, 10, nullptr, nullptr, nullptr,
                           nullptr);
}

std::vector<Note> &ct_notes()
{
    static std::vector<Note> notes;
    return notes;
}

std::function<void(const Note &)> &ct_on_note()
{
    static std::function<void(const Note &)> handler;
    return handler;
}

void ct_reset()
{
    ct_notes().clear();
    ct_on_note() = nullptr;
}

bool ct_wait_until(const std::function<bool()> &done, int seconds)
{
    UINT_PTR guard = SetTimer(nullptr, 0, (UINT)seconds * 1000, nullptr);
    bool expired = false;
    MSG m;
    while (!done() && !expired && GetMessageA(&m, nullptr, 0, 0)) {
        if (m.message == WM_TIMER && m.wParam == guard && !m.hwnd)
            expired = true;
        else
            DispatchMessageA(&m);
    }
    KillTimer(nullptr, guard);
    return done();
}

bool ct_wait_for(BYTE code, int seconds)
{
    return ct_wait_until(
        [code] { return !codes_where([code](const Note &n) { return n.code == code; }).empty(); },
        seconds);
}

void ct_keep_socket(uint32_t handle)
{
    if (handle != 0 && handle != 0xFFFFFFFFu)
        kept_sockets.insert(handle);
}

void ct_keep_session_sockets(WORD session)
{
    if (const CMSESSION *s = SESSION_Find(session, nullptr))
        for (SOCKET sock : {s->tcpsocket, s->udpsocket1, s->udpsocket2})
            ct_keep_socket((uint32_t)sock);
}

void ct_close_sockets()
{
    for (CMAPP *app = APP_First(); app; app = app->next)
        for (const CMSESSION *s = app->sessions; s; s = s->next)
            ct_keep_session_sockets(s->id);
    for (const Note &n : ct_notes())
        if ((n.code == CMN_CALLSTARTED || n.code == CMN_CALLUPDATED) &&
            n.block.size() >= offsetof(CMCALLINFO, members)) {
            ct_keep_socket(ct_info(n).udpsocket1);
            ct_keep_socket(ct_info(n).udpsocket2);
        }
    // Closed once each: a handle closed twice could be a descriptor reused meanwhile.
    for (uint32_t handle : kept_sockets)
        closesocket((SOCKET)(int)handle);
    kept_sockets.clear();
}

CtPeer::CtPeer(const std::string &command)
{
    ct_blocking([&] { pipe_ = popen(command.c_str(), "r"); });
}

std::string CtPeer::line()
{
    std::string out = "<eof>";
    ct_blocking([&] {
        char buf[8192];
        if (pipe_ && fgets(buf, sizeof buf, pipe_))
            out = buf;
    });
    if (!out.empty() && out.back() == '\n')
        out.pop_back();
    return out;
}

int CtPeer::finish()
{
    int status = -1;
    if (pipe_)
        ct_blocking([&] { status = pclose(pipe_); });
    pipe_ = nullptr;
    return status != -1 && WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

std::string ct_peer_command(int index, const std::string &program, const std::string &args)
{
    const char *net = getenv("CALLMGR_NET_EXEC");
    const char *pair = getenv("CALLMGR_PEER_EXEC");
    std::string prefix = index > 0 ? std::string(net ? net : "false") + " " + std::to_string(index)
                                   : std::string(pair ? pair : "false");
    return prefix + " -- " + program + " " + args;
}

void ct_pump()
{
    MSG m;
    while (PeekMessageA(&m, nullptr, 0, 0, PM_REMOVE))
        DispatchMessageA(&m);
}

std::vector<int> ct_codes()
{
    return codes_where([](const Note &) { return true; });
}

std::vector<int> ct_codes_of(WORD session)
{
    return codes_where([session](const Note &n) { return n.session == (session & 0xFF); });
}

const CMCALLINFO &ct_info(const Note &note)
{
    return *(const CMCALLINFO *)note.block.data();
}

const CMMEMBERENTRY &ct_entry(const Note &note, size_t index)
{
    return *(const CMMEMBERENTRY *)(note.block.data() + offsetof(CMCALLINFO, members) +
                                    sizeof(CMMEMBERENTRY) * index);
}
