// The in-place write shared by every file system: write whole, set the end, flush, and
// put the original back on failure.
#include "engine/file_system.h"

namespace engine {

RewriteResult RewriteResult::failed(const FileError& error, bool restored) noexcept {
    RewriteResult result;
    result.ok = false;
    result.error = error;
    result.restored = restored;
    return result;
}

std::string FileSystem::linkTarget(const std::string& /*path*/) {
    return std::string();
}

bool writeAll(FileWriter& file, const std::uint8_t* data, std::uint32_t length, FileError& error) {
    return writeWhole(
        [&file](std::uint64_t offset, const std::uint8_t* bytes, std::uint32_t count, std::uint32_t& written,
                FileError& failure) { return file.writeAt(offset, bytes, count, written, failure); },
        data, length, error);
}

namespace {

bool put(FileWriter& file, const std::uint8_t* bytes, std::uint32_t length, FileError& error) {
    return writeAll(file, bytes, length, error) && file.setEnd(length, error) && file.flush(error);
}

}  // namespace

RewriteResult writeThrough(FileWriter& file, const std::uint8_t* newBytes, std::uint32_t newLength,
                           const std::uint8_t* original, std::uint32_t originalLength) {
    RewriteResult result;
    if (put(file, newBytes, newLength, result.error)) return result;
    result.ok = false;
    FileError ignored;
    result.restored = put(file, original, originalLength, ignored);
    return result;
}

}  // namespace engine
