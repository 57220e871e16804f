// A file system in memory for the conversion engine's tests: any step can be made to fail,
// and it remembers what was done to each file.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "convert/file_system.h"

namespace convert::testing {

using Bytes = std::vector<std::uint8_t>;

enum class Step {
    None,
    PathKind,
    Open,
    Size,
    Read,
    Probe,
    Truncate,         // the first cut
    Write,            // writing the new bytes
    RestoreTruncate,  // the cut before putting the original back
    RestoreWrite,     // writing the original back
};

struct FakeEntry {
    Bytes bytes;
    bool folder = false;
    std::uint64_t reportedSize = 0;  // when non-zero, size() answers this instead
};

class FakeFileSystem final : public FileSystem {
public:
    std::map<std::string, FakeEntry> entries;
    std::set<Step> failAt;             // the steps that fail
    SystemError failCode = 5;
    std::uint32_t writeFailsAfter = 0;  // Write/RestoreWrite: bytes accepted before the failure
    std::uint32_t chunkLimit = 0;       // when non-zero, reads and writes move at most this many bytes
    std::uint64_t freeBytes = 1u << 30;
    std::vector<std::string> probedLocations;
    bool fails(Step step) const { return failAt.count(step) != 0; }
    int openFiles = 0;                  // files opened and not yet closed
    int opened = 0;                     // opens so far

    void add(const std::string& path, Bytes bytes) { entries[path].bytes = std::move(bytes); }
    void addFolder(const std::string& path) { entries[path].folder = true; }
    const Bytes& bytesOf(const std::string& path) { return entries.at(path).bytes; }

    PathKind pathKind(const std::string& path, SystemError& error) override;
    std::unique_ptr<OpenFile> open(const std::string& path, SystemError& error) override;
    std::string freeSpaceLocation(const std::string& path) override;
    bool freeSpace(const std::string& location, std::uint64_t& freeBytes, SystemError& error) override;
    int truncates = 0;                  // cuts of the current file (the second is the restore's)
};

}  // namespace convert::testing
