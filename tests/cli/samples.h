// Small Standard MIDI Files, written out by hand, for quorin-cli's tests, and whole-file
// reads and writes.
#pragma once

#include <cstdint>
#include <fstream>
#include <initializer_list>
#include <iterator>
#include <string>
#include <vector>

namespace cli::testing {

using Bytes = std::vector<std::uint8_t>;

inline std::vector<std::uint8_t> bytes(std::initializer_list<int> values) {
    std::vector<std::uint8_t> result;
    for (int value : values) result.push_back(static_cast<std::uint8_t>(value));
    return result;
}

// Format 0, division 96: note on, note off with its status repeated, End of Track (34 bytes).
inline std::vector<std::uint8_t> plainSong() {
    return bytes({'M', 'T', 'h', 'd', 0, 0, 0, 6, 0, 0, 0, 1, 0, 0x60,
                  'M', 'T', 'r', 'k', 0, 0, 0, 12,
                  0x00, 0x90, 0x3C, 0x40, 0x60, 0x90, 0x3C, 0x00, 0x00, 0xFF, 0x2F, 0x00});
}

// The same song with running status (33 bytes).
inline std::vector<std::uint8_t> runningStatusSong() {
    return bytes({'M', 'T', 'h', 'd', 0, 0, 0, 6, 0, 0, 0, 1, 0, 0x60,
                  'M', 'T', 'r', 'k', 0, 0, 0, 11,
                  0x00, 0x90, 0x3C, 0x40, 0x60, 0x3C, 0x00, 0x00, 0xFF, 0x2F, 0x00});
}

// Format 1, division 480, a tempo track and a track of 8 events of which 2 use running
// status (72 bytes; 74 without running status).
inline std::vector<std::uint8_t> twoTrackSong() {
    return bytes({'M', 'T', 'h', 'd', 0, 0, 0, 6, 0, 1, 0, 2, 0x01, 0xE0,
                  'M', 'T', 'r', 'k', 0, 0, 0, 11,
                  0x00, 0xFF, 0x51, 0x03, 0x07, 0xA1, 0x20, 0x00, 0xFF, 0x2F, 0x00,
                  'M', 'T', 'r', 'k', 0, 0, 0, 31,
                  0x00, 0xC0, 0x05,              // program change
                  0x00, 0x90, 0x3C, 0x64,        // note on
                  0x60, 0x3E, 0x64,              // note on, running status
                  0x60, 0x80, 0x3C, 0x40,        // note off
                  0x00, 0x3E, 0x40,              // note off, running status
                  0x00, 0xB0, 0x07, 0x64,        // controller
                  0x00, 0xF0, 0x03, 0x43, 0x12, 0xF7,  // SysEx
                  0x00, 0xFF, 0x2F, 0x00});
}

inline void writeFile(const std::string& path, const Bytes& content) {
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(content.data()),
                                                static_cast<std::streamsize>(content.size()));
}

inline Bytes readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

}  // namespace cli::testing
