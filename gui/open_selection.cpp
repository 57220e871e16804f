// The Open dialog's filter and result, as plain bytes.
#include "gui/open_selection.h"

#include <cstring>

std::vector<char> openFilterBuffer(const std::string& text) {
    std::vector<char> buffer(text.c_str(), text.c_str() + std::strlen(text.c_str()));
    for (char& c : buffer) {
        if (c == '\n') c = '\0';
    }
    buffer.push_back('\0');
    if (buffer.size() < 2 || buffer[buffer.size() - 2] != '\0') buffer.push_back('\0');
    return buffer;
}

std::size_t lastSeparator(const std::string& path, char separator, LeadBytePredicate isLeadByte) {
    std::size_t found = std::string::npos;
    for (std::size_t i = 0; i < path.size(); ++i) {
        const auto byte = static_cast<unsigned char>(path[i]);
        if (isLeadByte(byte) && i + 1 < path.size()) {
            ++i;  // the trail byte may equal '\\' or '/' without being one
        } else if (path[i] == separator) {
            found = i;
        }
    }
    return found;
}

std::string joinFolderAndName(const std::string& folder, const std::string& name, LeadBytePredicate isLeadByte) {
    std::size_t separator = lastSeparator(folder, '\\', isLeadByte);
    if (separator == std::string::npos) separator = lastSeparator(folder, '/', isLeadByte);
    if (separator != std::string::npos && separator + 1 == folder.size()) return folder + name;
    return folder + '\\' + name;
}

namespace {

// The NUL-terminated string at offset, cut at the end of the buffer when it has no NUL.
std::string stringAt(const char* buffer, std::size_t size, std::size_t offset) {
    if (offset >= size) return std::string();
    const void* nul = std::memchr(buffer + offset, '\0', size - offset);
    const std::size_t end = nul ? static_cast<std::size_t>(static_cast<const char*>(nul) - buffer) : size;
    return std::string(buffer + offset, end - offset);
}

}  // namespace

bool openResultComplete(const char* buffer, std::size_t size, std::size_t fileOffset) {
    const void* nul = std::memchr(buffer, '\0', size);
    if (nul == nullptr) return false;
    std::size_t offset = static_cast<std::size_t>(static_cast<const char*>(nul) - buffer) + 1;
    if (offset > fileOffset) return true;  // one file: its path is the whole result
    while (offset < size) {
        if (buffer[offset] == '\0') return true;  // the empty string after the last name
        nul = std::memchr(buffer + offset, '\0', size - offset);
        if (nul == nullptr) return false;
        offset = static_cast<std::size_t>(static_cast<const char*>(nul) - buffer) + 1;
    }
    return false;
}

FileList parseOpenResult(const char* buffer, std::size_t size, std::size_t fileOffset, LeadBytePredicate isLeadByte) {
    FileList files;
    const std::string first = stringAt(buffer, size, 0);
    if (first.size() + 1 > fileOffset) {
        files.push_back(first);
        return files;
    }
    for (std::size_t offset = first.size() + 1; offset < size;) {
        const std::string name = stringAt(buffer, size, offset);
        if (name.empty()) break;
        files.push_back(joinFolderAndName(first, name, isLeadByte));
        offset += name.size() + 1;
    }
    return files;
}
