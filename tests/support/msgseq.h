/*
 * msgseq.h - the message-sequence recorder of the tests.
 *
 * A test records what windows receive (the recording window procedure, or
 * SEQ_Add for anything else that arrives in order: notifications handed to a
 * callback, sounds, beeps) and then compares the record with a table:
 *
 *     static const SEQ_MSG accepted[] = {
 *         {WM_USER + 1, SEQ_POSTED | SEQ_WPARAM, 0x0102},
 *         {WM_TIMER, SEQ_SENT | SEQ_OPTIONAL},
 *         {WM_USER + 2, SEQ_POSTED},
 *         {0, 0}
 *     };
 *     EXPECT_TRUE(SEQ_Ok(accepted, "after the accept"));   // msgseq_gtest.h
 *
 * The comparison walks both lists in step.  An entry matches a record with
 * the same message, the same kind (sent or posted, when the entry names
 * one) and, when the entry asks for them, the same wparam and lparam.  An
 * optional entry that does not match is passed over; anything else that
 * does not match, an expected entry left over, or a record left over fails
 * the comparison, and the listing shows both sequences side by side with
 * the first difference marked.  Every comparison empties the record, so
 * the next one starts from what arrived after it.
 *
 * Sent or posted: a message that reaches the recording procedure while
 * SEQ_Pump or SEQ_Dispatch dispatches it from the queue is recorded as
 * posted; everything else (SendMessage, messages a window procedure or a
 * modal loop of the system delivers) is recorded as sent.  A test that runs
 * its own message loop dispatches with SEQ_Dispatch to keep that apart.
 *
 * Portable: needs only <windows.h> and the C++ standard library, so the
 * same tables run against this platform layer and against Windows.
 */
#ifndef CALLMGR_TESTS_MSGSEQ_H
#define CALLMGR_TESTS_MSGSEQ_H

#include <windows.h>

#include <string>
#include <vector>

/* What an entry of an expected sequence asks of the record it meets. */
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

/* Recording.  Safe from any thread; the record keeps arrival order. */
void SEQ_Add(HWND hwnd, UINT msg, WPARAM wparam, LPARAM lparam, unsigned flags);
void SEQ_Flush(void);
size_t SEQ_Count(void);
/* A copy of the record, oldest first. */
std::vector<SEQ_RECORD> SEQ_Recorded(void);
/* The record itself, for tests that edit it in place on a single thread. */
std::vector<SEQ_RECORD> &SEQ_Log(void);

/* Only these messages are recorded from now on (an empty list, the
 * default, records everything): e.g. a test that pins notifications keeps
 * the window manager's own traffic out of its record. */
void SEQ_Only(const std::vector<UINT> &messages);

/* Names shown in listings; WM_ names of the common messages are known,
 * WM_USER + n otherwise. */
void SEQ_Name(UINT msg, const char *name);
std::string SEQ_MessageName(UINT msg);

/* Records a message a window procedure of the test received, as sent or
 * posted (see above): for procedures that do more than record. */
void SEQ_Received(HWND hwnd, UINT msg, WPARAM wparam, LPARAM lparam);
/* The recording window procedure: records, then DefWindowProcA. */
LRESULT CALLBACK SEQ_WindowProc(HWND hwnd, UINT msg, WPARAM wparam, LPARAM lparam);
/* Registers a class of that procedure for the calling module (no error
 * when it exists already). */
BOOL SEQ_RegisterClass(const char *name);
HWND SEQ_CreateWindow(const char *cls, HWND owner = nullptr, DWORD style = 0);
/* Dispatches one message taken from the queue, recording it as posted
 * when it reaches the recording procedure. */
LRESULT SEQ_Dispatch(const MSG *m);
/* Takes and dispatches every message waiting for the thread; the count. */
int SEQ_Pump(void);

/*
 * The comparison.  Compares the record with `expected` (ended by message
 * 0), empties the record and answers whether they agree; `listing`, when
 * given, receives the readable account of a difference (empty on
 * agreement), headed by `context`.
 */
bool SEQ_Compare(const SEQ_MSG *expected, const char *context, std::string *listing);
/* The same with an expected sequence held in a vector (no terminator). */
bool SEQ_Compare(const std::vector<SEQ_MSG> &expected, const char *context, std::string *listing);

#endif
