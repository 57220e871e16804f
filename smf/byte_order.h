// Big-endian integers and variable-length quantities (1 to 4 bytes, values up to 0x0FFFFFFF).
#pragma once

#include <cstdint>

namespace smf {

// 'I' when the host stores the least significant byte first, 'M' otherwise. Set during
// static initialisation and never changed.
extern const char ByteOrderTag;

// In place: afterwards the integer's bytes, as they lie in memory, are big-endian.
void toBigEndian16(std::uint16_t& value) noexcept;
void toBigEndian32(std::uint32_t& value) noexcept;

// 1 if value < 2^7, 2 if < 2^14, 3 if < 2^21, else 4 (also above 0x0FFFFFFF).
inline std::uint32_t varLenSize(std::uint32_t value) noexcept {
    return value < (1u << 7) ? 1 : value < (1u << 14) ? 2 : value < (1u << 21) ? 3 : 4;
}

// Writes the minimal encoding of value (at most 0x0FFFFFFF; larger values keep their low
// 28 bits) to out, most significant group first, and returns its length (== varLenSize).
inline std::uint32_t encodeVarLen(std::uint32_t value, std::uint8_t* out) noexcept {
    const std::uint32_t size = varLenSize(value);
    switch (size) {
    case 4: *out++ = static_cast<std::uint8_t>(0x80 | ((value >> 21) & 0x7F)); [[fallthrough]];
    case 3: *out++ = static_cast<std::uint8_t>(0x80 | ((value >> 14) & 0x7F)); [[fallthrough]];
    case 2: *out++ = static_cast<std::uint8_t>(0x80 | ((value >> 7) & 0x7F)); [[fallthrough]];
    default: *out = static_cast<std::uint8_t>(value & 0x7F);
    }
    return size;
}

// encodeVarLen for writers with room to spare: always stores 4 bytes at out (those past
// the encoding are scratch for the caller to overwrite) and returns the encoding's length.
// Free of data-dependent branches, for the writer's per-event path.
inline std::uint32_t encodeVarLenPadded(std::uint32_t value, std::uint8_t* out) noexcept {
    const std::uint32_t size = 1 + (value >= (1u << 7)) + (value >= (1u << 14)) + (value >= (1u << 21));
    std::uint32_t word = ((0x80u | ((value >> 21) & 0x7F)) << 24) | ((0x80u | ((value >> 14) & 0x7F)) << 16) |
                         ((0x80u | ((value >> 7) & 0x7F)) << 8) | (value & 0x7F);
    word <<= 8 * (4 - size);   // the encoding's first byte to the top
    out[0] = static_cast<std::uint8_t>(word >> 24);
    out[1] = static_cast<std::uint8_t>(word >> 16);
    out[2] = static_cast<std::uint8_t>(word >> 8);
    out[3] = static_cast<std::uint8_t>(word);
    return size;
}

// A byte source as the reader's take() provides it: asked for n bytes, delivers up to n,
// returns how many, and advances past them.
class ByteSource {
public:
    virtual std::uint32_t take(std::uint32_t n) = 0;   // bytes land in lastTaken()
    virtual const std::uint8_t* lastTaken() const = 0;
protected:
    ~ByteSource() = default;
};

// Each returns false when fewer bytes than needed were delivered (those are consumed).
bool readBE16(ByteSource& source, std::uint16_t& value);
bool readBE32(ByteSource& source, std::uint32_t& value);
// 1 to 4 bytes; fails on a fifth byte (taken before failing) or on the input's end.
// Non-minimal encodings are accepted (0x80 0x00 reads as 0).
bool readVarLen(ByteSource& source, std::uint32_t& value);

enum class VarLenStatus : std::uint8_t { Ok, Truncated, TooLong };

// readVarLen over a byte range, for callers that hold the bytes directly: decodes from
// bytes[0, available), sets consumed to the number of bytes readVarLen would have taken
// (5 for a quantity that is too long) and says why it failed.
inline VarLenStatus decodeVarLen(const std::uint8_t* bytes, std::uint32_t available,
                                 std::uint32_t& value, std::uint32_t& consumed) noexcept {
    std::uint32_t result = 0;
    for (std::uint32_t i = 0; i < 5; ++i) {
        if (i == available) {
            consumed = i;
            return VarLenStatus::Truncated;
        }
        if (i == 4) {
            consumed = 5;
            return VarLenStatus::TooLong;
        }
        const std::uint8_t byte = bytes[i];
        result = (result << 7) | (byte & 0x7Fu);
        if (byte < 0x80) {
            value = result;
            consumed = i + 1;
            return VarLenStatus::Ok;
        }
    }
    return VarLenStatus::TooLong;   // not reached
}

}  // namespace smf
