/*
 * xdrcall.cpp - the call, the request and the reply.
 */
#include "protocol/wire.h"

bool_t xdr_CALLER(XDR *xdrs, CALLER *objp)
{
    return xdr_INT(xdrs, &objp->state) && xdr_int(xdrs, &objp->starttime) &&
           xdr_INT(xdrs, &objp->reserved) && xdr_INT(xdrs, &objp->seqno) &&
           xdr_INT(xdrs, &objp->udpport1) && xdr_INT(xdrs, &objp->udpport2) &&
           xdr_INT(xdrs, &objp->tcpport) && WIRE_Text(xdrs, &objp->callid) &&
           WIRE_Text(xdrs, &objp->group1) && WIRE_Text(xdrs, &objp->group2) &&
           WIRE_Text(xdrs, &objp->spare) && WIRE_Text(xdrs, &objp->subject) &&
           xdr_LPCM(xdrs, &objp->originator) && xdr_LPCM(xdrs, &objp->local) &&
           xdr_LPCML(xdrs, &objp->members);
}

bool_t xdr_LPCALLER(XDR *xdrs, LPCALLER *objp)
{
    return WIRE_Optional(xdrs, objp, xdr_CALLER);
}

bool_t xdr_CALLREQ(XDR *xdrs, CALLREQ *objp)
{
    return xdr_INT(xdrs, &objp->msg) && xdr_LPCM(xdrs, &objp->to) && xdr_LPCM(xdrs, &objp->from) &&
           xdr_LPCALLER(xdrs, &objp->caller);
}

bool_t xdr_LPCALLREQ(XDR *xdrs, LPCALLREQ *objp)
{
    return WIRE_Optional(xdrs, objp, xdr_CALLREQ);
}

bool_t xdr_CALLRPY(XDR *xdrs, CALLRPY *objp)
{
    return xdr_INT(xdrs, &objp->msg) && xdr_LPCM(xdrs, &objp->to) && xdr_LPCM(xdrs, &objp->from) &&
           WIRE_Text(xdrs, &objp->callid) && xdr_INT(xdrs, &objp->seqno);
}

bool_t xdr_LPCALLRPY(XDR *xdrs, LPCALLRPY *objp)
{
    return WIRE_Optional(xdrs, objp, xdr_CALLRPY);
}
