// Path splitting with double-byte characters honoured.
#include "engine/path_split.h"

#include <cstddef>

namespace engine {

namespace {

constexpr std::size_t kMaxPart = 255;

bool isSeparator(char c) noexcept {
    return c == '\\' || c == '/';
}

// Index of the next character after the one at i (two bytes for a lead byte that has a
// trail byte).
std::size_t nextCharacter(const std::string& s, std::size_t i, LeadBytePredicate isLeadByte) noexcept {
    if (isLeadByte(static_cast<unsigned char>(s[i])) && i + 1 < s.size()) return i + 2;
    return i + 1;
}

// The first bytes of s[begin, end), at most kMaxPart, without splitting a character.
std::string cutPart(const std::string& s, std::size_t begin, std::size_t end, LeadBytePredicate isLeadByte) {
    std::size_t stop = begin;
    while (stop < end) {
        const std::size_t next = nextCharacter(s, stop, isLeadByte);
        if (next - begin > kMaxPart) break;
        stop = next;
    }
    return s.substr(begin, stop - begin);
}

}  // namespace

bool isCp932LeadByte(unsigned char byte) noexcept {
    return (byte >= 0x81 && byte <= 0x9F) || (byte >= 0xE0 && byte <= 0xFC);
}

bool noLeadByte(unsigned char) noexcept {
    return false;
}

PathParts splitPath(const std::string& path, LeadBytePredicate isLeadByte) {
    PathParts parts;
    std::size_t start = 0;
    if (path.size() >= 2 && path[1] == ':') {
        parts.drivePart = path.substr(0, 2);
        start = 2;
    }
    std::size_t nameBegin = start;
    std::size_t lastDot = std::string::npos;
    for (std::size_t i = start; i < path.size(); i = nextCharacter(path, i, isLeadByte)) {
        if (isLeadByte(static_cast<unsigned char>(path[i]))) continue;
        if (isSeparator(path[i])) {
            nameBegin = i + 1;
            lastDot = std::string::npos;
        } else if (path[i] == '.') {
            lastDot = i;
        }
    }
    const std::size_t nameEnd = lastDot == std::string::npos ? path.size() : lastDot;
    parts.displayName = cutPart(path, nameBegin, nameEnd, isLeadByte) + cutPart(path, nameEnd, path.size(), isLeadByte);
    return parts;
}

std::string freeSpaceLocation(const std::string& path, LeadBytePredicate isLeadByte) {
    if (path.size() >= 2 && path[1] == ':') return path.substr(0, 2);
    if (path.size() < 3 || !isSeparator(path[0]) || !isSeparator(path[1]) || isSeparator(path[2])) return std::string();
    // "\\server\share\": the end of the second component after the leading pair.
    std::size_t firstSeparator = 0;
    std::size_t separators = 0;
    std::size_t i = 2;
    for (; i < path.size(); i = nextCharacter(path, i, isLeadByte)) {
        if (isLeadByte(static_cast<unsigned char>(path[i])) || !isSeparator(path[i])) continue;
        if (++separators == 2) break;
        firstSeparator = i;
    }
    if (separators == 0 || i == firstSeparator + 1) return std::string();  // no share name
    return path.substr(0, i) + '\\';
}

std::wstring extendedLengthPath(const std::wstring& full) {
    const auto separator = [&](std::size_t i) { return i < full.size() && (full[i] == L'\\' || full[i] == L'/'); };
    if (separator(2) && full[1] == L':') return L"\\\\?\\" + full;
    if (!separator(0) || !separator(1)) return full;
    if (separator(3) && (full[2] == L'?' || full[2] == L'.')) return full;
    return L"\\\\?\\UNC" + full.substr(1);
}

}  // namespace engine
