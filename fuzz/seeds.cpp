/*
 * seeds.cpp - writes the harnesses' seed inputs from valid records.
 *
 *   fuzz_seeds DIR     writes DIR/xdr, DIR/addr, DIR/profile and DIR/onc
 *
 * The wire seeds are encoded by the protocol's own routines from calls,
 * requests and replies such as the system sends; the profile seeds are
 * address books written by the profile writer.  The checked-in corpus is
 * this program's output (the fuzz.seeds test compares them), so a change of
 * the wire form shows up as a changed seed rather than a stale one.
 */
#include "fuzzcheck.h"
#include "xdrtable.h"

#include <winbase.h>

#include <stdint.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

namespace {

std::string out_dir;

void WriteSeed(const std::string &harness, const std::string &name, const std::string &bytes)
{
    std::string dir = out_dir + "/" + harness;
    std::filesystem::create_directories(dir);
    FILE *f = fopen((dir + "/" + name).c_str(), "wb");
    FUZZ_CHECK(f != nullptr);
    FUZZ_CHECK(fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size());
    FUZZ_CHECK(fclose(f) == 0);
}

/* ---- wire seeds ---- */

void WireSeed(const char *routine, const char *variant, void *record)
{
    size_t index = FUZZ_XdrFind(routine);
    FUZZ_CHECK(index < FUZZ_XDRCOUNT);
    std::vector<char> buffer(65536);
    XDR xdrs;
    xdrmem_create(&xdrs, buffer.data(), (u_int)buffer.size(), XDR_ENCODE);
    FUZZ_CHECK(FUZZ_XdrCodecs[index].run(&xdrs, record));
    u_int length = xdr_getpos(&xdrs);
    xdr_destroy(&xdrs);
    std::string bytes(1, (char)index);
    bytes.append(buffer.data(), length);
    WriteSeed("xdr", std::string(routine) + "-" + variant, bytes);
}

CM Member(INT state, ipaddr_t ip, const char *host, const char *user, const char *realname,
          const char *address)
{
    return CM{state,
              ip,
              const_cast<char *>(host),
              const_cast<char *>(user),
              const_cast<char *>(realname),
              const_cast<char *>(address),
              0};
}

void WireSeeds()
{
    /* A three-party call as its originator sends it to the third member. */
    CM alice = Member(CMS_JOINED, 0xC6120001, "hosta.callmgr.test", "alice", "Alice Example", "");
    CM bob = Member(CMS_JOINED, 0xC6120002, "hostb.callmgr.test", "bob", "Bob Example",
                    "Bob <bob@hostb.callmgr.test>");
    CM carol = Member(CMS_IDLE, 0xC6120003, "hostc", "ANYBODY", "", "hostc");
    CML n3 = {&carol, nullptr};
    CML n2 = {&bob, &n3};
    CML n1 = {&alice, &n2};
    CALLER call = {CS_CHANGED,
                   (int32_t)0x80000123,
                   0,
                   1,
                   5004,
                   5005,
                   5000,
                   const_cast<char *>("3323068417/2147483939"),
                   const_cast<char *>("233.1.0.1"),
                   const_cast<char *>("233.1.0.2"),
                   const_cast<char *>(""),
                   const_cast<char *>("Weekly review"),
                   &alice,
                   &alice,
                   &n1};
    CALLER lone = {CS_NEW,
                   1000,
                   0,
                   2,
                   0,
                   0,
                   5000,
                   const_cast<char *>("3323068417/1000"),
                   const_cast<char *>("233.1.0.3"),
                   const_cast<char *>("233.1.0.4"),
                   const_cast<char *>(""),
                   nullptr,
                   nullptr,
                   nullptr,
                   nullptr};

    /* A member whose texts stand at the bounds: 255 bytes, and empty. */
    std::string longest(WIRE_MAXTEXT, 'h');
    CM bounds = Member((INT)CMS_RESOLVING, 0xFFFFFFFF, longest.c_str(), "", "", longest.c_str());

    CallMessage message = CALL_UPDATE;
    CallState state = CS_ACTIVE;
    CallMemberState member_state = CMS_RESOLVING;
    ipaddr_t none = 0xFFFFFFFF;
    INT minus = -1;
    WireSeed("CallMessage", "update", &message);
    WireSeed("CallState", "active", &state);
    WireSeed("CallMemberState", "resolving", &member_state);
    WireSeed("ipaddr_t", "none", &none);
    WireSeed("INT", "minus-one", &minus);

    LPCM ref = &bob;
    LPCM absent_cm = nullptr;
    CM worked = Member(CMS_JOINED, 0xC0A80102, "pc1", "ANYBODY", "", "pc1");
    WireSeed("CM", "pc1", &worked);
    WireSeed("CM", "bounds", &bounds);
    WireSeed("LPCM", "present", &ref);
    WireSeed("LPCM", "absent", &absent_cm);

    LPCML list = &n1;
    LPCML empty = nullptr;
    WireSeed("CML", "three", &n1);
    WireSeed("LPCML", "three", &list);
    WireSeed("LPCML", "empty", &empty);

    LPCALLER call_ref = &call;
    WireSeed("CALLER", "conference", &call);
    WireSeed("CALLER", "no-members", &lone);
    WireSeed("LPCALLER", "conference", &call_ref);

    CALLREQ invite = {CALL_INVITE, &carol, &alice, &call};
    CALLREQ bare = {CALL_UPDATE, nullptr, nullptr, nullptr};
    LPCALLREQ invite_ref = &invite;
    WireSeed("CALLREQ", "invite", &invite);
    WireSeed("CALLREQ", "absent-parts", &bare);
    WireSeed("LPCALLREQ", "invite", &invite_ref);

    CALLRPY accept = {CALL_ACCEPT, &alice, &carol, call.callid, 1};
    CALLRPY odd = {13, nullptr, &carol, const_cast<char *>(""), 0};
    LPCALLRPY accept_ref = &accept;
    WireSeed("CALLRPY", "accept", &accept);
    WireSeed("CALLRPY", "other-code", &odd);
    WireSeed("LPCALLRPY", "accept", &accept_ref);

    CAPINFO caps = {1, 2, 3, 4, 5};
    LPCAPINFO caps_ref = &caps;
    LPCAPINFO caps_none = nullptr;
    CAPINFOMESSAGE capmsg = {const_cast<char *>("capabilities"), {0, -1, 7, 0x7FFFFFFF, 2}};
    LPCAPINFOMESSAGE capmsg_ref = &capmsg;
    WireSeed("CAPINFO", "values", &caps);
    WireSeed("LPCAPINFO", "present", &caps_ref);
    WireSeed("LPCAPINFO", "absent", &caps_none);
    WireSeed("CAPINFOMESSAGE", "text", &capmsg);
    WireSeed("LPCAPINFOMESSAGE", "text", &capmsg_ref);
}

/* ---- address texts ---- */

void AddrSeeds()
{
    static const struct {
        const char *name;
        const char *text;
    } texts[] = {
        {"name-user-host", "Front Desk <desk@alpha>"},
        {"host-only", "<alpha>"},
        {"blanks-inside", "Desk <  desk@alpha  >"},
        {"no-close", "Desk <desk@ alpha"},
        {"no-open", "desk@alpha"},
        {"empty-brackets", "<>"},
        {"at-beyond-close", "Desk <alpha> note@beta"},
        {"tab-before-open", "Bob Example\t<bob@hostb.callmgr.test>"},
    };
    for (const auto &t : texts)
        WriteSeed("addr", t.name, t.text);
}

/* ---- record streams of the Windows RPC runtime ---- */

/* A record's body as the system's own RPC library writes it: a call
 * header (reply false) or an accepted reply, then `args`. */
std::string RpcBody(bool reply, u_int xid, rpcproc_t procedure, const std::string &args)
{
    std::vector<char> buffer(1024);
    XDR xdrs;
    xdrmem_create(&xdrs, buffer.data(), (u_int)buffer.size(), XDR_ENCODE);
    struct rpc_msg msg;
    memset(&msg, 0, sizeof msg);
    msg.rm_xid = xid;
    if (reply) {
        msg.rm_direction = REPLY;
        msg.rm_reply.rp_stat = MSG_ACCEPTED;
        msg.acpted_rply.ar_stat = SUCCESS;
        msg.acpted_rply.ar_results.proc = (xdrproc_t)xdr_void;
        FUZZ_CHECK(xdr_replymsg(&xdrs, &msg));
    } else {
        msg.rm_direction = CALL;
        msg.rm_call.cb_rpcvers = RPC_MSG_VERSION;
        msg.rm_call.cb_prog = CALLPROG;
        msg.rm_call.cb_vers = CALLVERS;
        msg.rm_call.cb_proc = procedure;
        FUZZ_CHECK(xdr_callmsg(&xdrs, &msg));
    }
    std::string body(buffer.data(), xdr_getpos(&xdrs));
    xdr_destroy(&xdrs);
    return body + args;
}

/* `body` as record fragments of at most `fragment` bytes. */
std::string Fragments(const std::string &body, size_t fragment)
{
    std::string out;
    size_t at = 0;
    do {
        size_t n = std::min(fragment, body.size() - at);
        uint32_t mark = (uint32_t)n | (at + n == body.size() ? 0x80000000u : 0);
        for (int shift = 24; shift >= 0; shift -= 8)
            out += (char)(mark >> shift);
        out.append(body, at, n);
        at += n;
    } while (at < body.size());
    return out;
}

void OncSeeds()
{
    /* The harness's arguments: a text, a byte run, an optional number. */
    const std::string args("\0\0\0\5alpha\0\0\0\0\0\0\2\1\2\0\0\0\0\0\1\0\0\0\x10", 28);
    const std::string result("\0\0\0\x10", 4);
    WriteSeed("onc", "call-whole",
              '\3' + Fragments(RpcBody(false, 1, CALLPROC_CAPINFO, args), 4096));
    WriteSeed("onc", "call-fragments",
              '\0' + Fragments(RpcBody(false, 2, CALLPROC_REQUEST, args), 12));
    WriteSeed("onc", "reply-then-call",
              '\xFF' + Fragments(RpcBody(true, 3, 0, result), 4096) +
                  Fragments(RpcBody(false, 4, 0, ""), 4096));
}

/* ---- profile files ---- */

enum {
    FLAG_NOKEY = 2,
    FLAG_NOFILE = 16,
    FLAG_SYMLINK = 32,
};

std::string ProfileSeed(unsigned flags, unsigned buffer, const char *section, const char *key,
                        const char *value, const char *dflt, const char *path,
                        const std::string &file)
{
    std::string s;
    s += (char)flags;
    s += (char)buffer;
    for (const char *field : {section, key, value, dflt, path}) {
        s += field;
        s += '\0';
    }
    return s + file;
}

std::string ReadFile(const std::string &path)
{
    std::string data;
    FILE *f = fopen(path.c_str(), "rb");
    FUZZ_CHECK(f != nullptr);
    char chunk[4096];
    size_t n;
    while ((n = fread(chunk, 1, sizeof chunk, f)) > 0)
        data.append(chunk, n);
    fclose(f);
    return data;
}

void ProfileSeeds()
{
    std::string pattern = std::filesystem::temp_directory_path().string() + "/callmgr-seeds.XXXXXX";
    std::vector<char> name(pattern.begin(), pattern.end());
    name.push_back('\0');
    FUZZ_CHECK(mkdtemp(name.data()) != nullptr);
    std::string work = name.data();
    std::string book = work + "/vorlane.zab";

    /* An address book as its dialogs leave it: users, one group. */
    const char *bob = "Bob Example <bob@hostb.callmgr.test>";
    const char *carol = "Carol <hostc>";
    FUZZ_CHECK(WritePrivateProfileStringA("users", bob, "", book.c_str()));
    FUZZ_CHECK(WritePrivateProfileStringA("users", carol, "", book.c_str()));
    FUZZ_CHECK(WritePrivateProfileStringA("groups", "Team", "", book.c_str()));
    FUZZ_CHECK(WritePrivateProfileStringA("Team", bob, "", book.c_str()));
    FUZZ_CHECK(WritePrivateProfileStringA("Team", carol, "", book.c_str()));
    std::string plain = ReadFile(book);

    /* The same book as another editor might save it: CRLF line ends, a
     * comment, a quoted value, a section repeated in other letter case. */
    FUZZ_CHECK(WritePrivateProfileStringA("options", "ring", "\"chimes.wav\"", book.c_str()));
    std::string edited = "; address book\n" + ReadFile(book) + "[TEAM]\nDave <dave@hostd>=\n";
    std::string crlf;
    for (char c : edited) {
        if (c == '\n')
            crlf += '\r';
        crlf += c;
    }
    std::filesystem::remove_all(work);

    WriteSeed("profile", "read-user",
              ProfileSeed(0, 200, "users", bob, "", "", "C:\\TEMP\\vorlane.zab", plain));
    WriteSeed("profile", "add-member-cut-lists",
              ProfileSeed(0, 12, "Team", "Dave <dave@hostd>", "", "", "c:/Temp/../x", plain));
    WriteSeed("profile", "delete-group",
              ProfileSeed(FLAG_NOKEY, 64, "Team", "", "", "", "D:\\book\\.\\a.zab", plain));
    WriteSeed("profile", "crlf-quoted",
              ProfileSeed(0, 255, "OPTIONS", "Ring", " 'bell.wav' ", "none", "", crlf));
    WriteSeed("profile", "missing-file",
              ProfileSeed(FLAG_NOFILE, 8, "users", carol, "", "default  ", "C:", ""));
    WriteSeed("profile", "symbolic-link",
              ProfileSeed(FLAG_SYMLINK, 100, "groups", "Team", "", "", "/tmp/x", plain));
}

} // namespace

int main(int argc, char **argv)
{
    if (argc != 2) {
        fprintf(stderr, "usage: %s DIR\n", argv[0]);
        return 2;
    }
    out_dir = argv[1];
    WireSeeds();
    AddrSeeds();
    ProfileSeeds();
    OncSeeds();
    return 0;
}
