// Variable-length quantities at their boundaries, decoded and encoded; big-endian reads.
#include <gtest/gtest.h>

#include <algorithm>

#include "smf/byte_order.h"
#include "support.h"

using smf_test::Bytes;

namespace {

// The reader's take() over a fixed byte string: delivers what remains, up to n.
class FixedSource final : public smf::ByteSource {
public:
    explicit FixedSource(const Bytes& bytes) : bytes_(bytes) {}
    std::uint32_t take(std::uint32_t n) override {
        const std::uint32_t count = std::min<std::uint32_t>(n, std::uint32_t(bytes_.size()) - position);
        taken_ = bytes_.data() + position;
        position += count;
        return count;
    }
    const std::uint8_t* lastTaken() const override { return taken_; }
    std::uint32_t position = 0;

private:
    const Bytes& bytes_;
    const std::uint8_t* taken_ = nullptr;
};

}  // namespace

// readVarLen and the reader's own decoder must agree on every quantity: same verdict,
// same value, same number of bytes consumed.
TEST(VarLen, DecodesBoundariesAndRefusesLongOrCutOffQuantities) {
    using S = smf::VarLenStatus;
    const struct {
        Bytes bytes;
        S status;
        std::uint32_t value;     // when Ok
        std::uint32_t consumed;  // also on failure
    } cases[] = {
        {{0x00}, S::Ok, 0, 1},
        {{0x7F, 0x55}, S::Ok, 127, 1},
        {{0x81, 0x00}, S::Ok, 128, 2},
        {{0xC0, 0x00}, S::Ok, 0x2000, 2},
        {{0x80, 0x00}, S::Ok, 0, 2},
        {{0x80, 0x80, 0x80, 0x00}, S::Ok, 0, 4},
        {{0xFF, 0xFF, 0xFF, 0x7F}, S::Ok, 0x0FFFFFFF, 4},
        {{0x81, 0x80, 0x80, 0x80, 0x00}, S::TooLong, 0, 5},
        {{0x80, 0x80, 0x80, 0x80}, S::Truncated, 0, 4},
        {{0xFF, 0xFF, 0xFF}, S::Truncated, 0, 3},
        {{0x81}, S::Truncated, 0, 1},
        {{}, S::Truncated, 0, 0},
    };
    for (const auto& c : cases) {
        std::uint32_t value = 0xDEAD, used = 99;
        EXPECT_EQ(smf::decodeVarLen(c.bytes.data(), std::uint32_t(c.bytes.size()), value, used), c.status)
            << ::testing::PrintToString(c.bytes);
        EXPECT_EQ(used, c.consumed) << ::testing::PrintToString(c.bytes);
        if (c.status == S::Ok) {
            EXPECT_EQ(value, c.value) << ::testing::PrintToString(c.bytes);
        }

        FixedSource source(c.bytes);
        value = 0xDEAD;
        EXPECT_EQ(smf::readVarLen(source, value), c.status == S::Ok) << ::testing::PrintToString(c.bytes);
        EXPECT_EQ(source.position, c.consumed) << ::testing::PrintToString(c.bytes);
        if (c.status == S::Ok) {
            EXPECT_EQ(value, c.value) << ::testing::PrintToString(c.bytes);
        }
    }
}

// A short read fails and still consumes what was there.
TEST(BigEndian, ReadsFirstByteMostSignificant) {
    const Bytes input = {0x00, 0x60, 0x01, 0xE0, 0x00, 0x00, 0x00, 0x06, 0x12, 0x34, 0x56, 0x78, 0xAB};
    FixedSource source(input);
    std::uint16_t half = 0;
    std::uint32_t word = 0;
    EXPECT_TRUE(smf::readBE16(source, half));
    EXPECT_EQ(half, 96);
    EXPECT_TRUE(smf::readBE16(source, half));
    EXPECT_EQ(half, 480);
    EXPECT_TRUE(smf::readBE32(source, word));
    EXPECT_EQ(word, 6u);
    EXPECT_TRUE(smf::readBE32(source, word));
    EXPECT_EQ(word, 0x12345678u);
    EXPECT_FALSE(smf::readBE16(source, half));
    EXPECT_EQ(source.position, input.size());
    EXPECT_FALSE(smf::readBE32(source, word));
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
