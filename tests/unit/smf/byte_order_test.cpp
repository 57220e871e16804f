// Big-endian reads and conversions, and variable-length quantities at their boundaries.
#include <gtest/gtest.h>

#include "smf/byte_order.h"
#include "support.h"

using smf_test::Bytes;

namespace {

// Delivers bytes from a fixed array the way the reader's take() does.
class ArraySource final : public smf::ByteSource {
public:
    explicit ArraySource(Bytes bytes) : bytes_(std::move(bytes)) {}
    std::uint32_t take(std::uint32_t n) override {
        const std::uint32_t count = std::min<std::uint32_t>(n, std::uint32_t(bytes_.size() - position_));
        last_.assign(bytes_.begin() + position_, bytes_.begin() + position_ + count);
        position_ += count;
        return count;
    }
    const std::uint8_t* lastTaken() const override { return last_.data(); }
    std::uint32_t position() const { return position_; }

private:
    Bytes bytes_, last_;
    std::uint32_t position_ = 0;
};

struct VarLenCase {
    Bytes bytes;
    smf::VarLenStatus status;
    std::uint32_t value;     // when Ok
    std::uint32_t consumed;  // bytes taken, also on failure
};

}  // namespace

// readVarLen through a byte source and the reader's direct decoder must agree on every case.
TEST(VarLen, ReadsBoundariesAndRefusesLongOrCutOffQuantities) {
    using S = smf::VarLenStatus;
    const VarLenCase cases[] = {
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
    for (const VarLenCase& c : cases) {
        SCOPED_TRACE(::testing::PrintToString(c.bytes));
        ArraySource source(c.bytes);
        std::uint32_t value = 0xDEAD;
        EXPECT_EQ(smf::readVarLen(source, value), c.status == S::Ok);
        EXPECT_EQ(source.position(), c.consumed);
        if (c.status == S::Ok) {
            EXPECT_EQ(value, c.value);
        }

        std::uint32_t decoded = 0xDEAD, used = 99;
        EXPECT_EQ(smf::decodeVarLen(c.bytes.data(), std::uint32_t(c.bytes.size()), decoded, used), c.status);
        EXPECT_EQ(used, c.consumed);
        if (c.status == S::Ok) {
            EXPECT_EQ(decoded, c.value);
        }
    }
}

TEST(VarLen, EncodesMinimallyAndSizeMatches) {
    const std::pair<std::uint32_t, Bytes> cases[] = {
        {0, {0x00}}, {127, {0x7F}}, {128, {0x81, 0x00}}, {0x3FFF, {0xFF, 0x7F}},
        {0x4000, {0x81, 0x80, 0x00}}, {0x1FFFFF, {0xFF, 0xFF, 0x7F}},
        {0x200000, {0x81, 0x80, 0x80, 0x00}}, {0x0FFFFFFF, {0xFF, 0xFF, 0xFF, 0x7F}},
    };
    for (const auto& [value, expected] : cases) {
        std::uint8_t out[4] = {};
        EXPECT_EQ(smf::encodeVarLen(value, out), expected.size()) << value;
        EXPECT_EQ(Bytes(out, out + expected.size()), expected) << value;
        EXPECT_EQ(smf::varLenSize(value), expected.size()) << value;
    }
    EXPECT_EQ(smf::varLenSize(0xFFFFFFFFu), 4u);
}
