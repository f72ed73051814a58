// cmcall's own logic: the command line, address texts as people type them,
// and the lines it prints, including blocks whose count lies.
#include "cmcall.h"

#include <gtest/gtest.h>

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

uint32_t Net(unsigned a, unsigned b, unsigned c, unsigned d)
{
    unsigned char bytes[4] = {static_cast<unsigned char>(a), static_cast<unsigned char>(b),
                              static_cast<unsigned char>(c), static_cast<unsigned char>(d)};
    uint32_t v;
    std::memcpy(&v, bytes, sizeof v);
    return v;
}

void SetEntry(CMMEMBERENTRY *e, const char *user, const char *host, uint32_t addr)
{
    std::memset(e, 0, sizeof *e);
    std::snprintf(e->user, sizeof e->user, "%s", user);
    std::snprintf(e->host, sizeof e->host, "%s", host);
    e->ipaddr = addr;
}

TEST(CmcallFormat, CallInformationReadsOnlyWhatTheBlockHolds)
{
    // Two members and the all-zero end entry, as the library lays it out.
    std::vector<unsigned char> bytes(sizeof(CMCALLINFO) + 2 * sizeof(CMMEMBERENTRY), 0);
    CMCALLINFO *info = reinterpret_cast<CMCALLINFO *>(bytes.data());
    info->originaddr = Net(198, 18, 0, 1);
    info->group1 = Net(233, 1, 0, 1);
    info->group2 = Net(233, 1, 0, 2);
    info->udpport1 = 40000;
    info->udpport2 = 40001;
    info->count = 2;
    std::snprintf(info->subject, sizeof info->subject, "Design \"review\"");
    CMMEMBERENTRY *entries = reinterpret_cast<CMMEMBERENTRY *>(bytes.data() + 360);
    SetEntry(&entries[0], "hosta", "hosta.callmgr.test", Net(198, 18, 0, 1));
    SetEntry(&entries[1], "ANYBODY", "hostb", Net(0, 0, 0x80, 0x02)); // still being looked up

    CmcallEvent event = CMCALL_CallInfoEvent("call-started", 1, info, bytes.size());
    EXPECT_EQ(event.text,
              "call started: session 1, subject \"Design \"review\"\", 2 members "
              "(hosta@hosta.callmgr.test, hostb), from 198.18.0.1, udp ports 40000/40001, "
              "groups 233.1.0.1/233.1.0.2");
    std::string json = CMCALL_FormatEvent(event, "t", true);
    EXPECT_NE(json.find("\"subject\":\"Design \\\"review\\\"\""), std::string::npos) << json;
    EXPECT_NE(json.find("\"host\":\"hostb\",\"addr\":null}]"), std::string::npos) << json;

    // A count beyond the block: only the entries inside it are read.
    info->count = 1000;
    event = CMCALL_CallInfoEvent("call-updated", 3, info, 360 + 196 + 195);
    EXPECT_NE(event.text.find("1000 members (hosta@hosta.callmgr.test), from"), std::string::npos)
        << event.text;
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

} // namespace
