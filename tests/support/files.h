// Files and folders for the tests: whole files read and written, and a temporary folder.
#pragma once

#include <filesystem>
#include <string>

#include "tests/support/samples.h"

namespace quorin_test {

// The file's bytes; empty when it cannot be read.
Bytes readFile(const std::filesystem::path& path);
void writeFile(const std::filesystem::path& path, const Bytes& bytes);

// A new folder under the system's temporary folder, removed with all it holds.
class TempFolder {
public:
    TempFolder();
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;
    ~TempFolder();

    std::string path() const { return path_.string(); }
    // The path of name in the folder.
    std::string file(const std::string& name) const { return (path_ / name).string(); }
    // Writes bytes to name in the folder and returns its path.
    std::string put(const std::string& name, const Bytes& bytes) const;

private:
    std::filesystem::path path_;
};

}  // namespace quorin_test
