/*
 * cmwire.h - the call protocol's records, ONC RPC program 391010 version 1.
 *
 * The records below are both the wire types and the in-memory form of a
 * call: exactly the fields of the wire form, in wire order, every scalar 32
 * bits wide, texts as zero-terminated byte strings, LP types as references
 * that may be absent.
 */
#ifndef CALLMGR_CMWIRE_H
#define CALLMGR_CMWIRE_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

typedef int32_t INT;
typedef uint32_t ipaddr_t;

/* Message codes of CALLREQ and CALLRPY. */
typedef enum CallMessage {
    CALL_INVITE = 0,
    CALL_ACCEPT = 1,
    CALL_DECLINE = 4,
    CALL_UPDATE = 7
} CallMessage;

/* States of a CALLER. */
typedef enum CallState {
    CS_NEW = 0,
    CS_CHANGED = 3,
    CS_ACTIVE = 4
} CallState;

/* States of a CM. */
typedef enum CallMemberState {
    CMS_IDLE = 0,
    CMS_INVITED = 1,
    CMS_DECLINED = 3,
    CMS_JOINED = 4,
    CMS_NOADDRESS = 6,
    CMS_UNREACHABLE = 7,
    CMS_RESOLVING = 0x8000
} CallMemberState;

typedef struct CM {
    INT state;        /* a CallMemberState */
    ipaddr_t ipaddr;  /* host order; the lookup id while CMS_RESOLVING */
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
    INT state;        /* a CallState */
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

#ifdef __cplusplus
}
#endif

#endif
