// Peer side of the pair check, run in host B through CALLMGR_PEER_EXEC.
// Listens on B's address, prints the port and then serves one connection:
// it reads one line and answers "<host name> <own address> <caller> <line>".
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

int fail(const char *what)
{
    std::perror(what);
    return 1;
}

} // namespace

int main()
{
    const char *own = std::getenv("CALLMGR_HOST_ADDR");
    if (own == nullptr)
        return fail("CALLMGR_HOST_ADDR");
    sockaddr_in where{};
    where.sin_family = AF_INET;
    if (inet_pton(AF_INET, own, &where.sin_addr) != 1)
        return fail("inet_pton");

    int listener = socket(AF_INET, SOCK_STREAM, 0);
    if (listener < 0)
        return fail("socket");
    socklen_t length = sizeof where;
    if (bind(listener, reinterpret_cast<sockaddr *>(&where), sizeof where) != 0)
        return fail("bind");
    if (listen(listener, 1) != 0)
        return fail("listen");
    if (getsockname(listener, reinterpret_cast<sockaddr *>(&where), &length) != 0)
        return fail("getsockname");
    std::printf("%u\n", ntohs(where.sin_port));
    std::fflush(stdout);

    // Bounded, so a caller that never comes does not hold the test to its timeout.
    pollfd ready{listener, POLLIN, 0};
    if (poll(&ready, 1, 30000) != 1)
        return fail("poll");
    sockaddr_in caller{};
    length = sizeof caller;
    int conn = accept(listener, reinterpret_cast<sockaddr *>(&caller), &length);
    if (conn < 0)
        return fail("accept");

    char line[128];
    size_t used = 0;
    while (used < sizeof line - 1) {
        ssize_t got = read(conn, line + used, 1);
        if (got <= 0 || line[used] == '\n')
            break;
        ++used;
    }
    line[used] = '\0';

    char host[256] = "";
    gethostname(host, sizeof host);
    char from[INET_ADDRSTRLEN] = "";
    inet_ntop(AF_INET, &caller.sin_addr, from, sizeof from);
    char reply[512];
    int size = std::snprintf(reply, sizeof reply, "%s %s %s %s\n", host, own, from, line);
    if (size < 0 || static_cast<size_t>(size) >= sizeof reply)
        return fail("snprintf");
    if (write(conn, reply, static_cast<size_t>(size)) != size)
        return fail("write");
    close(conn);
    close(listener);
    return 0;
}
