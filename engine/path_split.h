// Splitting a path (an ANSI one with its double-byte characters honoured, or UTF-8) into the
// parts the conversion run shows and probes; the extended-length form of a full path.
#pragma once

#include <string>

namespace engine {

// True for a lead byte of a double-byte character in the code page in force.
using LeadBytePredicate = bool (*)(unsigned char byte);

// Code page 932's lead bytes (0x81-0x9F, 0xE0-0xFC).
bool isCp932LeadByte(unsigned char byte) noexcept;

// For UTF-8 paths: false for every byte, since no byte of a character of two or more bytes
// equals a separator or a dot there.
bool noLeadByte(unsigned char byte) noexcept;

struct PathParts {
    std::string drivePart;    // "C:" when the second byte is ':', else empty
    std::string displayName;  // file name and extension: the last component
};

// A lead byte and the byte after it never act as a separator ('\\' or '/') or a dot. The
// file name runs from after the last separator to the last dot after it, the extension from
// that dot to the end; each is cut to at most 255 bytes (never inside a character).
PathParts splitPath(const std::string& path, LeadBytePredicate isLeadByte);

// The location whose free space guards a rewrite of path: its drive part ("C:") when it has
// one; for a share path "\\server\share\..." the share root "\\server\share\"; else "".
std::string freeSpaceLocation(const std::string& path, LeadBytePredicate isLeadByte);

// The extended-length form of a full path, which the wide file calls take beyond MAX_PATH:
// "\\?\" before a drive path ("\\?\C:\..."), "\\?\UNC\" in place of a share path's
// leading pair ("\\?\UNC\server\share\..."); a path already in such a form ("\\?\",
// "\\.\") or of no such kind as it is.
std::wstring extendedLengthPath(const std::wstring& full);

}  // namespace engine
