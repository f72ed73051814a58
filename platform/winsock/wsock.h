/* The built-in network modules, for the loader. */
#ifndef PAL_WINSOCK_WSOCK_H
#define PAL_WINSOCK_WSOCK_H

#include <palmodule.h>

namespace pal {

extern const PAL_MODULEDESC wsock32_module; /* "WSOCK32.DLL" */
extern const PAL_MODULEDESC vxlib32_module; /* "VXLIB32.DLL", the TCP/IP stack */

/* Sets the calling thread's Windows Sockets error from errno or a WSA code. */
int wsa_error_from_errno(int err);
void wsa_set(int wsa_error);
bool wsa_started();

/* Drops every lookup still in progress (the last WSACleanup). */
void async_cancel_all();

} // namespace pal

#endif
