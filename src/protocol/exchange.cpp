/*
 * The exchange itself: each step is a non-blocking socket operation that,
 * when it cannot go on, waits in the message wait (PalWaitSocket) for the
 * readiness it needs, never past the exchange's deadline.  The records are
 * written and read with the runtime's XDR routines (xdr_callmsg,
 * xdr_replymsg over memory) and framed with record marking: a 4-byte mark
 * per fragment, its top bit set on the last one.
 */
#include "protocol/exchange.h"

#include <palrpc.h>
#include <string.h>

namespace {

const WORD PMAP_STANDARD_PORT = 111;
const rpcprog_t PMAP_PROGRAM = 100000;
const rpcvers_t PMAP_VERSION = 2;
const rpcproc_t PMAP_GETPORT = 3;
const u_long PROTOCOL_TCP = 6;
const u_long PROTOCOL_UDP = 17;

/* Room for a call's header: xid, direction, RPC version, program, version,
 * procedure and two empty AUTH_NONE fields, 40 bytes. */
const u_int CALL_HEADER_ROOM = 64;
/* The largest argument sent without a block of its own: a port-mapper
 * mapping, four numbers. */
const u_int SMALL_ARGUMENT = 16;
/* Our replies are a header and one number; a peer that sends more than
 * this is not one of ours. */
const u_int REPLY_LIMIT = 1024;
const DWORD LAST_FRAGMENT = 0x80000000u;

u_int next_xid = 0;

/* One exchange's clock: every wait takes what is left of the budget. */
struct EXCH_CLOCK {
    DWORD start;
    DWORD budget;
    bool expired;
};

DWORD clock_left(EXCH_CLOCK *clock)
{
    DWORD spent = GetTickCount() - clock->start;
    if (spent >= clock->budget) {
        clock->expired = true;
        return 0;
    }
    return clock->budget - spent;
}

/* Waits for `events` on `fd` within the budget; false when time ran out
 * (the clock then says so). */
bool clock_wait(EXCH_CLOCK *clock, int fd, DWORD events)
{
    DWORD left = clock_left(clock);
    if (left == 0)
        return false;
    if (PalWaitSocket(fd, events, left) != 0)
        return true;
    clock_left(clock);
    clock->expired = true;
    return false;
}

/* A connected stream to addr:port, or -1 (refused, unreachable or out of
 * time). */
int stream_open(EXCH_CLOCK *clock, DWORD addr, WORD port)
{
    int fd = PalStreamConnect(addr, port);
    if (fd < 0)
        return -1;
    if (!clock_wait(clock, fd, PAL_SOCKET_WRITE) || PalStreamConnected(fd) != 0) {
        PalStreamClose(fd);
        return -1;
    }
    return fd;
}

/* Writes exactly `length` bytes; false at the end of the stream, on an
 * error or when time runs out. */
bool stream_write(EXCH_CLOCK *clock, int fd, const char *bytes, u_int length)
{
    while (length > 0) {
        int n = PalStreamSend(fd, bytes, (int)length);
        if (n == PAL_STREAM_WOULDBLOCK) {
            if (!clock_wait(clock, fd, PAL_SOCKET_WRITE))
                return false;
            continue;
        }
        if (n <= 0)
            return false;
        bytes += n;
        length -= (u_int)n;
    }
    return true;
}

/* Reads what has come into buffer[*end..size), growing *end; false at the
 * end of the stream, on an error or when time runs out.  It waits before
 * it reads: an answer is never there the moment its call has gone, so a
 * read first would only find nothing. */
bool stream_fill(EXCH_CLOCK *clock, int fd, char *buffer, u_int size, u_int *end)
{
    for (;;) {
        if (!clock_wait(clock, fd, PAL_SOCKET_READ))
            return false;
        int n = PalStreamRecv(fd, buffer + *end, (int)(size - *end));
        if (n == PAL_STREAM_WOULDBLOCK)
            continue;
        if (n <= 0)
            return false;
        *end += (u_int)n;
        return true;
    }
}

DWORD mark_value(const unsigned char *m)
{
    return ((DWORD)m[0] << 24) | ((DWORD)m[1] << 16) | ((DWORD)m[2] << 8) | (DWORD)m[3];
}

const u_int MARK_SIZE = 4;

/* A whole record, its fragments joined, into `buffer`, which holds `room`
 * bytes and MARK_SIZE more; its length, or -1 when it is cut short or
 * longer than `room`.  Each read takes whatever has come, marks and data
 * together (a short record is one read); a mark is taken out of the buffer
 * once it is whole.  buffer[0..have) is the record so far, buffer[have..end)
 * what came after it and is not looked at yet: when more must come, that is
 * a part of a mark or nothing, so the extra MARK_SIZE bytes always leave
 * room to read into.  Bytes past the record's end are left as they are. */
long record_read(EXCH_CLOCK *clock, int fd, char *buffer, u_int room)
{
    u_int have = 0, end = 0;
    DWORD fragment_left = 0;
    bool in_fragment = false, last = false;
    for (;;) {
        if (fragment_left > 0 && end > have) {
            u_int take = end - have < fragment_left ? end - have : (u_int)fragment_left;
            have += take;
            fragment_left -= take;
        }
        if (in_fragment && fragment_left == 0) {
            if (last)
                return (long)have;
            in_fragment = false;
        }
        if (!in_fragment && end - have >= MARK_SIZE) {
            DWORD value = mark_value((const unsigned char *)buffer + have);
            fragment_left = value & ~LAST_FRAGMENT;
            if (fragment_left > room - have)
                return -1;
            last = (value & LAST_FRAGMENT) != 0;
            in_fragment = true;
            memmove(buffer + have, buffer + have + MARK_SIZE, end - have - MARK_SIZE);
            end -= MARK_SIZE;
            continue;
        }
        if (!stream_fill(clock, fd, buffer, room + MARK_SIZE, &end))
            return -1;
    }
}

enum CALL_OUTCOME {
    CALL_OK,
    CALL_FAILED,
    /* The program there is not ours (or not in our version): the call was
     * not carried out, so asking the port mapper again is safe. */
    CALL_WRONG_PROGRAM,
};

/* One call on a connected stream: the header and the encoded argument as
 * one record, then the reply, whose result `result_proc` decodes into
 * `result`. */
CALL_OUTCOME rpc_call(EXCH_CLOCK *clock, int fd, rpcprog_t program, rpcvers_t version,
                      rpcproc_t procedure, const char *argument, u_int length,
                      xdrproc_t result_proc, void *result)
{
    if (length > 0x7FFFFFFFu - 4 - CALL_HEADER_ROOM)
        return CALL_FAILED;
    u_int room = 4 + CALL_HEADER_ROOM + length;
    /* Port-mapper queries and probes fit here: a start of the server probes
     * without an allocation that could fail it. */
    char small[4 + CALL_HEADER_ROOM + SMALL_ARGUMENT];
    char *record = room <= sizeof small ? small : (char *)LocalAlloc(LMEM_FIXED, room);
    if (!record)
        return CALL_FAILED;

    if (next_xid == 0)
        next_xid = (u_int)GetTickCount() ^ (u_int)(uintptr_t)&next_xid ^ 0x5F762u;
    u_int xid = ++next_xid;

    struct rpc_msg call;
    memset(&call, 0, sizeof call);
    call.rm_xid = xid;
    call.rm_direction = CALL;
    call.rm_call.cb_rpcvers = RPC_MSG_VERSION;
    call.rm_call.cb_prog = program;
    call.rm_call.cb_vers = version;
    call.rm_call.cb_proc = procedure;
    call.rm_call.cb_cred.oa_flavor = AUTH_NONE;
    call.rm_call.cb_verf.oa_flavor = AUTH_NONE;
    XDR xdrs;
    xdrmem_create(&xdrs, record + 4, CALL_HEADER_ROOM, XDR_ENCODE);
    bool ok = xdr_callmsg(&xdrs, &call);
    u_int header = xdr_getpos(&xdrs);
    xdr_destroy(&xdrs);
    CALL_OUTCOME outcome = CALL_FAILED;
    if (ok && header <= CALL_HEADER_ROOM) {
        memcpy(record + 4 + header, argument, length);
        DWORD mark = LAST_FRAGMENT | (header + length);
        record[0] = (char)(mark >> 24);
        record[1] = (char)(mark >> 16);
        record[2] = (char)(mark >> 8);
        record[3] = (char)mark;
        ok = stream_write(clock, fd, record, 4 + header + length);
    } else {
        ok = false;
    }
    if (record != small)
        LocalFree(record);
    if (!ok)
        return CALL_FAILED;

    char reply_bytes[REPLY_LIMIT + MARK_SIZE];
    long got = record_read(clock, fd, reply_bytes, REPLY_LIMIT);
    if (got < 0)
        return CALL_FAILED;
    struct rpc_msg reply;
    memset(&reply, 0, sizeof reply);
    char verifier[MAX_AUTH_BYTES];
    reply.acpted_rply.ar_verf.oa_base = verifier;
    reply.acpted_rply.ar_results.where = (caddr_t)result;
    reply.acpted_rply.ar_results.proc = result_proc;
    xdrmem_create(&xdrs, reply_bytes, (u_int)got, XDR_DECODE);
    ok = xdr_replymsg(&xdrs, &reply);
    xdr_destroy(&xdrs);
    if (reply.rm_xid != xid || reply.rm_direction != REPLY)
        return CALL_FAILED;
    if (reply.rm_reply.rp_stat == MSG_ACCEPTED) {
        enum accept_stat status = reply.acpted_rply.ar_stat;
        if (status == PROG_UNAVAIL || status == PROG_MISMATCH)
            outcome = CALL_WRONG_PROGRAM;
        else if (ok && status == SUCCESS)
            outcome = CALL_OK;
    }
    return outcome;
}

/* Puts the four numbers of a port-mapper mapping of CALLPROG over
 * `protocol` into `out` (16 bytes). */
bool pmap_encode(char *out, u_int room, u_long protocol)
{
    XDR xdrs;
    xdrmem_create(&xdrs, out, room, XDR_ENCODE);
    u_long prog = CALLPROG, vers = CALLVERS, port = 0;
    bool ok = xdr_u_long(&xdrs, &prog) && xdr_u_long(&xdrs, &vers) &&
              xdr_u_long(&xdrs, &protocol) && xdr_u_long(&xdrs, &port);
    xdr_destroy(&xdrs);
    return ok;
}

/* The port of CALLPROG over `protocol` that the host's port mapper names,
 * in *port (0: none); false when it does not answer or cannot be
 * reached. */
bool pmap_getport(EXCH_CLOCK *clock, DWORD addr, u_long protocol, WORD *port)
{
    char mapping[16];
    if (!pmap_encode(mapping, sizeof mapping, protocol))
        return false;
    int fd = stream_open(clock, addr, PMAP_STANDARD_PORT);
    if (fd < 0)
        return false;
    u_long named = 0;
    CALL_OUTCOME outcome = rpc_call(clock, fd, PMAP_PROGRAM, PMAP_VERSION, PMAP_GETPORT, mapping,
                                    sizeof mapping, RPC_XdrProc(xdr_u_long), &named);
    PalStreamClose(fd);
    if (outcome != CALL_OK || named > 0xFFFF)
        return false;
    *port = (WORD)named;
    return true;
}

} // namespace

extern "C" BOOL EXCH_Call(DWORD addr, rpcproc_t procedure, const char *argument, u_int length,
                          INT *answer)
{
    EXCH_CLOCK clock = {GetTickCount(), (DWORD)CLIENT_TIMEOUT * 1000u, false};
    bool asked_again = false;
    for (;;) {
        WORD port = PMAP_CacheFind(addr);
        bool cached = port != 0;
        if (!cached) {
            if (!pmap_getport(&clock, addr, PROTOCOL_TCP, &port) || port == 0)
                return FALSE;
            PMAP_CacheStore(addr, port);
        }
        CALL_OUTCOME outcome = CALL_FAILED;
        int fd = stream_open(&clock, addr, port);
        bool connected = fd >= 0;
        if (connected) {
            INT result = 0;
            outcome = rpc_call(&clock, fd, CALLPROG, CALLVERS, procedure, argument, length,
                               RPC_XdrProc(xdr_INT), &result);
            PalStreamClose(fd);
            if (outcome == CALL_OK) {
                *answer = result;
                return TRUE;
            }
        }
        /* The port is no longer to be trusted, whoever named it. */
        PMAP_CacheDrop(addr);
        /* A refused connection or a foreign program means the call was not
         * carried out: a restarted peer is asked for once more. */
        bool not_carried_out = !connected || outcome == CALL_WRONG_PROGRAM;
        if (!cached || asked_again || clock.expired || !not_carried_out)
            return FALSE;
        asked_again = true;
    }
}

extern "C" BOOL EXCH_GetPorts(DWORD addr, DWORD timeout, WORD *tcp, WORD *udp)
{
    EXCH_CLOCK clock = {GetTickCount(), timeout, false};
    WORD over_tcp = 0, over_udp = 0;
    if (!pmap_getport(&clock, addr, PROTOCOL_TCP, &over_tcp) ||
        !pmap_getport(&clock, addr, PROTOCOL_UDP, &over_udp))
        return FALSE;
    *tcp = over_tcp;
    *udp = over_udp;
    return TRUE;
}

extern "C" BOOL EXCH_Ping(DWORD addr, WORD port, DWORD timeout)
{
    EXCH_CLOCK clock = {GetTickCount(), timeout, false};
    int fd = stream_open(&clock, addr, port);
    if (fd < 0)
        return FALSE;
    /* No argument, no result: a non-null empty argument, as the record is
     * copied from it. */
    CALL_OUTCOME outcome =
        rpc_call(&clock, fd, CALLPROG, CALLVERS, NULLPROC, "", 0, RPC_XdrProc(xdr_void), nullptr);
    PalStreamClose(fd);
    return outcome == CALL_OK;
}
