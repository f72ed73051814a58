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
};

/* Parses argv[1..argc-1].  true on success; false with a one-line reason in
 * `error` (the caller prints it and the usage hint, and exits 2). */
bool CMCALL_ParseArgs(int argc, char **argv, CmcallOptions *options, std::string *error);
const char *CMCALL_Usage(void);

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

#endif
