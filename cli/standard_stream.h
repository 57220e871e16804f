// How quorin-cli's lines reach standard output and standard error: bytes through the
// descriptor, or, on a Windows console, characters.
#pragma once

#include <cstddef>

namespace cli {

// Writes some of data[0, length) (UTF-8 text or bytes) to descriptor 1 or 2 and sets written
// to how many bytes were taken: 0, or the error (errno) of the failed write; a write that
// takes nothing fails with EIO. On a Windows console the text is shown as its characters
// (WriteConsoleW), and an unfinished character at the end is left for the next call unless
// whole is set; everywhere else the bytes go as they are (UTF-8 to a file or pipe).
int writeStandardStream(int descriptor, const char* data, std::size_t length, bool whole, std::size_t& written);

}  // namespace cli
