// The free-space probe and the room rule that guard an in-place rewrite.
#pragma once

#include <cstdint>

// True when a file whose new size is newSize may be rewritten on a volume with freeBytes
// available to the user: strictly more than twice the new size.
constexpr bool enoughSpace(std::uint64_t freeBytes, std::uint32_t newSize) noexcept {
    return freeBytes > 2 * static_cast<std::uint64_t>(newSize);
}

#ifdef _WIN32
#include <windows.h>

using GetDiskFreeSpaceExAFunction = BOOL(WINAPI*)(LPCSTR, PULARGE_INTEGER, PULARGE_INTEGER, PULARGE_INTEGER);

// GetDiskFreeSpaceExA when the system has it, else null; set at start-up (quorin.exe's, and
// quorin-cli's on Windows), read by FreeSpaceProbe.
extern GetDiskFreeSpaceExAFunction FreeSpaceExFunction;

// Free bytes available to the caller on the volume named by location ("C:", "" or a
// "\\server\share\" root). Nonzero on success; on failure freeBytes is left unchanged.
BOOL FreeSpaceProbe(const char* location, std::uint64_t& freeBytes);
#endif
