// Real files in a fresh temporary folder for the POSIX tests.
#pragma once

#include <dirent.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <set>
#include <string>
#include <vector>

namespace cli::testing {

class TempFolder {
public:
    TempFolder() {
        char name[] = "/tmp/quorin-cli-test.XXXXXX";
        path_ = ::mkdtemp(name);
    }
    ~TempFolder() { std::system(("rm -rf '" + path_ + "'").c_str()); }
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;

    std::string file(const std::string& name) const { return path_ + "/" + name; }
    const std::string& path() const { return path_; }

    // The names in the folder, hidden ones included.
    std::set<std::string> names() const {
        std::set<std::string> result;
        if (DIR* folder = ::opendir(path_.c_str())) {
            while (const dirent* entry = ::readdir(folder)) {
                const std::string name = entry->d_name;
                if (name != "." && name != "..") result.insert(name);
            }
            ::closedir(folder);
        }
        return result;
    }

private:
    std::string path_;
};

}  // namespace cli::testing
