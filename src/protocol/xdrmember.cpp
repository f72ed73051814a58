/*
 * xdrmember.cpp - a call member and the member list.
 *
 * The list's wire form is a chain of optional-data items, one per node.  It
 * is walked in a loop rather than by nesting one routine call per node, so a
 * long list received from the network cannot exhaust the stack, and it is
 * bounded at WIRE_MAXMEMBERS nodes so that one message cannot make us
 * allocate without limit.
 */
#include "protocol/wire.h"

bool_t xdr_CM(XDR *xdrs, CM *objp)
{
    return xdr_INT(xdrs, &objp->state) && xdr_ipaddr_t(xdrs, &objp->ipaddr) &&
           WIRE_Text(xdrs, &objp->host) && WIRE_Text(xdrs, &objp->user) &&
           WIRE_Text(xdrs, &objp->realname) && WIRE_Text(xdrs, &objp->address) &&
           xdr_INT(xdrs, &objp->reserved);
}

bool_t xdr_LPCM(XDR *xdrs, LPCM *objp)
{
    return WIRE_Optional(xdrs, objp, xdr_CM);
}

/* Releases the nodes from *link on, reading each node's next before the node
 * goes, and leaves *link absent. */
static bool_t ListFree(XDR *xdrs, LPCML *link)
{
    LPCML node = *link;
    *link = nullptr;
    while (node != nullptr) {
        LPCML next = node->next;
        xdr_LPCM(xdrs, &node->cm);
        mem_free(node, sizeof *node);
        node = next;
    }
    return TRUE;
}

/* The chain from *link on, at most room further nodes.  A node being decoded
 * is linked before its member is read, so a decode that fails half-way
 * leaves everything it allocated reachable for XDR_FREE. */
static bool_t ListWalk(XDR *xdrs, LPCML *link, u_int room)
{
    if (xdrs->x_op == XDR_FREE)
        return ListFree(xdrs, link);
    for (;;) {
        bool_t more = *link != nullptr;
        if (!xdr_bool(xdrs, &more))
            return FALSE;
        if (!more) {
            *link = nullptr;
            return TRUE;
        }
        if (room == 0)
            return FALSE;
        room--;
        if (*link == nullptr) {
            *link = static_cast<LPCML>(mem_alloc(sizeof(CML)));
            if (*link == nullptr)
                return FALSE;
        }
        if (!xdr_LPCM(xdrs, &(*link)->cm))
            return FALSE;
        link = &(*link)->next;
    }
}

bool_t xdr_CML(XDR *xdrs, CML *objp)
{
    return xdr_LPCM(xdrs, &objp->cm) && ListWalk(xdrs, &objp->next, WIRE_MAXMEMBERS - 1);
}

bool_t xdr_LPCML(XDR *xdrs, LPCML *objp)
{
    return ListWalk(xdrs, objp, WIRE_MAXMEMBERS);
}
