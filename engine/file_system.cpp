// The in-place write shared by every file system: write whole, set the end, flush, and
// put the original back on failure.
#include "engine/file_system.h"

namespace engine {

RewriteResult FileSystem::rewrite(const std::string& /*path*/, OpenFile& file, const std::uint8_t* newBytes,
                                  std::uint32_t newLength, const std::uint8_t* original,
                                  std::uint32_t originalLength) {
    return writeThrough(file, newBytes, newLength, original, originalLength);
}

bool writeAll(FileWriter& file, const std::uint8_t* data, std::uint32_t length, SystemError& error) {
    std::uint32_t done = 0;
    while (done < length) {
        std::uint32_t written = 0;
        if (!file.writeAt(done, data + done, length - done, written, error)) return false;
        if (written == 0 || written > length - done) {
            error = 0;
            return false;
        }
        done += written;
    }
    return true;
}

namespace {

bool put(FileWriter& file, const std::uint8_t* bytes, std::uint32_t length, SystemError& error) {
    return writeAll(file, bytes, length, error) && file.setEnd(length, error) && file.flush(error);
}

}  // namespace

RewriteResult writeThrough(FileWriter& file, const std::uint8_t* newBytes, std::uint32_t newLength,
                           const std::uint8_t* original, std::uint32_t originalLength) {
    RewriteResult result;
    if (put(file, newBytes, newLength, result.error)) return result;
    result.ok = false;
    SystemError ignored = 0;
    result.restored = put(file, original, originalLength, ignored);
    return result;
}

}  // namespace engine
