/*
 * options.cpp - cmcall's command line, address texts and status names.
 */
#include "cmcall.h"

#include <cstdio>
#include <cstring>

namespace {

const char USAGE[] =
    "usage: cmcall answer [--auto-accept | --decline] [--count N] [--json] [--sound FILE]\n"
    "       cmcall invite ADDRESS... [--subject TEXT] [--timeout SECONDS] [--json]\n"
    "                     [--sound FILE]\n"
    "       cmcall invite --dialog [--timeout SECONDS] [--json] [--sound FILE]\n"
    "ADDRESS: host, user@host or \"Name <user@host>\".\n"
    "--dialog: the members and the subject are picked in the Invite dialog (needs a desktop).\n";

/* Digits only, 1..max. */
bool ParseCount(const std::string &text, unsigned long max, unsigned *value)
{
    if (text.empty() || text.size() > 9)
        return false;
    unsigned long v = 0;
    for (char c : text) {
        if (c < '0' || c > '9')
            return false;
        v = v * 10 + static_cast<unsigned long>(c - '0');
    }
    if (v == 0 || v > max)
        return false;
    *value = static_cast<unsigned>(v);
    return true;
}

std::string Trim(const std::string &text)
{
    size_t begin = text.find_first_not_of(" \t");
    if (begin == std::string::npos)
        return std::string();
    size_t end = text.find_last_not_of(" \t");
    return text.substr(begin, end - begin + 1);
}

struct StatusRow {
    unsigned code;
    const char *name;
    const char *text;
};

const StatusRow STATUS[] = {
    {CMERR_APPALLOC, "CMERR_APPALLOC", "no application record could be made"},
    {CMERR_BADAPP, "CMERR_BADAPP", "no such application"},
    {CMERR_SERVER, "CMERR_SERVER", "the call-protocol server could not be started"},
    {CMERR_CLIENT, "CMERR_CLIENT", "the call-protocol client could not be initialised"},
    {CMERR_NULLREPLY, "CMERR_NULLREPLY", "a reply carried nothing"},
    {CMERR_BADMESSAGE, "CMERR_BADMESSAGE", "a message kind is not handled"},
    {CMERR_NOMATCH, "CMERR_NOMATCH", "a reply matches no call"},
    {CMERR_WINDOW, "CMERR_WINDOW", "the state-machine window or its network set-up failed"},
    {CMERR_SESSION, "CMERR_SESSION", "no session or stream socket could be opened"},
    {CMERR_BADSESSION, "CMERR_BADSESSION", "no such session, or it already has a call"},
    {CMERR_NOAPP, "CMERR_NOAPP", "no application can take an invitation"},
    {CMERR_BLOCKALLOC, "CMERR_BLOCKALLOC", "the call information block could not be allocated"},
    {CMERR_NOMEMBERS, "CMERR_NOMEMBERS", "the call has no members"},
    {CMERR_CANCELLED, "CMERR_CANCELLED", "cancelled"},
    {CMERR_NOSELECTION, "CMERR_NOSELECTION", "nobody to invite"},
    {CMERR_CALLALLOC, "CMERR_CALLALLOC", "out of memory while building the call"},
    {CMERR_CALLFREE, "CMERR_CALLFREE", "the call could not be released"},
    {CMERR_NOCALL, "CMERR_NOCALL", "there is no call"},
    {CMERR_BADMEMBER, "CMERR_BADMEMBER", "the address cannot be used"},
    {CMERR_INVALID, "CMERR_INVALID", "invalid argument"},
    {CMERR_BUSY, "CMERR_BUSY", "a network exchange is in progress"},
};

const StatusRow *FindStatus(unsigned status)
{
    for (const StatusRow &row : STATUS)
        if (row.code == status)
            return &row;
    return nullptr;
}

} // namespace

const char *CMCALL_Usage(void)
{
    return USAGE;
}

bool CMCALL_HasDesktop(const char *forced, const char *x11, const char *wayland)
{
    if (forced && std::strcmp(forced, "live") == 0)
        return true;
    if (forced && std::strcmp(forced, "headless") == 0)
        return false;
    return (x11 && *x11) || (wayland && *wayland);
}

bool CMCALL_ParseArgs(int argc, char **argv, CmcallOptions *options, std::string *error)
{
    *options = CmcallOptions();
    if (argc < 2) {
        *error = "no command given (answer or invite)";
        return false;
    }
    std::string command = argv[1];
    if (command == "-h" || command == "--help" || command == "help") {
        options->mode = CMCALL_HELP;
        return true;
    }
    if (command == "answer")
        options->mode = CMCALL_ANSWER;
    else if (command == "invite")
        options->mode = CMCALL_INVITE;
    else {
        *error = "unknown command '" + command + "' (answer or invite)";
        return false;
    }
    const bool answer = options->mode == CMCALL_ANSWER;

    bool options_end = false;
    for (int i = 2; i < argc; i++) {
        std::string arg = argv[i];
        if (options_end || arg.empty() || arg[0] != '-' || arg == "-") {
            if (answer) {
                *error = "answer takes no address ('" + arg + "')";
                return false;
            }
            options->addresses.push_back(arg);
            continue;
        }
        if (arg == "--") {
            options_end = true;
            continue;
        }
        std::string name = arg, value;
        bool has_value = false;
        size_t eq = arg.find('=');
        if (arg.compare(0, 2, "--") == 0 && eq != std::string::npos) {
            name = arg.substr(0, eq);
            value = arg.substr(eq + 1);
            has_value = true;
        }
        const bool takes_value =
            name == "--sound" || name == "--count" || name == "--subject" || name == "--timeout";
        const bool is_flag = name == "--json" || name == "--auto-accept" || name == "--decline" ||
                             name == "--dialog" || name == "-h" || name == "--help";
        if (!takes_value && !is_flag) {
            *error = "unknown option '" + name + "'";
            return false;
        }
        if (name == "-h" || name == "--help") {
            options->mode = CMCALL_HELP;
            return true;
        }
        const bool answer_only =
            name == "--auto-accept" || name == "--decline" || name == "--count";
        const bool invite_only = name == "--subject" || name == "--timeout" || name == "--dialog";
        if ((answer && invite_only) || (!answer && answer_only)) {
            *error = "'" + name + "' is not an option of " + command;
            return false;
        }
        if (is_flag && has_value) {
            *error = "'" + name + "' takes no value";
            return false;
        }
        if (takes_value && !has_value) {
            if (i + 1 >= argc) {
                *error = "'" + name + "' needs a value";
                return false;
            }
            value = argv[++i];
        }
        if (name == "--json") {
            options->json = true;
        } else if (name == "--auto-accept") {
            options->autoaccept = true;
        } else if (name == "--decline") {
            options->decline = true;
        } else if (name == "--dialog") {
            options->dialog = true;
        } else if (name == "--count") {
            if (!ParseCount(value, 1000000, &options->count)) {
                *error = "--count wants a whole number from 1 to 1000000, not '" + value + "'";
                return false;
            }
        } else if (name == "--timeout") {
            if (!ParseCount(value, CMCALL_MAX_TIMEOUT, &options->timeout)) {
                *error = "--timeout wants whole seconds from 1 to " +
                         std::to_string(CMCALL_MAX_TIMEOUT) + ", not '" + value + "'";
                return false;
            }
        } else if (name == "--sound") {
            if (value.empty() || value.size() > CMCALL_MAX_SOUND) {
                *error = "--sound wants a file name of 1 to " + std::to_string(CMCALL_MAX_SOUND) +
                         " characters";
                return false;
            }
            options->has_sound = true;
            options->sound = value;
        } else if (name == "--subject") {
            if (value.size() > 255) {
                *error = "--subject is longer than 255 characters";
                return false;
            }
            options->has_subject = true;
            options->subject = value;
        }
    }

    if (answer && options->autoaccept && options->decline) {
        *error = "--auto-accept and --decline exclude each other";
        return false;
    }
    if (!answer && options->dialog) {
        /* The person types them in the dialog; a call made before it opens
         * would be a different call. */
        if (!options->addresses.empty()) {
            *error = "--dialog takes no address ('" + options->addresses.front() +
                     "'): they are typed in the Invite dialog";
            return false;
        }
        if (options->has_subject) {
            *error = "--dialog takes no --subject: it is typed in the Invite dialog";
            return false;
        }
    } else if (!answer) {
        if (options->addresses.empty()) {
            *error = "invite needs at least one address";
            return false;
        }
        if (options->addresses.size() > 100) {
            *error = "at most 100 addresses at once";
            return false;
        }
        for (const std::string &typed : options->addresses) {
            std::string wrapped = CMCALL_WrapAddress(typed);
            if (wrapped.empty() || wrapped == "<>") {
                *error = "empty address";
                return false;
            }
            if (wrapped.size() > CMCALL_MAX_ADDRESS) {
                *error = "address longer than " + std::to_string(CMCALL_MAX_ADDRESS) +
                         " characters: '" + typed.substr(0, 40) + "...'";
                return false;
            }
        }
    }
    return true;
}

std::string CMCALL_WrapAddress(const std::string &typed)
{
    std::string text = Trim(typed);
    if (text.empty())
        return text;
    if (text.find('<') != std::string::npos)
        return text;
    return "<" + text + ">";
}

std::string CMCALL_AddressLabel(const std::string &typed)
{
    std::string text = Trim(typed);
    size_t open = text.find('<');
    if (open == std::string::npos)
        return text;
    std::string inner = text.substr(open + 1);
    size_t close = inner.find('>');
    if (close != std::string::npos)
        inner.erase(close);
    inner = Trim(inner);
    return inner.empty() ? text : inner;
}

std::string CMCALL_Dotted(uint32_t netaddr)
{
    unsigned char b[4];
    std::memcpy(b, &netaddr, sizeof b);
    char text[16];
    std::snprintf(text, sizeof text, "%u.%u.%u.%u", b[0], b[1], b[2], b[3]);
    return text;
}

namespace {

/* A fixed text field of a block, read up to its terminator or its end. */
std::string FieldText(const char *field, size_t size)
{
    return std::string(field, strnlen(field, size));
}

} // namespace

std::string CMCALL_EntryLabel(const CMMEMBERENTRY &entry)
{
    std::string user = FieldText(entry.user, sizeof entry.user);
    std::string host = FieldText(entry.host, sizeof entry.host);
    std::string realname = FieldText(entry.realname, sizeof entry.realname);
    if (!host.empty())
        return user.empty() || user == "ANYBODY" ? host : user + "@" + host;
    if (!realname.empty())
        return realname;
    if (!user.empty())
        return user;
    return CMCALL_Dotted(entry.ipaddr);
}

const char *CMCALL_StatusName(unsigned status)
{
    const StatusRow *row = FindStatus(status);
    return row ? row->name : "status";
}

const char *CMCALL_StatusText(unsigned status)
{
    const StatusRow *row = FindStatus(status);
    return row ? row->text : "unknown status";
}
