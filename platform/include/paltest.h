/*
 * paltest.h - test support of the platform layer: the virtual clock, fault
 * injection, module replacement and the idle hook.  Only tests use it; an
 * application never needs it.  Its functions live in the test layer
 * (library paltesting), which only test programs link.
 */
#ifndef PAL_PALTEST_H
#define PAL_PALTEST_H

#include <windef.h>

PAL_BEGIN_DECLS

/*
 * The test layer puts itself in place when the program starts.  Removing
 * it shows the platform as an application has it: no point fails, the
 * clock is the real one, nothing is recorded.
 */
void WINAPI PalTestLayerInstall(BOOL on);

/*
 * The clock.  In virtual time GetTickCount stands still until a test
 * advances it; timers fall due only then, and every thread waiting for
 * messages re-examines its timers.  Switching back to real time continues
 * from the real clock.
 */
void WINAPI PalClockSetVirtual(BOOL on, DWORD start);
void WINAPI PalClockAdvance(DWORD ms);
BOOL WINAPI PalClockIsVirtual(void);

/*
 * Fault injection.  An armed point lets `skip` calls pass, then fails the
 * next `count` calls (-1: every call until cleared) with `error`: the
 * last-error value for kernel functions, the WSA error for socket
 * functions.
 */
typedef enum PAL_FAULT {
    PAL_FAULT_HEAPALLOC,    /* HeapAlloc returns null */
    PAL_FAULT_GLOBALALLOC,  /* GlobalAlloc returns null */
    PAL_FAULT_LOCALALLOC,   /* LocalAlloc returns null */
    PAL_FAULT_LOADLIBRARY,  /* LoadLibraryA returns null */
    PAL_FAULT_WSASTARTUP,   /* WSAStartup returns the error */
    PAL_FAULT_SOCKET,       /* socket returns INVALID_SOCKET */
    PAL_FAULT_BIND,         /* bind returns SOCKET_ERROR */
    PAL_FAULT_GETSOCKNAME,  /* getsockname returns SOCKET_ERROR */
    PAL_FAULT_GETHOSTNAME,  /* gethostname returns SOCKET_ERROR */
    PAL_FAULT_ASYNCLOOKUP,  /* WSAAsyncGetHostByName returns 0 */
    PAL_FAULT_FILEWRITE,    /* profile-file writes fail */
    PAL_FAULT_CREATEWINDOW, /* CreateWindowExA returns null */
    PAL_FAULT_COUNT
} PAL_FAULT;

void WINAPI PalFaultSet(PAL_FAULT point, int skip, int count, int error);
void WINAPI PalFaultClear(void);

/* Module replacement: a test registers its own description under a
 * built-in module's name with PalRegisterModule (palmodule.h); this puts the
 * layer's own built-in modules back for later loads. */
void WINAPI PalRestoreBuiltinModules(void);

/* What sndPlaySoundA was asked to play, oldest first: a stop request has
 * `stop` set and no name. */
typedef struct PAL_SOUND {
    BOOL stop;
    char name[260];
    UINT flags;
} PAL_SOUND;
UINT WINAPI PalSoundCount(void);
BOOL WINAPI PalSoundGet(UINT index, PAL_SOUND *sound);
void WINAPI PalSoundClear(void);

/*
 * The idle hook of the calling thread: called whenever a message wait of
 * the thread (GetMessageA, WaitMessage, a modal loop) finds nothing to do
 * and is about to block.  A hook that made work (posted a message, advanced
 * the clock) returns TRUE and the wait looks again; FALSE lets it block.
 * Tests use it to act from inside modal loops and blocking exchanges.
 */
typedef BOOL(CALLBACK *PAL_IDLEHOOK)(void *context);
void WINAPI PalSetIdleHook(PAL_IDLEHOOK hook, void *context);

/*
 * Blocking work beside the message loop: runs work(context) on a worker
 * thread while this thread retrieves and dispatches its messages (posted,
 * sent, timers, the RPC server's calls), and returns what work returned.  A
 * WM_QUIT met meanwhile is posted again afterwards.  Tests use it for a
 * blocking client of the process's own server, or a child process to wait
 * for.  The work must touch nothing the calling thread uses without locks.
 */
typedef DWORD(WINAPI *PAL_BLOCKINGWORK)(void *context);
DWORD WINAPI PalRunBlocking(PAL_BLOCKINGWORK work, void *context);

PAL_END_DECLS

#endif
