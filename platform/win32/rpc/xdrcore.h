/*
 * The portable core of the Windows RPC runtime: XDR streams over memory,
 * the counting stream, and the routines for each kind of value.
 *
 * The names here are the runtime's own, so that the core also builds and is
 * tested where the system has an RPC library of its own; the standard names
 * (xdrnames.cpp) are thin wrappers built on Windows only.
 */
#ifndef PAL_WIN32_RPC_XDRCORE_H
#define PAL_WIN32_RPC_XDRCORE_H

#include <rpc/xdr.h>

namespace pal {
namespace onc {

/* A routine of one value, as every xdrproc_t is called. */
typedef bool_t (*ValueProc)(XDR *, void *);

/* Routines are written for their own value type and called through the
 * generic one, as the interface has always done; the calling convention
 * passes a pointer alike whatever it points to. */
#ifdef __clang__
__attribute__((no_sanitize("function")))
#endif
inline bool
run_proc(xdrproc_t proc, XDR *xdrs, void *value)
{
    return reinterpret_cast<ValueProc>(reinterpret_cast<void (*)(void)>(proc))(xdrs, value) != 0;
}

void mem_create(XDR *xdrs, char *base, u_int size, enum xdr_op op);
u_int get_pos(const XDR *xdrs);
bool set_pos(XDR *xdrs, u_int pos);

bool code_u32(XDR *xdrs, uint32_t *value);
bool code_i32(XDR *xdrs, int32_t *value);
/* Decoding accepts any nonzero number as TRUE. */
bool code_bool(XDR *xdrs, bool_t *value);
/* `count` bytes and the zeros that pad them to a multiple of four. */
bool code_opaque(XDR *xdrs, char *bytes, u_int count);
/* A counted byte array of at most `limit` bytes; decoding allocates it when
 * *bytes is null, and only once the stream is seen to hold it all. */
bool code_bytes(XDR *xdrs, char **bytes, u_int *count, u_int limit);
/* A zero-terminated text of at most `limit` bytes; decoding allocates it
 * when *text is null (length + 1 bytes). */
bool code_string(XDR *xdrs, char **text, u_int limit);
/* The object *object refers to (`size` bytes, allocated zeroed by decoding
 * when absent); XDR_FREE frees it and nulls the reference. */
bool code_reference(XDR *xdrs, char **object, u_int size, xdrproc_t proc);
/* As code_reference, preceded by a flag saying whether it is present. */
bool code_pointer(XDR *xdrs, char **object, u_int size, xdrproc_t proc);

/* Runs `proc` on `object` in the XDR_FREE direction. */
void free_object(xdrproc_t proc, void *object);
/* The bytes `proc` writes for `object`; 0 when it cannot be encoded. */
uint32_t size_of(xdrproc_t proc, void *object);

} // namespace onc
} // namespace pal

#endif
