#include "support/loopcall.h"

#include <arpa/inet.h>
#include <netinet/in.h>

int loopback_call(rpcprog_t prog, unsigned short port, bool tcp, int arg)
{
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(port);
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    int sock = RPC_ANYSOCK;
    CLIENT *clnt = tcp ? clnttcp_create(&addr, prog, 1, &sock, 0, 0)
                       : clntudp_create(&addr, prog, 1, timeval{5, 0}, &sock);
    if (!clnt)
        return -1;
    int answer = -1;
    const timeval total{25, 0};
    clnt_call(clnt, 1, (xdrproc_t)xdr_int, (char *)&arg, (xdrproc_t)xdr_int, (char *)&answer,
              total);
    clnt_destroy(clnt);
    return answer;
}
