// A call of three members held in plain records, as a peer would send it:
// the inviter (member 0), the invited member (1) and a third (2) that
// differs from member 1 only in its real name.
#pragma once

#include <cmwire.h>

#include <string>

struct SampleCall {
    std::string texts[3][4];
    std::string callid, group1 = "233.1.0.1", group2 = "233.1.0.2", spare = "",
                        subject = "Design review";
    CM members[3];
    CML nodes[3];
    CALLER caller;
    CALLREQ request;

    explicit SampleCall(const std::string &id, INT msg = CALL_INVITE) : callid(id)
    {
        const char *const init[3][4] = {{"hosta", "alice", "Alice A", "alice@hosta"},
                                        {"hostb", "bob", "Bob B", "bob@hostb"},
                                        {"hostb", "bob", "Bob Other", "bob@hostb"}};
        const ipaddr_t addr[3] = {0xC6120001u, 0xC6120002u, 0xC6120002u};
        for (int i = 0; i < 3; ++i) {
            for (int t = 0; t < 4; ++t)
                texts[i][t] = init[i][t];
            std::string *s = texts[i];
            members[i] =
                CM{CMS_IDLE, addr[i], s[0].data(), s[1].data(), s[2].data(), s[3].data(), 0};
            nodes[i] = CML{&members[i], i < 2 ? &nodes[i + 1] : nullptr};
        }
        caller = CALLER{CS_ACTIVE,
                        123456,
                        0,
                        42,
                        5000,
                        5002,
                        6000,
                        callid.data(),
                        group1.data(),
                        group2.data(),
                        spare.data(),
                        subject.data(),
                        &members[0],
                        &members[0],
                        &nodes[0]};
        request = CALLREQ{msg, &members[1], &members[0], &caller};
    }
    SampleCall(const SampleCall &) = delete;
};

// The number of nodes of a member list.
inline size_t list_length(const CML *node)
{
    size_t n = 0;
    for (; node; node = node->next)
        ++n;
    return n;
}
