/*
 * fuzz_xdr.cpp - the record routines of the call protocol on hostile bytes.
 *
 * Input: one selector byte (modulo the table of xdrtable.h picks the
 * routine), then the bytes on the wire.  For every input:
 *  - decode into a zero-filled record; whatever the outcome, xdr_free must
 *    release everything the decode allocated (the leak checker watches);
 *  - a record that decoded encodes again, into no more bytes than the
 *    decode consumed, and not into one byte less than it needs;
 *  - the runtime's size count agrees with the encoding;
 *  - the encoding decodes, consuming all of it, and encodes to the same
 *    bytes again.
 * Decoding is not expected to give back the input's bytes: padding, flag
 * values other than 0 and 1 and bytes after a NUL inside a text do not
 * survive, so the fixed point is reached after the first encoding.
 */
#include "fuzzcheck.h"
#include "xdrtable.h"

#include <stdint.h>
#include <vector>

namespace {

/* The record in a zero-filled block of its own size, so that a routine
 * writing past it is caught. */
void *NewRecord(const FUZZ_XDRCODEC &codec)
{
    void *record = calloc(1, codec.size);
    FUZZ_CHECK(record != nullptr);
    return record;
}

void FreeRecord(const FUZZ_XDRCODEC &codec, void *record)
{
    xdr_free(codec.raw, static_cast<char *>(record));
    free(record);
}

/* Decodes `wire` into `record`; *used receives the bytes consumed. */
bool Decode(const FUZZ_XDRCODEC &codec, std::vector<char> &wire, void *record, u_int *used)
{
    XDR xdrs;
    xdrmem_create(&xdrs, wire.data(), (u_int)wire.size(), XDR_DECODE);
    bool ok = codec.run(&xdrs, record);
    *used = xdr_getpos(&xdrs);
    xdr_destroy(&xdrs);
    return ok;
}

/* Encodes `record` into a buffer of exactly `room` bytes; the encoding, or
 * false when it did not fit or the routine refused. */
bool Encode(const FUZZ_XDRCODEC &codec, void *record, size_t room, std::vector<char> *out)
{
    std::vector<char> buffer(room);
    XDR xdrs;
    xdrmem_create(&xdrs, buffer.data(), (u_int)room, XDR_ENCODE);
    bool ok = codec.run(&xdrs, record);
    u_int length = xdr_getpos(&xdrs);
    xdr_destroy(&xdrs);
    if (!ok)
        return false;
    FUZZ_CHECK(length <= room);
    buffer.resize(length);
    *out = std::move(buffer);
    return true;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size == 0)
        return 0;
    const FUZZ_XDRCODEC &codec = FUZZ_XdrCodecs[data[0] % FUZZ_XDRCOUNT];
    std::vector<char> wire(data + 1, data + size);

    void *first = NewRecord(codec);
    u_int used = 0;
    if (!Decode(codec, wire, first, &used)) {
        /* A refused message still gives back all it allocated. */
        FreeRecord(codec, first);
        return 0;
    }
    FUZZ_CHECK(used <= wire.size());

    std::vector<char> encoded;
    FUZZ_CHECK(Encode(codec, first, used, &encoded));
    FUZZ_CHECK(encoded.size() % 4 == 0);
    std::vector<char> unused;
    if (!encoded.empty())
        FUZZ_CHECK(!Encode(codec, first, encoded.size() - 1, &unused));
    FUZZ_CHECK(xdr_sizeof(codec.raw, first) == encoded.size());

    void *second = NewRecord(codec);
    u_int again = 0;
    FUZZ_CHECK(Decode(codec, encoded, second, &again));
    FUZZ_CHECK(again == encoded.size());
    std::vector<char> reencoded;
    FUZZ_CHECK(Encode(codec, second, encoded.size(), &reencoded));
    FUZZ_CHECK(reencoded == encoded);

    FreeRecord(codec, second);
    FreeRecord(codec, first);
    return 0;
}
