// quorin-cli on Windows: the engine's Win32 file system, standard streams through ReadFile
// and WriteFile, a console's characters through WriteConsoleW, FormatMessageW's English
// texts, * and ? expanded by FindFirstFileW, and Ctrl+C.
#include <windows.h>
#include <io.h>

#include <algorithm>
#include <csignal>

#include "cli/platform.h"
#include "engine/file_system_win.h"
#include "engine/free_space.h"
#include "engine/wide_text_win.h"

namespace cli {

namespace {

bool fail(engine::FileError& error) {
    error = GetLastError();
    return false;
}

// Name order, as the system compares names: by their characters, case ignored.
bool namedBefore(const std::wstring& a, const std::wstring& b) {
    return CompareStringOrdinal(a.c_str(), static_cast<int>(a.size()), b.c_str(), static_cast<int>(b.size()), TRUE) ==
           CSTR_LESS_THAN;
}

}  // namespace

std::unique_ptr<engine::FileSystem> makePlatformFileSystem() {
    if (!FreeSpaceExFunction) {
        FreeSpaceExFunction = reinterpret_cast<GetDiskFreeSpaceExAFunction>(
            reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("kernel32.dll"), "GetDiskFreeSpaceExA")));
    }
    return std::make_unique<engine::Win32FileSystem>();
}

// The end of a pipe is its writer's close (ERROR_BROKEN_PIPE), not an error.
bool readStandardInput(std::uint8_t* buffer, std::uint32_t length, std::uint32_t& got, engine::FileError& error) {
    DWORD read = 0;
    if (!ReadFile(GetStdHandle(STD_INPUT_HANDLE), buffer, length, &read, nullptr) &&
        GetLastError() != ERROR_BROKEN_PIPE)
        return fail(error);
    got = read;
    return true;
}

const engine::SystemError kInputTooLarge = ERROR_FILE_TOO_LARGE;

bool writeStandardOutput(const std::uint8_t* data, std::uint32_t length, engine::FileError& error) {
    const HANDLE handle = GetStdHandle(STD_OUTPUT_HANDLE);
    return engine::writeWhole(
        [handle](std::uint64_t, const std::uint8_t* bytes, std::uint32_t count, std::uint32_t& written,
                 engine::FileError& failure) {
            DWORD done = 0;
            if (!WriteFile(handle, bytes, count, &done, nullptr)) return fail(failure);
            written = done;
            return true;
        },
        data, length, error);
}

namespace {

HANDLE handleOf(std::FILE* stream) {
    return reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(stream)));
}

bool showOnConsole(std::FILE* stream, const char* text, std::size_t length) {
    const std::wstring wide = engine::wideFromUtf8(std::string(text, length));
    DWORD count = 0;
    for (std::size_t done = 0; done < wide.size(); done += count) {
        if (!WriteConsoleW(handleOf(stream), wide.data() + done, static_cast<DWORD>(wide.size() - done), &count,
                           nullptr) ||
            count == 0)
            return false;
    }
    return true;
}

}  // namespace

ConsoleWriter consoleWriterFor(std::FILE* stream) {
    DWORD mode = 0;
    return GetConsoleMode(handleOf(stream), &mode) ? showOnConsole : nullptr;
}

bool standardErrorIsTerminal() {
    return _isatty(_fileno(stderr)) != 0;
}

std::string systemErrorText(engine::SystemError code) {
    if (code == 0) return std::string();
    wchar_t* text = nullptr;
    const DWORD flags = FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS;
    const DWORD length = FormatMessageW(flags, nullptr, code, MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US),
                                        reinterpret_cast<wchar_t*>(&text), 0, nullptr);
    std::string result;
    if (length != 0 && text) {
        result = engine::utf8FromWide(text, length);
        while (!result.empty() &&
               (result.back() == '\n' || result.back() == '\r' || result.back() == ' ' || result.back() == '.'))
            result.pop_back();
    }
    if (text) LocalFree(text);
    if (result.empty()) result = "system error " + std::to_string(code);
    return result;
}

// Every * and ? in the last component, as FindFirstFileW matches them (names of folders
// included, "." and ".." not), the folder part kept as it was typed.
bool expandPattern(const std::string& argument, std::vector<std::string>& names) {
    if (argument.find_first_of("*?") == std::string::npos) return false;
    names.clear();
    const std::wstring pattern = engine::wideFromUtf8(argument);
    const std::size_t cut = pattern.find_last_of(L"\\/:");
    const std::wstring folder = cut == std::wstring::npos ? std::wstring() : pattern.substr(0, cut + 1);
    WIN32_FIND_DATAW found;
    const HANDLE search = FindFirstFileW(pattern.c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) return true;
    std::vector<std::wstring> matches;
    do {
        const std::wstring name = found.cFileName;
        if (name != L"." && name != L"..") matches.push_back(name);
    } while (FindNextFileW(search, &found));
    FindClose(search);
    std::stable_sort(matches.begin(), matches.end(), namedBefore);
    for (const std::wstring& name : matches) names.push_back(engine::utf8FromWide(folder + name));
    return true;
}

namespace {

volatile std::sig_atomic_t caughtSignal = 0;
void (*formerInterrupt)(int) = SIG_DFL;
void (*formerTerminate)(int) = SIG_DFL;

void rememberStopSignal(int signal) {
    if (caughtSignal == 0) caughtSignal = signal;
    std::signal(signal, rememberStopSignal);
}

}  // namespace

// Ctrl+C (SIGINT) and SIGTERM; Windows has no SIGHUP.
StopSignals::StopSignals() {
    caughtSignal = 0;
    formerInterrupt = std::signal(SIGINT, rememberStopSignal);
    formerTerminate = std::signal(SIGTERM, rememberStopSignal);
}

StopSignals::~StopSignals() {
    std::signal(SIGINT, formerInterrupt);
    std::signal(SIGTERM, formerTerminate);
}

int StopSignals::caught() noexcept {
    return caughtSignal;
}

}  // namespace cli
