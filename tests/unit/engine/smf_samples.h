// Small Standard MIDI Files for the conversion tests.
#pragma once

#include <cstdint>
#include <vector>

namespace engine::testing {

// Format 0, one track: note on, note off (same status, so running status applies), end of
// track. Written out without running status, then with it.
inline std::vector<std::uint8_t> plainSmf() {
    return {'M', 'T', 'h', 'd', 0,  0,    0,    6,    0,    0,    0,    1,    0,    0x60, 'M',  'T',  'r',
            'k', 0,   0,   0,   12, 0x00, 0x90, 0x3C, 0x40, 0x60, 0x90, 0x3C, 0x00, 0x00, 0xFF, 0x2F, 0x00};
}
inline std::vector<std::uint8_t> runningStatusSmf() {
    return {'M', 'T', 'h', 'd', 0,  0,    0,    6,    0,    0,    0,    1,    0,    0x60, 'M',  'T', 'r',
            'k', 0,   0,   0,   11, 0x00, 0x90, 0x3C, 0x40, 0x60, 0x3C, 0x00, 0x00, 0xFF, 0x2F, 0x00};
}

}  // namespace engine::testing
