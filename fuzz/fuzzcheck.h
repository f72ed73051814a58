/*
 * fuzzcheck.h - what the harnesses use to report a broken property.
 *
 * A failed check prints what broke and aborts: libFuzzer then keeps the
 * input as a crash artifact, the way it keeps one for a sanitizer report.
 */
#ifndef CALLMGR_FUZZ_FUZZCHECK_H
#define CALLMGR_FUZZ_FUZZCHECK_H

#include <stdio.h>
#include <stdlib.h>

#define FUZZ_CHECK(cond)                                                                           \
    do {                                                                                           \
        if (!(cond)) {                                                                             \
            fprintf(stderr, "%s:%d: check failed: %s\n", __FILE__, __LINE__, #cond);               \
            abort();                                                                               \
        }                                                                                          \
    } while (0)

#endif
