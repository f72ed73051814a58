/* The message-sequence recorder: records what windows receive (the recording
 * window procedure, or SEQ_Add) and compares the record with a table ended by
 * message 0, e.g. {{WM_TIMER, SEQ_SENT | SEQ_OPTIONAL}, {0, 0}}.  Both lists
 * are walked in step; only optional entries may be passed over, and a
 * comparison empties the record.  A message dispatched by SEQ_Pump or
 * SEQ_Dispatch is recorded as posted, anything else as sent.  Needs only
 * <windows.h>, so the same tables run against Windows. */
#ifndef CALLMGR_TESTS_MSGSEQ_H
#define CALLMGR_TESTS_MSGSEQ_H

#include <windows.h>

#include <string>
#include <vector>

enum SEQ_FLAGS : unsigned {
    SEQ_SENT = 0x01,     /* arrived through SendMessage or a direct call */
    SEQ_POSTED = 0x02,   /* arrived from the queue */
    SEQ_WPARAM = 0x04,   /* wparam must be equal */
    SEQ_LPARAM = 0x08,   /* lparam must be equal */
    SEQ_OPTIONAL = 0x10, /* may be missing */
    SEQ_HWND = 0x20      /* the record's window must be SEQ_MSG::hwnd */
};

/* One entry of an expected sequence; a table ends with message 0. */
struct SEQ_MSG {
    UINT message = 0;
    unsigned flags = 0;
    WPARAM wparam = 0;
    LPARAM lparam = 0;
    HWND hwnd = nullptr;
};

/* One recorded message.  `flags` holds SEQ_SENT or SEQ_POSTED. */
struct SEQ_RECORD {
    HWND hwnd;
    UINT msg;
    WPARAM wparam;
    LPARAM lparam;
    unsigned flags;
};

/* Recording, safe from any thread, in arrival order.  SEQ_Log is the record
 * itself, for tests that edit it in place on a single thread. */
void SEQ_Add(HWND hwnd, UINT msg, WPARAM wparam, LPARAM lparam, unsigned flags);
void SEQ_Flush(void);
size_t SEQ_Count(void);
std::vector<SEQ_RECORD> SEQ_Recorded(void);
std::vector<SEQ_RECORD> &SEQ_Log(void);

/* Only these messages are recorded from now on; empty (the default): all. */
void SEQ_Only(const std::vector<UINT> &messages);

/* Records a message a test's own window procedure received. */
void SEQ_Received(HWND hwnd, UINT msg, WPARAM wparam, LPARAM lparam);
/* The recording window procedure: records, then DefWindowProcA. */
LRESULT CALLBACK SEQ_WindowProc(HWND hwnd, UINT msg, WPARAM wparam, LPARAM lparam);
/* Registers a class of that procedure (no error when it exists). */
BOOL SEQ_RegisterClass(const char *name);
HWND SEQ_CreateWindow(const char *cls, HWND owner = nullptr, DWORD style = 0);
/* Dispatches one queued message, recorded as posted. */
LRESULT SEQ_Dispatch(const MSG *m);
/* Takes and dispatches every message waiting for the thread; the count. */
int SEQ_Pump(void);

/* Compares and empties the record; `listing` (when given) receives the
 * account of a difference headed by `context`, empty on agreement.  A
 * vector needs no terminating entry. */
bool SEQ_Compare(const SEQ_MSG *expected, const char *context, std::string *listing);
bool SEQ_Compare(const std::vector<SEQ_MSG> &expected, const char *context, std::string *listing);

#endif
