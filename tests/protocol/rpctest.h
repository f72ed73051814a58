// Helpers for tests that talk to the call-protocol server of their own
// process.  The server is served from this thread's message wait, so every
// client here runs through PalRunBlocking: the work on a worker thread, this
// thread dispatching the calls meanwhile.
#pragma once

#include "wirebytes.h"

#include <palrpc.h>

#include <functional>
#include <string>

// Runs fn on a worker while this thread dispatches messages and calls.
void run_blocking(const std::function<void()> &fn);

// The standard output of a shell command, run while this thread serves.
std::string run_command(const std::string &command);

// What `rpcinfo -p` lists for the call program: "tcp udp ", "udp ", "" ...
std::string registered_transports();

// The reply to one raw call, decoded as far as its accept status.
struct RawReply {
    bool received = false;
    uint32_t xid = 0;
    uint32_t reply_stat = 0;  // 0 accepted, 1 denied
    uint32_t accept_stat = 0; // 0 success, 3 PROC_UNAVAIL, 4 GARBAGE_ARGS ...
    Bytes results;            // what follows the accept status
};

// A call message of the program with the given xid, procedure and argument
// bytes, no credentials.
Bytes call_message(uint32_t xid, uint32_t procedure, const Bytes &argument);

// Sends the message as one record on a TCP connection to 127.0.0.1:port and
// reads the reply record.  With `cut`, only that many bytes of the record
// are sent and the writing side is shut.
RawReply tcp_exchange(unsigned short port, const Bytes &message, size_t cut = 0);

// One datagram to 127.0.0.1:port and its reply, if one comes within
// `wait_ms` real milliseconds.
RawReply udp_exchange(unsigned short port, const Bytes &message, int wait_ms);

// The port the local port mapper has for the program on "tcp" or "udp".
unsigned short mapped_port(const char *protocol);
