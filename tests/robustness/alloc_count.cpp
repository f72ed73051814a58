#include "robustness/alloc_count.h"

#include "registry/registry.h"

#include <cmwire.h>
#include <rpc/pmap_clnt.h>
#include <rpc/rpc.h>

#include <atomic>
#include <fcntl.h>
#include <netinet/in.h>

namespace {
std::atomic<long> heap_held{0}, global_held{0}, local_held{0};
} // namespace

// The linker sends every allocator call here (--wrap); only calls that made
// or released a block move a counter (GlobalFree/LocalFree: null = freed).
#define COUNTED_ALLOCATOR(ALLOC, FREE, HANDLE, COUNTER)                                            \
    HANDLE WINAPI __real_##ALLOC(UINT flags, SIZE_T bytes);                                        \
    HANDLE WINAPI __real_##FREE(HANDLE mem);                                                       \
    HANDLE WINAPI __wrap_##ALLOC(UINT flags, SIZE_T bytes)                                         \
    {                                                                                              \
        HANDLE h = __real_##ALLOC(flags, bytes);                                                   \
        COUNTER += h != nullptr;                                                                   \
        return h;                                                                                  \
    }                                                                                              \
    HANDLE WINAPI __wrap_##FREE(HANDLE mem)                                                        \
    {                                                                                              \
        HANDLE left = __real_##FREE(mem);                                                          \
        COUNTER -= mem && !left;                                                                   \
        return left;                                                                               \
    }

extern "C" {
LPVOID WINAPI __real_HeapAlloc(HANDLE heap, DWORD flags, SIZE_T bytes);
BOOL WINAPI __real_HeapFree(HANDLE heap, DWORD flags, LPVOID mem);

LPVOID WINAPI __wrap_HeapAlloc(HANDLE heap, DWORD flags, SIZE_T bytes)
{
    LPVOID p = __real_HeapAlloc(heap, flags, bytes);
    heap_held += p != nullptr;
    return p;
}

BOOL WINAPI __wrap_HeapFree(HANDLE heap, DWORD flags, LPVOID mem)
{
    BOOL ok = __real_HeapFree(heap, flags, mem);
    heap_held -= ok && mem;
    return ok;
}

COUNTED_ALLOCATOR(GlobalAlloc, GlobalFree, HGLOBAL, global_held)
COUNTED_ALLOCATOR(LocalAlloc, LocalFree, HLOCAL, local_held)
} // extern "C"

std::ostream &operator<<(std::ostream &out, const Holdings &h)
{
    return out << "{heap " << h.heap << ", global " << h.global << ", local " << h.local
               << ", apps " << h.apps << ", sessions " << h.sessions << ", fds " << h.fds << "}";
}

Holdings holdings()
{
    Holdings h;
    h.heap = heap_held, h.global = global_held, h.local = local_held;
    for (CMAPP *app = APP_First(); app; app = app->next) {
        ++h.apps;
        for (CMSESSION *s = app->sessions; s; s = s->next)
            ++h.sessions;
    }
    for (int fd = 0; fd < 4096; ++fd)
        h.fds += fcntl(fd, F_GETFD) != -1;
    return h;
}

bool fault_taken(PAL_FAULT point, int skip)
{
    /* Pending failure: one of the next skip + 1 calls fails. */
    bool pending = false;
    for (int i = 0; i <= skip && !pending; ++i) {
        HANDLE heap = GetProcessHeap();
        void *p = point == PAL_FAULT_HEAPALLOC     ? HeapAlloc(heap, 0, 8)
                  : point == PAL_FAULT_GLOBALALLOC ? GlobalAlloc(GMEM_FIXED, 8)
                                                   : LocalAlloc(LMEM_FIXED, 8);
        pending = !p;
        if (p && point == PAL_FAULT_HEAPALLOC)
            HeapFree(heap, 0, p);
        else if (p)
            point == PAL_FAULT_GLOBALALLOC ? GlobalFree(p) : LocalFree(p);
    }
    PalFaultClear();
    return !pending;
}

bool program_registered(int protocol)
{
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    return pmap_getport(&addr, CALLPROG, CALLVERS, (u_int)protocol) != 0;
}
