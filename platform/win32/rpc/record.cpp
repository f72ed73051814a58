/*
 * The record reader and writer of record marking.
 */
#include "record.h"

namespace pal {
namespace onc {

RecordStep record_feed(RecordReader *reader, const char *bytes, size_t length, size_t *taken)
{
    size_t at = 0;
    RecordStep step = RecordStep::MORE;
    while (at < length) {
        if (!reader->in_fragment) {
            reader->mark[reader->mark_have++] = (unsigned char)bytes[at++];
            if (reader->mark_have < sizeof reader->mark)
                continue;
            reader->mark_have = 0;
            uint32_t value = ((uint32_t)reader->mark[0] << 24) | ((uint32_t)reader->mark[1] << 16) |
                             ((uint32_t)reader->mark[2] << 8) | (uint32_t)reader->mark[3];
            reader->fragment_left = value & ~LAST_FRAGMENT;
            reader->last = (value & LAST_FRAGMENT) != 0;
            if (reader->fragment_left > reader->limit - reader->record.size()) {
                step = RecordStep::TOO_LONG;
                break;
            }
            reader->in_fragment = true;
        } else {
            size_t move = length - at;
            if (move > reader->fragment_left)
                move = reader->fragment_left;
            reader->record.insert(reader->record.end(), bytes + at, bytes + at + move);
            at += move;
            reader->fragment_left -= (uint32_t)move;
        }
        if (reader->in_fragment && reader->fragment_left == 0) {
            reader->in_fragment = false;
            if (reader->last) {
                step = RecordStep::COMPLETE;
                break;
            }
        }
    }
    *taken = at;
    return step;
}

void record_restart(RecordReader *reader)
{
    reader->record.clear();
    reader->mark_have = 0;
    reader->fragment_left = 0;
    reader->in_fragment = false;
    reader->last = false;
}

void record_mark(uint32_t length, char mark[4])
{
    uint32_t value = LAST_FRAGMENT | length;
    mark[0] = (char)(value >> 24);
    mark[1] = (char)(value >> 16);
    mark[2] = (char)(value >> 8);
    mark[3] = (char)value;
}

void record_frame(const char *bytes, uint32_t length, std::vector<char> *out)
{
    char mark[4];
    record_mark(length, mark);
    out->insert(out->end(), mark, mark + sizeof mark);
    out->insert(out->end(), bytes, bytes + length);
}

} // namespace onc
} // namespace pal
