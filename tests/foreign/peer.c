/*
 * A foreign peer of the call protocol, built from its own protocol
 * description (callmgr.x, by rpcgen) and libtirpc alone.
 *
 *   foreign_peer answer
 *       Serves the program, prints "ready", then for each request
 *           invite msg=M callid=ID subject=S seqno=N members=K to=U@H from=U@H
 *       ("request msg=M ..." for other messages, answered 16 and no more).
 *       The first invitation is answered 16 and accepted over TCP, printing
 *           replied msg=1 host=ADDR answer=16      (answer=none: WHY on failure)
 *       and the peer ends.
 *   foreign_peer invite HOST USER [--subject TEXT] [--timeout SECONDS]
 *       Invites USER@HOST, prints "answer 16" (or 3, or "answer none: WHY"),
 *       then serves until the reply comes (for SECONDS, 30 unless told) and
 *       prints
 *           reply msg=M from=U@H to=U@H callid=ID seqno=N
 *       Invitations to it are answered 3: it owes no reply.
 *
 * Exit status: 0 done, 1 the invitation was not taken, 2 time-out, 3 set-up
 * failure, 64 usage.
 */
#include "callmgr.h"

#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>
#include <stdarg.h>
#include <stdio.h>
#include <string.h>
#include <sys/socket.h>
#include <time.h>
#include <unistd.h>

enum {
    CALL_INVITE = 0,
    CALL_ACCEPT = 1,
    CALL_NOTHANDLED = 3,
    CALL_DELIVERED = 16,
    MEMBER_IDLE = 0,
    MEMBER_JOINED = 4,
    CALL_ACTIVE = 4,
};

/* The reply owed to the inviter, sent from the main loop once the invitation
 * has been answered: the inviter waits in its call until then. */
static struct {
    int owed; /* also set in invite mode, which takes no invitation */
    CALLRPY reply;
    int replied; /* a reply has been received (invite mode) */
} peer;

static void __attribute__((format(printf, 1, 2))) say(const char *format, ...)
{
    va_list args;
    va_start(args, format);
    vprintf(format, args);
    va_end(args);
    putchar('\n');
    fflush(stdout);
}

/* "user@host" of a member, "-" when it is absent. */
static const char *member_name(const CM *member, char *buf, size_t size)
{
    if (member == NULL)
        snprintf(buf, size, "-");
    else
        snprintf(buf, size, "%s@%s", member->user, member->host);
    return buf;
}

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
        request->msg == CALL_INVITE ? "invite" : "request", request->msg, call ? call->callid : "-",
        call ? call->subject : "-", call ? call->seqno : 0, members,
        member_name(request->to, to, sizeof to), member_name(request->from, from, sizeof from));
    *answer = CALL_DELIVERED;
    if (request->msg != CALL_INVITE)
        return TRUE;
    if (call == NULL || request->to == NULL || request->from == NULL || peer.owed) {
        *answer = CALL_NOTHANDLED;
        return TRUE;
    }
    /* Taken over from the decoded invitation, which is freed on return. */
    CALLRPY reply = {CALL_ACCEPT, request->from, request->to, call->callid, call->seqno};
    request->from = request->to = NULL;
    request->caller->callid = NULL;
    reply.from->state = MEMBER_JOINED;
    peer.reply = reply;
    peer.owed = 1;
    return TRUE;
}

bool_t callproc_reply_1_svc(CALLRPY *reply, int *answer, struct svc_req *rq)
{
    char to[600], from[600];
    (void)rq;
    say("reply msg=%d from=%s to=%s callid=%s seqno=%d", reply->msg,
        member_name(reply->from, from, sizeof from), member_name(reply->to, to, sizeof to),
        reply->callid, reply->seqno);
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
    SVCXPRT *udp = svcudp_create(RPC_ANYSOCK), *tcp = svctcp_create(RPC_ANYSOCK, 0, 0);
    if (udp != NULL && tcp != NULL &&
        svc_register(udp, CALLPROG, CALLVERS, callprog_1, IPPROTO_UDP) &&
        svc_register(tcp, CALLPROG, CALLVERS, callprog_1, IPPROTO_TCP))
        return 1;
    fprintf(stderr, "foreign_peer: cannot serve over UDP and TCP\n");
    return 0;
}

static long now_ms(void)
{
    struct timespec t;
    clock_gettime(CLOCK_MONOTONIC, &t);
    return t.tv_sec * 1000L + t.tv_nsec / 1000000L;
}

/* Serves incoming calls until *done is set (1) or MS milliseconds have
 * passed (0, saying "timeout"). */
static int serve_for(const int *done, long ms)
{
    for (long deadline = now_ms() + ms; !*done;) {
        long left = deadline - now_ms();
        if (left <= 0) {
            say("timeout");
            return 0;
        }
        int ready = poll(svc_pollfd, (nfds_t)svc_max_pollfd, (int)left);
        if (ready > 0)
            svc_getreq_poll(svc_pollfd, ready);
    }
    return 1;
}

/* One exchange over a fresh TCP client, as the library makes them: the
 * answer, or -1; SHOWN gets it as text ("none: WHY" for -1). */
static int exchange(const char *host, rpcproc_t proc, xdrproc_t encode, void *arg, char *shown,
                    size_t size)
{
    CLIENT *client = clnt_create(host, CALLPROG, CALLVERS, "tcp");
    if (client == NULL) {
        snprintf(shown, size, "none: %s", clnt_spcreateerror(host));
        return -1;
    }
    struct timeval timeout = {25, 0};
    int answer = 0;
    enum clnt_stat status =
        clnt_call(client, proc, encode, arg, (xdrproc_t)xdr_int, (caddr_t)&answer, timeout);
    clnt_destroy(client);
    if (status == RPC_SUCCESS)
        snprintf(shown, size, "%d", answer);
    else
        snprintf(shown, size, "none: %s", clnt_sperrno(status));
    return status == RPC_SUCCESS ? answer : -1;
}

static void send_reply(void)
{
    /* The inviter's address as dotted text when it is known (neither 0 nor
     * all ones), else its host name. */
    char host[300], shown[520];
    unsigned int a = peer.reply.to->ipaddr;
    if (a != 0 && a != 0xFFFFFFFFu)
        snprintf(host, sizeof host, "%u.%u.%u.%u", a >> 24, (a >> 16) & 255, (a >> 8) & 255,
                 a & 255);
    else
        snprintf(host, sizeof host, "%s", peer.reply.to->host);
    exchange(host, CALLPROC_REPLY, (xdrproc_t)xdr_CALLRPY, &peer.reply, shown, sizeof shown);
    say("replied msg=1 host=%s answer=%s", host, shown);
    xdr_free((xdrproc_t)xdr_CALLRPY, (char *)&peer.reply);
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

static int usage(void)
{
    fprintf(stderr, "usage: foreign_peer answer\n"
                    "       foreign_peer invite HOST USER [--subject TEXT] [--timeout SECONDS]\n");
    return 64;
}

static int answer_mode(void)
{
    if (!serve_start())
        return 3;
    say("ready");
    /* A guard in real time, so that a test whose inviter never comes ends. */
    int status = serve_for(&peer.owed, 60000) ? 0 : 2;
    if (status == 0)
        send_reply();
    svc_unregister(CALLPROG, CALLVERS);
    return status;
}

static int invite_mode(int argc, char **argv)
{
    if (argc < 2)
        return usage();
    const char *host = argv[0], *user = argv[1], *subject = "";
    long timeout_ms = 30000;
    for (int i = 2; i < argc; ++i) {
        if (strcmp(argv[i], "--subject") == 0 && i + 1 < argc)
            subject = argv[++i];
        else if (strcmp(argv[i], "--timeout") == 0 && i + 1 < argc && atoi(argv[i + 1]) > 0)
            timeout_ms = atoi(argv[++i]) * 1000L;
        else
            return usage();
    }
    char own_name[256] = "", address[520], callid[64];
    gethostname(own_name, sizeof own_name - 1);
    unsigned int own = address_of(own_name);
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

    peer.owed = 1;
    if (!serve_start())
        return 3;
    char shown[520];
    int answer =
        exchange(host, CALLPROC_REQUEST, (xdrproc_t)xdr_CALLREQ, &request, shown, sizeof shown);
    say("answer %s", shown);
    int status = answer == CALL_DELIVERED ? 0 : 1;
    if (status == 0 && !serve_for(&peer.replied, timeout_ms))
        status = 2;
    svc_unregister(CALLPROG, CALLVERS);
    return status;
}

int main(int argc, char **argv)
{
    if (argc == 2 && strcmp(argv[1], "answer") == 0)
        return answer_mode();
    if (argc >= 2 && strcmp(argv[1], "invite") == 0)
        return invite_mode(argc - 2, argv + 2);
    return usage();
}
