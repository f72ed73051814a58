/*
 * cmcall.h - the pieces of cmcall that need no call manager running: the
 * command line, address texts as a person types them, and the lines that
 * cmcall prints (text or JSON).  cmcall.cpp puts them on the library.
 */
#ifndef CMCALL_CMCALL_H
#define CMCALL_CMCALL_H

#include <callmgr.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

enum CmcallMode { CMCALL_HELP, CMCALL_ANSWER, CMCALL_INVITE };

/* Invitations are given up after this long unless --timeout says otherwise:
 * longer than an invited person's unanswered dialog (about two minutes) plus
 * one network exchange, so a silent peer ends as "declined", not as a
 * time-out. */
const unsigned CMCALL_DEFAULT_TIMEOUT = 180;
/* The library keeps sound file names in 128 characters. */
const size_t CMCALL_MAX_SOUND = 127;
/* An address text the library takes has at most 255 characters. */
const size_t CMCALL_MAX_ADDRESS = 255;
const unsigned CMCALL_MAX_TIMEOUT = 86400;
/* The library's own default address book, which cmcall keeps. */
const char CMCALL_ADDRESS_BOOK[] = "C:\\TEMP\\vorlane.zab";

struct CmcallOptions {
    CmcallMode mode = CMCALL_HELP;
    bool json = false;
    bool autoaccept = false; /* answer: the library accepts at once */
    bool decline = false;    /* answer: press Decline in every Invite - RSVP dialog */
    unsigned count = 0;      /* answer: end after this many answers; 0 = until stopped */
    bool has_sound = false;
    std::string sound;
    bool has_subject = false; /* invite: without it the call has no subject */
    std::string subject;
    unsigned timeout = CMCALL_DEFAULT_TIMEOUT; /* invite: seconds */
    std::vector<std::string> addresses;        /* invite: as typed */
    bool dialog = false; /* invite: the person picks the members in the Invite dialog */
};

/* Parses argv[1..argc-1].  true on success; false with a one-line reason in
 * `error` (the caller prints it and the usage hint, and exits 2). */
bool CMCALL_ParseArgs(int argc, char **argv, CmcallOptions *options, std::string *error);
const char *CMCALL_Usage(void);
/* Whether the library's dialogs are windows on a desktop, from the values of
 * CALLMGR_DISPLAY, DISPLAY and WAYLAND_DISPLAY (each may be null): "live" or
 * "headless" decide, otherwise a non-empty DISPLAY or WAYLAND_DISPLAY. */
bool CMCALL_HasDesktop(const char *forced, const char *x11, const char *wayland);

/* What the library needs from what a person types: "host" and "user@host"
 * become "<host>" and "<user@host>"; a text with "<" is taken as it is.
 * Surrounding blanks are dropped. */
std::string CMCALL_WrapAddress(const std::string &typed);
/* The short form used in lines: the address without display name or
 * brackets ("Bob <bob@hostb>" -> "bob@hostb"). */
std::string CMCALL_AddressLabel(const std::string &typed);

/* A 32-bit address in network byte order as dotted text. */
std::string CMCALL_Dotted(uint32_t netaddr);
/* A member entry of a block as a person names it: "user@host", or "host"
 * when the address named no user (the library's "ANYBODY"), else the
 * display name, else the dotted address. */
std::string CMCALL_EntryLabel(const CMMEMBERENTRY &entry);
/* Name and meaning of a CMERR_ status ("CMERR_SERVER", "the call-protocol
 * server could not be started"). */
const char *CMCALL_StatusName(unsigned status);
const char *CMCALL_StatusText(unsigned status);

/* One line of output: its kind, its text for a person, and its fields for
 * the JSON form (each already rendered as a JSON value). */
struct CmcallField {
    std::string key;
    std::string json;
};
struct CmcallEvent {
    std::string kind;
    std::string text;
    std::vector<CmcallField> fields;
};

std::string CMCALL_JsonString(const std::string &text);
/* A text made safe for a terminal: control characters become '?'. */
std::string CMCALL_Printable(const std::string &text);
void CMCALL_AddString(CmcallEvent *event, const char *key, const std::string &value);
void CMCALL_AddNumber(CmcallEvent *event, const char *key, unsigned long value);
void CMCALL_AddRaw(CmcallEvent *event, const char *key, const std::string &json);

/* "12:00:01.234" of the local time now. */
std::string CMCALL_TimeStamp(void);
/* The line without its newline: "STAMP TEXT" or one JSON object. */
std::string CMCALL_FormatEvent(const CmcallEvent &event, const std::string &stamp, bool json);

/* The event for a CMCALLINFO block of `size` bytes (kind "call-started",
 * "call-updated" or "members-added"); entries beyond the block are never
 * read whatever its count says. */
CmcallEvent CMCALL_CallInfoEvent(const char *kind, unsigned session, const CMCALLINFO *info,
                                 size_t size);
/* The event for a CMMEMBERINFO block of `size` bytes ("address"). */
CmcallEvent CMCALL_MemberInfoEvent(unsigned session, const CMMEMBERINFO *info, size_t size);

/* What became of an invited member. */
enum CmcallMemberState {
    CMCALL_PENDING,
    CMCALL_ACCEPTED,
    CMCALL_DECLINED,
    CMCALL_UNREACHABLE,
    CMCALL_NOADDRESS,
    CMCALL_OTHER,
};

/* One invited member.  A member invited alone in its session is known by
 * its session.  Members picked in the Invite dialog share one session and
 * are known by their address word: the lookup id while the name is being
 * looked up (what CMN_CALLSTARTED and CMN_NOADDRESS carry), then the address
 * CMN_ADDRESS reports (what ringing and the answers carry). */
struct CmcallMember {
    std::string label;
    unsigned session = 0;
    bool by_address = false;
    uint32_t word = 0; /* network order */
    bool resolved = false;
    bool rang = false;
    CmcallMemberState state = CMCALL_PENDING;
};
typedef std::vector<CmcallMember> CmcallRoster;

/* What a notification says of a member, for finding it. */
enum CmcallNotice {
    CMCALL_NOTICE_NOADDRESS, /* the word is a lookup id */
    CMCALL_NOTICE_RINGING,   /* an address; the first member not yet rung */
    CMCALL_NOTICE_UPDATING,  /* an address */
    CMCALL_NOTICE_ANSWER,    /* an address; unreachable or an answer */
};

/* Adds the invited members of a CMN_CALLSTARTED block of `size` bytes, known
 * by address: every entry but the first (the local member, always listed
 * first) and but all-zero entries; only whole entries inside the block are
 * read.  Returns how many were added. */
size_t CMCALL_RosterAddCall(CmcallRoster *roster, unsigned session, const CMCALLINFO *info,
                            size_t size);
/* CMN_ADDRESS: the session's member still being looked up under the block's
 * first word takes the resolved address.  Its index, or -1. */
int CMCALL_RosterResolve(CmcallRoster *roster, unsigned session, const CMMEMBERINFO *info,
                         size_t size);
/* The member a notification of `session` with `netaddr` is about, or -1.  A
 * member known by session is the first of its session whatever the word.
 * Several members may share an address (two users on one host): ringing
 * picks the first not yet rung, an answer the first rung and still pending,
 * then the first pending. */
int CMCALL_RosterFind(const CmcallRoster &roster, unsigned session, uint32_t netaddr,
                      CmcallNotice notice);

#endif
