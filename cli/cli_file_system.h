// What quorin-cli needs of the platform beyond the conversion engine's file system: a
// shared, read-only open for --check and --output, the safe replacement of an output file,
// standard input and output as byte streams, the signals that stop a run, and English
// texts for system error codes.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "engine/file_system.h"

namespace cli {

using engine::SystemError;

class CliFileSystem : public engine::FileSystem {
public:
    // Opens an existing file for reading only, shared with other readers but refused while
    // another process holds it for conversion; null (and error) on failure. truncate and
    // write on the result fail.
    virtual std::unique_ptr<engine::OpenFile> openForReading(const std::string& path, SystemError& error) = 0;

    // Puts exactly data[0, length) at path, the way rewrite() replaces a file in place: a
    // link is followed (where the platform's rules allow) and its target replaced; a regular
    // file is replaced whole in one step or, where that would lose what it is (its links,
    // owner or attributes), written through with its former bytes put back on failure; a
    // device or pipe is written through; a folder is refused. restored tells whether a
    // failure left path as it was.
    virtual engine::RewriteResult replaceFile(const std::string& path, const std::uint8_t* data,
                                               std::uint32_t length) = 0;

    // Reads standard input to its end into bytes (binary); false (and error) on failure.
    virtual bool readStandardInput(std::vector<std::uint8_t>& bytes, SystemError& error) = 0;
    // Writes data whole to standard output (binary); false (and error) on failure.
    virtual bool writeStandardOutput(const std::uint8_t* data, std::uint32_t length, SystemError& error) = 0;

    // True when error is the refusal of a file held by another process.
    virtual bool isLockConflict(SystemError error) = 0;
    // True when error says that a path names nothing (as opposed to one out of reach).
    virtual bool isNotFound(SystemError error) = 0;

    // Whether a FILE argument is a pattern to expand, and if so, names: the paths it
    // matches, in name order (none: empty). Windows programs expand * and ? themselves;
    // elsewhere the shell has done it, and every argument names itself (the default).
    virtual bool expandPattern(const std::string& argument, std::vector<std::string>& names) {
        static_cast<void>(argument);
        static_cast<void>(names);
        return false;
    }
    // The system's English text for error, without a trailing line break ("" for 0).
    virtual std::string errorText(SystemError error) = 0;
    // The name that the symbolic links of path led to when it was last opened or replaced;
    // "" when none was followed (or the platform follows links without saying where).
    virtual std::string linkTarget(const std::string& path) {
        static_cast<void>(path);
        return std::string();
    }
};

// The platform's file system for quorin-cli: POSIX (flock and fcntl locks, statvfs,
// openat, fsync and renameat) or Win32 (no-sharing opens, GetDiskFreeSpaceExA, ReplaceFileW
// and MoveFileExW).
std::unique_ptr<CliFileSystem> makePlatformFileSystem();

// True when the process's standard error is a terminal (or console).
bool standardErrorIsTerminal();

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
