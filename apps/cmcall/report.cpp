/*
 * report.cpp - the lines cmcall prints: a time stamp and a sentence, or one
 * JSON object per line for programs.
 */
#include "cmcall.h"

#include <cstdio>
#include <cstring>
#include <ctime>

namespace {

const size_t ENTRY_OFFSET = offsetof(CMCALLINFO, members);

std::string FieldText(const char *field, size_t size)
{
    return std::string(field, strnlen(field, size));
}

/* While a member's name is being looked up its address word holds the
 * lookup's number instead; no host has an address in 0.0.0.0/8, so such a
 * word is shown as no address. */
bool AddressIsReal(uint32_t netaddr)
{
    unsigned char first;
    std::memcpy(&first, &netaddr, 1);
    return first != 0;
}

std::string EntryJson(const CMMEMBERENTRY &entry)
{
    return "{\"realname\":" + CMCALL_JsonString(FieldText(entry.realname, sizeof entry.realname)) +
           ",\"user\":" + CMCALL_JsonString(FieldText(entry.user, sizeof entry.user)) +
           ",\"host\":" + CMCALL_JsonString(FieldText(entry.host, sizeof entry.host)) +
           ",\"addr\":" +
           (AddressIsReal(entry.ipaddr) ? CMCALL_JsonString(CMCALL_Dotted(entry.ipaddr))
                                        : std::string("null")) +
           "}";
}

std::string KindWords(const char *kind)
{
    std::string words = kind;
    for (char &c : words)
        if (c == '-')
            c = ' ';
    return words;
}

} // namespace

std::string CMCALL_JsonString(const std::string &text)
{
    std::string out = "\"";
    for (unsigned char c : text) {
        switch (c) {
        case '"':
            out += "\\\"";
            break;
        case '\\':
            out += "\\\\";
            break;
        case '\b':
            out += "\\b";
            break;
        case '\f':
            out += "\\f";
            break;
        case '\n':
            out += "\\n";
            break;
        case '\r':
            out += "\\r";
            break;
        case '\t':
            out += "\\t";
            break;
        default:
            /* Texts are single-byte strings: bytes above 127 are taken as
             * Latin-1, so the output is valid UTF-8 JSON whatever they hold. */
            if (c < 0x20 || c >= 0x7F) {
                char esc[8];
                std::snprintf(esc, sizeof esc, "\\u%04x", c);
                out += esc;
            } else {
                out += static_cast<char>(c);
            }
        }
    }
    out += '"';
    return out;
}

std::string CMCALL_Printable(const std::string &text)
{
    std::string out = text;
    for (char &c : out) {
        unsigned char u = static_cast<unsigned char>(c);
        if (u < 0x20 || u == 0x7F)
            c = '?';
    }
    return out;
}

void CMCALL_AddString(CmcallEvent *event, const char *key, const std::string &value)
{
    event->fields.push_back({key, CMCALL_JsonString(value)});
}

void CMCALL_AddNumber(CmcallEvent *event, const char *key, unsigned long value)
{
    event->fields.push_back({key, std::to_string(value)});
}

void CMCALL_AddRaw(CmcallEvent *event, const char *key, const std::string &json)
{
    event->fields.push_back({key, json});
}

std::string CMCALL_TimeStamp(void)
{
    struct timespec now;
    clock_gettime(CLOCK_REALTIME, &now);
    struct tm local;
    localtime_r(&now.tv_sec, &local);
    char text[32];
    std::snprintf(text, sizeof text, "%02d:%02d:%02d.%03ld", local.tm_hour, local.tm_min,
                  local.tm_sec, now.tv_nsec / 1000000L);
    return text;
}

std::string CMCALL_FormatEvent(const CmcallEvent &event, const std::string &stamp, bool json)
{
    if (!json)
        return stamp + " " + CMCALL_Printable(event.text);
    std::string out = "{\"time\":";
    out += CMCALL_JsonString(stamp);
    out += ",\"event\":";
    out += CMCALL_JsonString(event.kind);
    for (const CmcallField &field : event.fields) {
        out += ",";
        out += CMCALL_JsonString(field.key);
        out += ":";
        out += field.json;
    }
    out += "}";
    return out;
}

CmcallEvent CMCALL_CallInfoEvent(const char *kind, unsigned session, const CMCALLINFO *info,
                                 size_t size)
{
    CmcallEvent event;
    event.kind = kind;
    CMCALL_AddNumber(&event, "session", session);
    if (!info || size < ENTRY_OFFSET) {
        event.text = KindWords(kind) + ": session " + std::to_string(session) +
                     " (no readable call information)";
        CMCALL_AddRaw(&event, "block", "null");
        return event;
    }
    std::string subject = FieldText(info->subject, sizeof info->subject);
    /* Only whole entries inside the block are read, whatever its count says. */
    size_t readable = (size - ENTRY_OFFSET) / sizeof(CMMEMBERENTRY);
    size_t shown = info->count < readable ? info->count : readable;
    const char *entries = reinterpret_cast<const char *>(info) + ENTRY_OFFSET;

    std::string labels, members_json = "[";
    for (size_t i = 0; i < shown; i++) {
        CMMEMBERENTRY entry;
        std::memcpy(&entry, entries + i * sizeof entry, sizeof entry);
        if (i) {
            labels += ", ";
            members_json += ",";
        }
        labels += CMCALL_EntryLabel(entry);
        members_json += EntryJson(entry);
    }
    members_json += "]";

    std::string text = KindWords(kind) + ": session " + std::to_string(session) + ", ";
    text += subject.empty() ? std::string("no subject") : "subject \"" + subject + "\"";
    text += ", " + std::to_string(info->count) + (info->count == 1 ? " member" : " members");
    if (shown)
        text += " (" + labels + ")";
    text += ", from " + CMCALL_Dotted(info->originaddr);
    text += ", udp ports " + std::to_string(info->udpport1) + "/" + std::to_string(info->udpport2);
    text += ", groups " + CMCALL_Dotted(info->group1) + "/" + CMCALL_Dotted(info->group2);
    event.text = text;

    CMCALL_AddString(&event, "subject", subject);
    CMCALL_AddNumber(&event, "count", info->count);
    CMCALL_AddRaw(&event, "members", members_json);
    CMCALL_AddString(&event, "local", CMCALL_Dotted(info->localaddr));
    CMCALL_AddString(&event, "originator", CMCALL_Dotted(info->originaddr));
    CMCALL_AddRaw(&event, "groups",
                  "[" + CMCALL_JsonString(CMCALL_Dotted(info->group1)) + "," +
                      CMCALL_JsonString(CMCALL_Dotted(info->group2)) + "]");
    CMCALL_AddRaw(&event, "udp_ports",
                  "[" + std::to_string(info->udpport1) + "," + std::to_string(info->udpport2) +
                      "]");
    CMCALL_AddNumber(&event, "tcp_port", info->tcpport);
    return event;
}

CmcallEvent CMCALL_MemberInfoEvent(unsigned session, const CMMEMBERINFO *info, size_t size)
{
    CmcallEvent event;
    event.kind = "address";
    CMCALL_AddNumber(&event, "session", session);
    if (!info || size < sizeof(CMMEMBERINFO)) {
        event.text =
            "address: session " + std::to_string(session) + " (no readable member information)";
        return event;
    }
    std::string label = CMCALL_EntryLabel(info->resolved);
    std::string addr = CMCALL_Dotted(info->resolved.ipaddr);
    event.text = "address of " + label + ": " + addr;
    CMCALL_AddString(&event, "member", label);
    CMCALL_AddString(&event, "addr", addr);
    CMCALL_AddRaw(&event, "entry", EntryJson(info->resolved));
    return event;
}
