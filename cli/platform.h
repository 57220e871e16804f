// What quorin-cli needs of the system beyond the engine: the platform's file system,
// standard input and output as byte streams, the console, the system's English error texts,
// Windows' file patterns, and the signals that stop a run (platform_posix.cpp,
// platform_win.cpp).
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "engine/file_system.h"

namespace cli {

// The engine's file system of this platform: POSIX, or Win32 (with the free-space probe's
// function looked up, as quorin.exe's start-up does).
std::unique_ptr<engine::FileSystem> makePlatformFileSystem();

// Reads up to length bytes of standard input (binary); got 0 at its end. False (and error)
// on failure.
bool readStandardInput(std::uint8_t* buffer, std::uint32_t length, std::uint32_t& got, engine::FileError& error);
// The system's error for an input too large to be held (EFBIG, ERROR_FILE_TOO_LARGE).
extern const engine::SystemError kInputTooLarge;
// Writes data whole to standard output (binary); false (and error) on failure.
bool writeStandardOutput(const std::uint8_t* data, std::uint32_t length, engine::FileError& error);

// Shows text (UTF-8) on a console as its characters; false when that failed.
using ConsoleWriter = bool (*)(std::FILE* stream, const char* text, std::size_t length);
// How text reaches stream when it is a Windows console (WriteConsoleW); null for anything
// else (a file, a pipe, every POSIX stream), which takes the bytes.
ConsoleWriter consoleWriterFor(std::FILE* stream);
// True when the process's standard error is a terminal (or console).
bool standardErrorIsTerminal();

// The system's English text for a system error code, without a trailing line break ("" for 0).
std::string systemErrorText(engine::SystemError code);

// Whether a FILE argument is a pattern to expand, and if so, names: the paths it matches,
// in name order (none: empty). Windows programs expand * and ? themselves; elsewhere the
// shell has done it, and every argument names itself.
bool expandPattern(const std::string& argument, std::vector<std::string>& names);

// While one exists, the signals that ask a program to stop (SIGINT, SIGTERM and, where the
// platform has it, SIGHUP) no longer end the process: the first one is remembered, so that
// the run finishes or abandons the file at hand and stops. Destroyed, the former handling
// is back. One at a time.
class StopSignals {
public:
    StopSignals();
    StopSignals(const StopSignals&) = delete;
    StopSignals& operator=(const StopSignals&) = delete;
    ~StopSignals();

    // The number of the first signal caught since construction, 0 when none.
    static int caught() noexcept;
};

}  // namespace cli
