// The in-place rewrite shared by every file system: cut, write whole, put back on failure.
#include "convert/file_system.h"

namespace convert {

RewriteResult FileSystem::rewrite(const std::string& /*path*/, OpenFile& file, const std::uint8_t* newBytes,
                                  std::uint32_t newLength, const std::uint8_t* original,
                                  std::uint32_t originalLength) {
    return rewriteInPlace(file, newBytes, newLength, original, originalLength);
}

bool writeAll(OpenFile& file, const std::uint8_t* data, std::uint32_t length, SystemError& error) {
    std::uint32_t done = 0;
    while (done < length) {
        std::uint32_t written = 0;
        if (!file.write(data + done, length - done, written, error)) return false;
        if (written == 0 || written > length - done) {
            error = 0;
            return false;
        }
        done += written;
    }
    return true;
}

RewriteResult rewriteInPlace(OpenFile& file, const std::uint8_t* newBytes, std::uint32_t newLength,
                             const std::uint8_t* original, std::uint32_t originalLength) {
    RewriteResult result;
    if (!file.truncate(result.error)) {
        result.ok = false;
        return result;  // nothing was changed
    }
    if (writeAll(file, newBytes, newLength, result.error) && file.flush(result.error)) return result;
    result.ok = false;
    SystemError ignored = 0;
    result.restored = file.truncate(ignored) && writeAll(file, original, originalLength, ignored) &&
                      file.flush(ignored);
    return result;
}

}  // namespace convert
