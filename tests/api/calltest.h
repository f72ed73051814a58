// An application window that records every notification (copying and
// freeing its block) and can act on one from inside the library's waits.
#ifndef CALLMGR_TESTS_API_CALLTEST_H
#define CALLMGR_TESTS_API_CALLTEST_H

#include <callmgr.h>

#include <cstdint>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

const UINT CT_NOTIFY = WM_USER + 77;

struct Note {
    BYTE code;
    BYTE session;
    LPARAM lparam;
    std::vector<unsigned char> block; // the block's bytes, for codes that carry one
};

// Attaches the library (as its load would) and makes the application window.
HWND ct_start_window();
// Everything notified so far, oldest first.
std::vector<Note> &ct_notes();
// Called for each notification as it arrives (may call entries).
std::function<void(const Note &)> &ct_on_note();
// Dispatches messages until a notification with `code` has arrived (true)
// or `seconds` passed.
bool ct_wait_for(BYTE code, int seconds = 30);
// Dispatches what is waiting, without blocking.
void ct_pump();
// The codes notified so far (for one session), in order.
std::vector<int> ct_codes();
std::vector<int> ct_codes_of(WORD session);
// A CMCALLINFO block and its entry at `index`.
const CMCALLINFO &ct_info(const Note &note);
const CMMEMBERENTRY &ct_entry(const Note &note, size_t index);
// Forgets the notes and the handler.
void ct_reset();
// As ct_wait_for, until `done` holds.
bool ct_wait_until(const std::function<bool()> &done, int seconds = 30);

// The sockets a session hands over are the application's to close: a test
// keeps a session's handles before closing it; ct_close_sockets closes those,
// those of every session still registered and of every call block notified.
void ct_keep_session_sockets(WORD session);
void ct_keep_socket(uint32_t handle);
void ct_close_sockets();

// A program on another host (the whole command line, see ct_peer_command),
// read line by line while this thread keeps serving messages and calls.
class CtPeer {
  public:
    explicit CtPeer(const std::string &command);
    ~CtPeer() { finish(); }
    CtPeer(const CtPeer &) = delete;
    CtPeer &operator=(const CtPeer &) = delete;
    // The next line without its end, or "<eof>".
    std::string line();
    // The program's exit status; -1 when it did not exit by itself.
    int finish();

  private:
    FILE *pipe_ = nullptr;
};
// The command that runs PEER_PROGRAM-like `program` with `args` on host
// `index` of a net (1 is this host), or on host B of a pair (index 0).
std::string ct_peer_command(int index, const std::string &program, const std::string &args);

#endif
