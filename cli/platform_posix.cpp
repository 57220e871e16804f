// quorin-cli on POSIX systems: the engine's POSIX file system, standard streams through
// read(2) and write(2), strerror, and the stop signals (SIGINT, SIGTERM, SIGHUP).
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstring>

#include "cli/platform.h"
#include "engine/file_system_posix.h"

namespace cli {

std::unique_ptr<engine::FileSystem> makePlatformFileSystem() {
    return std::make_unique<engine::PosixFileSystem>();
}

bool readStandardInput(std::uint8_t* buffer, std::uint32_t length, std::uint32_t& got, engine::FileError& error) {
    const ssize_t n = engine::retryInterrupted([&] { return ::read(STDIN_FILENO, buffer, length); });
    if (n < 0) {
        error = static_cast<engine::SystemError>(errno);
        return false;
    }
    got = static_cast<std::uint32_t>(n);
    return true;
}

const engine::SystemError kInputTooLarge = EFBIG;

bool writeStandardOutput(const std::uint8_t* data, std::uint32_t length, engine::FileError& error) {
    return engine::writeWhole(
        [](std::uint64_t, const std::uint8_t* bytes, std::uint32_t count, std::uint32_t& written,
           engine::FileError& failure) {
            const ssize_t n = engine::retryInterrupted([&] { return ::write(STDOUT_FILENO, bytes, count); });
            if (n < 0) {
                failure = static_cast<engine::SystemError>(errno);
                return false;
            }
            written = static_cast<std::uint32_t>(n);
            return true;
        },
        data, length, error);
}

ConsoleWriter consoleWriterFor(std::FILE*) {
    return nullptr;
}

bool standardErrorIsTerminal() {
    return ::isatty(STDERR_FILENO) == 1;
}

std::string systemErrorText(engine::SystemError code) {
    return code == 0 ? std::string() : std::strerror(static_cast<int>(code));
}

bool expandPattern(const std::string&, std::vector<std::string>&) {
    return false;
}

namespace {

constexpr int kStopSignals[] = {SIGINT, SIGTERM, SIGHUP};
struct sigaction formerActions[3];

extern "C" void rememberStopSignal(int signal) {
    if (engine::stopSignalCaught == 0) engine::stopSignalCaught = signal;
}

}  // namespace

// Without SA_RESTART: a blocked open or write of a pipe returns, and is given up.
StopSignals::StopSignals() {
    engine::stopSignalCaught = 0;
    struct sigaction action = {};
    action.sa_handler = rememberStopSignal;
    sigemptyset(&action.sa_mask);
    for (int i = 0; i < 3; ++i) ::sigaction(kStopSignals[i], &action, &formerActions[i]);
}

StopSignals::~StopSignals() {
    for (int i = 0; i < 3; ++i) ::sigaction(kStopSignals[i], &formerActions[i], nullptr);
}

int StopSignals::caught() noexcept {
    return engine::stopSignalCaught;
}

}  // namespace cli
