/*
 * Outgoing call establishment: the call information block handed to the
 * application, the call's datagram sockets, and the members' host lookups
 * with their results.
 */
#include "fsm/fsm.h"
#include "netlib/netlib.h"

#include <string.h>

namespace {

/* A member text into a 64-byte field of an entry, cut to fit. */
void entry_text(char (&field)[64], const char *text)
{
    if (text)
        REC_CopyInto(field, sizeof field, text);
}

void entry_fill(CMMEMBERENTRY *entry, const CM *member)
{
    if (!member)
        return;
    entry_text(entry->realname, member->realname);
    entry_text(entry->user, member->user);
    entry_text(entry->host, member->host);
    entry->ipaddr = (uint32_t)NET_htonl(member->ipaddr);
}

/* Opens one of the call's datagram sockets; its port travels in the CALLER.
 * A given port (a received call's) is the only one tried. */
SOCKET callinfo_socket(INT *port, DWORD low, DWORD high, DWORD option)
{
    SOCKET sock = INVALID_SOCKET;
    DWORD p = (DWORD)*port;
    NET_OpenDatagram(&sock, &p, low, high, option);
    *port = (INT)p;
    return sock;
}

int callinfo_build(CMAPP *app, CMSESSION *session, CALLCTX *call, HGLOBAL *block, BOOL sockets,
                   DWORD local)
{
    if (!app)
        return CMERR_BADAPP;
    if (!call || !call->caller)
        return CMERR_NOCALL;
    CALLER *caller = call->caller;
    if (!block || !caller->originator)
        return CMERR_INVALID;
    DWORD count = 0;
    for (const CML *node = caller->members; node; node = node->next)
        if (++count > CALLINFO_MAXMEMBERS)
            return CMERR_BLOCKALLOC;
    if (count == 0)
        return CMERR_NOMEMBERS;

    /* The struct holds one entry: the zero entry that ends the list. */
    HGLOBAL handle = GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT | GMEM_SHARE,
                                 sizeof(CMCALLINFO) + sizeof(CMMEMBERENTRY) * count);
    CMCALLINFO *info = handle ? (CMCALLINFO *)GlobalLock(handle) : nullptr;
    if (!info) {
        if (handle)
            GlobalFree(handle);
        return CMERR_BLOCKALLOC;
    }
    info->localaddr = (uint32_t)NET_htonl(local);
    info->originaddr = (uint32_t)NET_htonl(caller->originator->ipaddr);
    info->group1 = (uint32_t)NET_inet_addr(caller->group1 ? caller->group1 : "");
    info->group2 = (uint32_t)NET_inet_addr(caller->group2 ? caller->group2 : "");
    info->tcpport = (uint32_t)caller->tcpport;
    if (sockets) {
        const CMNETINFO &net = app->netinfo;
        SOCKET s1 = callinfo_socket(&caller->udpport1, net.udp1low, net.udp1high, net.stackoption);
        SOCKET s2 = callinfo_socket(&caller->udpport2, net.udp2low, net.udp2high, net.stackoption);
        info->udpsocket1 = (uint32_t)s1;
        info->udpsocket2 = (uint32_t)s2;
        if (session) {
            session->udpsocket1 = s1;
            session->udpsocket2 = s2;
        }
    }
    if (caller->subject)
        REC_CopyInto(info->subject, sizeof info->subject, caller->subject);
    info->udpport1 = (uint32_t)caller->udpport1;
    info->udpport2 = (uint32_t)caller->udpport2;
    info->count = count;
    CMMEMBERENTRY *entry = info->members;
    for (CML *node = caller->members; node; node = node->next, ++entry) {
        if (node->cm && node->cm->state == CMS_RESOLVING)
            LOOKUP_Member(app->fsmwnd, node->cm);
        entry_fill(entry, node->cm);
    }
    GlobalUnlock(handle);
    *block = handle;
    return 0;
}

} // namespace

extern "C" int CALLINFO_Build(CMAPP *app, CMSESSION *session, CALLCTX *call, HGLOBAL *block,
                              BOOL sockets)
{
    return callinfo_build(app, session, call, block, sockets, FSM_LocalAddress());
}

extern "C" void CALLINFO_CloseSockets(CMSESSION *session)
{
    NET_Close(session->udpsocket1);
    NET_Close(session->udpsocket2);
    /* A handle closed here may soon be another socket's. */
    session->udpsocket1 = INVALID_SOCKET;
    session->udpsocket2 = INVALID_SOCKET;
}

extern "C" int CALLINFO_BuildReceived(CMAPP *app, CMSESSION *session, CALLCTX *call, HGLOBAL *block,
                                      BOOL sockets)
{
    /* An application invited right after it registered may not know its
     * own address yet; the inviter reached it at the address its member
     * carries. */
    DWORD local = FSM_LocalAddress();
    if (local == 0xFFFFFFFFu && call && call->to && call->to->ipaddr != 0)
        local = call->to->ipaddr;
    return callinfo_build(app, session, call, block, sockets, local);
}

extern "C" void MEMBERINFO_Post(CMAPP *app, const CM *member, WORD session, DWORD address)
{
    HGLOBAL handle = GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT | GMEM_SHARE, sizeof(CMMEMBERINFO));
    CMMEMBERINFO *info = handle ? (CMMEMBERINFO *)GlobalLock(handle) : nullptr;
    if (!info) {
        if (handle)
            GlobalFree(handle);
        return;
    }
    entry_fill(&info->pending, member);
    info->resolved = info->pending;
    if (address)
        info->resolved.ipaddr = (uint32_t)NET_htonl(address);
    GlobalUnlock(handle);
    CM_NotifyBlock(app, session, CMN_ADDRESS, handle);
}

extern "C" void FSM_Resolved(HWND window, WPARAM id, LPARAM value, BOOL failed)
{
    /* Handled here: the id is free again once the members have seen it.  A
     * member whose window went keeps the id it had while another lookup may
     * take it: a result is matched only among the members of the
     * application that asked for it. */
    LOOKUP_Answered(id);
    for (CMAPP *app = APP_First(); app; app = app->next) {
        if (app->fsmwnd != window)
            continue;
        for (CMSESSION *s = app->sessions; s; s = s->next) {
            if (!s->call || !s->call->caller)
                continue;
            DWORD pending = 0;
            for (CML *node = s->call->caller->members; node; node = node->next) {
                CM *m = node->cm;
                if (m && m->state == CMS_RESOLVING && m->ipaddr == (DWORD)id) {
                    if (failed) {
                        m->state = CMS_NOADDRESS;
                        CM_Notify(app, s->id, CMN_NOADDRESS, (LPARAM)NET_htonl(m->ipaddr));
                    } else {
                        MEMBERINFO_Post(app, m, s->id, (DWORD)value);
                        m->state = CMS_IDLE;
                        m->ipaddr = (DWORD)value;
                    }
                }
                if (m && m->state == CMS_RESOLVING)
                    ++pending;
            }
            if (pending == 0)
                PostMessageA(app->fsmwnd, FSM_PROCEED, s->id, 0);
        }
    }
}
