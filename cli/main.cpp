// quorin-cli: converts Standard MIDI Files to and from running status from the command line.
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <iostream>
#include <streambuf>
#include <string>
#include <vector>

#include "cli/platform.h"
#include "cli/runner.h"
#include "engine/out_of_memory.h"
#ifdef _WIN32
#include "engine/wide_text_win.h"
#endif

namespace {

// Standard output or error for the lines: each text handed whole to stdio, which buffers it
// (a Windows console shows it as its characters instead). The error of the first write that
// fails is kept, since the stream would stop there and stdio forget it; nothing more is
// written after it.
class StdioLines final : public std::streambuf {
public:
    explicit StdioLines(std::FILE* file) : file_(file), console_(cli::consoleWriterFor(file)) {}

    // GNU's close_stdout: everything flushed and the stream closed; 0, or the error of the
    // first write or of the close that failed.
    int close() {
        sync();
        errno = 0;
        if (std::fclose(file_) != 0 && error_ == 0) error_ = errno != 0 ? errno : EIO;
        return error_;
    }

protected:
    std::streamsize xsputn(const char* text, std::streamsize length) override {
        const auto size = static_cast<std::size_t>(length);
        errno = 0;
        if (error_ == 0 && !(console_ ? console_(file_, text, size) : std::fwrite(text, 1, size, file_) == size))
            error_ = errno != 0 ? errno : EIO;
        return length;
    }
    int_type overflow(int_type c) override {
        if (traits_type::eq_int_type(c, traits_type::eof())) return traits_type::not_eof(c);
        const char character = traits_type::to_char_type(c);
        xsputn(&character, 1);
        return c;
    }
    int sync() override {
        errno = 0;
        if (error_ == 0 && std::fflush(file_) != 0) error_ = errno != 0 ? errno : EIO;
        return error_ == 0 ? 0 : -1;
    }

private:
    std::FILE* file_;
    cli::ConsoleWriter console_;  // null: the bytes go to stdio
    int error_ = 0;
};

int runMain(const std::vector<std::string>& args) {
    engine::prepareForOutOfMemory();
    const std::unique_ptr<engine::FileSystem> fileSystem = cli::makePlatformFileSystem();
    StdioLines standardOutput(stdout);
    StdioLines standardError(stderr);
    std::ostream out(&standardOutput);
    std::ostream err(&standardError);
    err.setf(std::ios::unitbuf);  // each line on standard error as soon as it is written
    cli::Console console{out, err, cli::standardErrorIsTerminal(), {}};
    int status = cli::runCli(args, *fileSystem, console, true);
    // A report that could not be written is a failure.
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
