/*
 * member.cpp - copying, searching and releasing members, member lists and
 * calls.
 *
 * A received call holds separate copies of the members that its references
 * name (the wire knows no sharing); a copy points each reference back into
 * its own list, finding the member by user and host.
 */
#include "members/members.h"
#include "fsm/fsm.h"

#include <string.h>

extern "C" void CM_Free(LPCM member)
{
    if (!member)
        return;
    REC_Free(member->host);
    REC_Free(member->user);
    REC_Free(member->realname);
    REC_Free(member->address);
    REC_Free(member);
}

extern "C" LPCM CM_Copy(const CM *source)
{
    LPCM copy = (LPCM)REC_Alloc(REC_CM, 0);
    if (!copy)
        return nullptr;
    bool ok;
    if (source) {
        ok = STR_Dup(&copy->host, source->host) && STR_Dup(&copy->user, source->user) &&
             STR_Dup(&copy->realname, source->realname) && STR_Dup(&copy->address, source->address);
        copy->state = source->state;
        copy->ipaddr = source->ipaddr;
        copy->reserved = source->reserved;
    } else {
        /* A list entry without a member stands for this station. */
        const char *name = FSM_FullHostName();
        ok = STR_Dup(&copy->host, name) && STR_Dup(&copy->user, name) &&
             STR_Dup(&copy->realname, name);
        copy->state = CMS_IDLE;
        copy->ipaddr = FSM_LocalAddress();
    }
    if (!ok) {
        CM_Free(copy);
        return nullptr;
    }
    return copy;
}

extern "C" void CML_Free(LPCML list)
{
    while (list) {
        LPCML next = list->next;
        CM_Free(list->cm);
        REC_Free(list);
        list = next;
    }
}

extern "C" LPCML CML_Copy(const CML *list)
{
    LPCML head = nullptr;
    LPCML *link = &head;
    for (; list; list = list->next) {
        LPCML node = (LPCML)REC_Alloc(REC_CML, 0);
        if (!node) {
            CML_Free(head);
            return nullptr;
        }
        *link = node;
        link = &node->next;
        node->cm = CM_Copy(list->cm);
        if (!node->cm) {
            CML_Free(head);
            return nullptr;
        }
    }
    return head;
}

extern "C" LPCM CML_Find(const CALLER *caller, const char *user, const char *host)
{
    if (!caller)
        return nullptr;
    for (LPCML node = caller->members; node; node = node->next)
        if (node->cm && STR_Equal(node->cm->user, user) && STR_Equal(node->cm->host, host))
            return node->cm;
    return nullptr;
}

/* Texts as the wire carries them.  The wire has no absent text: a member
 * whose text is absent here (its copy was lost when memory ran out) comes
 * back from the other machine with the empty one, and must still be found. */
static bool wire_equal(const char *a, const char *b)
{
    return strcmp(a ? a : "", b ? b : "") == 0;
}

extern "C" BOOL CM_Equal(const CM *a, const CM *b)
{
    return a && b && a->ipaddr == b->ipaddr && wire_equal(a->host, b->host) &&
           wire_equal(a->user, b->user) && wire_equal(a->realname, b->realname);
}

extern "C" void CALLER_Free(LPCALLER caller)
{
    if (!caller)
        return;
    REC_Free(caller->callid);
    REC_Free(caller->group1);
    REC_Free(caller->group2);
    REC_Free(caller->spare);
    REC_Free(caller->subject);
    CML_Free(caller->members);
    REC_Free(caller);
}

/* The member of copy's list that stands where reference stood in the
 * source; false when the source has one and the copy has none. */
static bool refind(const CALLER *copy, const CM *reference, LPCM *out)
{
    if (!reference)
        return true;
    *out = CML_Find(copy, reference->user, reference->host);
    return *out != nullptr;
}

extern "C" LPCALLER CALLER_Copy(const CALLER *source)
{
    if (!source)
        return nullptr;
    LPCALLER copy = (LPCALLER)REC_Alloc(REC_CALLER, 0);
    if (!copy)
        return nullptr;
    copy->state = source->state;
    copy->starttime = source->starttime;
    copy->reserved = source->reserved;
    copy->seqno = source->seqno;
    copy->udpport1 = source->udpport1;
    copy->udpport2 = source->udpport2;
    copy->tcpport = source->tcpport;
    bool ok = STR_Dup(&copy->callid, source->callid) && STR_Dup(&copy->group1, source->group1) &&
              STR_Dup(&copy->group2, source->group2) && STR_Dup(&copy->spare, source->spare) &&
              STR_Dup(&copy->subject, source->subject);
    if (ok && source->members) {
        copy->members = CML_Copy(source->members);
        ok = copy->members != nullptr;
    }
    ok = ok && refind(copy, source->originator, &copy->originator) &&
         refind(copy, source->local, &copy->local);
    if (!ok) {
        CALLER_Free(copy);
        return nullptr;
    }
    return copy;
}
