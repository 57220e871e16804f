// The room rule, compared in 64 bits.
#include "convert/free_space.h"

#include <gtest/gtest.h>

namespace {

TEST(EnoughSpace, NeedsStrictlyMoreThanTwiceTheNewSize) {
    EXPECT_FALSE(enoughSpace(66, 33));
    EXPECT_TRUE(enoughSpace(67, 33));
    EXPECT_TRUE(enoughSpace(1, 0));
    EXPECT_FALSE(enoughSpace(0, 0));
    // Twice the largest new size does not wrap around 32 bits.
    EXPECT_FALSE(enoughSpace(0x1FFFFFFFEull, 0xFFFFFFFFu));
    EXPECT_TRUE(enoughSpace(0x1FFFFFFFFull, 0xFFFFFFFFu));
    EXPECT_FALSE(enoughSpace(0xFFFFFFFFull, 0x80000000u));
    EXPECT_TRUE(enoughSpace(0x100000000ull, 0x7FFFFFFFu));
}

}  // namespace
