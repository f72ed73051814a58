/*
 * Host-name lookups and the local host.
 *
 * A lookup of a dotted address is answered at once by a posted message; a
 * lookup of a name goes to the socket library, whose answer arrives at the
 * window as FSM_HOSTLOOKUP and is turned into the requester's message.  The
 * service is set up by the first state-machine window and torn down with the
 * last one.
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

/* The counter wraps from 0xFFFF past 0: an id of 0 would read as "no lookup
 * started". */
DWORD lookup_next_id(void)
{
    if (++lookup_counter == 0)
        ++lookup_counter;
    return lookup_counter;
}

void lookup_post(HWND window, UINT message, WPARAM wparam, LPARAM lparam)
{
    if (window && message && IsWindow(window))
        PostMessageA(window, message, wparam, lparam);
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

extern "C" DWORD LOOKUP_NewId(void)
{
    return lookup_next_id();
}

extern "C" DWORD LOOKUP_Start(HWND window, UINT message, const char *host)
{
    CMLOOKUP *rec = (CMLOOKUP *)LocalAlloc(LPTR, sizeof(CMLOOKUP));
    if (!rec)
        return 0;
    rec->id = lookup_next_id();
    rec->window = window;
    rec->message = message;
    rec->next = lookups;
    lookups = rec;

    const char *text = host ? host : "";
    u_long dotted = NET_inet_addr(text);
    DWORD address = 0;
    if ((uint32_t)dotted == INADDR_NONE) {
        struct in_addr all;
        all.s_addr = INADDR_NONE;
        const char *none_text = NET_inet_ntoa(all);
        if (!none_text || strcmp(text, none_text) != 0) {
            HANDLE task = NET_WSAAsyncGetHostByName(window, FSM_HOSTLOOKUP, text, rec->hostentry,
                                                    sizeof rec->hostentry);
            if (!task) {
                lookup_unlink(rec);
                lookup_free(rec);
                return 0;
            }
            rec->task = task;
            rec->id = (DWORD)(UINT_PTR)task;
            return rec->id;
        }
    }
    address = (DWORD)NET_ntohl(dotted);
    DWORD id = rec->id;
    if (address) {
        lookup_post(window, message, id, (LPARAM)address);
    } else {
        /* The text names no host (0.0.0.0, or no socket library to read it):
         * no answer would ever come, so the requester hears of the failure
         * now rather than waiting for good. */
        lookup_post(window, message + 1, id, (LPARAM)WSANO_DATA);
    }
    lookup_unlink(rec);
    lookup_free(rec);
    return id;
}

extern "C" void LOOKUP_Complete(WPARAM task, LPARAM reply)
{
    CMLOOKUP *rec = lookups;
    while (rec && rec->id != (DWORD)task)
        rec = rec->next;
    if (!rec)
        return;
    int error = WSAGETASYNCERROR(reply);
    const struct hostent *he = (const struct hostent *)rec->hostentry;
    if (!error && !(he->h_addr_list && he->h_addr_list[0]))
        error = WSANO_DATA;
    if (error) {
        lookup_post(rec->window, rec->message + 1, rec->id, (LPARAM)error);
    } else {
        uint32_t net;
        memcpy(&net, he->h_addr_list[0], sizeof net);
        lookup_post(rec->window, rec->message, rec->id, (LPARAM)(DWORD)NET_ntohl(net));
    }
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

extern "C" void LOCALHOST_Release(void)
{
    if (users == 0)
        return;
    if (--users > 0)
        return;
    while (lookups) {
        CMLOOKUP *rec = lookups;
        lookups = rec->next;
        /* The socket library would lay its answer out in the record when
         * the answer is retrieved: cancelled, it never writes there. */
        if (rec->task)
            NET_WSACancelAsyncRequest(rec->task);
        lookup_free(rec);
    }
}

extern "C" void LOOKUP_Member(HWND window, CM *member)
{
    DWORD id = LOOKUP_Start(window, FSM_RESOLVED, member->host);
    if (!id) {
        id = LOOKUP_NewId();
        PostMessageA(window, FSM_RESOLVEFAILED, id, (LPARAM)WSANO_DATA);
    }
    member->ipaddr = id;
}
