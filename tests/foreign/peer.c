/*
 * A foreign peer of the call protocol: an independent implementation of
 * program 391010 version 1, built from its own protocol description
 * (callmgr.x, compiled by rpcgen) and libtirpc alone, so that the library is
 * checked against something other than itself.
 *
 *   foreign_peer answer [--decline] [--count N]
 *       Serves the program on this host (UDP and TCP), prints "ready", and
 *       for each invitation received prints
 *           invite msg=M callid=ID subject=S seqno=N members=K to=U@H from=U@H
 *       answers it 16, then replies (procedure 2, accept or decline) over
 *       TCP to the inviter's host and prints
 *           replied msg=1 host=ADDR answer=16      (answer=none on failure)
 *       It ends after N invitations (1 by default).  Other requests are
 *       printed as "request msg=M ..." and answered 16 without a reply.
 *   foreign_peer invite HOST USER [--subject TEXT] [--timeout SECONDS]
 *       Serves the program, sends an invitation for USER@HOST over TCP to
 *       HOST, prints "answer 16" (or 3, or "answer none: WHY"), then serves
 *       until the reply comes and prints
 *           reply msg=M from=U@H to=U@H callid=ID seqno=N
 *
 * Every line is flushed at once.  Exit status: 0 done, 1 the invitation was
 * not taken (an answer other than 16), 2 time-out, 3 set-up failure,
 * 64 usage.
 */
#include "callmgr.h"

#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>
#include <stdarg.h>
#include <rpc/pmap_clnt.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/socket.h>
#include <time.h>
#include <unistd.h>

enum {
    CALL_INVITE = 0,
    CALL_ACCEPT = 1,
    CALL_DECLINE = 4,
    CALL_NOTHANDLED = 3,
    CALL_DELIVERED = 16,
    MEMBER_IDLE = 0,
    MEMBER_DECLINED = 3,
    MEMBER_JOINED = 4,
    CALL_ACTIVE = 4,
    MAX_PENDING = 16,
};

/* A reply owed to an inviter; sent from the main loop once the invitation
 * has been answered, because the inviter is still waiting in its call until
 * then. */
struct pending {
    CM to, from;
    char callid[256];
    int seqno;
};

static struct {
    int decline;
    int pending_count;
    struct pending pending[MAX_PENDING];
    int invitations; /* invitations taken so far */
    int replied;     /* a reply has been received (invite mode) */
} peer;

static void say(const char *format, ...) __attribute__((format(printf, 1, 2)));
static void say(const char *format, ...)
{
    va_list args;
    va_start(args, format);
    vprintf(format, args);
    va_end(args);
    putchar('\n');
    fflush(stdout);
}

static const char *text_or_empty(const char *text)
{
    return text != NULL ? text : "";
}

/* "user@host" of a member, "-" when it is absent. */
static const char *member_name(const CM *member, char *buf, size_t size)
{
    if (member == NULL)
        snprintf(buf, size, "-");
    else
        snprintf(buf, size, "%s@%s", text_or_empty(member->user), text_or_empty(member->host));
    return buf;
}

static char *dup_text(const char *text)
{
    return strdup(text_or_empty(text));
}

/* A deep copy of a member whose texts are always present, since the XDR
 * string routine cannot send an absent text. */
static int copy_member(CM *to, const CM *from)
{
    memset(to, 0, sizeof *to);
    if (from == NULL)
        return 0;
    *to = *from;
    to->host = dup_text(from->host);
    to->user = dup_text(from->user);
    to->realname = dup_text(from->realname);
    to->address = dup_text(from->address);
    return to->host && to->user && to->realname && to->address;
}

static void free_member(CM *member)
{
    free(member->host);
    free(member->user);
    free(member->realname);
    free(member->address);
    memset(member, 0, sizeof *member);
}

/* The host to contact for a member: its address as dotted text when one is
 * known (neither 0 nor all ones), else its host name. */
static void member_target(const CM *member, char *buf, size_t size)
{
    unsigned int a = member->ipaddr;
    if (a != 0 && a != 0xFFFFFFFFu)
        snprintf(buf, size, "%u.%u.%u.%u", a >> 24, (a >> 16) & 255, (a >> 8) & 255, a & 255);
    else
        snprintf(buf, size, "%s", text_or_empty(member->host));
}

/* ------------------------------------------------------------ served side */

/* The dispatch routine that rpcgen makes (-m) declares no prototype. */
void callprog_1(struct svc_req *request, SVCXPRT *transport);

bool_t callproc_request_1_svc(CALLREQ *request, int *answer, struct svc_req *rq)
{
    char to[600], from[600];
    int members = 0;
    const CALLER *call = request->caller;
    (void)rq;
    for (const CML *node = call ? call->members : NULL; node != NULL; node = node->next)
        ++members;
    say("%s msg=%d callid=%s subject=%s seqno=%d members=%d to=%s from=%s",
        request->msg == CALL_INVITE ? "invite" : "request", request->msg,
        call ? text_or_empty(call->callid) : "-", call ? text_or_empty(call->subject) : "-",
        call ? call->seqno : 0, members, member_name(request->to, to, sizeof to),
        member_name(request->from, from, sizeof from));
    *answer = CALL_DELIVERED;
    if (request->msg != CALL_INVITE)
        return TRUE;
    if (call == NULL || request->to == NULL || request->from == NULL ||
        peer.pending_count == MAX_PENDING) {
        *answer = CALL_NOTHANDLED;
        return TRUE;
    }
    struct pending *owed = &peer.pending[peer.pending_count];
    if (!copy_member(&owed->to, request->from) || !copy_member(&owed->from, request->to)) {
        free_member(&owed->to);
        free_member(&owed->from);
        *answer = CALL_NOTHANDLED;
        return TRUE;
    }
    owed->from.state = peer.decline ? MEMBER_DECLINED : MEMBER_JOINED;
    snprintf(owed->callid, sizeof owed->callid, "%s", text_or_empty(call->callid));
    owed->seqno = call->seqno;
    ++peer.pending_count;
    return TRUE;
}

bool_t callproc_reply_1_svc(CALLRPY *reply, int *answer, struct svc_req *rq)
{
    char to[600], from[600];
    (void)rq;
    say("reply msg=%d from=%s to=%s callid=%s seqno=%d", reply->msg,
        member_name(reply->from, from, sizeof from), member_name(reply->to, to, sizeof to),
        text_or_empty(reply->callid), reply->seqno);
    peer.replied = 1;
    *answer = CALL_DELIVERED;
    return TRUE;
}

/* Like the library's, the capability procedure sends no answer. */
bool_t callproc_capinfo_1_svc(CAPINFOMESSAGE *message, CAPINFO *result, struct svc_req *rq)
{
    (void)message;
    (void)result;
    (void)rq;
    return FALSE;
}

int callprog_1_freeresult(SVCXPRT *transport, xdrproc_t routine, caddr_t result)
{
    (void)transport;
    xdr_free(routine, result);
    return 1;
}

static int serve_start(void)
{
    SVCXPRT *udp = svcudp_create(RPC_ANYSOCK);
    if (udp == NULL || !svc_register(udp, CALLPROG, CALLVERS, callprog_1, IPPROTO_UDP)) {
        fprintf(stderr, "foreign_peer: cannot serve over UDP\n");
        return 0;
    }
    SVCXPRT *tcp = svctcp_create(RPC_ANYSOCK, 0, 0);
    if (tcp == NULL || !svc_register(tcp, CALLPROG, CALLVERS, callprog_1, IPPROTO_TCP)) {
        fprintf(stderr, "foreign_peer: cannot serve over TCP\n");
        return 0;
    }
    return 1;
}

static long now_ms(void)
{
    struct timespec t;
    clock_gettime(CLOCK_MONOTONIC, &t);
    return t.tv_sec * 1000L + t.tv_nsec / 1000000L;
}

/* Serves incoming calls until *done is set (1) or DEADLINE passes (0). */
static int serve_until(const int *done, long deadline)
{
    while (!*done) {
        long left = deadline - now_ms();
        if (left <= 0)
            return 0;
        int ready = poll(svc_pollfd, (nfds_t)svc_max_pollfd, (int)left);
        if (ready > 0)
            svc_getreq_poll(svc_pollfd, ready);
    }
    return 1;
}

/* ------------------------------------------------------------ calling side */

/* A fresh TCP client for one message, as the library makes them; absent,
 * with WHY filled, when none can be made. */
static CLIENT *client_for(const char *host, char *why, size_t why_size)
{
    CLIENT *client = clnt_create(host, CALLPROG, CALLVERS, "tcp");
    if (client == NULL)
        snprintf(why, why_size, "%s", clnt_spcreateerror(host));
    return client;
}

/* Ends an exchange: the answer, or -1 with WHY filled. */
static int finish_call(CLIENT *client, enum clnt_stat status, int answer, char *why,
                       size_t why_size)
{
    if (client == NULL)
        answer = -1;
    else if (status != RPC_SUCCESS) {
        snprintf(why, why_size, "%s", clnt_sperrno(status));
        answer = -1;
    }
    if (client != NULL)
        clnt_destroy(client);
    for (char *p = why; *p; ++p)
        if (*p == '\n')
            *p = ' ';
    return answer;
}

static void send_pending(void)
{
    for (int i = 0; i < peer.pending_count; ++i) {
        struct pending *owed = &peer.pending[i];
        CALLRPY reply;
        char host[300], why[512] = "";
        reply.msg = peer.decline ? CALL_DECLINE : CALL_ACCEPT;
        reply.to = &owed->to;
        reply.from = &owed->from;
        reply.callid = owed->callid;
        reply.seqno = owed->seqno;
        member_target(&owed->to, host, sizeof host);
        int answer = 0;
        CLIENT *client = client_for(host, why, sizeof why);
        enum clnt_stat status = client ? callproc_reply_1(&reply, &answer, client) : RPC_FAILED;
        answer = finish_call(client, status, answer, why, sizeof why);
        if (answer < 0)
            say("replied msg=%d host=%s answer=none: %s", reply.msg, host, why);
        else
            say("replied msg=%d host=%s answer=%d", reply.msg, host, answer);
        free_member(&owed->to);
        free_member(&owed->from);
        ++peer.invitations;
    }
    peer.pending_count = 0;
}

/* The IPv4 address HOST has in the hosts file or name service (host order;
 * 0 when it has none). */
static unsigned int address_of(const char *host)
{
    struct addrinfo hints, *found = NULL;
    unsigned int addr = 0;
    memset(&hints, 0, sizeof hints);
    hints.ai_family = AF_INET;
    if (host[0] != '\0' && getaddrinfo(host, NULL, &hints, &found) == 0) {
        addr = ntohl(((struct sockaddr_in *)found->ai_addr)->sin_addr.s_addr);
        freeaddrinfo(found);
    }
    return addr;
}

/* This host's name and IPv4 address (host order; 0 when unknown). */
static unsigned int own_address(char *name, size_t size)
{
    if (gethostname(name, size) != 0)
        name[0] = '\0';
    name[size - 1] = '\0';
    return address_of(name);
}

/* The RPC runtime keeps the address records of port-mapper registrations
 * and look-ups to the end; in a sanitizer build the leak checker is told so.
 * Its frame-pointer-less code needs the slow unwinder to be recognised. */
const char *__asan_default_options(void);
const char *__asan_default_options(void)
{
    return "fast_unwind_on_malloc=0";
}
const char *__lsan_default_suppressions(void);
const char *__lsan_default_suppressions(void)
{
    return "leak:pmap_set\n"
           "leak:clnt_tp_create_timed\n";
}

/* ------------------------------------------------------------ modes */

static int usage(void)
{
    fprintf(stderr, "usage: foreign_peer answer [--decline] [--count N]\n"
                    "       foreign_peer invite HOST USER [--subject TEXT] [--timeout SECONDS]\n");
    return 64;
}

static int answer_mode(int argc, char **argv)
{
    int count = 1;
    for (int i = 0; i < argc; ++i) {
        if (strcmp(argv[i], "--decline") == 0)
            peer.decline = 1;
        else if (strcmp(argv[i], "--count") == 0 && i + 1 < argc && atoi(argv[i + 1]) > 0)
            count = atoi(argv[++i]);
        else
            return usage();
    }
    if (!serve_start())
        return 3;
    say("ready");
    int status = 0;
    while (peer.invitations < count) {
        /* A guard in real time, so that a test whose inviter never comes
         * still ends. */
        if (!serve_until(&peer.pending_count, now_ms() + 60000)) {
            say("timeout");
            status = 2;
            break;
        }
        send_pending();
    }
    svc_unregister(CALLPROG, CALLVERS);
    return status;
}

static int invite_mode(int argc, char **argv)
{
    if (argc < 2)
        return usage();
    const char *host = argv[0], *user = argv[1], *subject = "";
    int timeout = 30;
    for (int i = 2; i < argc; ++i) {
        if (strcmp(argv[i], "--subject") == 0 && i + 1 < argc)
            subject = argv[++i];
        else if (strcmp(argv[i], "--timeout") == 0 && i + 1 < argc && atoi(argv[i + 1]) > 0)
            timeout = atoi(argv[++i]);
        else
            return usage();
    }
    if (strlen(host) > 255 || strlen(user) > 255 || strlen(subject) > 255)
        return usage();

    char own_name[256], address[520], callid[64];
    unsigned int own = own_address(own_name, sizeof own_name);
    char self_user[] = "foreign", self_real[] = "Foreign Peer", empty[] = "";
    char group1[] = "233.9.0.1", group2[] = "233.9.0.2";
    snprintf(address, sizeof address, "%s@%s", user, host);
    /* Like a tick count: milliseconds, carried bit for bit. */
    unsigned int start = (unsigned int)now_ms();
    snprintf(callid, sizeof callid, "%u/%u", own, start);

    CM self = {MEMBER_IDLE, own, own_name, self_user, self_real, empty, 0};
    CM invited = {MEMBER_IDLE, address_of(host), (char *)host, (char *)user, empty, address, 0};
    CML second = {&invited, NULL};
    CML first = {&self, &second};
    CALLER call = {CALL_ACTIVE, (int)start,      0,     1,     0,     0, 0, callid, group1, group2,
                   empty,       (char *)subject, &self, &self, &first};
    CALLREQ request = {CALL_INVITE, &invited, &self, &call};

    if (!serve_start())
        return 3;
    char why[512] = "";
    int answer = 0;
    CLIENT *client = client_for(host, why, sizeof why);
    enum clnt_stat sent = client ? callproc_request_1(&request, &answer, client) : RPC_FAILED;
    answer = finish_call(client, sent, answer, why, sizeof why);
    int status = 0;
    if (answer < 0) {
        say("answer none: %s", why);
        status = 1;
    } else {
        say("answer %d", answer);
        if (answer != CALL_DELIVERED)
            status = 1;
    }
    if (status == 0 && !serve_until(&peer.replied, now_ms() + timeout * 1000L)) {
        say("timeout");
        status = 2;
    }
    svc_unregister(CALLPROG, CALLVERS);
    return status;
}

int main(int argc, char **argv)
{
    if (argc >= 2 && strcmp(argv[1], "answer") == 0)
        return answer_mode(argc - 2, argv + 2);
    if (argc >= 2 && strcmp(argv[1], "invite") == 0)
        return invite_mode(argc - 2, argv + 2);
    return usage();
}
