/*
 * xdrcapinfo.cpp - the capability message and its answer.
 */
#include "protocol/wire.h"

bool_t xdr_CAPINFO(XDR *xdrs, CAPINFO *objp)
{
    return xdr_INT(xdrs, &objp->value1) && xdr_INT(xdrs, &objp->value2) &&
           xdr_INT(xdrs, &objp->value3) && xdr_INT(xdrs, &objp->value4) &&
           xdr_INT(xdrs, &objp->value5);
}

bool_t xdr_LPCAPINFO(XDR *xdrs, LPCAPINFO *objp)
{
    return WIRE_Optional(xdrs, objp, xdr_CAPINFO);
}

/* The CAPINFO is held inline: its integers follow the text directly. */
bool_t xdr_CAPINFOMESSAGE(XDR *xdrs, CAPINFOMESSAGE *objp)
{
    return WIRE_Text(xdrs, &objp->text) && xdr_CAPINFO(xdrs, &objp->capinfo);
}

bool_t xdr_LPCAPINFOMESSAGE(XDR *xdrs, LPCAPINFOMESSAGE *objp)
{
    return WIRE_Optional(xdrs, objp, xdr_CAPINFOMESSAGE);
}
