/*
 * xdrscalar.cpp - the scalar and enum types of the call protocol.
 */
#include "protocol/wire.h"

/* The records hold every scalar in 32 bits, and the enum types must have the
 * runtime's enum width for its primitive to read and write them in place. */
static_assert(sizeof(INT) == 4 && sizeof(ipaddr_t) == 4);
static_assert(sizeof(CallMessage) == sizeof(enum_t));
static_assert(sizeof(CallState) == sizeof(enum_t));
static_assert(sizeof(CallMemberState) == sizeof(enum_t));

bool_t xdr_INT(XDR *xdrs, INT *objp)
{
    return xdr_int(xdrs, objp);
}

/* xdr_u_long would move a 64-bit u_long in memory here; the address field is
 * 32 bits wide. */
bool_t xdr_ipaddr_t(XDR *xdrs, ipaddr_t *objp)
{
    return xdr_u_int(xdrs, objp);
}

bool_t xdr_CallMessage(XDR *xdrs, CallMessage *objp)
{
    return xdr_enum(xdrs, reinterpret_cast<enum_t *>(objp));
}

bool_t xdr_CallState(XDR *xdrs, CallState *objp)
{
    return xdr_enum(xdrs, reinterpret_cast<enum_t *>(objp));
}

bool_t xdr_CallMemberState(XDR *xdrs, CallMemberState *objp)
{
    return xdr_enum(xdrs, reinterpret_cast<enum_t *>(objp));
}
