#include "support/msgseq.h"

#include <algorithm>
#include <cstdio>
#include <mutex>

namespace {

/* One lock for every thread of the test keeps the arrival order. */
std::mutex seq_lock;
std::vector<UINT> seq_only;

/* The queued message SEQ_Dispatch is handing over on this thread: the
 * first arrival that is that very message is the posted one, anything it
 * sends on the way is not. */
thread_local const MSG *dispatching = nullptr;

/* The program's own instance, asked without disturbing the last-error
 * value a test may be about to look at. */
HINSTANCE own_instance()
{
    DWORD saved = GetLastError();
    HINSTANCE i = GetModuleHandleA(nullptr);
    SetLastError(saved);
    return i;
}

std::string hex(unsigned long long v)
{
    char b[24];
    snprintf(b, sizeof b, "%#llx", v);
    return b;
}

/* Why `r` does not meet `e`, or empty when it does. */
const char *mismatch(const SEQ_MSG &e, const SEQ_RECORD &r)
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

/* The listing's line for record `i`, marked with ">" where the sequences differ. */
std::string row(size_t i, size_t at, const SEQ_RECORD &r)
{
    return (i == at ? "  > " : "    ") + std::to_string(i) + "  msg " + hex(r.msg) +
           (r.flags & SEQ_POSTED ? " posted" : " sent") + " w=" + hex(r.wparam) +
           " l=" + hex((ULONG_PTR)r.lparam) + " hwnd=" + hex((ULONG_PTR)r.hwnd) + "\n";
}

bool compare(const SEQ_MSG *expected, size_t n_expected, const char *context, std::string *listing)
{
    std::vector<SEQ_RECORD> got;
    {
        std::lock_guard<std::mutex> hold(seq_lock);
        got.swap(SEQ_Log());
    }
    size_t e = 0, g = 0;
    std::string why;
    for (; e < n_expected && g < got.size() && why.empty(); ++e) {
        const char *m = mismatch(expected[e], got[g]);
        if (!*m)
            ++g;
        else if (!(expected[e].flags & SEQ_OPTIONAL))
            why = m, --e;
    }
    while (why.empty() && e < n_expected && (expected[e].flags & SEQ_OPTIONAL))
        ++e;
    if (why.empty() && e < n_expected)
        why = "expected more messages";
    else if (why.empty() && g < got.size())
        why = "more messages than expected";
    if (listing)
        listing->clear();
    if (why.empty() || !listing)
        return why.empty();

    std::string &out = *listing;
    out = std::string(context ? context : "") + ": message sequence differs at table entry " +
          std::to_string(e) + " / got " + std::to_string(g) + ": " + why + "\n  got:\n";
    for (size_t i = 0; i < got.size(); ++i)
        out += row(i, g, got[i]);
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
    std::lock_guard<std::mutex> hold(seq_lock);
    if (seq_only.empty() || std::find(seq_only.begin(), seq_only.end(), msg) != seq_only.end())
        SEQ_Log().push_back(SEQ_RECORD{hwnd, msg, wparam, lparam, flags});
}

void SEQ_Flush(void)
{
    std::lock_guard<std::mutex> hold(seq_lock);
    SEQ_Log().clear();
}

size_t SEQ_Count(void)
{
    std::lock_guard<std::mutex> hold(seq_lock);
    return SEQ_Log().size();
}

std::vector<SEQ_RECORD> SEQ_Recorded(void)
{
    std::lock_guard<std::mutex> hold(seq_lock);
    return SEQ_Log();
}

void SEQ_Only(const std::vector<UINT> &messages)
{
    std::lock_guard<std::mutex> hold(seq_lock);
    seq_only = messages;
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
    WNDCLASSA existing{};
    return RegisterClassA(&wc) || GetClassInfoA(wc.hInstance, name, &existing);
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
    for (; PeekMessageA(&m, nullptr, 0, 0, PM_REMOVE); ++n)
        SEQ_Dispatch(&m);
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
