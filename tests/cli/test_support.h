// quorin-cli's test helpers: a small song with and without running status, whole-file
// reads and writes, a fresh temporary folder, and an in-process run.
#pragma once

#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>
#include <sstream>

#include "cli/runner.h"

namespace cli::testing {

using Bytes = std::vector<std::uint8_t>;

// Format 0, division 96: note on, note off with its status repeated, End of Track (34
// bytes); the same with running status (33 bytes).
inline const Bytes kPlain = {'M', 'T', 'h', 'd', 0, 0, 0, 6, 0, 0, 0, 1, 0, 0x60, 'M', 'T', 'r', 'k', 0, 0, 0, 12,
                             0x00, 0x90, 0x3C, 0x40, 0x60, 0x90, 0x3C, 0x00, 0x00, 0xFF, 0x2F, 0x00};
inline const Bytes kRunning = {'M', 'T', 'h', 'd', 0, 0, 0, 6, 0, 0, 0, 1, 0, 0x60, 'M', 'T', 'r', 'k', 0, 0, 0, 11,
                               0x00, 0x90, 0x3C, 0x40, 0x60, 0x3C, 0x00, 0x00, 0xFF, 0x2F, 0x00};

inline Bytes readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// A new folder under the system's temporary folder, removed with all it holds.
class TempFolder {
public:
    TempFolder() {
        for (unsigned n = 0; !std::filesystem::create_directory(path_ = base_ / ("quorin-cli-test-" + std::to_string(n)));) ++n;
    }
    ~TempFolder() { std::filesystem::remove_all(path_, ignored_); }
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;

    std::string path() const { return path_.string(); }
    std::string file(const std::string& name) const { return (path_ / name).string(); }
    // Writes content to the file name and returns its path.
    std::string put(const std::string& name, const Bytes& content) const {
        std::ofstream(file(name), std::ios::binary)
            .write(reinterpret_cast<const char*>(content.data()), static_cast<std::streamsize>(content.size()));
        return file(name);
    }
    // The names in the folder, hidden ones included.
    std::set<std::string> names() const {
        std::set<std::string> result;
        for (const auto& entry : std::filesystem::directory_iterator(path_))
            result.insert(entry.path().filename().string());
        return result;
    }

private:
    const std::filesystem::path base_ = std::filesystem::temp_directory_path();
    std::filesystem::path path_;
    std::error_code ignored_;
};

struct Result {
    int status;
    std::string out, err;
};

inline Result run(CliFileSystem& fs, const std::vector<std::string>& args, bool terminal = false,
                  std::function<std::chrono::steady_clock::time_point()> now = {}) {
    std::ostringstream out;
    std::ostringstream err;
    Console console{out, err, terminal, std::move(now)};
    const int status = runCli(args, fs, console);
    return {status, out.str(), err.str()};
}

}  // namespace cli::testing
