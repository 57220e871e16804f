// quorin-cli's file system in memory: files, folders, locks, free space and failures on
// demand, and a record of what was written.
#pragma once

#include <algorithm>
#include <cstdint>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "cli/cli_file_system.h"

namespace cli::testing {

using Bytes = std::vector<std::uint8_t>;

constexpr SystemError kLocked = 11;
constexpr SystemError kNoSpace = 28;

class FakeCliFileSystem final : public CliFileSystem {
public:
    std::map<std::string, Bytes> files;
    std::set<std::string> folders;
    std::set<std::string> locked;       // held by "another process"
    std::uint64_t freeBytes = 1u << 30;
    std::uint32_t inPlaceWritesFailAfter = UINT32_MAX;  // bytes an in-place write accepts
    bool writeFailurePersists = false;  // else only the first failure happens (the restore works)
    bool replaceFails = false;
    int writes = 0;                     // in-place writes and replacements

    convert::PathKind pathKind(const std::string& path, SystemError& error) override {
        if (folders.count(path)) return convert::PathKind::Folder;
        if (files.count(path)) return convert::PathKind::File;
        error = 2;
        return convert::PathKind::Missing;
    }
    std::unique_ptr<convert::OpenFile> open(const std::string& path, SystemError& error) override {
        return openFile(path, true, error);
    }
    std::unique_ptr<convert::OpenFile> openForReading(const std::string& path, SystemError& error) override {
        return openFile(path, false, error);
    }
    std::string freeSpaceLocation(const std::string& path) override {
        return path.substr(0, path.find('/'));
    }
    bool freeSpace(const std::string&, std::uint64_t& bytes, SystemError&) override {
        bytes = freeBytes;
        return true;
    }
    bool replaceFile(const std::string& path, const std::uint8_t* data, std::uint32_t length,
                     SystemError& error) override {
        ++writes;
        if (replaceFails) {
            error = kNoSpace;
            return false;
        }
        files[path].assign(data, data + length);
        return true;
    }
    bool isLockConflict(SystemError error) override { return error == kLocked; }
    std::string errorText(SystemError error) override { return "system error " + std::to_string(error); }

private:
    class File final : public convert::OpenFile {
    public:
        File(FakeCliFileSystem& owner, Bytes& bytes, bool writable) : owner_(owner), bytes_(bytes), writable_(writable) {}
        bool size(std::uint64_t& size, SystemError&) override {
            size = bytes_.size();
            return true;
        }
        bool read(std::uint8_t* buffer, std::uint32_t length, std::uint32_t& got, SystemError&) override {
            got = static_cast<std::uint32_t>(std::min<std::size_t>(length, bytes_.size() - position_));
            std::copy_n(bytes_.begin() + position_, got, buffer);
            position_ += got;
            return true;
        }
        bool truncate(SystemError& error) override {
            if (!writable_) return denied(error);
            bytes_.clear();
            position_ = 0;
            accepted_ = 0;
            return true;
        }
        bool write(const std::uint8_t* data, std::uint32_t length, std::uint32_t& written, SystemError& error) override {
            if (!writable_) return denied(error);
            ++owner_.writes;
            const std::uint32_t room = owner_.inPlaceWritesFailAfter - std::min(owner_.inPlaceWritesFailAfter, accepted_);
            written = std::min(length, room);
            if (written == 0) {
                if (!owner_.writeFailurePersists) owner_.inPlaceWritesFailAfter = UINT32_MAX;
                error = kNoSpace;
                return false;
            }
            bytes_.insert(bytes_.end(), data, data + written);
            accepted_ += written;
            return true;
        }

    private:
        static bool denied(SystemError& error) {
            error = 5;
            return false;
        }
        FakeCliFileSystem& owner_;
        Bytes& bytes_;
        bool writable_;
        std::size_t position_ = 0;
        std::uint32_t accepted_ = 0;
    };

    std::unique_ptr<convert::OpenFile> openFile(const std::string& path, bool writable, SystemError& error) {
        if (locked.count(path)) {
            error = kLocked;
            return nullptr;
        }
        return std::make_unique<File>(*this, files.at(path), writable);
    }
};

}  // namespace cli::testing
