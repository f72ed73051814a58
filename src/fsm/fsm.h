/*
 * The state-machine window: one hidden window per application through which
 * every call event passes, the host-name lookup service, the knowledge of the
 * local host, and notifications to the application.
 */
#ifndef CALLMGR_FSM_H
#define CALLMGR_FSM_H

#include "registry/registry.h"

#include <mmsystem.h>

#ifdef __cplusplus
extern "C" {
#endif

/* Messages of the state-machine window. */
#define FSM_RESOLVE 0x480
#define FSM_RESOLVED 0x481
#define FSM_RESOLVEFAILED 0x482
#define FSM_INVITED 0x483
#define FSM_UPDATED 0x485
#define FSM_PROCEED 0x486
#define FSM_HOSTLOOKUP 0x600
#define FSM_LOCALADDR 0x601
#define FSM_LOCALADDRFAILED 0x602

/* Size of the host entry buffer of a pending lookup. */
#define LOOKUP_HOSTENTRY 1028

/* One pending host-name lookup (local memory, wiped before release). */
typedef struct CMLOOKUP {
    struct CMLOOKUP *next;
    DWORD id;
    HWND window;
    UINT message;
    /* Aligned for the host entry that the socket library lays out in it. */
    alignas(8) char hostentry[LOOKUP_HOSTENTRY];
} CMLOOKUP;

HWND CMFSM_Create(HINSTANCE instance, HWND owner);
DWORD LOOKUP_Start(HWND window, UINT message, const char *host);
/* Posts a notification; false when it could not be posted (no window, no
 * message number, or the window is gone). */
BOOL CM_Notify(CMAPP *app, WORD session, BYTE code, LPARAM lparam);

/* The outgoing ring: the calling sound now and every RING_INTERVAL ms until
 * RING_Stop. */
#define RING_INTERVAL 4000
#define RING_SOUNDFLAGS (SND_ASYNC | SND_NODEFAULT | SND_NOSTOP)
void RING_Start(CMAPP *app);
void RING_Stop(CMAPP *app);

/* The local host as the lookup service learned it. */
DWORD FSM_LocalAddress(void); /* host order; all bits set while unknown */
const char *FSM_FullHostName(void);
const char *FSM_ShortHostName(void);

/* The lookup service's own state, for the window procedure. */
BOOL LOCALHOST_Setup(HWND window);
void LOCALHOST_Release(void);
void LOOKUP_Complete(WPARAM task, LPARAM reply);
void LOCALHOST_SetAddress(DWORD address);

#ifdef __cplusplus
}
#endif

#endif
