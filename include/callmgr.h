/*
 * callmgr.h - the call manager's interface for conferencing applications:
 * status codes, notification codes, the settings blocks and the exported
 * routines.
 *
 * An application registers with CMStartup, opens sessions, places calls and
 * learns everything that happens afterwards from notifications: messages
 * posted to the window it named, wParam = (code << 8) | session id, some
 * carrying a movable global memory block that the application then owns.
 */
#ifndef CALLMGR_CALLMGR_H
#define CALLMGR_CALLMGR_H

#include <windows.h>

#ifdef __cplusplus
extern "C" {
#endif

/* Status codes: 0 is success, every failure is 128 or more, so a result that
 * is either an id (1..127) or a status fits one 16-bit value. */
#define CMERR_APPALLOC 128
#define CMERR_BADAPP 130
#define CMERR_SERVER 131
#define CMERR_CLIENT 132
#define CMERR_NULLREPLY 133
#define CMERR_BADMESSAGE 134
#define CMERR_NOMATCH 135
#define CMERR_WINDOW 136
#define CMERR_SESSION 137
#define CMERR_BADSESSION 139
#define CMERR_NOAPP 140
#define CMERR_BLOCKALLOC 141
#define CMERR_NOMEMBERS 143
#define CMERR_CANCELLED 144
#define CMERR_NOSELECTION 145
#define CMERR_CALLALLOC 146
#define CMERR_CALLFREE 147
#define CMERR_NOCALL 148
#define CMERR_BADMEMBER 149
#define CMERR_INVALID 152
#define CMERR_BUSY 153

/* Notification codes (high byte of wParam).  A reply with message number m
 * arrives as code m + 1. */
#define CMN_CALLSTARTED 1
#define CMN_CALLUPDATED 8
#define CMN_INVITEREFUSED 12
#define CMN_UNREACHABLE 32
#define CMN_NOADDRESS 49
#define CMN_ADDRESS 50
#define CMN_RINGING 51
#define CMN_UPDATING 52
#define CMN_MEMBERSADDED 53
#define CMN_CLEANEDUP 54

/* The settings of CMSetInfo (780 bytes). */
typedef struct CMINFO {
    int32_t rsvpring;
    char rsvpsound[256];
    int32_t callring;
    char callsound[256];
    char addressbook[256];
    int32_t autoaccept;
} CMINFO;

/* The network settings of CMGetNetInfo and CMSetNetInfo (36 bytes). */
typedef struct CMNETINFO {
    uint32_t groupbase1;
    uint32_t groupbase2;
    uint32_t stackoption;
    uint32_t udp1low;
    uint32_t udp1high;
    uint32_t udp2low;
    uint32_t udp2high;
    uint32_t tcplow;
    uint32_t tcphigh;
} CMNETINFO;

/* A session's stream socket, filled by CMGetAppInfo (12 bytes). */
typedef struct CMAPPINFO {
    uint32_t localaddr; /* host order; all bits set while unknown */
    uint32_t tcpport;
    uint32_t tcpsocket; /* 0xFFFFFFFF when none */
} CMAPPINFO;

/* Exported routines. */
int WINAPI WEP(int32_t unused);
LRESULT CALLBACK FSM_WndProc(HWND hwnd, UINT msg, WPARAM wparam, LPARAM lparam);
/* The outgoing ring's timer callback; its arguments are not used. */
void CALLBACK CLIENT_TimerProc(HWND hwnd, UINT msg, UINT_PTR id, DWORD time);

#ifdef __cplusplus
}

static_assert(sizeof(CMINFO) == 780, "CMINFO is 780 bytes");
static_assert(offsetof(CMINFO, rsvpsound) == 4 && offsetof(CMINFO, callring) == 260 &&
                  offsetof(CMINFO, callsound) == 264 && offsetof(CMINFO, addressbook) == 520 &&
                  offsetof(CMINFO, autoaccept) == 776,
              "CMINFO offsets");
static_assert(sizeof(CMNETINFO) == 36 && offsetof(CMNETINFO, stackoption) == 8 &&
                  offsetof(CMNETINFO, udp1low) == 12 && offsetof(CMNETINFO, tcplow) == 28 &&
                  offsetof(CMNETINFO, tcphigh) == 32,
              "CMNETINFO offsets");
static_assert(sizeof(CMAPPINFO) == 12 && offsetof(CMAPPINFO, tcpport) == 4 &&
                  offsetof(CMAPPINFO, tcpsocket) == 8,
              "CMAPPINFO offsets");
#else
_Static_assert(sizeof(CMINFO) == 780, "CMINFO is 780 bytes");
_Static_assert(sizeof(CMNETINFO) == 36, "CMNETINFO is 36 bytes");
_Static_assert(sizeof(CMAPPINFO) == 12, "CMAPPINFO is 12 bytes");
#endif

#endif
