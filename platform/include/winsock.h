/*
 * winsock.h - Windows Sockets 1.1 as the platform layer offers it.
 *
 * The socket structures are the host's where their layout is the Windows one
 * (sockaddr, sockaddr_in, in_addr), so this header can be included together
 * with <rpc/rpc.h>.  A host entry is the host's struct hostent.
 *
 * The functions live in the built-in module "WSOCK32.DLL" under their Winsock
 * ordinals; the call manager binds them at run time with GetProcAddress.  The
 * entries whose names are Winsock's own are also declared here for direct
 * calls.  The BSD names (socket, bind, htonl, ...) keep their host
 * declarations; reached through the module, they set the Windows Sockets
 * error that WSAGetLastError returns.
 */
#ifndef PAL_WINSOCK_H
#define PAL_WINSOCK_H

#include <windows.h>
#include <sys/types.h>
#include <sys/socket.h>
#include <netinet/in.h>
#include <arpa/inet.h>
#include <netdb.h>

PAL_BEGIN_DECLS

typedef unsigned int SOCKET;
typedef struct hostent HOSTENT, *LPHOSTENT;
typedef struct sockaddr SOCKADDR, *LPSOCKADDR;
typedef struct sockaddr_in SOCKADDR_IN, *LPSOCKADDR_IN;
typedef struct in_addr IN_ADDR;

#define INVALID_SOCKET ((SOCKET)(~0))
#define SOCKET_ERROR (-1)
#define MAXGETHOSTSTRUCT 1024

#define WSADESCRIPTION_LEN 256
#define WSASYS_STATUS_LEN 128

typedef struct WSAData {
    WORD wVersion;
    WORD wHighVersion;
    char szDescription[WSADESCRIPTION_LEN + 1];
    char szSystemStatus[WSASYS_STATUS_LEN + 1];
    unsigned short iMaxSockets;
    unsigned short iMaxUdpDg;
    char *lpVendorInfo;
} WSADATA, *LPWSADATA;

/* Replies of the asynchronous lookups: buffer length in the low word, error
 * in the high word of lParam. */
#define WSAMAKEASYNCREPLY(buflen, error) MAKELONG(buflen, error)
#define WSAGETASYNCBUFLEN(lParam) LOWORD(lParam)
#define WSAGETASYNCERROR(lParam) HIWORD(lParam)

#define WSABASEERR 10000
#define WSAEINTR (WSABASEERR + 4)
#define WSAEBADF (WSABASEERR + 9)
#define WSAEACCES (WSABASEERR + 13)
#define WSAEFAULT (WSABASEERR + 14)
#define WSAEINVAL (WSABASEERR + 22)
#define WSAEMFILE (WSABASEERR + 24)
#define WSAEWOULDBLOCK (WSABASEERR + 35)
#define WSAEINPROGRESS (WSABASEERR + 36)
#define WSAEALREADY (WSABASEERR + 37)
#define WSAENOTSOCK (WSABASEERR + 38)
#define WSAEDESTADDRREQ (WSABASEERR + 39)
#define WSAEMSGSIZE (WSABASEERR + 40)
#define WSAEPROTOTYPE (WSABASEERR + 41)
#define WSAENOPROTOOPT (WSABASEERR + 42)
#define WSAEPROTONOSUPPORT (WSABASEERR + 43)
#define WSAESOCKTNOSUPPORT (WSABASEERR + 44)
#define WSAEOPNOTSUPP (WSABASEERR + 45)
#define WSAEPFNOSUPPORT (WSABASEERR + 46)
#define WSAEAFNOSUPPORT (WSABASEERR + 47)
#define WSAEADDRINUSE (WSABASEERR + 48)
#define WSAEADDRNOTAVAIL (WSABASEERR + 49)
#define WSAENETDOWN (WSABASEERR + 50)
#define WSAENETUNREACH (WSABASEERR + 51)
#define WSAENETRESET (WSABASEERR + 52)
#define WSAECONNABORTED (WSABASEERR + 53)
#define WSAECONNRESET (WSABASEERR + 54)
#define WSAENOBUFS (WSABASEERR + 55)
#define WSAEISCONN (WSABASEERR + 56)
#define WSAENOTCONN (WSABASEERR + 57)
#define WSAESHUTDOWN (WSABASEERR + 58)
#define WSAETIMEDOUT (WSABASEERR + 60)
#define WSAECONNREFUSED (WSABASEERR + 61)
#define WSAENAMETOOLONG (WSABASEERR + 63)
#define WSAEHOSTDOWN (WSABASEERR + 64)
#define WSAEHOSTUNREACH (WSABASEERR + 65)
#define WSASYSNOTREADY (WSABASEERR + 91)
#define WSAVERNOTSUPPORTED (WSABASEERR + 92)
#define WSANOTINITIALISED (WSABASEERR + 93)
#define WSAHOST_NOT_FOUND (WSABASEERR + 1001)
#define WSATRY_AGAIN (WSABASEERR + 1002)
#define WSANO_RECOVERY (WSABASEERR + 1003)
#define WSANO_DATA (WSABASEERR + 1004)

/* ioctlsocket commands. */
#define WS_IOC_OUT 0x40000000
#define WS_IOC_IN 0x80000000
#define _IOW_WS(x, y) (long)(WS_IOC_IN | (4 << 16) | ((x) << 8) | (y))
#define _IOR_WS(x, y) (long)(WS_IOC_OUT | (4 << 16) | ((x) << 8) | (y))
#undef FIONBIO
#undef FIONREAD
#define FIONBIO _IOW_WS('f', 126)
#define FIONREAD _IOR_WS('f', 127)

int PASCAL WSAStartup(WORD version, LPWSADATA data);
int PASCAL WSACleanup(void);
int PASCAL WSAGetLastError(void);
void PASCAL WSASetLastError(int error);
int PASCAL closesocket(SOCKET s);
int PASCAL ioctlsocket(SOCKET s, long cmd, unsigned long *argp);
HANDLE PASCAL WSAAsyncGetHostByName(HWND hwnd, unsigned int msg, const char *name, char *buf,
                                    int buflen);
int PASCAL WSACancelAsyncRequest(HANDLE task);

PAL_END_DECLS

#endif
