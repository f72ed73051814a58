/*
 * The standard names of the XDR routines, over the runtime's core.  The
 * types the standard gives each routine are 32 bits wide on Win32, as the
 * core's are.
 */
#include "msgcore.h"
#include "xdrcore.h"

#include <rpc/pmap_prot.h>

static_assert(sizeof(u_long) == 4 && sizeof(long) == 4 && sizeof(int) == 4 && sizeof(u_int) == 4,
              "the standard routines pass 32-bit quantities");

namespace onc = pal::onc;

extern "C" {

void xdrmem_create(XDR *xdrs, char *addr, u_int size, enum xdr_op op)
{
    onc::mem_create(xdrs, addr, size, op);
}

u_int xdr_getpos(XDR *xdrs)
{
    return onc::get_pos(xdrs);
}

bool_t xdr_setpos(XDR *xdrs, u_int pos)
{
    return onc::set_pos(xdrs, pos);
}

void xdr_destroy(XDR *) {}

u_long xdr_sizeof(xdrproc_t proc, void *data)
{
    return onc::size_of(proc, data);
}

void xdr_free(xdrproc_t proc, void *objp)
{
    onc::free_object(proc, objp);
}

bool_t xdr_void(void)
{
    return TRUE;
}

bool_t xdr_int(XDR *xdrs, int *ip)
{
    return onc::code_i32(xdrs, reinterpret_cast<int32_t *>(ip));
}

bool_t xdr_u_int(XDR *xdrs, u_int *up)
{
    return onc::code_u32(xdrs, reinterpret_cast<uint32_t *>(up));
}

bool_t xdr_long(XDR *xdrs, long *lp)
{
    return onc::code_i32(xdrs, reinterpret_cast<int32_t *>(lp));
}

bool_t xdr_u_long(XDR *xdrs, u_long *ulp)
{
    return onc::code_u32(xdrs, reinterpret_cast<uint32_t *>(ulp));
}

bool_t xdr_short(XDR *xdrs, short *sp)
{
    int32_t wide = xdrs->x_op == XDR_ENCODE ? *sp : 0;
    if (!onc::code_i32(xdrs, &wide) || wide < -32768 || wide > 32767)
        return FALSE;
    *sp = (short)wide;
    return TRUE;
}

bool_t xdr_u_short(XDR *xdrs, u_short *usp)
{
    uint32_t wide = xdrs->x_op == XDR_ENCODE ? *usp : 0;
    if (!onc::code_u32(xdrs, &wide) || wide > 0xFFFF)
        return FALSE;
    *usp = (u_short)wide;
    return TRUE;
}

bool_t xdr_int32_t(XDR *xdrs, int32_t *ip)
{
    return onc::code_i32(xdrs, ip);
}

bool_t xdr_u_int32_t(XDR *xdrs, uint32_t *up)
{
    return onc::code_u32(xdrs, up);
}

bool_t xdr_enum(XDR *xdrs, enum_t *ep)
{
    return onc::code_i32(xdrs, ep);
}

bool_t xdr_bool(XDR *xdrs, bool_t *bp)
{
    return onc::code_bool(xdrs, bp);
}

bool_t xdr_opaque(XDR *xdrs, caddr_t cp, u_int cnt)
{
    return onc::code_opaque(xdrs, cp, cnt);
}

bool_t xdr_bytes(XDR *xdrs, char **cpp, u_int *sizep, u_int maxsize)
{
    return onc::code_bytes(xdrs, cpp, sizep, maxsize);
}

bool_t xdr_string(XDR *xdrs, char **cpp, u_int maxsize)
{
    return onc::code_string(xdrs, cpp, maxsize);
}

bool_t xdr_wrapstring(XDR *xdrs, char **cpp)
{
    return onc::code_string(xdrs, cpp, 0xFFFFFFFFu);
}

bool_t xdr_reference(XDR *xdrs, caddr_t *pp, u_int size, xdrproc_t proc)
{
    return onc::code_reference(xdrs, pp, size, proc);
}

bool_t xdr_pointer(XDR *xdrs, char **objpp, u_int objsize, xdrproc_t proc)
{
    return onc::code_pointer(xdrs, objpp, objsize, proc);
}

bool_t xdr_opaque_auth(XDR *xdrs, struct opaque_auth *ap)
{
    return onc::code_auth(xdrs, ap);
}

bool_t xdr_callmsg(XDR *xdrs, struct rpc_msg *cmsg)
{
    return onc::code_call(xdrs, cmsg);
}

bool_t xdr_replymsg(XDR *xdrs, struct rpc_msg *rmsg)
{
    return onc::code_reply(xdrs, rmsg);
}

bool_t xdr_pmap(XDR *xdrs, struct pmap *regs)
{
    return onc::code_u32(xdrs, &regs->pm_prog) && onc::code_u32(xdrs, &regs->pm_vers) &&
           onc::code_u32(xdrs, &regs->pm_prot) && onc::code_u32(xdrs, &regs->pm_port);
}
}
