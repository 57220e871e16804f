// The error reported when the shell cannot open a document or address.
#include "shell/shell_failure.h"

#include <gtest/gtest.h>

namespace {

TEST(ShellFailure, LastErrorWinsAndAResultAloneIsNeverSilent) {
    EXPECT_EQ(shellFailureCode(5, 2), 5u);        // the system's own code is kept
    EXPECT_EQ(shellFailureCode(0, 2), 2u);        // file not found
    EXPECT_EQ(shellFailureCode(0, 3), 3u);        // path not found
    EXPECT_EQ(shellFailureCode(0, 31), 1155u);    // no association
    EXPECT_EQ(shellFailureCode(0, 27), 1155u);    // incomplete association
    EXPECT_EQ(shellFailureCode(0, 29), 1156u);    // DDE failure
    EXPECT_EQ(shellFailureCode(0, 26), 32u);      // sharing violation
    EXPECT_EQ(shellFailureCode(0, 0), 8u);        // out of resources
}

}  // namespace
