// Big-endian integers and variable-length quantities (1 to 4 bytes, values up to 0x0FFFFFFF).
#pragma once

#include <cstdint>
#include <cstring>

namespace smf {

// 'I' when the host stores the least significant byte first, 'M' otherwise. Set during
// static initialisation and never changed.
extern const char ByteOrderTag;

// In place: afterwards the integer's bytes, as they lie in memory, are big-endian.
void toBigEndian16(std::uint16_t& value) noexcept;
void toBigEndian32(std::uint32_t& value) noexcept;

// Stores value at p as 4 big-endian bytes.
inline void storeBigEndian32(std::uint8_t* p, std::uint32_t value) noexcept {
    p[0] = static_cast<std::uint8_t>(value >> 24);
    p[1] = static_cast<std::uint8_t>(value >> 16);
    p[2] = static_cast<std::uint8_t>(value >> 8);
    p[3] = static_cast<std::uint8_t>(value);
}

// Stores value at p as 2 little-endian bytes, with one store on a little-endian host.
inline void storeLittleEndian16(std::uint8_t* p, std::uint16_t value) noexcept {
#if defined(__BYTE_ORDER__) && defined(__ORDER_LITTLE_ENDIAN__) && __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
    std::memcpy(p, &value, 2);
#else
    p[0] = static_cast<std::uint8_t>(value);
    p[1] = static_cast<std::uint8_t>(value >> 8);
#endif
}

// Stores value at p as 4 little-endian bytes, with one store on a little-endian host.
inline void storeLittleEndian32(std::uint8_t* p, std::uint32_t value) noexcept {
#if defined(__BYTE_ORDER__) && defined(__ORDER_LITTLE_ENDIAN__) && __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
    std::memcpy(p, &value, 4);
#else
    p[0] = static_cast<std::uint8_t>(value);
    p[1] = static_cast<std::uint8_t>(value >> 8);
    p[2] = static_cast<std::uint8_t>(value >> 16);
    p[3] = static_cast<std::uint8_t>(value >> 24);
#endif
}

// 1 if value < 2^7, 2 if < 2^14, 3 if < 2^21, else 4 (also above 0x0FFFFFFF). Without
// branches; where the compiler knows a bound on value, the comparisons above it vanish.
inline std::uint32_t varLenSize(std::uint32_t value) noexcept {
    return 1u + (value >= (1u << 7)) + (value >= (1u << 14)) + (value >= (1u << 21));
}

// The varLenSize(value) bytes of value's minimal encoding (values above 0x0FFFFFFF keep
// their low 28 bits), most significant group first, packed into a word from its top byte.
inline std::uint32_t varLenWord(std::uint32_t value) noexcept {
    const std::uint32_t word = ((0x80u | ((value >> 21) & 0x7F)) << 24) | ((0x80u | ((value >> 14) & 0x7F)) << 16) |
                               ((0x80u | ((value >> 7) & 0x7F)) << 8) | (value & 0x7F);
    return word << 8 * (4 - varLenSize(value));
}

// Stores the varLenSize(value) bytes of varLenWord(value) at out, and up to 4 bytes in all,
// and returns varLenSize(value): the bytes past the encoding are scratch for the caller to
// overwrite. No branch depends on the size below 2^14.
inline std::uint32_t encodeVarLenPadded(std::uint32_t value, std::uint8_t* out) noexcept {
    if (value < (1u << 14)) {  // the usual sizes, one byte or two, without a branch between them
        const std::uint32_t two = value >= 0x80 ? 1u : 0u;
        const std::uint32_t first = value >> (7 * two);
        out[0] = static_cast<std::uint8_t>(first | (two << 7));
        out[1] = static_cast<std::uint8_t>(value & 0x7F);
        return 1 + two;
    }
    storeBigEndian32(out, varLenWord(value));
    return varLenSize(value);
}

// Writes exactly the varLenSize(value) bytes of value's minimal encoding to out and
// returns that count.
inline std::uint32_t encodeVarLen(std::uint32_t value, std::uint8_t* out) noexcept {
    const std::uint32_t word = varLenWord(value);
    const std::uint32_t size = varLenSize(value);
    for (std::uint32_t i = 0; i < size; ++i) out[i] = static_cast<std::uint8_t>(word >> (24 - 8 * i));
    return size;
}

// A read position in bytes held in memory: base[position, end) is what remains.
struct InputCursor {
    const std::uint8_t* base = nullptr;
    std::uint32_t position = 0;
    std::uint32_t end = 0;

    std::uint32_t remaining() const noexcept { return end - position; }
};

// Big-endian reads. Each advances past its bytes and returns true, or returns false and
// leaves the position alone when fewer bytes remain.
bool readBE16(InputCursor& in, std::uint16_t& value) noexcept;
bool readBE32(InputCursor& in, std::uint32_t& value) noexcept;

enum class VarLenStatus : std::uint8_t { Ok, Truncated, TooLong };

// The variable-length quantity at the start of word, whose top byte is the quantity's first
// byte: true with its value and size (1 to 4) when one of the word's bytes ends it (bit 7
// clear), false when none does. Without data-dependent branches.
inline bool decodeVarLenWord(std::uint32_t word, std::uint32_t& value, std::uint32_t& size) noexcept {
    const std::uint32_t ends = ~word & 0x80808080u;
    if (ends == 0) return false;
#if defined(__GNUC__)
    size = (static_cast<std::uint32_t>(__builtin_clz(ends)) >> 3) + 1;
#else
    size = (ends & 0x80000000u) ? 1 : (ends & 0x00800000u) ? 2 : (ends & 0x00008000u) ? 3 : 4;
#endif
    const std::uint32_t groups =
        ((word >> 3) & 0x0FE00000u) | ((word >> 2) & 0x001FC000u) | ((word >> 1) & 0x00003F80u) | (word & 0x7Fu);
    value = groups >> (7 * (4 - size));
    return true;
}

// The 4 bytes at p as a big-endian word.
inline std::uint32_t loadBigEndian32(const std::uint8_t* p) noexcept {
    return (std::uint32_t{p[0]} << 24) | (std::uint32_t{p[1]} << 16) | (std::uint32_t{p[2]} << 8) | p[3];
}

// The 4 bytes at p as a little-endian word: p[0] in bits 0-7, p[3] in bits 24-31.
inline std::uint32_t loadLittleEndian32(const std::uint8_t* p) noexcept {
    return std::uint32_t{p[0]} | (std::uint32_t{p[1]} << 8) | (std::uint32_t{p[2]} << 16) | (std::uint32_t{p[3]} << 24);
}

// The 8 bytes at p as a little-endian word: p[0] in bits 0-7, p[7] in bits 56-63.
inline std::uint64_t loadLittleEndian64(const std::uint8_t* p) noexcept {
    return std::uint64_t{p[0]} | (std::uint64_t{p[1]} << 8) | (std::uint64_t{p[2]} << 16) |
           (std::uint64_t{p[3]} << 24) | (std::uint64_t{p[4]} << 32) | (std::uint64_t{p[5]} << 40) |
           (std::uint64_t{p[6]} << 48) | (std::uint64_t{p[7]} << 56);
}

// Reads one variable-length quantity of 1 to 4 bytes; non-minimal encodings are accepted
// (0x80 0x00 reads as 0). On Ok the position is past it; on failure (a fifth byte with
// bit 7 set before it, or the end of the input first) the position is left alone.
inline VarLenStatus readVarLen(InputCursor& in, std::uint32_t& value) noexcept {
    const std::uint8_t* const bytes = in.base + in.position;
    const std::uint32_t available = in.end - in.position;
    if (available >= 4) {
        const std::uint32_t word = loadBigEndian32(bytes);
        if ((word & 0x80800000u) != 0x80800000u) {
            // One or two bytes, the most common sizes in about equally unforeseeable turns:
            // chosen without a branch.
            const std::uint32_t two = word >> 31;
            const std::uint32_t one = word >> 24;
            const std::uint32_t both = ((word >> 17) & 0x3F80u) | ((word >> 16) & 0x7Fu);
            value = (both & (0u - two)) | (one & (two - 1));
            in.position += 1 + two;
            return VarLenStatus::Ok;
        }
        std::uint32_t result = 0, size = 0;
        if (!decodeVarLenWord(loadBigEndian32(bytes), result, size)) {
            return available == 4 ? VarLenStatus::Truncated : VarLenStatus::TooLong;
        }
        value = result;
        in.position += size;
        return VarLenStatus::Ok;
    }
    std::uint32_t result = 0;
    for (std::uint32_t i = 0; i < available; ++i) {
        const std::uint8_t byte = bytes[i];
        result = (result << 7) | (byte & 0x7Fu);
        if (byte < 0x80) {
            value = result;
            in.position += i + 1;
            return VarLenStatus::Ok;
        }
    }
    return VarLenStatus::Truncated;
}

}  // namespace smf
