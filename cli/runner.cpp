// The run of quorin-cli: conversion in place, to --output or to standard output, or --check,
// file after file.
#include "cli/runner.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <limits>
#include <memory>
#include <new>
#include <vector>

#include "cli/options.h"
#include "cli/report_lines.h"
#include "engine/conversion_engine.h"

namespace cli {

namespace {

using engine::FileError;
using engine::FileOutcome;
using engine::OutcomeKind;

// Still reachable, so that leak checkers do not count the memory kept for the exit.
engine::ConversionEngine* engineKeptForExit = nullptr;

const std::string kStandardStream = "-";

// Bytes held in memory, as a file that is read.
class MemoryFile final : public engine::InputFile {
public:
    explicit MemoryFile(std::vector<std::uint8_t> bytes) : bytes_(std::move(bytes)) {}
    bool size(std::uint64_t& bytes, FileError&) override {
        bytes = bytes_.size();
        return true;
    }
    bool read(std::uint8_t* buffer, std::uint32_t length, std::uint32_t& bytesRead, FileError&) override {
        bytesRead = static_cast<std::uint32_t>(std::min<std::size_t>(length, bytes_.size() - position_));
        std::memcpy(buffer, bytes_.data() + position_, bytesRead);
        position_ += bytesRead;
        return true;
    }

private:
    std::vector<std::uint8_t> bytes_;
    std::size_t position_ = 0;
};

// Standard input read to its end, at most 4 GiB - 1 bytes (more is kInputTooLarge, and
// nothing is kept); null (and error) on failure.
std::unique_ptr<engine::InputFile> readAllOfStandardInput(FileError& error) {
    constexpr std::uint64_t kMost = std::numeric_limits<std::uint32_t>::max();
    constexpr std::uint64_t kRoom = std::min<std::uint64_t>(kMost + 1, std::numeric_limits<std::size_t>::max());
    std::vector<std::uint8_t> bytes;
    std::size_t got = 0;
    for (;;) {
        if (bytes.size() - got < 65536)
            bytes.resize(static_cast<std::size_t>(
                std::min<std::uint64_t>(std::max<std::uint64_t>(bytes.size() * std::uint64_t{2}, 1u << 20), kRoom)));
        if (got == bytes.size()) {
            error = kInputTooLarge;
            return nullptr;
        }
        std::uint32_t n = 0;
        const auto length = static_cast<std::uint32_t>(std::min<std::size_t>(bytes.size() - got, 1u << 30));
        if (!readStandardInput(&bytes[got], length, n, error)) return nullptr;
        if (n == 0) break;
        got += n;
    }
    bytes.resize(got);
    return std::make_unique<MemoryFile>(std::move(bytes));
}

// The file system as one run sees it: a FILE of "-" is standard input, and a destination of
// "-" standard output, which has no volume (its location is "" and has room for anything).
class RunFileSystem final : public engine::FileSystem {
public:
    explicit RunFileSystem(engine::FileSystem& inner) : inner_(inner) {}

    engine::PathKind pathKind(const std::string& path, FileError& error) override {
        return path == kStandardStream ? engine::PathKind::File : inner_.pathKind(path, error);
    }
    std::unique_ptr<engine::HeldFile> open(const std::string& path, FileError& error) override {
        return inner_.open(path, error);
    }
    std::unique_ptr<engine::InputFile> openForReading(const std::string& path, FileError& error) override {
        return path == kStandardStream ? readAllOfStandardInput(error) : inner_.openForReading(path, error);
    }
    engine::RewriteResult replaceFile(const std::string& path, const std::uint8_t* data,
                                      std::uint32_t length) override {
        if (path != kStandardStream) return inner_.replaceFile(path, data, length);
        engine::RewriteResult result;
        result.ok = writeStandardOutput(data, length, result.error);
        result.restored = result.ok;
        return result;
    }
    std::string freeSpaceLocation(const std::string& path) override {
        return path == kStandardStream ? std::string() : inner_.freeSpaceLocation(path);
    }
    bool freeSpace(const std::string& location, std::uint64_t& freeBytes, FileError& error) override {
        if (!location.empty()) return inner_.freeSpace(location, freeBytes, error);
        freeBytes = UINT64_MAX;
        return true;
    }

private:
    engine::FileSystem& inner_;
};

// How a path or destination is named in the lines: "-" as the stream it stands for.
std::string shownName(const std::string& path, const char* stream) {
    return path == kStandardStream ? stream : path;
}

// The progress line on a terminal's standard error: "[12/200] path", drawn at most ten
// times a second, and wiped before a file's line is printed and at the end.
class Progress {
public:
    Progress(Console& console, std::size_t total, bool enabled) : console_(console), total_(total), enabled_(enabled) {}
    ~Progress() { clear(); }

    void update(std::size_t index, const std::string& path) {
        if (!enabled_) return;
        const auto now = console_.now ? console_.now() : std::chrono::steady_clock::now();
        if (drawn_ && now - lastDrawn_ < std::chrono::milliseconds(100)) return;
        drawn_ = true;
        lastDrawn_ = now;
        // Every line printed wipes the progress line first, so it is drawn on an empty line.
        std::string text = "[" + std::to_string(index + 1) + "/" + std::to_string(total_) + "] ";
        const std::size_t room = kWidth - text.size();  // the counts take at most 24 columns
        const std::string name = quoteName(path);
        if (name.size() > room) {
            // Cut at the front, never inside a UTF-8 character (no continuation byte 10xxxxxx first).
            std::size_t start = name.size() - (room - 3);
            while (start < name.size() && (static_cast<unsigned char>(name[start]) & 0xC0) == 0x80) ++start;
            text += "..." + name.substr(start);
        } else {
            text += name;
        }
        console_.out.flush();
        console_.err << '\r' << text;
        console_.err.flush();
        shownWidth_ = text.size();
    }

    void clear() {
        if (shownWidth_ == 0) return;
        console_.err << '\r' << std::string(shownWidth_, ' ') << '\r';
        console_.err.flush();
        shownWidth_ = 0;
    }

private:
    static constexpr std::size_t kWidth = 79;
    Console& console_;
    std::size_t total_;
    bool enabled_;
    std::size_t shownWidth_ = 0;
    bool drawn_ = false;
    std::chrono::steady_clock::time_point lastDrawn_{};
};

// The FILE arguments with every pattern replaced by the names it matches (see
// expandPattern()); a pattern that matches nothing stays, marked in unmatched.
std::vector<std::string> expandPatterns(const std::vector<std::string>& arguments, std::vector<bool>& unmatched) {
    std::vector<std::string> files;
    unmatched.clear();
    std::vector<std::string> names;
    for (const std::string& argument : arguments) {
        const bool pattern = expandPattern(argument, names);
        if (pattern && !names.empty()) {
            files.insert(files.end(), names.begin(), names.end());
            unmatched.resize(files.size(), false);
            continue;
        }
        files.push_back(argument);
        unmatched.push_back(pattern);
    }
    return files;
}

class Run {
public:
    // unmatched: which of options.files are patterns that matched nothing.
    Run(const CliOptions& options, const std::vector<bool>& unmatched, engine::FileSystem& fileSystem, Console& console,
        bool keepMemoryForExit)
        : keepMemoryForExit_(keepMemoryForExit),
          options_(options),
          unmatched_(unmatched),
          fileSystem_(fileSystem),
          console_(console),
          fromStandardInput_(std::find(options.files.begin(), options.files.end(), kStandardStream) !=
                             options.files.end()),
          // A result on standard output sends the lines to standard error.
          lines_(!options.check && (options.hasOutput ? options.output == kStandardStream : fromStandardInput_)
                     ? console.err
                     : console.out),
          progress_(console, options.files.size(),
                    console.errIsTerminal && options.files.size() > 1 && options.verbosity != Verbosity::Quiet) {}

    int all() {
        RunFileSystem files(fileSystem_);
        // In place, a file that needs no change is done before the free space is asked for.
        const engine::StepOrder order = options_.hasOutput || fromStandardInput_ ? engine::StepOrder::ProbeFirst
                                                                                 : engine::StepOrder::UnchangedFirst;
        auto engine = std::make_unique<engine::ConversionEngine>(files, options_.runningStatus, nullptr, order,
                                                                 engine::ReadOrder::HeaderFirst);
        bool stopped = false;
        for (std::size_t i = 0; i < options_.files.size(); ++i) {
            const std::string& path = options_.files[i];
            stopped = stopped || StopSignals::caught() != 0;
            const std::string name = shownName(path, "standard input");
            if (unmatched_[i] || stopped) {
                failBeforeStart(unmatched_[i] ? noMatchLine(path) : notProcessedLine(name));
                continue;
            }
            progress_.update(i, options_.check ? name : path);
            const std::string* destination = destinationOf(path);
            const bool destinationExisted = !destination || exists(*destination);
            const FileOutcome outcome = options_.check ? engine->check(path)
                                        : destination  ? engine->convertTo(path, *destination)
                                                       : engine->convert(path);
            LineContext context;
            context.verbose = verbose();
            context.check = options_.check;
            context.reason = reasonText(outcome.error ? outcome.error : outcome.syncError);
            context.inUse = engine::isInUse(outcome.error);
            const std::string shownDestination = destination ? reachedName(*destination, "standard output") : "";
            if (destination) context.output = &shownDestination;
            context.outputExisted = destinationExisted;
            count(outcome);
            print(fileLine(reachedName(path, "standard input"), outcome, context), isFailure(outcome));
            stopped = outcome.endsRun();
        }
        if (keepMemoryForExit_) engineKeptForExit = engine.release();
        return finish();
    }

private:
    bool verbose() const { return options_.verbosity == Verbosity::Verbose; }

    // Where the result of path goes: its own place (null), the --output path, or standard
    // output for a FILE of "-".
    const std::string* destinationOf(const std::string& path) const {
        if (options_.check) return nullptr;
        if (options_.hasOutput) return &options_.output;
        return path == kStandardStream ? &kStandardStream : nullptr;
    }

    // Whether a destination names something already: standard output ("-") does; a path
    // that cannot be looked at (a loop of links, say) may.
    bool exists(const std::string& destination) {
        if (destination == kStandardStream) return true;
        FileError error;
        return fileSystem_.pathKind(destination, error) != engine::PathKind::Missing || !engine::isNotFound(error);
    }

    // A path or destination as the lines name it, with where its symbolic links led
    // ("song.mid -> /x/song.mid") once it was opened or replaced.
    std::string reachedName(const std::string& path, const char* stream) {
        const std::string target = path == kStandardStream ? std::string() : fileSystem_.linkTarget(path);
        return target.empty() ? shownName(path, stream) : path + " -> " + target;
    }

    // A FILE that fails without being looked at: a pattern that matched nothing, or one left
    // after the run stopped.
    void failBeforeStart(const std::string& line) {
        print(line, true);
        ++tally_.files;
        ++tally_.failed;
    }

    void count(const FileOutcome& outcome) {
        ++tally_.files;
        if (outcome.kind == OutcomeKind::Folder) {
            ++tally_.skipped;
        } else if (isFailure(outcome)) {
            ++tally_.failed;
        } else if (outcome.kind == OutcomeKind::Valid) {
            ++tally_.valid;
        } else if (outcome.unchanged) {
            ++tally_.unchanged;
        } else {
            ++tally_.converted;
        }
    }

    // Results go to standard output, failures to standard error (after what standard output
    // holds so far, so that a terminal shows them in order). Quiet runs print only failures.
    void print(const std::string& line, bool failure) {
        if (options_.verbosity == Verbosity::Quiet && !failure) return;
        progress_.clear();
        if (!failure) {
            lines_ << line << '\n';
            return;
        }
        lines_.flush();
        console_.err << line << '\n';
    }

    int finish() {
        progress_.clear();
        if (verbose()) {
            lines_ << summaryLine(tally_, options_.check) << '\n';
        }
        lines_.flush();
        if (const int signal = StopSignals::caught()) return 128 + signal;
        return tally_.failed == 0 ? 0 : 1;
    }

    bool keepMemoryForExit_;
    const CliOptions& options_;
    const std::vector<bool>& unmatched_;
    engine::FileSystem& fileSystem_;
    Console& console_;
    bool fromStandardInput_;  // "-" is among the files
    std::ostream& lines_;     // standard error when a result goes to standard output
    Progress progress_;
    RunTally tally_;
};

int usageError(Console& console, const std::string& error) {
    console.err << "quorin-cli: " << error << "\nTry 'quorin-cli --help' for more information.\n";
    console.err.flush();
    return 2;
}

}  // namespace

int runCli(const std::vector<std::string>& args, engine::FileSystem& fileSystem, Console& console,
           bool keepMemoryForExit) {
    const ParsedCommandLine parsed = parseCommandLine(args);
    switch (parsed.command) {
    case Command::Help:
        console.out << usageText();
        console.out.flush();
        return 0;
    case Command::Version:
        console.out << versionText();
        console.out.flush();
        return 0;
    case Command::UsageError: return usageError(console, parsed.error);
    case Command::Run: break;
    }
    try {
        CliOptions options = parsed.options;
        std::vector<bool> unmatched;
        options.files = expandPatterns(parsed.options.files, unmatched);
        const std::string countError = fileCountError(options);
        if (!countError.empty()) return usageError(console, countError);
        const StopSignals stopSignals;
        Run run(options, unmatched, fileSystem, console, keepMemoryForExit);
        return run.all();
    } catch (const std::bad_alloc&) {
        console.out.flush();
        console.err << "quorin-cli: out of memory; the run stopped\n";
        console.err.flush();
        return 1;
    }
}

}  // namespace cli
