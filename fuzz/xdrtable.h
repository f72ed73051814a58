/*
 * xdrtable.h - the exported record routines of the call protocol as one
 * table, shared by the decoder harness and the seed generator.
 *
 * An input of the decoder harness is one selector byte and the wire bytes:
 * the selector, taken modulo the table's length, picks the routine.  The
 * seed generator writes its inputs with the same table, so the two can
 * never disagree about which byte means which routine.  New routines go at
 * the end: the checked-in seeds name routines by their place here.
 */
#ifndef CALLMGR_FUZZ_XDRTABLE_H
#define CALLMGR_FUZZ_XDRTABLE_H

#include <cmwire.h>

#include <stddef.h>

/* Every routine is called through a thunk of one signature, so that the
 * call the harness makes has exactly the type of the function it reaches;
 * the raw routine is kept for the runtime's own xdr_free and xdr_sizeof. */
typedef bool_t (*FUZZ_XdrThunk)(XDR *xdrs, void *object);

typedef struct FUZZ_XDRCODEC {
    const char *name;  /* file name stem of its seeds */
    FUZZ_XdrThunk run; /* the routine, on a record of `size` bytes */
    xdrproc_t raw;     /* the same routine as the runtime takes it */
    size_t size;       /* the record, or for an LP type the reference */
} FUZZ_XDRCODEC;

template <typename T, bool_t (*Proc)(XDR *, T *)> bool_t FUZZ_XdrCall(XDR *xdrs, void *object)
{
    return Proc(xdrs, static_cast<T *>(object));
}

template <typename T, bool_t (*Proc)(XDR *, T *)>
constexpr FUZZ_XDRCODEC FUZZ_XdrEntry(const char *name)
{
    return FUZZ_XDRCODEC{name, FUZZ_XdrCall<T, Proc>,
                         reinterpret_cast<xdrproc_t>(reinterpret_cast<void (*)(void)>(Proc)),
                         sizeof(T)};
}

inline const FUZZ_XDRCODEC FUZZ_XdrCodecs[] = {
    FUZZ_XdrEntry<CallMessage, xdr_CallMessage>("CallMessage"),
    FUZZ_XdrEntry<CallState, xdr_CallState>("CallState"),
    FUZZ_XdrEntry<CallMemberState, xdr_CallMemberState>("CallMemberState"),
    FUZZ_XdrEntry<LPCM, xdr_LPCM>("LPCM"),
    FUZZ_XdrEntry<LPCML, xdr_LPCML>("LPCML"),
    FUZZ_XdrEntry<LPCALLER, xdr_LPCALLER>("LPCALLER"),
    FUZZ_XdrEntry<LPCALLREQ, xdr_LPCALLREQ>("LPCALLREQ"),
    FUZZ_XdrEntry<LPCALLRPY, xdr_LPCALLRPY>("LPCALLRPY"),
    FUZZ_XdrEntry<ipaddr_t, xdr_ipaddr_t>("ipaddr_t"),
    FUZZ_XdrEntry<INT, xdr_INT>("INT"),
    FUZZ_XdrEntry<CM, xdr_CM>("CM"),
    FUZZ_XdrEntry<CML, xdr_CML>("CML"),
    FUZZ_XdrEntry<CALLER, xdr_CALLER>("CALLER"),
    FUZZ_XdrEntry<CALLREQ, xdr_CALLREQ>("CALLREQ"),
    FUZZ_XdrEntry<CALLRPY, xdr_CALLRPY>("CALLRPY"),
    FUZZ_XdrEntry<CAPINFO, xdr_CAPINFO>("CAPINFO"),
    FUZZ_XdrEntry<LPCAPINFO, xdr_LPCAPINFO>("LPCAPINFO"),
    FUZZ_XdrEntry<CAPINFOMESSAGE, xdr_CAPINFOMESSAGE>("CAPINFOMESSAGE"),
    FUZZ_XdrEntry<LPCAPINFOMESSAGE, xdr_LPCAPINFOMESSAGE>("LPCAPINFOMESSAGE"),
};

constexpr size_t FUZZ_XDRCOUNT = sizeof FUZZ_XdrCodecs / sizeof FUZZ_XdrCodecs[0];

/* The index of the routine named `name`, or FUZZ_XDRCOUNT. */
inline size_t FUZZ_XdrFind(const char *name)
{
    for (size_t i = 0; i < FUZZ_XDRCOUNT; ++i) {
        const char *a = FUZZ_XdrCodecs[i].name;
        const char *b = name;
        while (*a && *a == *b)
            ++a, ++b;
        if (*a == *b)
            return i;
    }
    return FUZZ_XDRCOUNT;
}

#endif
