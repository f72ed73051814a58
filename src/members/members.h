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
 * absent text equals only an absent text (except in CM_Equal, see there).
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

/* Blanks in address and entry texts: TRUE for the space and the tab. */
BOOL ADDR_IsBlank(char c);
/* The text (not null) from its first character that is not a blank: a
 * pointer into `text`. */
const char *ADDR_SkipBlanks(const char *text);

/* Splits 'Name <user@host>' in place: the text keeps only the name part.
 * The outputs are type-7 copies (absent when not found or not copied); a
 * text without "@" gets the user ADDR_ANYUSER.  True when the text has a "<"
 * and user and host were both copied (the host may be empty).  False for a
 * null text (outputs untouched), a text without "<" (outputs null, text
 * unchanged) or when memory ran out; the caller releases what was set. */
BOOL ADDR_Parse(char *text, char **user, char **host, char **name);
/* The next group address above base (0: ADDR_DEFAULTGROUPBASE) as
 * dotted-quad text, in a static buffer that the next call overwrites: copy
 * it before calling again. */
const char *ADDR_NextGroup(DWORD base);

/* The call identifier record for an outgoing call; its text comes first,
 * so the result serves as the CALLER's callid and is released with
 * REC_Free like the record.  Null when memory ran out. */
char *CALLKEY_Create(DWORD address, DWORD ticks);

/* Makes `session`'s call: a new CALLER (fresh call id, two group addresses,
 * `subject` copied, absent allowed) whose one member is this station, its
 * originator and `from`.  The session must have no call yet: one it had
 * would be lost, not freed.  The call is the session's.  0; CMERR_BADSESSION
 * for a null or unregistered session; CMERR_CALLALLOC when memory ran out
 * (nothing made, session->call unchanged). */
int CALL_Create(CMSESSION *session, const char *subject);
/* Appends to `session`'s call a member parsed from `address` (written in
 * place by ADDR_Parse; the caller's buffer, which must be writable), in
 * state CMS_RESOLVING: its lookup is started by CALLINFO_Build.  0;
 * CMERR_BADSESSION for a null session; CMERR_NOCALL without a call;
 * CMERR_BADMEMBER for a text that does not parse or when memory ran out
 * (the call unchanged). */
int CALL_AddMember(CMSESSION *session, char *address);
/* *out = a new call holding a copy of the request's CALLER, with `to` and
 * `from` pointing at the copies of the request's members.  The request is
 * borrowed; the caller owns the call (CALL_Free, or hands it on).  0; or
 * CMERR_CALLALLOC, with *out null, when memory ran out or the request lacks
 * its CALLER, `to` or `from` or names members its list does not hold. */
int CALL_FromRequest(CALLCTX **out, const CALLREQ *request);
/* Frees the call with everything in it, whoever holds it (see CALL_Hold);
 * nothing for null.  Always 0. */
int CALL_Free(CALLCTX *call);
/* A handler that may dispatch messages while it uses `call` holds it: the
 * call then outlives its session.  CALL_Release returns TRUE when the call
 * is still alive (owned as before), FALSE when it was orphaned meanwhile and
 * has been freed (the caller must not touch it).  Both do nothing for null
 * (CALL_Release then returns FALSE). */
void CALL_Hold(CALLCTX *call);
BOOL CALL_Release(CALLCTX *call);

/* Deep copies that the caller owns and releases with the matching _Free
 * (each accepts null); null when memory ran out.  A CALLER copy points its
 * originator and local member at the members of its own list. */
LPCALLER CALLER_Copy(const CALLER *caller); /* null also for an absent caller */
void CALLER_Free(LPCALLER caller);
/* Null also for an empty list: a caller tells the two apart by the source. */
LPCML CML_Copy(const CML *list);
void CML_Free(LPCML list);
/* A copy of member, or for an absent member the local station. */
LPCM CM_Copy(const CM *member);
void CM_Free(LPCM member);

/* The member of caller's list with exactly this user and host (STR_Equal);
 * null when none or without a caller.  Borrowed: it lives as long as the
 * list. */
LPCM CML_Find(const CALLER *caller, const char *user, const char *host);
/* TRUE when a and b (both present) are the same station as the wire tells
 * it: equal address, host, user and real name, with an absent text equal to
 * the empty one (the wire carries no absent text).  State and the `address`
 * text are not compared. */
BOOL CM_Equal(const CM *a, const CM *b);
/* TRUE for equal texts or both absent. */
BOOL STR_Equal(const char *a, const char *b);
/* *out = a type-7 copy of source, absent for an absent source; false only
 * when memory ran out. */
BOOL STR_Dup(char **out, const char *source);

#ifdef __cplusplus
}
#endif

#endif
