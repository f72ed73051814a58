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

#include <stddef.h>
#include <stdint.h>

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

/* One member of a call as the blocks show it (196 bytes).  Texts longer than
 * a field are cut to 63 characters; an absent text leaves its field zero. */
typedef struct CMMEMBERENTRY {
    char realname[64];
    char user[64];
    char host[64];
    uint32_t ipaddr; /* network order; the lookup id while it is pending */
} CMMEMBERENTRY;

/* The call information block of CMN_CALLSTARTED, CMN_CALLUPDATED and
 * CMN_MEMBERSADDED: movable global memory of 556 + 196 * count bytes that
 * the application frees.  `members` holds `count` entries in list order,
 * followed by one all-zero entry. */
typedef struct CMCALLINFO {
    uint32_t localaddr;  /* network order */
    uint32_t originaddr; /* the originator's address, network order */
    uint32_t group1;     /* the call's two group addresses, network order */
    uint32_t group2;
    uint32_t tcpport; /* the inviting session's stream port */
    uint32_t udpport1;
    uint32_t udpsocket1; /* 0 in a block built without sockets; -1 when the
                          * socket could not be opened */
    uint32_t udpport2;
    uint32_t udpsocket2;
    uint32_t count;
    char subject[256];
    char reserved[64];
    CMMEMBERENTRY members[1];
} CMCALLINFO;

/* The member information block of CMN_ADDRESS (392 bytes): the member while
 * its lookup was pending, and the same member with its resolved address. */
typedef struct CMMEMBERINFO {
    CMMEMBERENTRY pending;
    CMMEMBERENTRY resolved;
} CMMEMBERINFO;

/* Exported routines.  Application ids and session handles are compared on
 * their low 16 bits. */
int WINAPI WEP(int32_t unused);
/* Registers an application: notifications go to `notifywnd` as message
 * `notifymsg`.  `hostname`, when given, receives the short local host name
 * (256 characters).  Returns the application id (1..127) or a status. */
WORD WINAPI CMStartup(HWND notifywnd, UINT notifymsg, LPSTR hostname);
/* 0, or CMERR_BUSY when an exchange runs: the clean-up then completes
 * later and is told with CMN_CLEANEDUP. */
UINT WINAPI CMCleanup(UINT app);
/* Takes the settings; 0 for a null block, else 1. */
BOOL WINAPI CMSetInfo(const CMINFO *info);
/* Accepted and ignored: the library writes no log.  Returns 1. */
int WINAPI CMSetLogInfo(int32_t a, int32_t b, int32_t c);
UINT WINAPI CMGetNetInfo(UINT app, CMNETINFO *netinfo);
UINT WINAPI CMSetNetInfo(UINT app, const CMNETINFO *netinfo);
/* Opens a session with its stream socket: the session handle (1..127) or a
 * status. */
WORD WINAPI CMOpenSession(UINT app);
UINT WINAPI CMCloseSession(UINT session);
UINT WINAPI CMGetAppInfo(UINT session, CMAPPINFO *appinfo);
/* Places a call to one address text ('Name <user@host>', at most 255
 * characters; the caller's text is not changed).  0: CMN_CALLSTARTED has
 * been posted and the rest follows as notifications. */
UINT WINAPI CMInviteUser(UINT session, LPCSTR address, LPCSTR subject);
/* The Invite - RSVP dialog's procedure. */
INT_PTR CALLBACK RSVP_DlgProc(HWND hwnd, UINT msg, WPARAM wparam, LPARAM lparam);
/* Runs the Invite dialog for the session: Call places a new call (0 and
 * CMN_CALLSTARTED) or adds the invitees to the session's call (0 and
 * CMN_MEMBERSADDED).  CMERR_CANCELLED when the dialog was closed or could not
 * be shown, CMERR_BADSESSION for an unknown session, CMERR_BUSY while another
 * Invite dialog is open. */
UINT WINAPI CMInvite(UINT session);
/* The procedures of the Invite and Address Book dialogs. */
INT_PTR CALLBACK INVITE_DlgProc(HWND hwnd, UINT msg, WPARAM wparam, LPARAM lparam);
INT_PTR CALLBACK ADDRBOOK_DlgProc(HWND hwnd, UINT msg, WPARAM wparam, LPARAM lparam);
/* The procedures of the Group and the New/Change Address dialogs. */
INT_PTR CALLBACK GroupDlgProc(HWND hwnd, UINT msg, WPARAM wparam, LPARAM lparam);
INT_PTR CALLBACK MemberDlgProc(HWND hwnd, UINT msg, WPARAM wparam, LPARAM lparam);
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
static_assert(sizeof(CMMEMBERENTRY) == 196 && offsetof(CMMEMBERENTRY, user) == 64 &&
                  offsetof(CMMEMBERENTRY, host) == 128 && offsetof(CMMEMBERENTRY, ipaddr) == 192,
              "CMMEMBERENTRY offsets");
static_assert(sizeof(CMCALLINFO) == 556 && offsetof(CMCALLINFO, originaddr) == 4 &&
                  offsetof(CMCALLINFO, group1) == 8 && offsetof(CMCALLINFO, tcpport) == 16 &&
                  offsetof(CMCALLINFO, udpport1) == 20 && offsetof(CMCALLINFO, udpsocket1) == 24 &&
                  offsetof(CMCALLINFO, udpport2) == 28 && offsetof(CMCALLINFO, udpsocket2) == 32 &&
                  offsetof(CMCALLINFO, count) == 36 && offsetof(CMCALLINFO, subject) == 40 &&
                  offsetof(CMCALLINFO, reserved) == 296 && offsetof(CMCALLINFO, members) == 360,
              "CMCALLINFO offsets");
static_assert(sizeof(CMMEMBERINFO) == 392 && offsetof(CMMEMBERINFO, resolved) == 196,
              "CMMEMBERINFO offsets");
#else
_Static_assert(sizeof(CMINFO) == 780, "CMINFO is 780 bytes");
_Static_assert(sizeof(CMNETINFO) == 36, "CMNETINFO is 36 bytes");
_Static_assert(sizeof(CMAPPINFO) == 12, "CMAPPINFO is 12 bytes");
_Static_assert(sizeof(CMMEMBERENTRY) == 196, "CMMEMBERENTRY is 196 bytes");
_Static_assert(sizeof(CMCALLINFO) == 556, "CMCALLINFO is 556 bytes with its end entry");
_Static_assert(sizeof(CMMEMBERINFO) == 392, "CMMEMBERINFO is 392 bytes");
#endif

#endif
