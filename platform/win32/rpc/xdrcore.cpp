/*
 * XDR over memory: big-endian 32-bit units, byte runs padded with zeros to
 * a unit.  A stream without a buffer only counts what would be written.
 */
#include "xdrcore.h"

#include <stdlib.h>
#include <string.h>

namespace pal {
namespace onc {

namespace {

/* The counting stream's room: every position a u_int can name. */
const u_int COUNT_ROOM = 0xFFFFFFFFu;

u_int room_left(const XDR *xdrs)
{
    return xdrs->x_handy - xdrs->x_pos;
}

bool put_bytes(XDR *xdrs, const char *bytes, u_int count)
{
    if (count > room_left(xdrs))
        return false;
    if (xdrs->x_base && count != 0)
        memcpy(xdrs->x_base + xdrs->x_pos, bytes, count);
    xdrs->x_pos += count;
    return true;
}

bool get_bytes(XDR *xdrs, char *bytes, u_int count)
{
    if (count > room_left(xdrs) || !xdrs->x_base)
        return false;
    if (count != 0)
        memcpy(bytes, xdrs->x_base + xdrs->x_pos, count);
    xdrs->x_pos += count;
    return true;
}

u_int padding(u_int count)
{
    return (BYTES_PER_XDR_UNIT - count % BYTES_PER_XDR_UNIT) % BYTES_PER_XDR_UNIT;
}

/* The bytes of a run of `count` bytes with its padding, when the stream
 * still holds them. */
bool holds_run(const XDR *xdrs, u_int count)
{
    u_int left = room_left(xdrs);
    return count <= left && padding(count) <= left - count;
}

} // namespace

void mem_create(XDR *xdrs, char *base, u_int size, enum xdr_op op)
{
    xdrs->x_op = op;
    xdrs->x_base = base;
    xdrs->x_handy = base ? size : COUNT_ROOM;
    xdrs->x_pos = 0;
}

u_int get_pos(const XDR *xdrs)
{
    return xdrs->x_pos;
}

bool set_pos(XDR *xdrs, u_int pos)
{
    if (pos > xdrs->x_handy)
        return false;
    xdrs->x_pos = pos;
    return true;
}

bool code_u32(XDR *xdrs, uint32_t *value)
{
    unsigned char unit[4];
    switch (xdrs->x_op) {
    case XDR_ENCODE:
        unit[0] = (unsigned char)(*value >> 24);
        unit[1] = (unsigned char)(*value >> 16);
        unit[2] = (unsigned char)(*value >> 8);
        unit[3] = (unsigned char)*value;
        return put_bytes(xdrs, (const char *)unit, sizeof unit);
    case XDR_DECODE:
        if (!get_bytes(xdrs, (char *)unit, sizeof unit))
            return false;
        *value = ((uint32_t)unit[0] << 24) | ((uint32_t)unit[1] << 16) | ((uint32_t)unit[2] << 8) |
                 (uint32_t)unit[3];
        return true;
    case XDR_FREE:
        return true;
    }
    return false;
}

bool code_i32(XDR *xdrs, int32_t *value)
{
    uint32_t bits = xdrs->x_op == XDR_ENCODE ? (uint32_t)*value : 0;
    if (!code_u32(xdrs, &bits))
        return false;
    *value = (int32_t)bits;
    return true;
}

bool code_bool(XDR *xdrs, bool_t *value)
{
    uint32_t bits = xdrs->x_op == XDR_ENCODE && *value ? 1u : 0u;
    if (!code_u32(xdrs, &bits))
        return false;
    if (xdrs->x_op == XDR_DECODE)
        *value = bits != 0;
    return true;
}

bool code_opaque(XDR *xdrs, char *bytes, u_int count)
{
    static const char zeros[BYTES_PER_XDR_UNIT] = {};
    char pad[BYTES_PER_XDR_UNIT];
    switch (xdrs->x_op) {
    case XDR_ENCODE:
        return holds_run(xdrs, count) && put_bytes(xdrs, bytes, count) &&
               put_bytes(xdrs, zeros, padding(count));
    case XDR_DECODE:
        return holds_run(xdrs, count) && get_bytes(xdrs, bytes, count) &&
               get_bytes(xdrs, pad, padding(count));
    case XDR_FREE:
        return true;
    }
    return false;
}

bool code_bytes(XDR *xdrs, char **bytes, u_int *count, u_int limit)
{
    if (xdrs->x_op == XDR_FREE) {
        free(*bytes);
        *bytes = nullptr;
        return true;
    }
    uint32_t length = xdrs->x_op == XDR_ENCODE ? *count : 0;
    if (xdrs->x_op == XDR_ENCODE && (length > limit || (length != 0 && !*bytes)))
        return false;
    if (!code_u32(xdrs, &length))
        return false;
    if (length > limit)
        return false;
    *count = length;
    if (xdrs->x_op == XDR_DECODE) {
        if (!holds_run(xdrs, length))
            return false;
        if (length == 0)
            return true;
        if (!*bytes) {
            *bytes = (char *)malloc(length);
            if (!*bytes)
                return false;
        }
    }
    return code_opaque(xdrs, *bytes, length);
}

bool code_string(XDR *xdrs, char **text, u_int limit)
{
    if (xdrs->x_op == XDR_FREE) {
        free(*text);
        *text = nullptr;
        return true;
    }
    uint32_t length = 0;
    if (xdrs->x_op == XDR_ENCODE) {
        if (!*text)
            return false;
        size_t have = strlen(*text);
        if (have > limit)
            return false;
        length = (uint32_t)have;
    }
    if (!code_u32(xdrs, &length))
        return false;
    if (xdrs->x_op == XDR_ENCODE)
        return code_opaque(xdrs, *text, length);
    if (length > limit || length == 0xFFFFFFFFu || !holds_run(xdrs, length))
        return false;
    bool allocated = !*text;
    if (allocated) {
        *text = (char *)malloc(length + 1);
        if (!*text)
            return false;
    }
    (*text)[length] = '\0';
    if (code_opaque(xdrs, *text, length))
        return true;
    if (allocated) {
        free(*text);
        *text = nullptr;
    }
    return false;
}

bool code_reference(XDR *xdrs, char **object, u_int size, xdrproc_t proc)
{
    switch (xdrs->x_op) {
    case XDR_ENCODE:
        return *object && run_proc(proc, xdrs, *object);
    case XDR_DECODE:
        if (!*object) {
            *object = (char *)calloc(1, size ? size : 1);
            if (!*object)
                return false;
        }
        return run_proc(proc, xdrs, *object);
    case XDR_FREE: {
        if (!*object)
            return true;
        bool ok = run_proc(proc, xdrs, *object);
        free(*object);
        *object = nullptr;
        return ok;
    }
    }
    return false;
}

bool code_pointer(XDR *xdrs, char **object, u_int size, xdrproc_t proc)
{
    bool_t present = *object != nullptr;
    if (!code_bool(xdrs, &present))
        return false;
    if (!present) {
        if (xdrs->x_op == XDR_DECODE)
            *object = nullptr;
        return true;
    }
    return code_reference(xdrs, object, size, proc);
}

void free_object(xdrproc_t proc, void *object)
{
    XDR xdrs;
    mem_create(&xdrs, nullptr, 0, XDR_FREE);
    run_proc(proc, &xdrs, object);
}

uint32_t size_of(xdrproc_t proc, void *object)
{
    XDR xdrs;
    mem_create(&xdrs, nullptr, 0, XDR_ENCODE);
    return run_proc(proc, &xdrs, object) ? get_pos(&xdrs) : 0;
}

} // namespace onc
} // namespace pal
