// Lead bytes of code page 932, for tests that run without the system's tables.
#pragma once

inline bool isCp932LeadByte(unsigned char byte) {
    return (byte >= 0x81 && byte <= 0x9F) || (byte >= 0xE0 && byte <= 0xFC);
}
