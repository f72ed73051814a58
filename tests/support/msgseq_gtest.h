/* The message-sequence comparison as a GoogleTest assertion:
 *     EXPECT_TRUE(SEQ_Ok(table, "context"));
 * fails with where the record parts from the table, and the record.
 * `table` is an array ended by message 0 or a vector. */
#ifndef CALLMGR_TESTS_MSGSEQ_GTEST_H
#define CALLMGR_TESTS_MSGSEQ_GTEST_H

#include "support/msgseq.h"

#include <gtest/gtest.h>

template <class Table>::testing::AssertionResult SEQ_Ok(const Table &expected, const char *context)
{
    std::string listing;
    if (SEQ_Compare(expected, context, &listing))
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "\n" << listing;
}

#endif
