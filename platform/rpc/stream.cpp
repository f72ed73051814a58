/*
 * Non-blocking TCP connections for exchanges that wait in the message loop.
 *
 * The socket is never bound before connect(): the kernel picks an ordinary
 * ephemeral source port.  Nagle is switched off because an exchange writes
 * one whole record and then only waits for the answer.
 */
#include <palrpc.h>

#include <arpa/inet.h>
#include <cerrno>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

int would_block_or_error()
{
    return errno == EAGAIN || errno == EWOULDBLOCK ? PAL_STREAM_WOULDBLOCK : -1;
}

} // namespace

extern "C" {

BOOL WINAPI PalHostAddress(const char *host, DWORD *addr)
{
    if (!host || !*host || !addr)
        return FALSE;
    in_addr dotted{};
    if (::inet_aton(host, &dotted)) {
        *addr = ntohl(dotted.s_addr);
        return TRUE;
    }
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo *found = nullptr;
    if (::getaddrinfo(host, nullptr, &hints, &found) != 0 || !found)
        return FALSE;
    BOOL ok = FALSE;
    for (addrinfo *a = found; a; a = a->ai_next)
        if (a->ai_family == AF_INET && a->ai_addrlen >= sizeof(sockaddr_in)) {
            *addr = ntohl(((const sockaddr_in *)a->ai_addr)->sin_addr.s_addr);
            ok = TRUE;
            break;
        }
    ::freeaddrinfo(found);
    return ok;
}

int WINAPI PalStreamConnect(DWORD addr, WORD port)
{
    int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, IPPROTO_TCP);
    if (fd < 0)
        return -1;
    int one = 1;
    (void)::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(port);
    to.sin_addr.s_addr = htonl((uint32_t)addr);
    int r;
    do {
        r = ::connect(fd, (const sockaddr *)&to, sizeof to);
    } while (r != 0 && errno == EINTR);
    if (r != 0 && errno != EINPROGRESS) {
        ::close(fd);
        return -1;
    }
    return fd;
}

int WINAPI PalStreamConnected(int fd)
{
    int err = 0;
    socklen_t len = sizeof err;
    if (::getsockopt(fd, SOL_SOCKET, SO_ERROR, &err, &len) != 0)
        return errno ? errno : EBADF;
    return err;
}

int WINAPI PalStreamSend(int fd, const void *bytes, int length)
{
    if (length < 0)
        return -1;
    ssize_t n;
    do {
        n = ::send(fd, bytes, (size_t)length, MSG_NOSIGNAL | MSG_DONTWAIT);
    } while (n < 0 && errno == EINTR);
    return n < 0 ? would_block_or_error() : (int)n;
}

int WINAPI PalStreamRecv(int fd, void *bytes, int length)
{
    if (length < 0)
        return -1;
    ssize_t n;
    do {
        n = ::recv(fd, bytes, (size_t)length, MSG_DONTWAIT);
    } while (n < 0 && errno == EINTR);
    return n < 0 ? would_block_or_error() : (int)n;
}

void WINAPI PalStreamClose(int fd)
{
    if (fd >= 0)
        ::close(fd);
}

} // extern "C"
