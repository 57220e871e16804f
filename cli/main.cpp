// quorin-cli: converts Standard MIDI Files to and from running status from the command line.
#ifdef _WIN32
#include <io.h>
#else
#include <unistd.h>
#endif

#include <cerrno>
#include <cstring>
#include <iostream>
#include <streambuf>
#include <string>
#include <vector>

#include "cli/cli_file_system.h"
#include "cli/runner.h"
#include "convert/out_of_memory.h"

namespace {

// Standard output written with write(2) from a buffer of its own, keeping the error of the
// first write that fails; what follows a failure is dropped.
class StandardOutput final : public std::streambuf {
public:
    StandardOutput() { setp(buffer_, buffer_ + sizeof buffer_); }

    // Writes what is buffered and closes standard output: 0, or the error of the first
    // write or of the close that failed.
    int close() {
        drain();
        if (::close(1) != 0 && error_ == 0) error_ = errno;
        return error_;
    }

protected:
    int_type overflow(int_type c) override {
        drain();
        if (!traits_type::eq_int_type(c, traits_type::eof())) {
            *pptr() = traits_type::to_char_type(c);
            pbump(1);
        }
        return traits_type::not_eof(c);
    }
    int sync() override {
        drain();
        return error_ == 0 ? 0 : -1;
    }

private:
    void drain() {
        const char* next = pbase();
        while (error_ == 0 && next < pptr()) {
            const auto written = ::write(1, next, static_cast<unsigned>(pptr() - next));
            if (written < 0 && errno == EINTR) continue;
            if (written <= 0) {
                error_ = written < 0 ? errno : EIO;
            } else {
                next += written;
            }
        }
        setp(buffer_, buffer_ + sizeof buffer_);
    }

    char buffer_[65536];
    int error_ = 0;
};

}  // namespace

int main(int argc, char** argv) {
    convert::prepareForOutOfMemory();
    std::ios::sync_with_stdio(false);
    const std::vector<std::string> args(argv + (argc > 0 ? 1 : 0), argv + (argc > 0 ? argc : 0));
    const std::unique_ptr<cli::CliFileSystem> fileSystem = cli::makePlatformFileSystem();
    StandardOutput standardOutput;
    std::ostream out(&standardOutput);
    cli::Console console{out, std::cerr, cli::standardErrorIsTerminal(), {}};
    const int status = cli::runCli(args, *fileSystem, console, true);
    // A report that could not be written is a failure (as the GNU tools' close_stdout).
    if (const int error = standardOutput.close()) {
        std::cerr << "quorin-cli: write error: " << std::strerror(error) << '\n';
        return 1;
    }
    return status;
}
