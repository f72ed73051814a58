#include "protocol/rpctest.h"

#include <cmwire.h>
#include <paltest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <sstream>

namespace {

uint32_t get32(const Bytes &b, size_t at)
{
    if (at + 4 > b.size())
        return 0xFFFFFFFFu;
    return (uint32_t)b[at] << 24 | (uint32_t)b[at + 1] << 16 | (uint32_t)b[at + 2] << 8 | b[at + 3];
}

// `raw` as read: over TCP the message `b` with its record mark.
RawReply parse_reply(const Bytes &b, const Bytes &raw)
{
    RawReply r;
    r.received = true;
    r.raw = raw;
    r.xid = get32(b, 0);
    r.reply_stat = get32(b, 8);
    if (r.reply_stat != 0)
        return r;
    uint32_t verf_len = get32(b, 16);
    size_t at = 20 + ((verf_len + 3) & ~3u);
    r.accept_stat = get32(b, at);
    if (at + 4 <= b.size())
        r.results.assign(b.begin() + (long)at + 4, b.end());
    return r;
}

sockaddr_in loopback(unsigned short port)
{
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(port);
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    return a;
}

} // namespace

int tcp_connect(unsigned short port, int receive_buffer)
{
    int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd >= 0 && receive_buffer)
        setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &receive_buffer, sizeof receive_buffer);
    sockaddr_in a = loopback(port);
    if (fd >= 0 && connect(fd, (sockaddr *)&a, sizeof a) != 0) {
        close(fd);
        return -1;
    }
    return fd;
}

int tcp_socket(unsigned short port, unsigned short *bound, bool listening)
{
    int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    int on = 1;
    setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    sockaddr_in a = loopback(port);
    socklen_t length = sizeof a;
    *bound = bind(fd, (sockaddr *)&a, sizeof a) == 0 && (!listening || listen(fd, 8) == 0) &&
                     getsockname(fd, (sockaddr *)&a, &length) == 0
                 ? ntohs(a.sin_port)
                 : 0;
    return fd;
}

long ms_since(std::chrono::steady_clock::time_point start)
{
    return (long)std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::steady_clock::now() - start)
        .count();
}

Bytes read_for(int fd, size_t want, int limit_ms, bool *ended)
{
    Bytes got;
    auto start = std::chrono::steady_clock::now();
    for (ssize_t n = 1; n > 0 && got.size() < want;) {
        long left = limit_ms - ms_since(start);
        pollfd p{fd, POLLIN, 0};
        if (left <= 0 || poll(&p, 1, (int)left) != 1)
            break;
        uint8_t buf[65536];
        n = read(fd, buf, std::min(sizeof buf, want - got.size()));
        if (ended)
            *ended = n == 0 || (n < 0 && errno == ECONNRESET);
        if (n > 0)
            got.insert(got.end(), buf, buf + n);
    }
    return got;
}

void run_blocking(const std::function<void()> &fn)
{
    auto run = [](void *context) -> DWORD {
        (*static_cast<const std::function<void()> *>(context))();
        return 0;
    };
    PalRunBlocking(run, const_cast<std::function<void()> *>(&fn));
}

std::string run_command(const std::string &command)
{
    std::string out;
    run_blocking([&] {
        FILE *p = popen(command.c_str(), "r");
        if (!p)
            return;
        char buf[512];
        size_t n;
        while ((n = fread(buf, 1, sizeof buf, p)) > 0)
            out.append(buf, n);
        pclose(p);
    });
    return out;
}

bool program_ready(const std::string &args)
{
    return run_command("rpcinfo " + args + " 391010 1 2>&1")
               .find("program 391010 version 1 ready and waiting") != std::string::npos;
}

// The port mapper's entries for the program: protocol and port.
static std::vector<std::pair<std::string, std::string>> program_entries()
{
    std::vector<std::pair<std::string, std::string>> found;
    std::istringstream lines(run_command("rpcinfo -p 127.0.0.1 2>&1"));
    std::string line;
    while (std::getline(lines, line)) {
        std::istringstream words(line);
        std::string prog, vers, proto, port;
        words >> prog >> vers >> proto >> port;
        if (prog == std::to_string(CALLPROG) && vers == "1")
            found.emplace_back(proto, port);
    }
    return found;
}

std::string registered_transports()
{
    std::string found;
    for (const auto &[proto, port] : program_entries())
        found += proto + " ";
    return found;
}

unsigned short mapped_port(const char *protocol)
{
    for (const auto &[proto, port] : program_entries())
        if (proto == protocol)
            return (unsigned short)std::stoi(port);
    return 0;
}

Bytes record(const Bytes &message, bool last, Bytes to)
{
    Bytes b =
        WireBuilder().U32((last ? 0x80000000u : 0u) | (uint32_t)message.size()).Append(message).b;
    to.insert(to.end(), b.begin(), b.end());
    return to;
}

Bytes call_message(uint32_t xid, uint32_t procedure, const Bytes &argument)
{
    WireBuilder w;
    w.U32(xid).U32(0).U32(2).U32(CALLPROG).U32(CALLVERS).U32(procedure);
    w.U32(0).U32(0).U32(0).U32(0); // AUTH_NONE credentials and verifier
    return w.Append(argument).b;
}

Bytes request_bytes(const std::string &subject, int members)
{
    WireBuilder w;
    w.U32(CALL_INVITE);
    w.U32(1).Member(CMS_IDLE, 0xC6120002u, "hostb", "bob", "Bob", "bob@hostb");
    w.U32(1).Member(CMS_IDLE, 0xC6120001u, "hosta", "al", "Al", "al@hosta");
    w.U32(1).U32(CS_ACTIVE).U32(1).U32(0).U32(1).U32(0).U32(0).U32(0);
    w.Text("call-1").Text("g1").Text("g2").Text("").Text(subject);
    w.U32(0).U32(0); // no originator, no local
    for (int i = 0; i < members; ++i)
        w.U32(1).U32(1).Member(CMS_IDLE, (uint32_t)i, "h", "u", "r", "a");
    w.U32(0);
    return w.b;
}

RawReply tcp_exchange(unsigned short port, const Bytes &message, size_t cut, int limit_ms)
{
    RawReply r;
    run_blocking([&] {
        int fd = tcp_connect(port);
        if (fd < 0)
            return;
        Bytes rec = record(message);
        size_t length = cut ? cut : rec.size();
        if (write(fd, rec.data(), length) == (ssize_t)length && cut)
            shutdown(fd, SHUT_WR);
        // The server's replies are small: one fragment each.
        Bytes raw = read_for(fd, 4, limit_ms);
        size_t size = raw.size() == 4 ? get32(raw, 0) & 0x7FFFFFFFu : 0;
        Bytes reply = read_for(fd, size, limit_ms);
        if (size && reply.size() == size)
            r = parse_reply(reply, WireBuilder().Append(raw).Append(reply).b);
        close(fd);
    });
    return r;
}

RawReply udp_exchange(unsigned short port, const Bytes &message, int wait_ms)
{
    RawReply r;
    run_blocking([&] {
        int fd = socket(AF_INET, SOCK_DGRAM, 0);
        sockaddr_in a = loopback(port);
        if (fd < 0)
            return;
        sendto(fd, message.data(), message.size(), 0, (sockaddr *)&a, sizeof a);
        pollfd p{fd, POLLIN, 0};
        if (poll(&p, 1, wait_ms) == 1) {
            Bytes b(65536);
            ssize_t n = recv(fd, b.data(), b.size(), 0);
            if (n > 0) {
                b.resize((size_t)n);
                r = parse_reply(b, b);
            }
        }
        close(fd);
    });
    return r;
}
