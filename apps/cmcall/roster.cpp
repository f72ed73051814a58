/*
 * roster.cpp - which invited member a notification is about.  Members picked
 * in the Invite dialog share one session, so the session alone does not say;
 * their address word does.
 */
#include "cmcall.h"

#include <cstring>

namespace {

const size_t ENTRY_OFFSET = offsetof(CMCALLINFO, members);

bool EntryIsEmpty(const CMMEMBERENTRY &entry)
{
    static const CMMEMBERENTRY zero = {};
    return std::memcmp(&entry, &zero, sizeof entry) == 0;
}

bool Matches(const CmcallMember &m, unsigned session, uint32_t netaddr)
{
    return m.session == session && m.by_address && m.word == netaddr;
}

} // namespace

size_t CMCALL_RosterAddCall(CmcallRoster *roster, unsigned session, const CMCALLINFO *info,
                            size_t size)
{
    if (!roster || !info || size < ENTRY_OFFSET)
        return 0;
    size_t readable = (size - ENTRY_OFFSET) / sizeof(CMMEMBERENTRY);
    size_t count = info->count < readable ? info->count : readable;
    const char *entries = reinterpret_cast<const char *>(info) + ENTRY_OFFSET;
    size_t added = 0;
    for (size_t i = 1; i < count; i++) {
        CMMEMBERENTRY entry;
        std::memcpy(&entry, entries + i * sizeof entry, sizeof entry);
        if (EntryIsEmpty(entry))
            continue;
        CmcallMember m;
        m.label = CMCALL_EntryLabel(entry);
        m.session = session;
        m.by_address = true;
        m.word = entry.ipaddr;
        roster->push_back(m);
        added++;
    }
    return added;
}

int CMCALL_RosterResolve(CmcallRoster *roster, unsigned session, const CMMEMBERINFO *info,
                         size_t size)
{
    if (!roster || !info || size < sizeof(CMMEMBERINFO))
        return -1;
    for (size_t i = 0; i < roster->size(); i++) {
        CmcallMember &m = (*roster)[i];
        if (!m.resolved && Matches(m, session, info->pending.ipaddr)) {
            m.word = info->resolved.ipaddr;
            m.resolved = true;
            return static_cast<int>(i);
        }
    }
    return -1;
}

int CMCALL_RosterFind(const CmcallRoster &roster, unsigned session, uint32_t netaddr,
                      CmcallNotice notice)
{
    for (size_t i = 0; i < roster.size(); i++)
        if (roster[i].session == session && !roster[i].by_address)
            return static_cast<int>(i);

    /* Candidates in order of preference; the first test any member passes
     * wins. */
    auto first = [&](auto test) -> int {
        for (size_t i = 0; i < roster.size(); i++)
            if (Matches(roster[i], session, netaddr) && test(roster[i]))
                return static_cast<int>(i);
        return -1;
    };
    int found = -1;
    switch (notice) {
    case CMCALL_NOTICE_NOADDRESS:
        found = first([](const CmcallMember &m) { return !m.resolved; });
        break;
    case CMCALL_NOTICE_RINGING:
        found = first([](const CmcallMember &m) { return m.resolved && !m.rang; });
        break;
    case CMCALL_NOTICE_UPDATING:
        found = first([](const CmcallMember &m) { return m.resolved; });
        break;
    case CMCALL_NOTICE_ANSWER:
        found = first([](const CmcallMember &m) {
            return m.resolved && m.rang && m.state == CMCALL_PENDING;
        });
        if (found < 0)
            found = first(
                [](const CmcallMember &m) { return m.resolved && m.state == CMCALL_PENDING; });
        break;
    }
    if (found < 0 && notice != CMCALL_NOTICE_NOADDRESS)
        found = first([](const CmcallMember &m) { return m.resolved; });
    return found;
}
