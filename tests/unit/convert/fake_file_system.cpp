// The in-memory file system of the conversion engine's tests.
#include "fake_file_system.h"

#include <algorithm>
#include <cstring>

namespace convert::testing {

namespace {

class FakeOpenFile final : public OpenFile {
public:
    FakeOpenFile(FakeFileSystem& fs, FakeEntry& entry) : fs_(fs), entry_(entry) { ++fs_.openFiles; }
    ~FakeOpenFile() override { --fs_.openFiles; }

    bool size(std::uint64_t& bytes, SystemError& error) override {
        if (fs_.fails(Step::Size)) return fail(error);
        bytes = entry_.reportedSize != 0 ? entry_.reportedSize : entry_.bytes.size();
        return true;
    }

    bool read(std::uint8_t* buffer, std::uint32_t length, std::uint32_t& bytesRead, SystemError& error) override {
        if (fs_.fails(Step::Read)) return fail(error);
        std::size_t n = std::min<std::size_t>(length, entry_.bytes.size() - std::min(position_, entry_.bytes.size()));
        if (fs_.chunkLimit != 0) n = std::min<std::size_t>(n, fs_.chunkLimit);
        if (n != 0) std::memcpy(buffer, entry_.bytes.data() + position_, n);
        position_ += n;
        bytesRead = static_cast<std::uint32_t>(n);
        return true;
    }

    bool truncate(SystemError& error) override {
        const Step step = fs_.truncates++ == 0 ? Step::Truncate : Step::RestoreTruncate;
        if (fs_.fails(step)) return fail(error);
        entry_.bytes.clear();
        position_ = 0;
        written_ = 0;
        return true;
    }

    bool write(const std::uint8_t* data, std::uint32_t length, std::uint32_t& written, SystemError& error) override {
        // Writes after the first cut are the new bytes, after the second the original.
        const Step step = fs_.truncates <= 1 ? Step::Write : Step::RestoreWrite;
        // A failing step may first accept writeFailsAfter bytes (a partial write).
        std::uint32_t n = length;
        if (fs_.chunkLimit != 0) n = std::min(n, fs_.chunkLimit);
        if (fs_.fails(step)) {
            const std::uint32_t room = fs_.writeFailsAfter > written_ ? fs_.writeFailsAfter - written_ : 0;
            if (room == 0) return fail(error);
            n = std::min(n, room);
        }
        entry_.bytes.resize(std::max(entry_.bytes.size(), position_ + n));
        std::memcpy(entry_.bytes.data() + position_, data, n);
        position_ += n;
        written_ += n;
        written = n;
        return true;
    }

private:
    bool fail(SystemError& error) {
        error = fs_.failCode;
        return false;
    }

    FakeFileSystem& fs_;
    FakeEntry& entry_;
    std::size_t position_ = 0;
    std::uint32_t written_ = 0;
};

}  // namespace

PathKind FakeFileSystem::pathKind(const std::string& path, SystemError& error) {
    const auto it = entries.find(path);
    if (fails(Step::PathKind) || it == entries.end()) {
        error = fails(Step::PathKind) ? failCode : 2;
        return PathKind::Missing;
    }
    return it->second.folder ? PathKind::Folder : PathKind::File;
}

std::unique_ptr<OpenFile> FakeFileSystem::open(const std::string& path, SystemError& error) {
    if (fails(Step::Open)) {
        error = failCode;
        return nullptr;
    }
    ++opened;
    truncates = 0;
    return std::make_unique<FakeOpenFile>(*this, entries.at(path));
}

std::string FakeFileSystem::freeSpaceLocation(const std::string& path) {
    return path.substr(0, path.find('/'));
}

bool FakeFileSystem::freeSpace(const std::string& location, std::uint64_t& freeBytesOut, SystemError& error) {
    probedLocations.push_back(location);
    if (fails(Step::Probe)) {
        error = failCode;
        return false;
    }
    freeBytesOut = freeBytes;
    return true;
}

}  // namespace convert::testing
