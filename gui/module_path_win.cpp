// The running module's path and the system's double-byte rule.
#include "gui/module_path.h"

#include <vector>

bool isAnsiLeadByte(unsigned char byte) {
    return IsDBCSLeadByte(byte) != FALSE;
}

std::string moduleFileName(HMODULE module) {
    // Start at MAX_PATH and grow while the system fills the whole buffer (a cut path), up to
    // room for the longest path there is: 32767 characters of at most two bytes each.
    for (DWORD size = MAX_PATH;; size *= 2) {
        std::vector<char> path(size);
        const DWORD length = GetModuleFileNameA(module, path.data(), size);
        if (length == 0) return std::string();
        if (length < size) return std::string(path.data(), length);
        if (size > 2 * 32767) return std::string();
    }
}
