// Clients of this process's own call-protocol server, which is served from
// this thread's message wait: each runs on a worker through PalRunBlocking.
#pragma once

#include "wirebytes.h"

#include <palrpc.h>

#include <chrono>
#include <functional>
#include <string>

// Runs fn on a worker while this thread dispatches messages and calls.
void run_blocking(const std::function<void()> &fn);

// The standard output of a shell command, run while this thread serves.
std::string run_command(const std::string &command);

// Whether `rpcinfo ARGS 391010 1` finds the program answering; ARGS names
// the transport and the host ("-t 127.0.0.1").
bool program_ready(const std::string &args);

// What `rpcinfo -p` lists for the call program: "tcp udp ", "udp ", "" ...
std::string registered_transports();

// The reply to one raw call, decoded as far as its accept status.
struct RawReply {
    bool received = false;
    uint32_t xid = 0;
    uint32_t reply_stat = 0;  // 0 accepted, 1 denied
    uint32_t accept_stat = 0; // 0 success, 3 PROC_UNAVAIL, 4 GARBAGE_ARGS ...
    Bytes results;            // what follows the accept status
    Bytes raw;                // the whole reply as read, over TCP with its record mark
};

// `message` as one record fragment, appended to `to`.
Bytes record(const Bytes &message, bool last = true, Bytes to = {});

// A call message of the program, with no credentials.
Bytes call_message(uint32_t xid, uint32_t procedure, const Bytes &argument);

// The encoded argument of an invitation with the given subject and count of
// further members.
Bytes request_bytes(const std::string &subject, int members);

// A blocking TCP connection to 127.0.0.1:port (with that receive buffer
// when nonzero), -1 when none.
int tcp_connect(unsigned short port, int receive_buffer = 0);

// A non-blocking TCP socket bound to 127.0.0.1:port (0: any), listening
// unless told otherwise; *bound receives its port, 0 when it could not bind.
int tcp_socket(unsigned short port, unsigned short *bound, bool listening = true);

long ms_since(std::chrono::steady_clock::time_point start);

// Reads until `want` bytes came, the stream ended (or was reset) or
// `limit_ms` passed; *ended (when given) says whether the stream ended.
Bytes read_for(int fd, size_t want, int limit_ms, bool *ended = nullptr);

// The message as one record to 127.0.0.1:port over TCP, and its reply if one
// comes within `limit_ms`.  With `cut`, only that many bytes are sent before
// the writing side is shut.
RawReply tcp_exchange(unsigned short port, const Bytes &message, size_t cut = 0,
                      int limit_ms = 10000);

// One datagram to 127.0.0.1:port and its reply, if one comes in `wait_ms`.
RawReply udp_exchange(unsigned short port, const Bytes &message, int wait_ms);

// The port the local port mapper has for the program on "tcp" or "udp".
unsigned short mapped_port(const char *protocol);
