#include "robustness/alloc_count.h"

#include "registry/registry.h"

#include <cmwire.h>
#include <rpc/pmap_clnt.h>
#include <rpc/rpc.h>

#include <atomic>
#include <dirent.h>
#include <netinet/in.h>
#include <string.h>
#include <vector>

namespace {

std::atomic<long> heap_held{0};
std::atomic<long> global_held{0};
std::atomic<long> local_held{0};

} // namespace

// The linker sends every call of the allocators here (--wrap); only calls that
// made or released a block move a counter.
extern "C" {
LPVOID WINAPI __real_HeapAlloc(HANDLE heap, DWORD flags, SIZE_T bytes);
BOOL WINAPI __real_HeapFree(HANDLE heap, DWORD flags, LPVOID mem);
HGLOBAL WINAPI __real_GlobalAlloc(UINT flags, SIZE_T bytes);
HGLOBAL WINAPI __real_GlobalFree(HGLOBAL mem);
HLOCAL WINAPI __real_LocalAlloc(UINT flags, SIZE_T bytes);
HLOCAL WINAPI __real_LocalFree(HLOCAL mem);

LPVOID WINAPI __wrap_HeapAlloc(HANDLE heap, DWORD flags, SIZE_T bytes)
{
    LPVOID p = __real_HeapAlloc(heap, flags, bytes);
    if (p)
        ++heap_held;
    return p;
}

BOOL WINAPI __wrap_HeapFree(HANDLE heap, DWORD flags, LPVOID mem)
{
    BOOL ok = __real_HeapFree(heap, flags, mem);
    if (ok && mem)
        --heap_held;
    return ok;
}

HGLOBAL WINAPI __wrap_GlobalAlloc(UINT flags, SIZE_T bytes)
{
    HGLOBAL h = __real_GlobalAlloc(flags, bytes);
    if (h)
        ++global_held;
    return h;
}

HGLOBAL WINAPI __wrap_GlobalFree(HGLOBAL mem)
{
    HGLOBAL left = __real_GlobalFree(mem);
    if (mem && !left)
        --global_held;
    return left;
}

HLOCAL WINAPI __wrap_LocalAlloc(UINT flags, SIZE_T bytes)
{
    HLOCAL h = __real_LocalAlloc(flags, bytes);
    if (h)
        ++local_held;
    return h;
}

HLOCAL WINAPI __wrap_LocalFree(HLOCAL mem)
{
    HLOCAL left = __real_LocalFree(mem);
    if (mem && !left)
        --local_held;
    return left;
}
} // extern "C"

std::ostream &operator<<(std::ostream &out, const Holdings &h)
{
    return out << "{heap " << h.heap << ", global " << h.global << ", local " << h.local
               << ", apps " << h.apps << ", sessions " << h.sessions << ", fds " << h.fds << "}";
}

long blocks_outstanding()
{
    return heap_held + global_held + local_held;
}

Holdings holdings()
{
    Holdings h;
    h.heap = heap_held;
    h.global = global_held;
    h.local = local_held;
    for (CMAPP *app = APP_First(); app; app = app->next) {
        ++h.apps;
        for (CMSESSION *s = app->sessions; s; s = s->next)
            ++h.sessions;
    }
    if (DIR *dir = opendir("/proc/self/fd")) {
        while (struct dirent *e = readdir(dir))
            if (e->d_name[0] != '.')
                ++h.fds;
        closedir(dir);
        --h.fds; // the directory's own
    }
    return h;
}

bool fault_taken(PAL_FAULT point, int skip)
{
    /* Pending failure: one of the next skip + 1 calls fails. */
    bool pending = false;
    std::vector<void *> made;
    for (int i = 0; i <= skip && !pending; ++i) {
        void *p = nullptr;
        switch (point) {
        case PAL_FAULT_HEAPALLOC:
            p = HeapAlloc(GetProcessHeap(), 0, 8);
            break;
        case PAL_FAULT_GLOBALALLOC:
            p = GlobalAlloc(GMEM_FIXED, 8);
            break;
        case PAL_FAULT_LOCALALLOC:
            p = LocalAlloc(LMEM_FIXED, 8);
            break;
        default:
            break;
        }
        if (p)
            made.push_back(p);
        else
            pending = true;
    }
    PalFaultClear();
    for (void *p : made) {
        if (point == PAL_FAULT_HEAPALLOC)
            HeapFree(GetProcessHeap(), 0, p);
        else if (point == PAL_FAULT_GLOBALALLOC)
            GlobalFree(p);
        else
            LocalFree(p);
    }
    return !pending;
}

bool program_registered(int protocol)
{
    struct sockaddr_in addr;
    memset(&addr, 0, sizeof addr);
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    return pmap_getport(&addr, CALLPROG, CALLVERS, (u_int)protocol) != 0;
}
