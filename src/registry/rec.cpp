/*
 * The typed record allocator.  Every record of the library is one heap block:
 * a tag (0xBAAB and the type in bits 24..31), the block's total size, the
 * body, and a zero trailer.  The zero fill makes every field of a fresh
 * record 0 or null and terminates text copies; the wipe on release leaves
 * nothing of a record behind in freed memory.
 */
#include "registry/registry.h"

#include <string.h>

namespace {

const size_t REC_HEADER = 8;
const size_t REC_TRAILER = 4;

size_t rec_size(int type)
{
    switch (type) {
    case REC_APP:
        return sizeof(CMAPP);
    case REC_SESSION:
        return sizeof(CMSESSION);
    case REC_CALLCTX:
        return sizeof(CALLCTX);
    case REC_CALLER:
        return sizeof(CALLER);
    case REC_CALLKEY:
        return sizeof(CALLKEY);
    case REC_CML:
        return sizeof(CML);
    case REC_CM:
        return sizeof(CM);
    case REC_TEXT:
        return 1;
    default:
        return 0;
    }
}

} // namespace

extern "C" void *REC_Alloc(int type, size_t extra)
{
    size_t body = rec_size(type);
    if (extra > (size_t)0xFFFFFFFF - REC_HEADER - REC_TRAILER - body)
        return nullptr; /* the total must fit its 32-bit word */
    size_t total = REC_HEADER + body + extra + REC_TRAILER;
    BYTE *block = (BYTE *)HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, total);
    if (!block)
        return nullptr;
    DWORD tag = (type >= REC_APP && type <= REC_TEXT) ? (REC_MAGIC | ((DWORD)type << 24)) : 0;
    DWORD size = (DWORD)total;
    memcpy(block, &tag, sizeof tag);
    memcpy(block + 4, &size, sizeof size);
    return block + REC_HEADER;
}

extern "C" int REC_Free(void *body)
{
    if (!body)
        return 1;
    BYTE *block = (BYTE *)body - REC_HEADER;
    DWORD total;
    memcpy(&total, block + 4, sizeof total);
    memset(block, 0, total);
    HeapFree(GetProcessHeap(), 0, block);
    return 1;
}

extern "C" size_t REC_CopyInto(char *field, size_t size, const char *text)
{
    size_t len = strlen(text);
    if (size == 0)
        return len;
    size_t n = len < size ? len : size - 1;
    memcpy(field, text, n);
    field[n] = '\0';
    return len;
}

extern "C" char *REC_PutDecimal(char *at, DWORD value)
{
    char digits[REC_DECIMAL_MAX];
    size_t n = 0;
    do {
        digits[n++] = (char)('0' + value % 10);
        value /= 10;
    } while (value != 0);
    while (n > 0)
        *at++ = digits[--n];
    return at;
}

extern "C" char *REC_CopyText(const char *text)
{
    if (!text)
        return nullptr;
    size_t len = strlen(text);
    char *copy = (char *)REC_Alloc(REC_TEXT, len);
    if (copy)
        memcpy(copy, text, len);
    return copy;
}
