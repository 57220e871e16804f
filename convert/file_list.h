// FileList: the paths (ANSI code page) that one Open command or drop hands to a run.
#pragma once

#include <string>
#include <vector>

// In the order the Open dialog or the drop reported them; duplicates kept; entries may
// name folders, which the run skips.
using FileList = std::vector<std::string>;
