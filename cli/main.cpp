// quorin-cli: converts Standard MIDI Files to and from running status from the command line.
#ifdef _WIN32
#include <io.h>
#else
#include <unistd.h>
#endif

#include <cerrno>
#include <cstring>
#include <ostream>
#include <streambuf>
#include <string>
#include <vector>

#include "cli/cli_file_system.h"
#include "cli/runner.h"
#include "cli/standard_stream.h"
#include "engine/out_of_memory.h"
#ifdef _WIN32
#include "engine/wide_text_win.h"
#endif

namespace {

// Standard output or error written from a buffer of its own (writeStandardStream), keeping
// the error of the first write that fails; what follows a failure is dropped.
class StandardStream final : public std::streambuf {
public:
    explicit StandardStream(int descriptor) : descriptor_(descriptor) { setp(buffer_, buffer_ + sizeof buffer_); }

    // Writes what is buffered and closes the descriptor: 0, or the error of the first write
    // or of the close that failed.
    int close() {
        drain(true);
        if (::close(descriptor_) != 0 && error_ == 0) error_ = errno;
        return error_;
    }

protected:
    int_type overflow(int_type c) override {
        drain(false);
        if (!traits_type::eq_int_type(c, traits_type::eof())) {
            if (pptr() == epptr()) drain(true);  // only an unfinished character was left
            *pptr() = traits_type::to_char_type(c);
            pbump(1);
        }
        return traits_type::not_eof(c);
    }
    int sync() override {
        drain(true);
        return error_ == 0 ? 0 : -1;
    }

private:
    // Writes the buffer out; unless whole, an unfinished character at its end stays for later.
    void drain(bool whole) {
        const char* next = pbase();
        while (error_ == 0 && next < pptr()) {
            std::size_t written = 0;
            const int error =
                cli::writeStandardStream(descriptor_, next, static_cast<std::size_t>(pptr() - next), whole, written);
            if (error == EINTR) continue;
            if (error != 0) {
                error_ = error;
            } else if (written == 0) {
                break;
            } else {
                next += written;
            }
        }
        const std::size_t kept = error_ == 0 ? static_cast<std::size_t>(pptr() - next) : 0;
        std::memmove(buffer_, next, kept);
        setp(buffer_, buffer_ + sizeof buffer_);
        pbump(static_cast<int>(kept));
    }

    int descriptor_;
    char buffer_[65536];
    int error_ = 0;
};

int runMain(const std::vector<std::string>& args) {
    engine::prepareForOutOfMemory();
    const std::unique_ptr<cli::CliFileSystem> fileSystem = cli::makePlatformFileSystem();
    StandardStream standardOutput(1);
    StandardStream standardError(2);
    std::ostream out(&standardOutput);
    std::ostream err(&standardError);
    err.setf(std::ios::unitbuf);  // each line on standard error as soon as it is written
    cli::Console console{out, err, cli::standardErrorIsTerminal(), {}};
    int status = cli::runCli(args, *fileSystem, console, true);
    // A report that could not be written is a failure (as the GNU tools' close_stdout).
    if (const int error = standardOutput.close()) {
        err << "quorin-cli: write error: " << std::strerror(error) << '\n';
        status = 1;
    }
    err.flush();
    return status;
}

}  // namespace

#ifdef _WIN32
// The wide entry point: every argument whole, whatever its characters (-municode).
int wmain(int argc, wchar_t** argv) {
    std::vector<std::string> args;
    for (int i = 1; i < argc; ++i) args.push_back(engine::utf8FromWide(argv[i]));
    return runMain(args);
}
#else
int main(int argc, char** argv) {
    return runMain(std::vector<std::string>(argv + (argc > 0 ? 1 : 0), argv + (argc > 0 ? argc : 0)));
}
#endif
