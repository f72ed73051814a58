/* The older names of the message-sequence recorder (msgseq.h), kept while
 * tests move to its tables: `received()` is the recorder's own record. */
#ifndef CALLMGR_TESTS_RECORDER_H
#define CALLMGR_TESTS_RECORDER_H

#include "support/msgseq.h"

inline std::vector<SEQ_RECORD> &received()
{
    return SEQ_Log();
}
inline void register_recording_class(const char *name)
{
    SEQ_RegisterClass(name);
}
inline HWND make_window(const char *cls, HWND owner = nullptr, DWORD style = 0)
{
    return SEQ_CreateWindow(cls, owner, style);
}

#endif
