// The conversion engine's file system on Win32: exclusive CreateFileA handles, the
// free-space probe, error codes from GetLastError. Paths come in UTF-8, as the system gave
// them (wide); ansiPath() turns each into the name that the ANSI calls take.
#pragma once

#include <string>

#include "convert/file_system.h"

namespace convert {

// The name by which the ANSI file calls reach path (UTF-8, absolute or relative):
// 1. the path itself in the ANSI code page, when every character of it has an exact form
//    there and it fits MAX_PATH;
// 2. else the system's short form of it (GetShortPathNameW: 8.3 names, "F_R_~FPU.MID" for
//    "Für Elise.mid"), when that has an exact ANSI form and fits. The short form of a file
//    starts with its folder's, so a new file beside it has an ANSI path as well.
// False when there is none, with error: the system's for a path that does not exist
// (ERROR_FILE_NOT_FOUND, ERROR_PATH_NOT_FOUND), ERROR_NO_UNICODE_TRANSLATION for a name
// the ANSI code page cannot spell and that has no short form it can (a volume without 8.3
// names), ERROR_FILENAME_EXCED_RANGE for one whose forms are all MAX_PATH or longer.
bool ansiPath(const std::string& path, std::string& ansi, SystemError& error);

// True for the errors that say a path does not exist.
bool isNotFoundError(SystemError error) noexcept;

// Opens an existing file (path in UTF-8, reached through ansiPath) with CreateFileA and the
// given access and sharing flags; null (and error) on failure. A handle without write access
// fails truncate() and write() as the system does.
std::unique_ptr<OpenFile> openWin32File(const std::string& path, std::uint32_t access, std::uint32_t sharing,
                                        SystemError& error);

class Win32FileSystem final : public FileSystem {
public:
    // Missing only for a path that does not exist; a file that ansiPath() cannot reach is a
    // File, so that its open fails and says why.
    PathKind pathKind(const std::string& path, SystemError& error) override;
    std::unique_ptr<OpenFile> open(const std::string& path, SystemError& error) override;
    // The drive part ("C:"), the share root ("\\server\share\") or "".
    std::string freeSpaceLocation(const std::string& path) override;
    bool freeSpace(const std::string& location, std::uint64_t& freeBytes, SystemError& error) override;
};

}  // namespace convert
