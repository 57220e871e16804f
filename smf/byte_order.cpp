// Byte-order tag, big-endian conversions and the ByteSource reads.
#include "smf/byte_order.h"

namespace smf {

#if defined(__BYTE_ORDER__) && defined(__ORDER_BIG_ENDIAN__) && __BYTE_ORDER__ == __ORDER_BIG_ENDIAN__
extern const char ByteOrderTag = 'M';
#else
extern const char ByteOrderTag = 'I';
#endif

void toBigEndian16(std::uint16_t& value) noexcept {
    if (ByteOrderTag == 'I') value = static_cast<std::uint16_t>((value >> 8) | (value << 8));
}

void toBigEndian32(std::uint32_t& value) noexcept {
    if (ByteOrderTag == 'I') {
        value = (value >> 24) | ((value >> 8) & 0x0000FF00u) | ((value << 8) & 0x00FF0000u) |
                (value << 24);
    }
}

bool readBE16(ByteSource& source, std::uint16_t& value) {
    if (source.take(2) < 2) return false;
    const std::uint8_t* b = source.lastTaken();
    value = static_cast<std::uint16_t>(b[0] * 256u + b[1]);
    return true;
}

bool readBE32(ByteSource& source, std::uint32_t& value) {
    if (source.take(4) < 4) return false;
    const std::uint8_t* b = source.lastTaken();
    value = (std::uint32_t{b[0]} << 24) | (std::uint32_t{b[1]} << 16) |
            (std::uint32_t{b[2]} << 8) | b[3];
    return true;
}

bool readVarLen(ByteSource& source, std::uint32_t& value) {
    // 1. One byte, count 1.  2. Bit 7 clear: done.  3-5. Otherwise accumulate 7-bit groups
    // while bit 7 is set; the fifth byte is taken before the quantity is refused.
    if (source.take(1) == 0) return false;
    std::uint8_t byte = source.lastTaken()[0];
    std::uint32_t result = byte & 0x7Fu;
    std::uint32_t count = 1;
    while (byte & 0x80) {
        if (source.take(1) == 0) return false;
        byte = source.lastTaken()[0];
        if (++count == 5) return false;
        result = (result << 7) | (byte & 0x7Fu);
    }
    value = result;
    return true;
}

}  // namespace smf
