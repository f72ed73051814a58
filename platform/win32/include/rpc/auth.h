/*
 * rpc/auth.h - the credential and verifier of a call.  The runtime sends
 * AUTH_NONE and accepts whatever flavor arrives, keeping its bytes.
 */
#ifndef PAL_RPC_AUTH_H
#define PAL_RPC_AUTH_H

#include <rpc/xdr.h>

#ifdef __cplusplus
extern "C" {
#endif

#define MAX_AUTH_BYTES 400

#define AUTH_NONE 0
#define AUTH_NULL 0
#define AUTH_SYS 1
#define AUTH_UNIX AUTH_SYS

enum auth_stat {
    AUTH_OK = 0,
    AUTH_BADCRED = 1,
    AUTH_REJECTEDCRED = 2,
    AUTH_BADVERF = 3,
    AUTH_REJECTEDVERF = 4,
    AUTH_TOOWEAK = 5,
    AUTH_INVALIDRESP = 6,
    AUTH_FAILED = 7
};

/* oa_base refers to at least MAX_AUTH_BYTES bytes when decoding, or is
 * null to have them allocated. */
struct opaque_auth {
    enum_t oa_flavor;
    caddr_t oa_base;
    u_int oa_length;
};

bool_t xdr_opaque_auth(XDR *xdrs, struct opaque_auth *ap);

#ifdef __cplusplus
}
#endif

#endif
