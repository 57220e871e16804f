#include "tests/support/samples.h"

namespace quorin_test {

Bytes plainSmf() {
    return cat(
        {header(0, 1, 96), chunk("MTrk", {0x00, 0x90, 0x3C, 0x40, 0x60, 0x90, 0x3C, 0x00, 0x00, 0xFF, 0x2F, 0x00})});
}

Bytes runningStatusSmf() {
    return cat({header(0, 1, 96), chunk("MTrk", {0x00, 0x90, 0x3C, 0x40, 0x60, 0x3C, 0x00, 0x00, 0xFF, 0x2F, 0x00})});
}

Bytes cat(std::initializer_list<Bytes> parts) {
    Bytes all;
    for (const Bytes& part : parts) all.insert(all.end(), part.begin(), part.end());
    return all;
}

Bytes repeat(const Bytes& part, int times) {
    Bytes all;
    for (int i = 0; i < times; ++i) all.insert(all.end(), part.begin(), part.end());
    return all;
}

Bytes bigEndian(std::uint32_t value, int count) {
    Bytes out(count);
    for (int i = count - 1; i >= 0; --i, value >>= 8) out[i] = static_cast<std::uint8_t>(value);
    return out;
}

Bytes chunk(const char* type, const Bytes& data) {
    return cat({Bytes(type, type + 4), bigEndian(static_cast<std::uint32_t>(data.size()), 4), data});
}

Bytes header(int format, int tracks, int division) {
    return chunk("MThd", cat({bigEndian(format, 2), bigEndian(tracks, 2), bigEndian(division, 2)}));
}

Bytes smfOf(std::initializer_list<Bytes> tracks) {
    Bytes all = header(1, static_cast<int>(tracks.size()), 96);
    for (const Bytes& track : tracks) all = cat({all, chunk("MTrk", track)});
    return all;
}

std::string text(const Bytes& bytes) {
    return std::string(bytes.begin(), bytes.end());
}

Bytes bytes(const std::string& text) {
    return Bytes(text.begin(), text.end());
}

}  // namespace quorin_test
