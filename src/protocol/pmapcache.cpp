/*
 * The port-mapper cache (see exchange.h for when entries are dropped).
 */
#include "protocol/exchange.h"

namespace {

struct PMAP_ENTRY {
    DWORD addr;
    WORD port;  /* 0: the slot is free */
    DWORD used; /* use stamp, for the least recently used */
};

PMAP_ENTRY pmap_cache[PMAP_CACHE_SIZE];
DWORD pmap_clock = 0;

PMAP_ENTRY *pmap_find(DWORD addr)
{
    for (PMAP_ENTRY &e : pmap_cache)
        if (e.port != 0 && e.addr == addr)
            return &e;
    return nullptr;
}

} // namespace

extern "C" WORD PMAP_CacheFind(DWORD addr)
{
    PMAP_ENTRY *e = pmap_find(addr);
    if (!e)
        return 0;
    e->used = ++pmap_clock;
    return e->port;
}

extern "C" void PMAP_CacheStore(DWORD addr, WORD port)
{
    if (port == 0) {
        PMAP_CacheDrop(addr);
        return;
    }
    PMAP_ENTRY *e = pmap_find(addr);
    if (!e) {
        e = &pmap_cache[0];
        for (PMAP_ENTRY &candidate : pmap_cache) {
            if (candidate.port == 0) {
                e = &candidate;
                break;
            }
            /* Stamps wrap; the distance from now is what orders them. */
            if (pmap_clock - candidate.used > pmap_clock - e->used)
                e = &candidate;
        }
    }
    e->addr = addr;
    e->port = port;
    e->used = ++pmap_clock;
}

extern "C" void PMAP_CacheDrop(DWORD addr)
{
    if (PMAP_ENTRY *e = pmap_find(addr))
        *e = PMAP_ENTRY{};
}

extern "C" void PMAP_CacheClear(void)
{
    for (PMAP_ENTRY &e : pmap_cache)
        e = PMAP_ENTRY{};
}
