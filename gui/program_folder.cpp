// The folder of the executable, from its module path.
#include "gui/program_folder.h"

std::string programFolderOf(const std::string& modulePath, LeadBytePredicate isLeadByte) {
    const std::size_t separator = lastSeparator(modulePath, '\\', isLeadByte);
    if (separator == std::string::npos) return ".";
    return modulePath.substr(0, separator);
}
