/* The message-sequence comparison as a GoogleTest assertion:
 *     EXPECT_TRUE(SEQ_Ok(table, "context"));
 * fails with the listing of expected against got. */
#ifndef CALLMGR_TESTS_MSGSEQ_GTEST_H
#define CALLMGR_TESTS_MSGSEQ_GTEST_H

#include "support/msgseq.h"

#include <gtest/gtest.h>

inline ::testing::AssertionResult SEQ_Ok(const SEQ_MSG *expected, const char *context)
{
    std::string listing;
    if (SEQ_Compare(expected, context, &listing))
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "\n" << listing;
}

inline ::testing::AssertionResult SEQ_Ok(const std::vector<SEQ_MSG> &expected, const char *context)
{
    std::string listing;
    if (SEQ_Compare(expected, context, &listing))
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "\n" << listing;
}

#endif
