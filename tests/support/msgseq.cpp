#include "support/msgseq.h"

#include <algorithm>
#include <cstdio>
#include <map>
#include <mutex>

namespace {

/* The record is shared by every thread of the test; one lock keeps the
 * arrival order. */
std::mutex &seq_lock()
{
    static std::mutex m;
    return m;
}

std::vector<UINT> &seq_only()
{
    static std::vector<UINT> v;
    return v;
}

std::map<UINT, std::string> &seq_names()
{
    static std::map<UINT, std::string> names;
    return names;
}

/* Numbers rather than the header's names: the same table serves headers
 * that leave some of the older messages out. */
struct KnownName {
    UINT msg;
    const char *name;
};
const KnownName known_names[] = {
    {0x0000, "WM_NULL"},
    {0x0001, "WM_CREATE"},
    {0x0002, "WM_DESTROY"},
    {0x0003, "WM_MOVE"},
    {0x0005, "WM_SIZE"},
    {0x0006, "WM_ACTIVATE"},
    {0x0007, "WM_SETFOCUS"},
    {0x0008, "WM_KILLFOCUS"},
    {0x000A, "WM_ENABLE"},
    {0x000B, "WM_SETREDRAW"},
    {0x000C, "WM_SETTEXT"},
    {0x000D, "WM_GETTEXT"},
    {0x000E, "WM_GETTEXTLENGTH"},
    {0x000F, "WM_PAINT"},
    {0x0010, "WM_CLOSE"},
    {0x0012, "WM_QUIT"},
    {0x0014, "WM_ERASEBKGND"},
    {0x0018, "WM_SHOWWINDOW"},
    {0x0019, "WM_CTLCOLOR"},
    {0x0020, "WM_SETCURSOR"},
    {0x0028, "WM_NEXTDLGCTL"},
    {0x002B, "WM_DRAWITEM"},
    {0x002C, "WM_MEASUREITEM"},
    {0x002D, "WM_DELETEITEM"},
    {0x002E, "WM_VKEYTOITEM"},
    {0x002F, "WM_CHARTOITEM"},
    {0x0030, "WM_SETFONT"},
    {0x0031, "WM_GETFONT"},
    {0x0039, "WM_COMPAREITEM"},
    {0x0081, "WM_NCCREATE"},
    {0x0082, "WM_NCDESTROY"},
    {0x0087, "WM_GETDLGCODE"},
    {0x0100, "WM_KEYDOWN"},
    {0x0101, "WM_KEYUP"},
    {0x0102, "WM_CHAR"},
    {0x0110, "WM_INITDIALOG"},
    {0x0111, "WM_COMMAND"},
    {0x0112, "WM_SYSCOMMAND"},
    {0x0113, "WM_TIMER"},
    {0x0121, "WM_ENTERIDLE"},
    {0x0132, "WM_CTLCOLORMSGBOX"},
    {0x0133, "WM_CTLCOLOREDIT"},
    {0x0134, "WM_CTLCOLORLISTBOX"},
    {0x0135, "WM_CTLCOLORBTN"},
    {0x0136, "WM_CTLCOLORDLG"},
    {0x0138, "WM_CTLCOLORSTATIC"},
    {0x0200, "WM_MOUSEMOVE"},
    {0x0201, "WM_LBUTTONDOWN"},
    {0x0202, "WM_LBUTTONUP"},
    {0x0203, "WM_LBUTTONDBLCLK"},
};

/* The queued message SEQ_Dispatch is handing over on this thread: the
 * first arrival that is that very message is the posted one, anything it
 * sends on the way is not. */
thread_local const MSG *dispatching = nullptr;

/* The instance classes of the recorder belong to: the program's own where
 * the system knows one, none otherwise.  Asking must not disturb the
 * last-error value a test may be about to look at. */
HINSTANCE own_instance()
{
    DWORD saved = GetLastError();
    HINSTANCE i = GetModuleHandleA(nullptr);
    SetLastError(saved);
    return i;
}

bool wanted(UINT msg)
{
    const std::vector<UINT> &only = seq_only();
    return only.empty() || std::find(only.begin(), only.end(), msg) != only.end();
}

std::string kind_text(unsigned flags)
{
    if (flags & SEQ_POSTED)
        return "posted";
    if (flags & SEQ_SENT)
        return "sent";
    return "any";
}

std::string hex(unsigned long long v)
{
    char b[24];
    snprintf(b, sizeof b, "%#llx", v);
    return b;
}

std::string expected_text(const SEQ_MSG &e)
{
    std::string t = SEQ_MessageName(e.message) + " " + kind_text(e.flags);
    if (e.flags & SEQ_WPARAM)
        t += " w=" + hex((unsigned long long)e.wparam);
    if (e.flags & SEQ_LPARAM)
        t += " l=" + hex((unsigned long long)(ULONG_PTR)e.lparam);
    if (e.flags & SEQ_HWND)
        t += " hwnd=" + hex((unsigned long long)(ULONG_PTR)e.hwnd);
    if (e.flags & SEQ_OPTIONAL)
        t += " (optional)";
    return t;
}

std::string record_text(const SEQ_RECORD &r)
{
    return SEQ_MessageName(r.msg) + " " + kind_text(r.flags) +
           " w=" + hex((unsigned long long)r.wparam) +
           " l=" + hex((unsigned long long)(ULONG_PTR)r.lparam) +
           " hwnd=" + hex((unsigned long long)(ULONG_PTR)r.hwnd);
}

/* Why `r` does not meet `e`, or empty when it does. */
std::string mismatch(const SEQ_MSG &e, const SEQ_RECORD &r)
{
    if (e.message != r.msg)
        return "another message";
    if ((e.flags & SEQ_POSTED) && !(r.flags & SEQ_POSTED))
        return "should have been posted";
    if ((e.flags & SEQ_SENT) && !(r.flags & SEQ_SENT))
        return "should have been sent";
    if ((e.flags & SEQ_WPARAM) && e.wparam != r.wparam)
        return "wparam differs";
    if ((e.flags & SEQ_LPARAM) && e.lparam != r.lparam)
        return "lparam differs";
    if ((e.flags & SEQ_HWND) && e.hwnd != r.hwnd)
        return "another window";
    return "";
}

std::string pad(const std::string &s, size_t width)
{
    return s.size() >= width ? s : s + std::string(width - s.size(), ' ');
}

bool compare(const SEQ_MSG *expected, size_t n_expected, const char *context, std::string *listing)
{
    std::vector<SEQ_RECORD> got;
    {
        std::lock_guard<std::mutex> hold(seq_lock());
        got.swap(SEQ_Log());
    }

    /* Walk in step; remember which record each entry met (or none). */
    std::vector<long> met(n_expected, -1);
    size_t e = 0, g = 0;
    std::string why;
    while (e < n_expected && g < got.size()) {
        std::string m = mismatch(expected[e], got[g]);
        if (m.empty()) {
            met[e] = (long)g;
            ++e;
            ++g;
        } else if (expected[e].flags & SEQ_OPTIONAL) {
            ++e;
        } else {
            why = m;
            break;
        }
    }
    if (why.empty()) {
        while (e < n_expected && (expected[e].flags & SEQ_OPTIONAL))
            ++e;
        if (e < n_expected)
            why = "expected more messages";
        else if (g < got.size())
            why = "more messages than expected";
    }
    if (why.empty()) {
        if (listing)
            listing->clear();
        return true;
    }
    if (!listing)
        return false;

    /* The listing: every expected entry beside what it met, then the
     * whole record, with the place they part marked. */
    std::string &out = *listing;
    out = std::string(context ? context : "") + ": message sequence differs at expected " +
          std::to_string(e) + " / got " + std::to_string(g) + ": " + why + "\n";
    out += "  expected:\n";
    for (size_t i = 0; i < n_expected; ++i) {
        out += (i == e ? "  > " : "    ") + pad(std::to_string(i), 3);
        if (met[i] >= 0)
            out += pad(expected_text(expected[i]), 48) + " = got " + std::to_string(met[i]);
        else
            out += expected_text(expected[i]);
        out += "\n";
    }
    if (e == n_expected)
        out += "  >    (end)\n";
    out += "  got:\n";
    for (size_t i = 0; i < got.size(); ++i)
        out += (i == g ? "  > " : "    ") + pad(std::to_string(i), 3) + record_text(got[i]) + "\n";
    if (g == got.size())
        out += "  >    (end)\n";
    return false;
}

} // namespace

std::vector<SEQ_RECORD> &SEQ_Log(void)
{
    static std::vector<SEQ_RECORD> log;
    return log;
}

void SEQ_Add(HWND hwnd, UINT msg, WPARAM wparam, LPARAM lparam, unsigned flags)
{
    std::lock_guard<std::mutex> hold(seq_lock());
    if (wanted(msg))
        SEQ_Log().push_back(SEQ_RECORD{hwnd, msg, wparam, lparam, flags});
}

void SEQ_Flush(void)
{
    std::lock_guard<std::mutex> hold(seq_lock());
    SEQ_Log().clear();
}

size_t SEQ_Count(void)
{
    std::lock_guard<std::mutex> hold(seq_lock());
    return SEQ_Log().size();
}

std::vector<SEQ_RECORD> SEQ_Recorded(void)
{
    std::lock_guard<std::mutex> hold(seq_lock());
    return SEQ_Log();
}

void SEQ_Only(const std::vector<UINT> &messages)
{
    std::lock_guard<std::mutex> hold(seq_lock());
    seq_only() = messages;
}

void SEQ_Name(UINT msg, const char *name)
{
    std::lock_guard<std::mutex> hold(seq_lock());
    if (name)
        seq_names()[msg] = name;
    else
        seq_names().erase(msg);
}

std::string SEQ_MessageName(UINT msg)
{
    {
        std::lock_guard<std::mutex> hold(seq_lock());
        auto it = seq_names().find(msg);
        if (it != seq_names().end())
            return it->second;
    }
    for (const KnownName &k : known_names)
        if (k.msg == msg)
            return k.name;
    char b[32];
    if (msg >= 0x0400 && msg < 0x8000)
        snprintf(b, sizeof b, "WM_USER+%u", msg - 0x0400u);
    else
        snprintf(b, sizeof b, "msg %#x", msg);
    return b;
}

void SEQ_Received(HWND hwnd, UINT msg, WPARAM wparam, LPARAM lparam)
{
    unsigned kind = SEQ_SENT;
    const MSG *d = dispatching;
    if (d && d->hwnd == hwnd && d->message == msg && d->wParam == wparam && d->lParam == lparam) {
        kind = SEQ_POSTED;
        dispatching = nullptr;
    }
    SEQ_Add(hwnd, msg, wparam, lparam, kind);
}

LRESULT CALLBACK SEQ_WindowProc(HWND hwnd, UINT msg, WPARAM wparam, LPARAM lparam)
{
    SEQ_Received(hwnd, msg, wparam, lparam);
    return DefWindowProcA(hwnd, msg, wparam, lparam);
}

BOOL SEQ_RegisterClass(const char *name)
{
    WNDCLASSA wc{};
    wc.lpfnWndProc = SEQ_WindowProc;
    wc.hInstance = own_instance();
    wc.lpszClassName = name;
    if (RegisterClassA(&wc))
        return TRUE;
    WNDCLASSA existing{};
    return GetClassInfoA(wc.hInstance, name, &existing);
}

HWND SEQ_CreateWindow(const char *cls, HWND owner, DWORD style)
{
    return CreateWindowExA(0, cls, "", style, 0, 0, 10, 10, owner, nullptr, own_instance(),
                           nullptr);
}

LRESULT SEQ_Dispatch(const MSG *m)
{
    const MSG *outer = dispatching;
    dispatching = m;
    LRESULT r = DispatchMessageA(m);
    dispatching = outer;
    return r;
}

int SEQ_Pump(void)
{
    MSG m;
    int n = 0;
    while (PeekMessageA(&m, nullptr, 0, 0, PM_REMOVE)) {
        SEQ_Dispatch(&m);
        ++n;
    }
    return n;
}

bool SEQ_Compare(const SEQ_MSG *expected, const char *context, std::string *listing)
{
    size_t n = 0;
    while (expected && expected[n].message != 0)
        ++n;
    return compare(expected, n, context, listing);
}

bool SEQ_Compare(const std::vector<SEQ_MSG> &expected, const char *context, std::string *listing)
{
    return compare(expected.data(), expected.size(), context, listing);
}
