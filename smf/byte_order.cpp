// Byte-order tag, big-endian conversions and reads.
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
        value = (value >> 24) | ((value >> 8) & 0x0000FF00u) | ((value << 8) & 0x00FF0000u) | (value << 24);
    }
}

bool readBE16(InputCursor& in, std::uint16_t& value) noexcept {
    if (in.remaining() < 2) return false;
    const std::uint8_t* b = in.base + in.position;
    value = static_cast<std::uint16_t>(b[0] * 256u + b[1]);
    in.position += 2;
    return true;
}

bool readBE32(InputCursor& in, std::uint32_t& value) noexcept {
    if (in.remaining() < 4) return false;
    const std::uint8_t* b = in.base + in.position;
    value = (std::uint32_t{b[0]} << 24) | (std::uint32_t{b[1]} << 16) | (std::uint32_t{b[2]} << 8) | b[3];
    in.position += 4;
    return true;
}

}  // namespace smf
