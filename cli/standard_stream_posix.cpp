// Standard output and error on POSIX: the bytes through write(2).
#include <unistd.h>

#include <cerrno>

#include "cli/standard_stream.h"

namespace cli {

int writeStandardStream(int descriptor, const char* data, std::size_t length, bool, std::size_t& written) {
    const ssize_t done = ::write(descriptor, data, length);
    if (done < 0) return errno;
    if (done == 0) return EIO;
    written = static_cast<std::size_t>(done);
    return 0;
}

}  // namespace cli
