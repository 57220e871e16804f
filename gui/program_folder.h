// Where the program keeps its files: the folder of the executable.
#pragma once

#include <string>

#include "gui/open_selection.h"

// The module path cut at its last backslash (the backslash itself dropped); a trail byte
// of a double-byte character is never taken for a backslash. A path without any backslash
// gives ".", the current folder.
std::string programFolderOf(const std::string& modulePath, LeadBytePredicate isLeadByte);
