/*
 * wire.h - helpers shared by the record routines of the call protocol.
 */
#ifndef CALLMGR_PROTOCOL_WIRE_H
#define CALLMGR_PROTOCOL_WIRE_H

#include <cmwire.h>

/* A text field.  The runtime's string primitive refuses a null pointer when
 * encoding; an absent text travels as the empty one, so that a call whose
 * subject was never given still reaches its members.  Freeing releases the
 * text whatever its length (the primitive would keep one longer than its
 * bound).  TRUE, or FALSE for a text longer than WIRE_MAXTEXT or a stream
 * that fails.  A decoded text is the runtime's allocation (a null *text is
 * filled), released only by this routine's XDR_FREE, never by REC_Free. */
inline bool_t WIRE_Text(XDR *xdrs, char **text)
{
    if (xdrs->x_op == XDR_FREE) {
        mem_free(*text, 0);
        *text = nullptr;
        return TRUE;
    }
    if (xdrs->x_op == XDR_ENCODE && *text == nullptr) {
        char empty[] = "";
        char *p = empty;
        return xdr_string(xdrs, &p, WIRE_MAXTEXT);
    }
    return xdr_string(xdrs, text, WIRE_MAXTEXT);
}

/* An optional reference to a record of type T, handled by that type's
 * routine; xdr_pointer's result and ownership (decoding allocates the
 * record through the runtime, XDR_FREE releases it). */
template <typename T> inline bool_t WIRE_Optional(XDR *xdrs, T **ref, bool_t (*proc)(XDR *, T *))
{
    return xdr_pointer(xdrs, reinterpret_cast<char **>(ref), sizeof(T),
                       reinterpret_cast<xdrproc_t>(reinterpret_cast<void (*)(void)>(proc)));
}

#endif
