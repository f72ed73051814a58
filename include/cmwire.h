/*
 * cmwire.h - the call protocol's records, ONC RPC program 391010 version 1.
 *
 * The records below are both the wire types and the in-memory form of a
 * call: exactly the fields of the wire form, in wire order, every scalar 32
 * bits wide, texts as zero-terminated byte strings, LP types as references
 * that may be absent.
 *
 * Every xdr_ routine takes the runtime's XDR stream and a reference to the
 * record (for an LP type: a reference to the reference) and returns 1 on
 * success, 0 on failure; the stream's direction chooses encode, decode or
 * free.  The routines depend on nothing but the runtime, so they work from
 * the moment the library is loaded.
 *
 * Encoding: an absent text travels as the empty text.  A text longer than
 * WIRE_MAXTEXT bytes, or a member list longer than WIRE_MAXMEMBERS nodes,
 * cannot be encoded.
 * Decoding: decode into a zero-filled record.  Every text comes back
 * present; texts and lists beyond the bounds above and records cut short are
 * refused.  After a failed decode, XDR_FREE on the same record (xdr_free)
 * releases whatever was already allocated.
 * Member lists are walked in a loop, never by recursion, so neither
 * direction nor freeing needs stack in proportion to their length.
 */
#ifndef CALLMGR_CMWIRE_H
#define CALLMGR_CMWIRE_H

#include <stdint.h>
#include <rpc/rpc.h>

#ifdef __cplusplus
extern "C" {
#endif

/* The program.  Procedure 0 is the runtime's NULLPROC. */
#define CALLPROG 391010
#define CALLVERS 1
#define CALLPROC_REQUEST 1 /* CALLREQ -> INT */
#define CALLPROC_REPLY 2   /* CALLRPY -> INT */
#define CALLPROC_CAPINFO 3 /* CAPINFOMESSAGE -> CAPINFO */

/* Results of procedures 1 and 2; CALL_UNREACHABLE is the client's own, when
 * the exchange brought no result. */
#define CALL_NOTHANDLED 3
#define CALL_UNREACHABLE 11
#define CALL_DELIVERED 16

/* Wire bounds: the longest text, and the most nodes one member list may
 * hold.  The list bound keeps what one received call can allocate at a few
 * megabytes; a conference never comes near it. */
#define WIRE_MAXTEXT 255
#define WIRE_MAXMEMBERS 4096

typedef int32_t INT;
typedef uint32_t ipaddr_t;

/* Message codes of CALLREQ and CALLRPY.  The CALL_REPLYn codes are replies
 * that other peers may send and this library never does; all that is known
 * of each is the member state it leaves (CMS_REPLIEDn below). */
typedef enum CallMessage {
    CALL_INVITE = 0,
    CALL_ACCEPT = 1,
    CALL_DECLINE = 4,
    CALL_REPLY6 = 6,
    CALL_UPDATE = 7,
    CALL_REPLY12 = 12,
    CALL_REPLY13 = 13,
    CALL_REPLY15 = 15
} CallMessage;

/* States of a CALLER. */
typedef enum CallState { CS_NEW = 0, CS_CHANGED = 3, CS_ACTIVE = 4 } CallState;

/* States of a CM.  CMS_REPLIEDn is the state of a member whose reply was
 * CALL_REPLYn. */
typedef enum CallMemberState {
    CMS_IDLE = 0,
    CMS_INVITED = 1,
    CMS_REPLIED15 = 2,
    CMS_DECLINED = 3,
    CMS_JOINED = 4,
    CMS_REPLIED6 = 5,
    CMS_NOADDRESS = 6,
    CMS_UNREACHABLE = 7,
    CMS_REPLIED12 = 8,
    CMS_REPLIED13 = 9,
    CMS_RESOLVING = 0x8000
} CallMemberState;

typedef struct CM {
    INT state;       /* a CallMemberState */
    ipaddr_t ipaddr; /* host order; the lookup id while CMS_RESOLVING */
    char *host;
    char *user;
    char *realname;
    char *address;
    INT reserved;
} CM, *LPCM;

typedef struct CML {
    LPCM cm;
    struct CML *next;
} CML, *LPCML;

typedef struct CALLER {
    INT state;         /* a CallState */
    int32_t starttime; /* the creator's tick count, bit for bit */
    INT reserved;
    INT seqno;
    INT udpport1;
    INT udpport2;
    INT tcpport;
    char *callid;
    char *group1;
    char *group2;
    char *spare;
    char *subject;
    LPCM originator;
    LPCM local;
    LPCML members;
} CALLER, *LPCALLER;

typedef struct CALLREQ {
    INT msg; /* CALL_INVITE or CALL_UPDATE */
    LPCM to;
    LPCM from;
    LPCALLER caller;
} CALLREQ, *LPCALLREQ;

typedef struct CALLRPY {
    INT msg; /* CALL_ACCEPT or CALL_DECLINE */
    LPCM to;
    LPCM from;
    char *callid;
    INT seqno;
} CALLRPY, *LPCALLRPY;

typedef struct CAPINFO {
    INT value1;
    INT value2;
    INT value3;
    INT value4;
    INT value5;
} CAPINFO, *LPCAPINFO;

typedef struct CAPINFOMESSAGE {
    char *text;
    CAPINFO capinfo; /* inline */
} CAPINFOMESSAGE, *LPCAPINFOMESSAGE;

bool_t xdr_INT(XDR *xdrs, INT *objp);
bool_t xdr_ipaddr_t(XDR *xdrs, ipaddr_t *objp);
bool_t xdr_CallMessage(XDR *xdrs, CallMessage *objp);
bool_t xdr_CallState(XDR *xdrs, CallState *objp);
bool_t xdr_CallMemberState(XDR *xdrs, CallMemberState *objp);
bool_t xdr_CM(XDR *xdrs, CM *objp);
bool_t xdr_LPCM(XDR *xdrs, LPCM *objp);
bool_t xdr_CML(XDR *xdrs, CML *objp);
bool_t xdr_LPCML(XDR *xdrs, LPCML *objp);
bool_t xdr_CALLER(XDR *xdrs, CALLER *objp);
bool_t xdr_LPCALLER(XDR *xdrs, LPCALLER *objp);
bool_t xdr_CALLREQ(XDR *xdrs, CALLREQ *objp);
bool_t xdr_LPCALLREQ(XDR *xdrs, LPCALLREQ *objp);
bool_t xdr_CALLRPY(XDR *xdrs, CALLRPY *objp);
bool_t xdr_LPCALLRPY(XDR *xdrs, LPCALLRPY *objp);
bool_t xdr_CAPINFO(XDR *xdrs, CAPINFO *objp);
bool_t xdr_LPCAPINFO(XDR *xdrs, LPCAPINFO *objp);
bool_t xdr_CAPINFOMESSAGE(XDR *xdrs, CAPINFOMESSAGE *objp);
bool_t xdr_LPCAPINFOMESSAGE(XDR *xdrs, LPCAPINFOMESSAGE *objp);

/* The program's dispatch routine, as the RPC runtime calls it for every
 * call that reaches the server's transports. */
void palprog_1(struct svc_req *request, SVCXPRT *transport);

#ifdef __cplusplus
}
#endif

#endif
