// FileList: the paths that one Open command or drop hands to a run, in UTF-8, whole as the
// system gave them (the file system turns each into what its calls take).
#pragma once

#include <string>
#include <vector>

// In the order the Open dialog or the drop reported them; duplicates kept; entries may
// name folders, which the run skips.
using FileList = std::vector<std::string>;
