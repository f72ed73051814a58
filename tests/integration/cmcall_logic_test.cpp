// cmcall's own logic: the command line, the lines it prints and the members
// it waits for.
#include "cmcall.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <cstring>
#include <vector>

namespace {

// Parses `list` as cmcall's arguments; `error` gets the message of a refusal.
bool Parses(std::initializer_list<const char *> list, CmcallOptions *options = nullptr,
            std::string *error = nullptr)
{
    std::vector<std::string> words{"cmcall"};
    words.insert(words.end(), list.begin(), list.end());
    std::vector<char *> argv;
    for (std::string &w : words)
        argv.push_back(w.data());
    CmcallOptions scratch;
    std::string ignored;
    return CMCALL_ParseArgs(static_cast<int>(argv.size()), argv.data(),
                            options ? options : &scratch, error ? error : &ignored);
}

TEST(CmcallArgs, AnswerAndInviteTakeTheirOwnOptionsInAnyOrder)
{
    CmcallOptions o;
    ASSERT_TRUE(
        Parses({"answer", "--count", "3", "--json", "--auto-accept", "--sound=ring.wav"}, &o));
    EXPECT_EQ(o.mode, CMCALL_ANSWER);
    EXPECT_EQ(o.count, 3u);
    EXPECT_TRUE(o.json && o.autoaccept && !o.decline && o.has_sound);
    EXPECT_EQ(o.sound, "ring.wav");

    ASSERT_TRUE(Parses(
        {"invite", "hostb", "--subject", "", "Bob <bob@hostc>", "--timeout=7", "--", "--odd"}, &o));
    EXPECT_TRUE(o.has_subject && o.subject.empty());
    EXPECT_EQ(o.timeout, 7u);
    ASSERT_EQ(o.addresses.size(), 3u);
    EXPECT_EQ(o.addresses[2], "--odd") << "after --, an address";

    ASSERT_TRUE(Parses({"invite", "hostb"}, &o));
    EXPECT_FALSE(o.has_subject);
    EXPECT_EQ(o.timeout, CMCALL_DEFAULT_TIMEOUT);
    ASSERT_TRUE(Parses({"invite", "hostb", "--help"}, &o));
    EXPECT_EQ(o.mode, CMCALL_HELP);
}

TEST(CmcallArgs, RefusesWhatItCannotDo)
{
    const struct {
        std::initializer_list<const char *> args;
        const char *error;
    } refused[] = {
        {{}, "no command given (answer or invite)"},
        {{"call"}, "unknown command 'call' (answer or invite)"},
        {{"answer", "hostb"}, "answer takes no address ('hostb')"},
        {{"invite", "hostb", "--decline"}, "'--decline' is not an option of invite"},
        {{"answer", "--auto-accept", "--decline"},
         "--auto-accept and --decline exclude each other"},
        {{"answer", "--json=1"}, "'--json' takes no value"},
        {{"answer", "--count"}, "'--count' needs a value"},
        {{"invite"}, "invite needs at least one address"},
        {{"invite", "  "}, "empty address"},
        {{"invite", "--dialog", "hostb"},
         "--dialog takes no address ('hostb'): they are typed in the Invite dialog"},
        {{"invite", "--subject", "x", "--dialog"},
         "--dialog takes no --subject: it is typed in the Invite dialog"},
        {{"answer", "--dialog"}, "'--dialog' is not an option of answer"},
        {{"answer", "--bogus"}, "unknown option '--bogus'"},
    };
    for (const auto &r : refused) {
        std::string error;
        EXPECT_FALSE(Parses(r.args, nullptr, &error));
        EXPECT_EQ(error, r.error);
    }
    // Counts and seconds: whole, positive, bounded.
    EXPECT_TRUE(Parses({"answer", "--count", "1000000"}));
    for (const char *bad : {"0", "-1", "1.5", "", "1000001", "12345678901"})
        EXPECT_FALSE(Parses({"answer", "--count", bad})) << bad;
    EXPECT_TRUE(Parses({"invite", "h", "--timeout", "86400"}));
    EXPECT_FALSE(Parses({"invite", "h", "--timeout", "86401"}));
    // Sound names fit the library's 128-character store; addresses its 255.
    std::string sound(CMCALL_MAX_SOUND, 's');
    EXPECT_TRUE(Parses({"answer", "--sound", sound.c_str()}));
    sound += 's';
    EXPECT_FALSE(Parses({"answer", "--sound", sound.c_str()}));
    std::string host(CMCALL_MAX_ADDRESS - 2, 'h'); // wrapped in "<" ">"
    EXPECT_TRUE(Parses({"invite", host.c_str()}));
    host += 'h';
    EXPECT_FALSE(Parses({"invite", host.c_str()}));
}

TEST(CmcallFormat, JsonEscapesEveryByteThatNeedsIt)
{
    EXPECT_EQ(CMCALL_JsonString("a\"b\\c"), "\"a\\\"b\\\\c\"");
    EXPECT_EQ(CMCALL_JsonString(std::string("\n\t\x01\x7f", 4)), "\"\\n\\t\\u0001\\u007f\"");
    EXPECT_EQ(CMCALL_JsonString("caf\xe9"), "\"caf\\u00e9\"");
    EXPECT_EQ(CMCALL_Printable("a\nb\x1b[0m"), "a?b?[0m");

    CmcallEvent event;
    event.kind = "ringing";
    event.text = "ringing bob@hostb";
    CMCALL_AddNumber(&event, "session", 1);
    CMCALL_AddString(&event, "member", "bob@hostb");
    EXPECT_EQ(CMCALL_FormatEvent(event, "12:00:01.234", false), "12:00:01.234 ringing bob@hostb");
    EXPECT_EQ(CMCALL_FormatEvent(event, "12:00:01.234", true),
              "{\"time\":\"12:00:01.234\",\"event\":\"ringing\",\"session\":1,"
              "\"member\":\"bob@hostb\"}");
}

// a.b.c.d in network order.
uint32_t Net(unsigned a, unsigned b, unsigned c, unsigned d)
{
    return htonl(a << 24 | b << 16 | c << 8 | d);
}

CMMEMBERENTRY Entry(const char *user, const char *host, uint32_t addr)
{
    CMMEMBERENTRY e{};
    std::snprintf(e.user, sizeof e.user, "%s", user);
    std::snprintf(e.host, sizeof e.host, "%s", host);
    e.ipaddr = addr;
    return e;
}

// A call block as the library lays it out: `members`, then the all-zero end
// entry; the count says how many members.
std::vector<unsigned char> CallBlock(std::initializer_list<CMMEMBERENTRY> members)
{
    std::vector<unsigned char> bytes(sizeof(CMCALLINFO) + members.size() * sizeof(CMMEMBERENTRY),
                                     0);
    CMCALLINFO *info = reinterpret_cast<CMCALLINFO *>(bytes.data());
    info->count = static_cast<uint32_t>(members.size());
    std::memcpy(bytes.data() + 360, members.begin(), members.size() * sizeof(CMMEMBERENTRY));
    return bytes;
}

TEST(CmcallFormat, CallInformationReadsOnlyWhatTheBlockHolds)
{
    std::vector<unsigned char> bytes =
        CallBlock({Entry("hosta", "hosta.callmgr.test", Net(198, 18, 0, 1)),
                   Entry("ANYBODY", "hostb", Net(0, 0, 0x80, 0x02))}); // still being looked up
    CMCALLINFO *info = reinterpret_cast<CMCALLINFO *>(bytes.data());
    info->originaddr = Net(198, 18, 0, 1);
    info->group1 = Net(233, 1, 0, 1);
    info->group2 = Net(233, 1, 0, 2);
    info->udpport1 = 40000;
    info->udpport2 = 40001;
    std::snprintf(info->subject, sizeof info->subject, "Design \"review\"");
    CMMEMBERENTRY *entries = reinterpret_cast<CMMEMBERENTRY *>(bytes.data() + 360);

    CmcallEvent event = CMCALL_CallInfoEvent("call-started", 1, info, bytes.size());
    EXPECT_EQ(event.text,
              "call started: session 1, subject \"Design \"review\"\", 2 members "
              "(hosta@hosta.callmgr.test, hostb), from 198.18.0.1, udp ports 40000/40001, "
              "groups 233.1.0.1/233.1.0.2");
    std::string json = CMCALL_FormatEvent(event, "t", true);
    EXPECT_NE(json.find("\"subject\":\"Design \\\"review\\\"\""), std::string::npos) << json;
    EXPECT_NE(json.find("\"host\":\"hostb\",\"addr\":null}]"), std::string::npos) << json;

    // A count beyond the block: only the whole entries inside it are read.
    info->count = 1000;
    event = CMCALL_CallInfoEvent("call-updated", 3, info, 360 + 196 + 195);
    EXPECT_NE(event.text.find("1000 members (hosta@hosta.callmgr.test), from"), std::string::npos)
        << event.text;
    // The roster takes hostb alone: the first is the local member, the third
    // the all-zero end.
    CmcallRoster roster;
    EXPECT_EQ(1u, CMCALL_RosterAddCall(&roster, 1, info, bytes.size()));
    EXPECT_EQ(0u, CMCALL_RosterAddCall(&roster, 1, info, 360 + 2 * 196 - 1));
    EXPECT_EQ(0u, CMCALL_RosterAddCall(&roster, 1, info, 359));
    EXPECT_EQ(0u, CMCALL_RosterAddCall(&roster, 1, nullptr, 0));
    EXPECT_EQ(1u, roster.size());
    // A full field without terminator is read to its end only.
    std::memset(entries[0].host, 'h', sizeof entries[0].host);
    info->count = 1;
    event = CMCALL_CallInfoEvent("call-started", 1, info, bytes.size());
    EXPECT_NE(event.text.find("hosta@" + std::string(64, 'h') + ")"), std::string::npos);

    EXPECT_EQ(CMCALL_CallInfoEvent("call-started", 4, info, 359).text,
              "call started: session 4 (no readable call information)");
    EXPECT_EQ(CMCALL_CallInfoEvent("members-added", 4, nullptr, 0).text,
              "members added: session 4 (no readable call information)");
}

CMMEMBERINFO Resolved(const CMMEMBERENTRY &pending, uint32_t addr)
{
    CMMEMBERINFO info{pending, pending};
    info.resolved.ipaddr = addr;
    return info;
}

TEST(CmcallRoster, MembersOfOneSessionAreToldApartByAddress)
{
    const uint32_t hostb = Net(198, 18, 0, 2), hostc = Net(198, 18, 0, 3);
    CMMEMBERENTRY local = Entry("hosta", "hosta", Net(198, 18, 0, 1));
    CMMEMBERENTRY bob = Entry("bob", "hostb", Net(0, 0, 0x80, 0x01));
    CMMEMBERENTRY carol = Entry("carol", "hostc", Net(0, 0, 0x80, 0x02));
    CMMEMBERENTRY nobody = Entry("nobody", "nosuchhost", Net(0, 0, 0x80, 0x03));
    CMMEMBERENTRY empty{};
    std::vector<unsigned char> block = CallBlock({local, bob, empty, carol, nobody});
    const CMCALLINFO *info = reinterpret_cast<const CMCALLINFO *>(block.data());

    // A member invited alone in its session is found by the session only.
    CmcallRoster roster(1);
    roster[0].label = "dave@hostd";
    roster[0].session = 1;
    // The local member (first) and the empty node are nobody to wait for.
    ASSERT_EQ(3u, CMCALL_RosterAddCall(&roster, 2, info, block.size()));
    ASSERT_EQ(4u, roster.size());
    EXPECT_EQ("nobody@nosuchhost", roster[3].label);
    EXPECT_EQ(0, CMCALL_RosterFind(roster, 1, hostb, CMCALL_NOTICE_ANSWER));

    // Addresses arrive in any order; each lands on the member of its lookup
    // and of its session only.
    CMMEMBERINFO carol_at = Resolved(carol, hostc);
    EXPECT_EQ(-1, CMCALL_RosterResolve(&roster, 3, &carol_at, sizeof carol_at));
    EXPECT_EQ(-1, CMCALL_RosterResolve(&roster, 2, &carol_at, sizeof carol_at - 1));
    EXPECT_EQ(2, CMCALL_RosterResolve(&roster, 2, &carol_at, sizeof carol_at));
    EXPECT_EQ(-1, CMCALL_RosterResolve(&roster, 2, &carol_at, sizeof carol_at)) << "once only";
    CMMEMBERINFO bob_at = Resolved(bob, hostb);
    EXPECT_EQ(1, CMCALL_RosterResolve(&roster, 2, &bob_at, sizeof bob_at));
    EXPECT_EQ(hostb, roster[1].word);

    // A failed lookup names the member by its lookup id, never an address.
    EXPECT_EQ(3, CMCALL_RosterFind(roster, 2, nobody.ipaddr, CMCALL_NOTICE_NOADDRESS));
    EXPECT_EQ(-1, CMCALL_RosterFind(roster, 2, bob.ipaddr, CMCALL_NOTICE_NOADDRESS));
    EXPECT_EQ(-1, CMCALL_RosterFind(roster, 2, nobody.ipaddr, CMCALL_NOTICE_RINGING));

    EXPECT_EQ(2, CMCALL_RosterFind(roster, 2, hostc, CMCALL_NOTICE_RINGING));
    EXPECT_EQ(1, CMCALL_RosterFind(roster, 2, hostb, CMCALL_NOTICE_ANSWER));
    EXPECT_EQ(-1, CMCALL_RosterFind(roster, 2, Net(198, 18, 0, 9), CMCALL_NOTICE_ANSWER));
    EXPECT_EQ(-1, CMCALL_RosterFind(roster, 3, hostb, CMCALL_NOTICE_ANSWER));
}

TEST(CmcallRoster, MembersSharingAnAddressAreTakenInTurn)
{
    // Two users on one host: the same address rings twice and answers twice.
    const uint32_t hostb = Net(198, 18, 0, 2);
    CMMEMBERENTRY bob = Entry("bob", "hostb", Net(0, 0, 0x80, 0x01));
    CMMEMBERENTRY eve = Entry("eve", "hostb", Net(0, 0, 0x80, 0x02));
    std::vector<unsigned char> block = CallBlock({Entry("a", "hosta", 1), bob, eve});
    CmcallRoster roster;
    ASSERT_EQ(2u,
              CMCALL_RosterAddCall(&roster, 1, reinterpret_cast<const CMCALLINFO *>(block.data()),
                                   block.size()));
    for (const CMMEMBERENTRY &e : {eve, bob}) {
        CMMEMBERINFO at = Resolved(e, hostb);
        ASSERT_GE(CMCALL_RosterResolve(&roster, 1, &at, sizeof at), 0);
    }
    // Nobody rang yet: an early answer goes to the first one pending.
    EXPECT_EQ(0, CMCALL_RosterFind(roster, 1, hostb, CMCALL_NOTICE_ANSWER));
    EXPECT_EQ(0, CMCALL_RosterFind(roster, 1, hostb, CMCALL_NOTICE_RINGING));
    roster[0].rang = true;
    EXPECT_EQ(1, CMCALL_RosterFind(roster, 1, hostb, CMCALL_NOTICE_RINGING));
    roster[1].rang = true;
    // Both rang: the answers come in ringing order, the settled one skipped.
    EXPECT_EQ(0, CMCALL_RosterFind(roster, 1, hostb, CMCALL_NOTICE_ANSWER));
    roster[0].state = CMCALL_ACCEPTED;
    EXPECT_EQ(1, CMCALL_RosterFind(roster, 1, hostb, CMCALL_NOTICE_ANSWER));
    roster[1].state = CMCALL_DECLINED;
    // A late duplicate answer still names someone at that address.
    EXPECT_EQ(0, CMCALL_RosterFind(roster, 1, hostb, CMCALL_NOTICE_ANSWER));
    EXPECT_EQ(0, CMCALL_RosterFind(roster, 1, hostb, CMCALL_NOTICE_RINGING));
}

} // namespace
