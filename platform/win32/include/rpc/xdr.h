/*
 * rpc/xdr.h - external data representation: streams over memory and the
 * routines that move one value through a stream.
 *
 * A stream goes one way (x_op): XDR_ENCODE writes a value's wire form,
 * XDR_DECODE reads one and allocates what the value refers to when the
 * reference is null, XDR_FREE releases what a decode allocated (free()) and
 * nulls the references.  A routine returns TRUE on success and FALSE when
 * the value does not fit, the bytes run out or a bound is passed.
 */
#ifndef PAL_RPC_XDR_H
#define PAL_RPC_XDR_H

#include <rpc/types.h>

#ifdef __cplusplus
extern "C" {
#endif

enum xdr_op { XDR_ENCODE = 0, XDR_DECODE = 1, XDR_FREE = 2 };

/* A stream over a buffer, or one that only counts (x_base null). */
typedef struct XDR {
    enum xdr_op x_op;
    char *x_base;  /* the buffer */
    u_int x_handy; /* its size */
    u_int x_pos;   /* where the next value goes or comes from */
} XDR;

/* Routines take the stream and a reference to the value; some take a
 * third argument, hence no prototype. */
typedef bool_t (*xdrproc_t)(XDR *, ...);

#define BYTES_PER_XDR_UNIT 4
#define RNDUP(x) ((((x) + BYTES_PER_XDR_UNIT - 1) / BYTES_PER_XDR_UNIT) * BYTES_PER_XDR_UNIT)
#define NULL_xdrproc_t ((xdrproc_t)0)

void xdrmem_create(XDR *xdrs, char *addr, u_int size, enum xdr_op op);
u_int xdr_getpos(XDR *xdrs);
bool_t xdr_setpos(XDR *xdrs, u_int pos);
void xdr_destroy(XDR *xdrs);
/* The bytes `proc` writes for `data`, 0 when it cannot be encoded. */
u_long xdr_sizeof(xdrproc_t proc, void *data);
/* Releases what a decode with `proc` allocated inside `objp`. */
void xdr_free(xdrproc_t proc, void *objp);

bool_t xdr_void(void);
bool_t xdr_int(XDR *xdrs, int *ip);
bool_t xdr_u_int(XDR *xdrs, u_int *up);
bool_t xdr_long(XDR *xdrs, long *lp);
bool_t xdr_u_long(XDR *xdrs, u_long *ulp);
bool_t xdr_short(XDR *xdrs, short *sp);
bool_t xdr_u_short(XDR *xdrs, u_short *usp);
bool_t xdr_int32_t(XDR *xdrs, int32_t *ip);
bool_t xdr_u_int32_t(XDR *xdrs, uint32_t *up);
bool_t xdr_enum(XDR *xdrs, enum_t *ep);
bool_t xdr_bool(XDR *xdrs, bool_t *bp);
bool_t xdr_opaque(XDR *xdrs, caddr_t cp, u_int cnt);
bool_t xdr_bytes(XDR *xdrs, char **cpp, u_int *sizep, u_int maxsize);
bool_t xdr_string(XDR *xdrs, char **cpp, u_int maxsize);
bool_t xdr_wrapstring(XDR *xdrs, char **cpp);
bool_t xdr_reference(XDR *xdrs, caddr_t *pp, u_int size, xdrproc_t proc);
bool_t xdr_pointer(XDR *xdrs, char **objpp, u_int objsize, xdrproc_t proc);

#ifdef __cplusplus
}
#endif

#endif
