// Standard output and error on Windows: characters to a console (WriteConsoleW), the UTF-8
// bytes to a file or pipe (_write, which turns each line feed into CR LF as text output
// does there).
#include <windows.h>
#include <io.h>

#include <cerrno>
#include <string>

#include "cli/standard_stream.h"
#include "engine/wide_text_win.h"

namespace cli {

namespace {

// The length of the longest start of data[0, length) that ends on a character boundary of
// UTF-8: at most three bytes of a character begun at the end are held back.
std::size_t wholeCharacters(const char* data, std::size_t length) {
    std::size_t start = length;
    // Back over continuation bytes (10xxxxxx) to the byte that begins the last character.
    while (start > 0 && length - start < 3 && (static_cast<unsigned char>(data[start - 1]) & 0xC0) == 0x80) --start;
    if (start == 0) return length;
    const auto lead = static_cast<unsigned char>(data[start - 1]);
    const std::size_t size = lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC0 ? 2 : 1;
    return length - (start - 1) >= size ? length : start - 1;
}

bool isConsole(HANDLE handle) {
    DWORD mode = 0;
    return GetConsoleMode(handle, &mode) != 0;
}

}  // namespace

int writeStandardStream(int descriptor, const char* data, std::size_t length, bool whole, std::size_t& written) {
    const auto handle = reinterpret_cast<HANDLE>(_get_osfhandle(descriptor));
    if (handle == INVALID_HANDLE_VALUE) return EBADF;
    if (!isConsole(handle)) {
        const int done = _write(descriptor, data, static_cast<unsigned>(length));
        if (done < 0) return errno;
        if (done == 0) return EIO;
        written = static_cast<std::size_t>(done);
        return 0;
    }
    const std::size_t taken = whole ? length : wholeCharacters(data, length);
    const std::wstring text = engine::wideFromUtf8(std::string(data, taken));
    for (std::size_t shown = 0; shown < text.size();) {
        DWORD count = 0;
        if (!WriteConsoleW(handle, text.data() + shown, static_cast<DWORD>(text.size() - shown), &count, nullptr) ||
            count == 0)
            return EIO;
        shown += count;
    }
    written = taken;
    return 0;
}

}  // namespace cli
