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
std::uint32_t varLenSize(std::uint32_t value) noexcept;

// Writes the minimal encoding of value (at most 0x0FFFFFFF; larger values keep their low
// 28 bits) to out, most significant group first, and returns its length (== varLenSize).
std::uint32_t encodeVarLen(std::uint32_t value, std::uint8_t* out) noexcept;

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

}  // namespace smf
