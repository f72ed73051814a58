/*
 * Global, local and heap memory.
 *
 * Fixed blocks are named by their address.  Movable blocks are named by a
 * handle from a table; the handle is a small number that is never a valid
 * address, GlobalLock turns it into the block's address and counts locks.
 * Global and local memory are the same kind of object, as on Win32.
 */
#include <winbase.h>

#include "kernel/fault.h"

#include <cstdlib>
#include <cstring>
#include <map>
#include <mutex>

namespace {

struct Block {
    void *data = nullptr;
    SIZE_T size = 0;
    UINT flags = 0;
    unsigned locks = 0;
};

std::mutex mem_mutex;
std::map<uintptr_t, Block> movable; /* by handle */
std::map<void *, Block> fixed;      /* by address */
uintptr_t next_handle = 0x10000;

constexpr uintptr_t HANDLE_STEP = 8;
constexpr uintptr_t HANDLE_TAG = 4; /* never 8-aligned, so never a block address */

HGLOBAL mem_alloc(UINT flags, SIZE_T bytes, PAL_FAULT point)
{
    int err = ERROR_NOT_ENOUGH_MEMORY;
    if (pal::fault_hit(point, &err)) {
        SetLastError((DWORD)err);
        return nullptr;
    }
    void *data = nullptr;
    if (bytes > 0 || !(flags & GMEM_MOVEABLE)) {
        /* A zero-sized fixed block still has an address. */
        data = (flags & GMEM_ZEROINIT) ? std::calloc(1, bytes ? bytes : 1)
                                       : std::malloc(bytes ? bytes : 1);
        if (!data) {
            SetLastError(ERROR_NOT_ENOUGH_MEMORY);
            return nullptr;
        }
    }
    std::lock_guard<std::mutex> lock(mem_mutex);
    Block b{data, bytes, flags & ~GMEM_ZEROINIT, 0};
    if (!(flags & GMEM_MOVEABLE)) {
        fixed[data] = b;
        return data;
    }
    uintptr_t h = next_handle + HANDLE_TAG;
    next_handle += HANDLE_STEP;
    movable[h] = b;
    return (HGLOBAL)h;
}

/* Finds the block named by a handle or a fixed address; null when none. */
Block *mem_find(HGLOBAL mem, bool *is_movable)
{
    auto m = movable.find((uintptr_t)mem);
    if (m != movable.end()) {
        *is_movable = true;
        return &m->second;
    }
    auto f = fixed.find(mem);
    if (f != fixed.end()) {
        *is_movable = false;
        return &f->second;
    }
    return nullptr;
}

HGLOBAL mem_free(HGLOBAL mem)
{
    if (!mem)
        return nullptr;
    std::lock_guard<std::mutex> lock(mem_mutex);
    bool mov = false;
    Block *b = mem_find(mem, &mov);
    if (!b) {
        SetLastError(ERROR_INVALID_HANDLE);
        return mem;
    }
    std::free(b->data);
    if (mov)
        movable.erase((uintptr_t)mem);
    else
        fixed.erase(mem);
    return nullptr;
}

SIZE_T mem_size(HGLOBAL mem)
{
    std::lock_guard<std::mutex> lock(mem_mutex);
    bool mov = false;
    Block *b = mem_find(mem, &mov);
    if (!b) {
        SetLastError(ERROR_INVALID_HANDLE);
        return 0;
    }
    return b->size;
}

} // namespace

extern "C" {

HGLOBAL WINAPI GlobalAlloc(UINT flags, SIZE_T bytes)
{
    return mem_alloc(flags, bytes, PAL_FAULT_GLOBALALLOC);
}

LPVOID WINAPI GlobalLock(HGLOBAL mem)
{
    std::lock_guard<std::mutex> lock(mem_mutex);
    bool mov = false;
    Block *b = mem_find(mem, &mov);
    if (!b) {
        SetLastError(ERROR_INVALID_HANDLE);
        return nullptr;
    }
    if (mov && b->data && b->locks < GMEM_LOCKCOUNT)
        ++b->locks;
    return b->data;
}

BOOL WINAPI GlobalUnlock(HGLOBAL mem)
{
    std::lock_guard<std::mutex> lock(mem_mutex);
    bool mov = false;
    Block *b = mem_find(mem, &mov);
    if (!b) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    if (!mov)
        return TRUE;
    if (b->locks == 0) {
        SetLastError(ERROR_NOT_LOCKED);
        return FALSE;
    }
    if (--b->locks > 0)
        return TRUE;
    SetLastError(NO_ERROR);
    return FALSE;
}

HGLOBAL WINAPI GlobalFree(HGLOBAL mem)
{
    return mem_free(mem);
}

SIZE_T WINAPI GlobalSize(HGLOBAL mem)
{
    return mem_size(mem);
}

UINT WINAPI GlobalFlags(HGLOBAL mem)
{
    std::lock_guard<std::mutex> lock(mem_mutex);
    bool mov = false;
    Block *b = mem_find(mem, &mov);
    if (!b) {
        SetLastError(ERROR_INVALID_HANDLE);
        return GMEM_INVALID_HANDLE;
    }
    return b->locks | (b->flags & GMEM_SHARE);
}

HGLOBAL WINAPI GlobalHandle(LPCVOID ptr)
{
    std::lock_guard<std::mutex> lock(mem_mutex);
    if (!ptr)
        return nullptr;
    if (fixed.count(const_cast<void *>(ptr)))
        return const_cast<void *>(ptr);
    for (auto &[h, b] : movable)
        if (b.data == ptr)
            return (HGLOBAL)h;
    SetLastError(ERROR_INVALID_HANDLE);
    return nullptr;
}

HLOCAL WINAPI LocalAlloc(UINT flags, SIZE_T bytes)
{
    return mem_alloc(flags, bytes, PAL_FAULT_LOCALALLOC);
}

HLOCAL WINAPI LocalFree(HLOCAL mem)
{
    return mem_free(mem);
}

SIZE_T WINAPI LocalSize(HLOCAL mem)
{
    return mem_size(mem);
}

HANDLE WINAPI GetProcessHeap(void)
{
    static int process_heap;
    return &process_heap;
}

LPVOID WINAPI HeapAlloc(HANDLE heap, DWORD flags, SIZE_T bytes)
{
    int err = ERROR_NOT_ENOUGH_MEMORY;
    if (heap != GetProcessHeap()) {
        SetLastError(ERROR_INVALID_HANDLE);
        return nullptr;
    }
    if (pal::fault_hit(PAL_FAULT_HEAPALLOC, &err)) {
        SetLastError((DWORD)err);
        return nullptr;
    }
    void *p = (flags & HEAP_ZERO_MEMORY) ? std::calloc(1, bytes ? bytes : 1)
                                         : std::malloc(bytes ? bytes : 1);
    if (!p)
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return p;
}

BOOL WINAPI HeapFree(HANDLE heap, DWORD, LPVOID mem)
{
    if (heap != GetProcessHeap()) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    std::free(mem);
    return TRUE;
}

} // extern "C"
