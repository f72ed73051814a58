/*
 * The socket library binding.  The library does not link against the socket
 * library: it loads the module named by string 107 and takes its functions by
 * Winsock ordinal into a slot table, counting one use per application window.
 *
 * The guarded calls give a fixed result without calling anything while the
 * socket library is not loaded; the others go through their slots directly
 * and are only used while it is.
 */
#ifndef CALLMGR_NETLIB_H
#define CALLMGR_NETLIB_H

#include <windows.h>
#include <winsock.h>

#ifdef __cplusplus
extern "C" {
#endif

typedef struct NET_SLOTS {
    int(PASCAL *bind)(SOCKET, const struct sockaddr *, int);
    int(PASCAL *closesocket)(SOCKET);
    int(PASCAL *gethostname)(char *, int);
    int(PASCAL *getsockname)(SOCKET, struct sockaddr *, int *);
    u_long(PASCAL *htonl)(u_long);
    u_short(PASCAL *htons)(u_short);
    u_long(PASCAL *inet_addr)(const char *);
    char *(PASCAL *inet_ntoa)(struct in_addr);
    int(PASCAL *ioctlsocket)(SOCKET, long, u_long *);
    u_long(PASCAL *ntohl)(u_long);
    u_short(PASCAL *ntohs)(u_short);
    SOCKET(PASCAL *socket)(int, int, int);
    HANDLE(PASCAL *WSAAsyncGetHostByName)(HWND, unsigned int, const char *, char *, int);
    int(PASCAL *WSACancelAsyncRequest)(HANDLE);
    int(PASCAL *WSACleanup)(void);
    int(PASCAL *WSAGetLastError)(void);
    int(PASCAL *WSAStartup)(WORD, LPWSADATA);
} NET_SLOTS;

/* The slot table; every slot is null while the socket library is not loaded. */
extern NET_SLOTS NET_Slots;

/* Takes one use of the socket library, loading it and filling the slots on
 * the first, and starts it (version 1.1, else 1.0).  1 when started; 0 when
 * not.  A 0 may or may not have counted a use: the library's name or module
 * missing counts none, a module without WSAStartup or one that refuses to
 * start counts one.  A caller therefore compares NET_Users() before and
 * after, and owes one NET_Cleanup exactly when the count rose. */
int NET_Startup(HINSTANCE instance);
/* Releases one use; the last one cleans the socket library up, unloads it
 * and empties every slot.  Nothing when no use is held. */
void NET_Cleanup(void);
/* The use count: one per NET_Startup that got as far as counting. */
DWORD NET_Users(void);

/* Guarded calls: the socket library's own result while it is loaded and
 * offers the function, else the fixed one noted.  NET_gethostname gives 0
 * on success.  NET_inet_ntoa's text lives in the socket library's buffer,
 * overwritten by its next call.  NET_WSAAsyncGetHostByName lays the host
 * entry out in `buf`, which must outlive the answer: `msg` posted to `hwnd`
 * with the returned task handle as wParam. */
int NET_gethostname(char *name, int len); /* -1 when not loaded */
char *NET_inet_ntoa(struct in_addr in);   /* null when not loaded */
u_long NET_inet_addr(const char *text);   /* 0 when not loaded */
u_long NET_htonl(u_long value);           /* 0 when not loaded */
u_long NET_ntohl(u_long value);           /* 0 when not loaded */
HANDLE NET_WSAAsyncGetHostByName(HWND hwnd, unsigned int msg, const char *name, char *buf,
                                 int buflen); /* 0 when not loaded */
/* Cancels a lookup NET_WSAAsyncGetHostByName started, so that its buffer
 * may be freed: 0, or -1 when not loaded or the task is unknown (answered
 * already). */
int NET_WSACancelAsyncRequest(HANDLE task);

/* Call sockets.  A range is low..high (host order); ports above 65535 are
 * clamped, and a low bound above 65535 fails without binding (WSAEINVAL).
 * `port` is in/out: a nonzero port on entry is the only port tried, and it
 * is kept when that bind fails; otherwise it receives the bound port, or 0.
 * The result is 0 or the socket library's error code; `sock` is -1 unless
 * the result is 0.  Only while the socket library is bound. */
int NET_OpenStream(SOCKET *sock, DWORD *port, DWORD low, DWORD high);
/* The same for a datagram socket; a nonzero `option` switches the stack
 * option on once the socket is bound. */
int NET_OpenDatagram(SOCKET *sock, DWORD *port, DWORD low, DWORD high, DWORD option);
/* Binds `sock` to a port of low..high, the first one tried chosen at random,
 * walking on (with wrap-around) past ports in use; the bound port, or 0. */
DWORD NET_BindRange(SOCKET sock, DWORD low, DWORD high);
/* The stack option (ioctlsocket 0x4004005E, 7 on, 0 off); nothing for -1. */
#define NET_STACKOPTION 0x4004005E
void NET_SetStackOption(SOCKET sock, DWORD on);
/* Closes a socket the library opened but could not hand over; nothing for -1
 * or while the socket library is not bound. */
void NET_Close(SOCKET sock);

/* The TCP/IP stack, attached by the library's process attach and detached
 * by its WEP; the results are informative only (nobody acts on them).
 * STACK_Attach: 1 when the stack's window exists or its library was loaded;
 * 0 when already attached (the window found, or the library loaded even if
 * it brought no window up), for a null instance or when the library could
 * not be loaded.
 * STACK_Detach: 0 when nothing was attached; else it unloads what the attach
 * loaded and returns 1 when the stack's window still exists afterwards
 * (someone else keeps the stack up), 0 when it is gone.
 * STACK_Window: the stack's window, null when none or before any attach. */
int STACK_Attach(HINSTANCE instance);
int STACK_Detach(void);
HWND STACK_Window(void);

#ifdef __cplusplus
}
#endif

#endif
