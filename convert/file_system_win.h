// The conversion engine's file system on Win32: exclusive CreateFileA handles, the
// free-space probe, error codes from GetLastError.
#pragma once

#include "convert/file_system.h"

namespace convert {

// Lead bytes of the system's ANSI code page (IsDBCSLeadByte), for splitting paths.
bool isAnsiLeadByte(unsigned char byte);

// Opens an existing file with CreateFileA and the given access and sharing flags; null (and
// error) on failure. A handle without write access fails truncate() and write() as the
// system does.
std::unique_ptr<OpenFile> openWin32File(const std::string& path, std::uint32_t access, std::uint32_t sharing,
                                        SystemError& error);

class Win32FileSystem final : public FileSystem {
public:
    PathKind pathKind(const std::string& path, SystemError& error) override;
    std::unique_ptr<OpenFile> open(const std::string& path, SystemError& error) override;
    // The drive part ("C:"), the share root ("\\server\share\") or "".
    std::string freeSpaceLocation(const std::string& path) override;
    bool freeSpace(const std::string& location, std::uint64_t& freeBytes, SystemError& error) override;
};

}  // namespace convert
