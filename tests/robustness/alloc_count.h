// What the library holds, counted from outside: the heap, global and local
// blocks it has not given back (every allocation of the system goes through
// HeapAlloc, GlobalAlloc or LocalAlloc; the program is linked so that those
// calls pass through counters here), its registered applications and
// sessions, the process's open descriptors, and the port mapper's entries
// for the program.  Also whether an armed allocation fault was taken.
#ifndef CALLMGR_TESTS_ROBUSTNESS_ALLOC_COUNT_H
#define CALLMGR_TESTS_ROBUSTNESS_ALLOC_COUNT_H

#include <paltest.h>
#include <windows.h>

#include <ostream>

struct Holdings {
    long heap = 0;   // records
    long global = 0; // blocks for the application not yet freed by it
    long local = 0;  // lookup records, exchange buffers, dialog records
    int apps = 0;
    int sessions = 0;
    int fds = 0;
    bool operator==(const Holdings &o) const
    {
        return heap == o.heap && global == o.global && local == o.local && apps == o.apps &&
               sessions == o.sessions && fds == o.fds;
    }
};
std::ostream &operator<<(std::ostream &out, const Holdings &h);

// Everything above, now.
Holdings holdings();
// Blocks only (no registry walk, no descriptors).
long blocks_outstanding();

// After a run with `point` armed by PalFaultSet(point, skip, 1, ...): true
// when the run took the armed failure.  Probes the point itself (a run that
// made fewer calls leaves the failure pending) and clears every fault.
bool fault_taken(PAL_FAULT point, int skip);

// Whether program 391010 version 1 is registered with this host's port
// mapper for the protocol (IPPROTO_UDP or IPPROTO_TCP).
bool program_registered(int protocol);

#endif
