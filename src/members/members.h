/*
 * members.h - calls, member lists, address texts and group addresses.
 *
 * A call in memory has the shape it has on the wire (cmwire.h): a CALLER
 * owning its texts and its CML list, each node owning its CM, each CM owning
 * its four texts.  Every record and text here comes from the typed record
 * allocator, so release them with these operations, never with xdr_free.
 * The session's CALLCTX is declared with the session in registry.h.
 *
 * Building operations leave nothing behind when they fail; release
 * operations accept an absent argument.  Texts are compared exactly, and an
 * absent text equals only an absent text.
 */
#ifndef CALLMGR_MEMBERS_H
#define CALLMGR_MEMBERS_H

#include "registry/registry.h"

#ifdef __cplusplus
extern "C" {
#endif

/* Used when an application's group base is 0: 233.1.0.0. */
#define ADDR_DEFAULTGROUPBASE 0xE9010000u
/* The user of an address text that names only a host. */
#define ADDR_ANYUSER "ANYBODY"

/* Blanks in address and entry texts: the space and the tab. */
BOOL ADDR_IsBlank(char c);
/* The text from its first character that is not a blank. */
const char *ADDR_SkipBlanks(const char *text);

/* Splits 'Name <user@host>' in place: the text keeps only the name part.
 * The outputs are type-7 copies (absent when not found or not copied); true
 * when user and host are both present.  On false the caller releases what
 * was set. */
BOOL ADDR_Parse(char *text, char **user, char **host, char **name);
/* The next group address above base as dotted-quad text, in a buffer that
 * the next call overwrites. */
const char *ADDR_NextGroup(DWORD base);

/* The call identifier record for an outgoing call; its text comes first,
 * so the result serves as the CALLER's callid.  Null when memory ran out. */
char *CALLKEY_Create(DWORD address, DWORD ticks);

int CALL_Create(CMSESSION *session, const char *subject);
int CALL_AddMember(CMSESSION *session, char *address);
int CALL_FromRequest(CALLCTX **out, const CALLREQ *request);
/* Frees the call with everything in it; always 0. */
int CALL_Free(CALLCTX *call);
/* A handler that may dispatch messages while it uses `call` holds it: the
 * call then outlives its session.  CALL_Release returns FALSE when the call
 * was orphaned meanwhile and has been freed (the caller must not touch it). */
void CALL_Hold(CALLCTX *call);
BOOL CALL_Release(CALLCTX *call);

LPCALLER CALLER_Copy(const CALLER *caller);
void CALLER_Free(LPCALLER caller);
LPCML CML_Copy(const CML *list);
void CML_Free(LPCML list);
/* A copy of member, or for an absent member the local station. */
LPCM CM_Copy(const CM *member);
void CM_Free(LPCM member);

LPCM CML_Find(const CALLER *caller, const char *user, const char *host);
BOOL CM_Equal(const CM *a, const CM *b);
BOOL STR_Equal(const char *a, const char *b);
/* *out = a type-7 copy of source, absent for an absent source; false only
 * when memory ran out. */
BOOL STR_Dup(char **out, const char *source);

#ifdef __cplusplus
}
#endif

#endif
