// Variable-length quantities at their boundaries, decoded and encoded; big-endian reads.
#include <gtest/gtest.h>

#include <cstring>

#include <algorithm>

#include "smf/byte_order.h"
#include "support.h"

using smf_test::Bytes;

// The counts of bytes consumed: a failed read leaves the position where it was.
TEST(VarLen, DecodesBoundariesAndRefusesLongOrCutOffQuantities) {
    using S = smf::VarLenStatus;
    const struct {
        Bytes bytes;
        S status;
        std::uint32_t value;     // when Ok
        std::uint32_t consumed;
    } cases[] = {
        {{0x00}, S::Ok, 0, 1},
        {{0x7F, 0x55}, S::Ok, 127, 1},
        {{0x81, 0x00}, S::Ok, 128, 2},
        {{0xC0, 0x00}, S::Ok, 0x2000, 2},
        {{0x80, 0x00}, S::Ok, 0, 2},
        {{0x80, 0x80, 0x80, 0x00}, S::Ok, 0, 4},
        {{0xFF, 0xFF, 0xFF, 0x7F}, S::Ok, 0x0FFFFFFF, 4},
        {{0x81, 0x80, 0x80, 0x80, 0x00}, S::TooLong, 0, 0},
        {{0x80, 0x80, 0x80, 0x80}, S::Truncated, 0, 0},
        {{0xFF, 0xFF, 0xFF}, S::Truncated, 0, 0},
        {{0x81}, S::Truncated, 0, 0},
        {{}, S::Truncated, 0, 0},
    };
    for (const auto& c : cases) {
        smf::InputCursor in{c.bytes.data(), 0, std::uint32_t(c.bytes.size())};
        std::uint32_t value = 0xDEAD;
        EXPECT_EQ(smf::readVarLen(in, value), c.status) << ::testing::PrintToString(c.bytes);
        EXPECT_EQ(in.position, c.consumed) << ::testing::PrintToString(c.bytes);
        if (c.status == S::Ok) {
            EXPECT_EQ(value, c.value) << ::testing::PrintToString(c.bytes);
        }
    }
}

// Both encoders: the plain one and the writer's padded fast-path one.
TEST(VarLen, EncodesMinimallyAndSizeMatches) {
    const std::pair<std::uint32_t, Bytes> cases[] = {
        {0, {0x00}}, {127, {0x7F}}, {128, {0x81, 0x00}}, {0x3FFF, {0xFF, 0x7F}},
        {0x4000, {0x81, 0x80, 0x00}}, {0x1FFFFF, {0xFF, 0xFF, 0x7F}},
        {0x200000, {0x81, 0x80, 0x80, 0x00}}, {0x0FFFFFFF, {0xFF, 0xFF, 0xFF, 0x7F}},
    };
    for (const auto& [value, expected] : cases) {
        std::uint8_t out[4] = {}, padded[4] = {};
        EXPECT_EQ(smf::encodeVarLen(value, out), expected.size()) << value;
        EXPECT_EQ(Bytes(out, out + expected.size()), expected) << value;
        EXPECT_EQ(smf::encodeVarLenPadded(value, padded), expected.size()) << value;
        EXPECT_EQ(Bytes(padded, padded + expected.size()), expected) << value;
        EXPECT_EQ(smf::varLenSize(value), expected.size()) << value;
    }
    EXPECT_EQ(smf::varLenSize(0xFFFFFFFFu), 4u);
}

// Every byte lands in its place, most significant first.
TEST(BigEndian, ConvertsInPlace) {
    std::uint32_t word = 0x01020304;
    std::uint16_t half = 0x0506;
    smf::toBigEndian32(word);
    smf::toBigEndian16(half);
    std::uint8_t bytes[6];
    std::memcpy(bytes, &word, 4);
    std::memcpy(bytes + 4, &half, 2);
    EXPECT_EQ(Bytes(bytes, bytes + 6), (Bytes{1, 2, 3, 4, 5, 6}));
}
