// What the library holds, counted from outside: blocks not given back (every
// allocation is counted), applications, sessions and open descriptors.
#ifndef CALLMGR_TESTS_ROBUSTNESS_ALLOC_COUNT_H
#define CALLMGR_TESTS_ROBUSTNESS_ALLOC_COUNT_H

#include <paltest.h>
#include <windows.h>

#include <ostream>

struct Holdings {
    long heap = 0, global = 0, local = 0;
    int apps = 0, sessions = 0, fds = 0;
    bool operator==(const Holdings &) const = default;
};
std::ostream &operator<<(std::ostream &out, const Holdings &h);
Holdings holdings();

// After a run with PalFaultSet(point, skip, 1, ...): whether the run took
// the failure (probed: a shorter run leaves it pending).  Clears the faults.
bool fault_taken(PAL_FAULT point, int skip);

// Whether the port mapper has the call program for IPPROTO_UDP or _TCP.
bool program_registered(int protocol);

#endif
