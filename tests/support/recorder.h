/* A window procedure that records what it receives, for tests that pin
 * message order. */
#ifndef CALLMGR_TESTS_RECORDER_H
#define CALLMGR_TESTS_RECORDER_H

#include <windows.h>

#include <string>
#include <vector>

struct Received {
    HWND hwnd;
    UINT msg;
    WPARAM wparam;
    LPARAM lparam;
};

/* Everything the recording procedure saw, in order. */
std::vector<Received> &received();
LRESULT CALLBACK recording_proc(HWND hwnd, UINT msg, WPARAM wparam, LPARAM lparam);
/* Registers the recording class under `name` for the test's instance. */
void register_recording_class(const char *name);
HWND make_window(const char *cls, HWND owner = nullptr, DWORD style = 0);
/* Takes every message waiting for the thread, dispatching each. */
int pump();

#endif
