/*
 * rpc/types.h - the scalar types of the ONC RPC programming interface.
 *
 * Every wire quantity is 32 bits; the names keep their customary shapes
 * (u_long is 32 bits on Win32, as the wire is).  The Windows build takes
 * u_char .. u_long and struct timeval from Winsock 1.1; the portable parts
 * of the runtime, which are also built and tested elsewhere, take them from
 * the system's own headers there.
 */
#ifndef PAL_RPC_TYPES_H
#define PAL_RPC_TYPES_H

#include <stddef.h>
#include <stdint.h>
#include <stdlib.h>
#ifdef _WIN32
#include <winsock.h>
#else
#include <sys/types.h>
#endif

#ifdef __cplusplus
extern "C" {
#endif

typedef int32_t bool_t;
typedef int32_t enum_t;
typedef uint32_t rpcprog_t;
typedef uint32_t rpcvers_t;
typedef uint32_t rpcproc_t;
typedef uint32_t rpcprot_t;
typedef uint32_t rpcport_t;
#ifdef _WIN32
typedef char *caddr_t;
#endif

/* What decoding allocates, and how it is released. */
#define mem_alloc(size) calloc(1, (size))
#define mem_free(ptr, size) free(ptr)

#ifndef TRUE
#define TRUE 1
#endif
#ifndef FALSE
#define FALSE 0
#endif

#ifdef __cplusplus
}
#endif

#endif
