/*
 * Resources of a module, read from its compiled .res data: a sequence of
 * entries, each a header (data size, header size, type, name, then version
 * and flag words) followed by the data, every piece aligned to 4 bytes.
 * Types and names are either ordinals (0xFFFF and a 16-bit number) or
 * UTF-16 strings, which match names case-insensitively.
 *
 * An HRSRC is the address of the entry's data size word inside the module's
 * resource data; LoadResource and LockResource give the data itself, which
 * lives as long as the module description.
 */
#include <winbase.h>

#include "kernel/module.h"

#include <cctype>
#include <cstring>

namespace {

struct ResId {
    bool is_ordinal;
    WORD ordinal;
    const BYTE *text; /* UTF-16LE, zero-terminated */
};

WORD rd16(const BYTE *p)
{
    return (WORD)(p[0] | (p[1] << 8));
}
DWORD rd32(const BYTE *p)
{
    return (DWORD)(p[0] | (p[1] << 8) | (p[2] << 16) | ((DWORD)p[3] << 24));
}

/* Reads a type or name field; returns the bytes it takes or 0 when it runs
 * past the header. */
size_t read_id(const BYTE *p, size_t avail, ResId *id)
{
    if (avail < 2)
        return 0;
    if (rd16(p) == 0xFFFF) {
        if (avail < 4)
            return 0;
        *id = ResId{true, rd16(p + 2), nullptr};
        return 4;
    }
    for (size_t n = 0; n + 2 <= avail; n += 2)
        if (rd16(p + n) == 0) {
            *id = ResId{false, 0, p};
            return n + 2;
        }
    return 0;
}

bool id_matches(const ResId &id, LPCSTR want)
{
    if (IS_INTRESOURCE(want))
        return id.is_ordinal && id.ordinal == LOWORD(want);
    if (id.is_ordinal)
        return false;
    if (want[0] == '#')
        return false;
    const BYTE *p = id.text;
    for (const char *w = want;; ++w, p += 2) {
        WORD c = rd16(p);
        if (c > 0x7F)
            return false;
        if (std::toupper((unsigned char)c) != std::toupper((unsigned char)*w))
            return false;
        if (c == 0)
            return true;
    }
}

} // namespace

extern "C" {

HRSRC WINAPI FindResourceA(HMODULE module, LPCSTR name, LPCSTR type)
{
    const PAL_MODULEDESC *desc = pal::module_desc(module);
    if (!desc || !name || !type) {
        SetLastError(desc ? ERROR_INVALID_PARAMETER : ERROR_INVALID_HANDLE);
        return nullptr;
    }
    const BYTE *base = (const BYTE *)desc->resources;
    size_t size = desc->resources ? desc->resource_size : 0;
    bool type_seen = false;
    size_t off = 0;
    while (off + 8 <= size) {
        const BYTE *e = base + off;
        DWORD data_size = rd32(e);
        DWORD header_size = rd32(e + 4);
        if (header_size < 8 || header_size > size - off || data_size > size - off - header_size)
            break;
        ResId t{}, n{};
        size_t tl = read_id(e + 8, header_size - 8, &t);
        size_t nl = tl ? read_id(e + 8 + tl, header_size - 8 - tl, &n) : 0;
        if (tl && nl && id_matches(t, type)) {
            type_seen = true;
            if (id_matches(n, name))
                return (HRSRC)e;
        }
        off += ((size_t)header_size + data_size + 3) & ~(size_t)3;
    }
    SetLastError(type_seen ? ERROR_RESOURCE_NAME_NOT_FOUND : ERROR_RESOURCE_TYPE_NOT_FOUND);
    return nullptr;
}

HGLOBAL WINAPI LoadResource(HMODULE module, HRSRC res)
{
    if (!res || !pal::module_desc(module)) {
        SetLastError(ERROR_INVALID_HANDLE);
        return nullptr;
    }
    const BYTE *e = (const BYTE *)res;
    return (HGLOBAL)(e + rd32(e + 4));
}

LPVOID WINAPI LockResource(HGLOBAL data)
{
    return data;
}

DWORD WINAPI SizeofResource(HMODULE module, HRSRC res)
{
    if (!res || !pal::module_desc(module)) {
        SetLastError(ERROR_INVALID_HANDLE);
        return 0;
    }
    return rd32((const BYTE *)res);
}

} // extern "C"
