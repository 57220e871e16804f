// What quorin-cli needs of the platform beyond the conversion engine's file system: a
// shared, read-only open for --check and --output, the atomic replacement of an output
// file, and English texts for system error codes.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "convert/file_system.h"

namespace cli {

using convert::SystemError;

class CliFileSystem : public convert::FileSystem {
public:
    // Opens an existing file for reading only, shared with other readers but refused while
    // another process holds it for conversion; null (and error) on failure. truncate and
    // write on the result fail.
    virtual std::unique_ptr<convert::OpenFile> openForReading(const std::string& path, SystemError& error) = 0;

    // Puts exactly data[0, length) at path: written to a new temporary file beside path,
    // flushed to disk and then moved over path in one step. On failure path is as it was
    // and the temporary file is gone; error tells why.
    virtual bool replaceFile(const std::string& path, const std::uint8_t* data, std::uint32_t length,
                             SystemError& error) = 0;

    // True when error is the refusal of a file held by another process.
    virtual bool isLockConflict(SystemError error) = 0;
    // The system's English text for error, without a trailing line break ("" for 0).
    virtual std::string errorText(SystemError error) = 0;
};

// The platform's file system for quorin-cli: POSIX (flock, statvfs, mkstemp and rename) or
// Win32 (no-sharing opens, GetDiskFreeSpaceExA, MoveFileExA).
std::unique_ptr<CliFileSystem> makePlatformFileSystem();

// True when the process's standard error is a terminal (or console).
bool standardErrorIsTerminal();

}  // namespace cli
