/*
 * Record marking: records that arrive in pieces of any size, fragments
 * joined, the limit at its exact boundary, and the bytes of the next record
 * left untouched.
 */
#include "record.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using namespace pal::onc;

/* A fragment: its mark, then its bytes. */
std::string Fragment(uint32_t mark, const std::string &bytes = "")
{
    std::string out = {(char)(mark >> 24), (char)(mark >> 16), (char)(mark >> 8), (char)mark};
    return out + bytes;
}

TEST(Record, FragmentsJoinWhateverThePiecesAndTheNextRecordIsLeft)
{
    std::string wire = Fragment(3, "abc") + Fragment(0) + Fragment(LAST_FRAGMENT | 2, "de") +
                       Fragment(LAST_FRAGMENT | 0);
    for (size_t piece : {size_t(1), size_t(3), wire.size()}) {
        RecordReader reader;
        std::vector<std::string> records;
        size_t at = 0;
        while (at < wire.size()) {
            size_t length = std::min(piece, wire.size() - at), taken = 0;
            RecordStep step = record_feed(&reader, wire.data() + at, length, &taken);
            ASSERT_NE(RecordStep::TOO_LONG, step);
            at += taken;
            if (step == RecordStep::COMPLETE) {
                records.emplace_back(reader.record.begin(), reader.record.end());
                record_restart(&reader);
            } else {
                EXPECT_EQ(length, taken);
            }
        }
        EXPECT_EQ((std::vector<std::string>{"abcde", ""}), records) << piece;
    }
}

TEST(Record, TheLimitHoldsForTheWholeRecordBeforeItsBytesArrive)
{
    RecordReader reader;
    reader.limit = 8;
    std::string wire = Fragment(5, "12345") + Fragment(LAST_FRAGMENT | 3, "678");
    size_t taken = 0;
    EXPECT_EQ(RecordStep::COMPLETE, record_feed(&reader, wire.data(), wire.size(), &taken));
    EXPECT_EQ(wire.size(), taken);

    record_restart(&reader);
    wire = Fragment(5, "12345") + Fragment(LAST_FRAGMENT | 4);
    EXPECT_EQ(RecordStep::TOO_LONG, record_feed(&reader, wire.data(), wire.size(), &taken));

    /* A mark announcing the most a mark can say allocates nothing. */
    RecordReader big;
    wire = Fragment(0x7FFFFFFF);
    EXPECT_EQ(RecordStep::TOO_LONG, record_feed(&big, wire.data(), wire.size(), &taken));
    EXPECT_EQ(0u, big.record.capacity());
    EXPECT_EQ(size_t(1) << 20, MAX_RECORD);
}

TEST(Record, FramingWritesOneLastFragment)
{
    std::vector<char> out;
    record_frame("xy", 2, &out);
    EXPECT_EQ((std::vector<char>{(char)0x80, 0, 0, 2, 'x', 'y'}), out);
}

} // namespace
