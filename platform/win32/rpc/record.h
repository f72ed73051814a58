/*
 * Record marking on a stream: a record travels as fragments, each after a
 * 4-byte big-endian mark holding its length, the top bit set on the last.
 *
 * The reader takes bytes as they arrive, in pieces of any size, and joins
 * the fragments.  Memory grows only with bytes that arrived, never with a
 * length a mark merely announces; a record longer than the limit fails the
 * stream.
 */
#ifndef PAL_WIN32_RPC_RECORD_H
#define PAL_WIN32_RPC_RECORD_H

#include <stddef.h>
#include <stdint.h>

#include <vector>

namespace pal {
namespace onc {

/* The largest record either side accepts. */
const size_t MAX_RECORD = 1u << 20;
const uint32_t LAST_FRAGMENT = 0x80000000u;

struct RecordReader {
    std::vector<char> record; /* the record so far */
    unsigned char mark[4];
    unsigned mark_have = 0; /* bytes of the current mark read */
    uint32_t fragment_left = 0;
    bool in_fragment = false; /* a mark was read, its bytes are coming */
    bool last = false;        /* the current fragment ends the record */
    size_t limit = MAX_RECORD;
};

enum class RecordStep {
    MORE,     /* every byte was taken; the record is not complete */
    COMPLETE, /* `record` holds a whole record; the rest is the next one's */
    TOO_LONG, /* the record passes the limit: the stream is beyond use */
};

/* Takes bytes from `bytes` up to the end of the record in progress;
 * *taken says how many.  After COMPLETE the caller uses `record` and calls
 * record_restart before feeding the rest. */
RecordStep record_feed(RecordReader *reader, const char *bytes, size_t length, size_t *taken);
void record_restart(RecordReader *reader);

/* Appends `length` bytes as one whole record (a single last fragment). */
void record_frame(const char *bytes, uint32_t length, std::vector<char> *out);
/* Writes the mark of a single-fragment record of `length` bytes. */
void record_mark(uint32_t length, char mark[4]);

} // namespace onc
} // namespace pal

#endif
