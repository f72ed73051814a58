/*
 * Host-name lookups and the local host.
 *
 * A lookup of a dotted address is answered at once by a posted message; a
 * lookup of a name goes to the socket library, whose answer arrives at the
 * window as FSM_HOSTLOOKUP and is turned into the requester's message.  The
 * service is set up by the first state-machine window and torn down with the
 * last one.
 *
 * A lookup's id is what matches its answer to whoever waits for it (a
 * member holds it in its address word), so no two lookups whose answers are
 * still to be handled may carry the same id: the record of a lookup stays
 * in the list, its id taken, until the requester has handled the answer
 * (LOOKUP_Answered) or the answer can no longer arrive.  Ids all come from
 * one 16-bit counter that passes over the ids taken; the socket library's
 * task handle only finds the record its answer belongs to, since the
 * library numbers its tasks without regard to the counter.
 */
#include "fsm/fsm.h"
#include "netlib/netlib.h"

#include <stdio.h>
#include <string.h>

namespace {

DWORD users = 0;
CMLOOKUP *lookups = nullptr;
WORD lookup_counter = 0;
char full_host[256];
char short_host[256];
DWORD local_address = 0xFFFFFFFF;

void lookup_unlink(CMLOOKUP *rec)
{
    for (CMLOOKUP **link = &lookups; *link; link = &(*link)->next)
        if (*link == rec) {
            *link = rec->next;
            return;
        }
}

void lookup_free(CMLOOKUP *rec)
{
    memset(rec, 0, sizeof *rec);
    LocalFree(rec);
}

CMLOOKUP *lookup_find(DWORD id)
{
    CMLOOKUP *rec = lookups;
    while (rec && rec->id != id)
        rec = rec->next;
    return rec;
}

/* The next counter value that no listed lookup carries; 0 when every one
 * is taken.  The counter wraps from 0xFFFF past 0: an id of 0 would read as
 * "no lookup started". */
DWORD lookup_next_id(void)
{
    for (DWORD tries = 0; tries < 0xFFFF; ++tries) {
        if (++lookup_counter == 0)
            ++lookup_counter;
        if (!lookup_find(lookup_counter))
            return lookup_counter;
    }
    return 0;
}

/* Posts the answer of `rec` to its requester.  The record stays listed,
 * keeping its id taken, until the answer has been handled; an answer that
 * could not be posted will never be, and the record goes at once. */
void lookup_answer(CMLOOKUP *rec, UINT message, LPARAM lparam)
{
    rec->task = nullptr;
    if (rec->window && message && IsWindow(rec->window) &&
        PostMessageA(rec->window, message, rec->id, lparam))
        return;
    lookup_unlink(rec);
    lookup_free(rec);
}

/* Forgets the lookups whose answers `window` would get, or every lookup
 * when it is null: no answer comes for them any more. */
void lookup_forget(HWND window)
{
    CMLOOKUP **link = &lookups;
    while (*link) {
        CMLOOKUP *rec = *link;
        if (window && rec->window != window) {
            link = &rec->next;
            continue;
        }
        *link = rec->next;
        /* The socket library would lay its answer out in the record when
         * the answer is retrieved: cancelled, it never writes there. */
        if (rec->task)
            NET_WSACancelAsyncRequest(rec->task);
        lookup_free(rec);
    }
}

/* LOOKUP_Start; with `answer_refusal`, a name lookup the socket library
 * refuses is answered as failed instead of not started. */
DWORD lookup_start(HWND window, UINT message, const char *host, bool answer_refusal)
{
    CMLOOKUP *rec = (CMLOOKUP *)LocalAlloc(LPTR, sizeof(CMLOOKUP));
    if (!rec)
        return 0;
    rec->id = lookup_next_id();
    if (!rec->id) {
        lookup_free(rec);
        return 0;
    }
    rec->window = window;
    rec->message = message;
    rec->next = lookups;
    lookups = rec;
    DWORD id = rec->id;

    const char *text = host ? host : "";
    u_long dotted = NET_inet_addr(text);
    if ((uint32_t)dotted == INADDR_NONE) {
        struct in_addr all;
        all.s_addr = INADDR_NONE;
        const char *none_text = NET_inet_ntoa(all);
        if (!none_text || strcmp(text, none_text) != 0) {
            rec->task = NET_WSAAsyncGetHostByName(window, FSM_HOSTLOOKUP, text, rec->hostentry,
                                                  sizeof rec->hostentry);
            if (rec->task)
                return id;
            if (!answer_refusal) {
                lookup_unlink(rec);
                lookup_free(rec);
                return 0;
            }
            lookup_answer(rec, message + 1, (LPARAM)WSANO_DATA);
            return id;
        }
    }
    DWORD address = (DWORD)NET_ntohl(dotted);
    if (address) {
        lookup_answer(rec, message, (LPARAM)address);
    } else {
        /* The text names no host (0.0.0.0, or no socket library to read it):
         * no answer would ever come, so the requester hears of the failure
         * now rather than waiting for good. */
        lookup_answer(rec, message + 1, (LPARAM)WSANO_DATA);
    }
    return id;
}

} // namespace

extern "C" DWORD FSM_LocalAddress(void)
{
    return local_address;
}
extern "C" const char *FSM_FullHostName(void)
{
    return full_host;
}
extern "C" const char *FSM_ShortHostName(void)
{
    return short_host;
}
extern "C" void LOCALHOST_SetAddress(DWORD address)
{
    local_address = address;
}

extern "C" DWORD LOOKUP_Start(HWND window, UINT message, const char *host)
{
    return lookup_start(window, message, host, false);
}

extern "C" void LOOKUP_Complete(WPARAM task, LPARAM reply)
{
    CMLOOKUP *rec = lookups;
    while (rec && !(rec->task && rec->task == (HANDLE)task))
        rec = rec->next;
    if (!rec)
        return;
    int error = WSAGETASYNCERROR(reply);
    const struct hostent *he = (const struct hostent *)rec->hostentry;
    if (!error && !(he->h_addr_list && he->h_addr_list[0]))
        error = WSANO_DATA;
    if (error) {
        lookup_answer(rec, rec->message + 1, (LPARAM)error);
    } else {
        uint32_t net;
        memcpy(&net, he->h_addr_list[0], sizeof net);
        lookup_answer(rec, rec->message, (LPARAM)(DWORD)NET_ntohl(net));
    }
}

extern "C" void LOOKUP_Answered(WPARAM id)
{
    CMLOOKUP *rec = lookup_find((DWORD)id);
    /* A name the socket library still works on has had no answer yet. */
    if (!rec || rec->task)
        return;
    lookup_unlink(rec);
    lookup_free(rec);
}

extern "C" BOOL LOCALHOST_Setup(HWND window)
{
    if (users == 0) {
        lookups = nullptr;
        lookup_counter = 0x8000;
        full_host[0] = 0;
        short_host[0] = 0;
        if (NET_gethostname(full_host, sizeof full_host) != 0) {
            full_host[0] = 0;
            return FALSE;
        }
        full_host[sizeof full_host - 1] = 0;
        snprintf(short_host, sizeof short_host, "%.*s", (int)strcspn(full_host, "."), full_host);
        if (!LOOKUP_Start(window, FSM_LOCALADDR, full_host))
            return FALSE;
    }
    ++users;
    return TRUE;
}

extern "C" void LOCALHOST_Release(HWND window)
{
    if (users == 0)
        return;
    --users;
    /* Answers posted to the window go with it. */
    lookup_forget(users > 0 ? window : nullptr);
}

extern "C" void LOOKUP_Member(HWND window, CM *member)
{
    DWORD id = lookup_start(window, FSM_RESOLVED, member->host, true);
    if (!id) {
        /* No record could be had: the id is one no pending lookup carries,
         * though nothing keeps it taken until its answer is handled.  With
         * every id taken the member could not be told apart: it waits. */
        id = lookup_next_id();
        if (id)
            PostMessageA(window, FSM_RESOLVEFAILED, id, (LPARAM)WSANO_DATA);
    }
    member->ipaddr = id;
}
