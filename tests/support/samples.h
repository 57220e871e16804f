// Standard MIDI Files for the tests: two small samples, and files built from pieces.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <string>
#include <vector>

namespace quorin_test {

using Bytes = std::vector<std::uint8_t>;

// Format 0, division 96: note on, note off with its status repeated, End of Track (34 bytes).
Bytes plainSmf();
// The same song with running status: the note off's status left out (33 bytes).
Bytes runningStatusSmf();

Bytes cat(std::initializer_list<Bytes> parts);
Bytes repeat(const Bytes& part, int times);
// value as count big-endian bytes.
Bytes bigEndian(std::uint32_t value, int count);
// A chunk: four type bytes, the length, the data.
Bytes chunk(const char* type, const Bytes& data);
Bytes header(int format, int tracks, int division);
// Format 1, division 96, one MTrk chunk per entry.
Bytes smfOf(std::initializer_list<Bytes> tracks);

std::string text(const Bytes& bytes);
Bytes bytes(const std::string& text);

}  // namespace quorin_test
