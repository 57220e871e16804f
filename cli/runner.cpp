// The run of quorin-cli: conversion in place or to --output, or --check, file after file.
#include "cli/runner.h"

#include <cstring>
#include <memory>
#include <new>

#include "cli/inspect.h"
#include "cli/options.h"
#include "cli/report_lines.h"
#include "convert/conversion_engine.h"

namespace cli {

namespace {

using convert::FileOutcome;
using convert::OutcomeKind;

// Still reachable, so that leak checkers do not count the memory kept for the exit.
convert::ConversionEngine* engineKeptForExit = nullptr;

// The engine's view of the file system for one run: in place, or reading the input shared
// and putting the result at the --output path. Notes whether the last rewrite would have
// changed anything; an in-place rewrite that would not is skipped.
class EngineFileSystem final : public convert::FileSystem {
public:
    EngineFileSystem(CliFileSystem& inner, const std::string* output) : inner_(inner), output_(output) {}

    convert::PathKind pathKind(const std::string& path, SystemError& error) override {
        unchanged_ = false;
        return inner_.pathKind(path, error);
    }
    std::unique_ptr<convert::OpenFile> open(const std::string& path, SystemError& error) override {
        return output_ ? inner_.openForReading(path, error) : inner_.open(path, error);
    }
    std::string freeSpaceLocation(const std::string& path) override {
        return inner_.freeSpaceLocation(output_ ? *output_ : path);
    }
    bool freeSpace(const std::string& location, std::uint64_t& freeBytes, SystemError& error) override {
        return inner_.freeSpace(location, freeBytes, error);
    }
    convert::RewriteResult rewrite(const std::string& path, convert::OpenFile& file, const std::uint8_t* newBytes,
                                   std::uint32_t newLength, const std::uint8_t* original,
                                   std::uint32_t originalLength) override {
        unchanged_ = newLength == originalLength && std::memcmp(newBytes, original, newLength) == 0;
        convert::RewriteResult result;
        if (output_) {
            result.ok = inner_.replaceFile(*output_, newBytes, newLength, result.error);
            return result;
        }
        if (unchanged_) return result;
        return inner_.rewrite(path, file, newBytes, newLength, original, originalLength);
    }

    bool unchanged() const noexcept { return unchanged_; }

private:
    CliFileSystem& inner_;
    const std::string* output_;
    bool unchanged_ = false;
};

// The progress line on a terminal's standard error: "[12/200] path", drawn at most ten
// times a second, and wiped before a file's line is printed and at the end.
class Progress {
public:
    Progress(Console& console, std::size_t total, bool enabled)
        : console_(console), total_(total), enabled_(enabled) {}
    ~Progress() { clear(); }

    void update(std::size_t index, const std::string& path) {
        if (!enabled_) return;
        const auto now = console_.now ? console_.now() : std::chrono::steady_clock::now();
        if (drawn_ && now - lastDrawn_ < std::chrono::milliseconds(100)) return;
        drawn_ = true;
        lastDrawn_ = now;
        std::string text = "[" + std::to_string(index + 1) + "/" + std::to_string(total_) + "] ";
        const std::size_t room = kWidth > text.size() + 3 ? kWidth - text.size() : 3;
        const std::string name = quoteName(path);
        text += name.size() > room ? "..." + name.substr(name.size() - (room - 3)) : name;
        console_.out.flush();
        console_.err << '\r' << text;
        if (text.size() < shownWidth_) console_.err << std::string(shownWidth_ - text.size(), ' ') << '\r' << text;
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

class Run {
public:
    Run(const CliOptions& options, CliFileSystem& fileSystem, Console& console, bool keepMemoryForExit)
        : keepMemoryForExit_(keepMemoryForExit),
          options_(options),
          fileSystem_(fileSystem),
          console_(console),
          progress_(console, options.files.size(),
                    console.errIsTerminal && options.files.size() > 1 && options.verbosity != Verbosity::Quiet) {}

    int convertAll() {
        const std::string* output = options_.hasOutput ? &options_.output : nullptr;
        EngineFileSystem engineFiles(fileSystem_, output);
        auto engine = std::make_unique<convert::ConversionEngine>(engineFiles, options_.runningStatus);
        bool stopped = false;
        for (std::size_t i = 0; i < options_.files.size(); ++i) {
            const std::string& path = options_.files[i];
            if (stopped) {
                print(notProcessedLine(path), true);
                ++tally_.files;
                ++tally_.failed;
                continue;
            }
            progress_.update(i, path);
            const FileOutcome outcome = engine->convert(path);
            LineContext context = contextFor(outcome);
            context.unchanged = outcome.kind == OutcomeKind::Converted && engineFiles.unchanged();
            context.output = output;
            count(outcome, context.unchanged);
            print(conversionLine(path, outcome, context), isFailure(outcome));
            stopped = outcome.endsRun();
        }
        if (keepMemoryForExit_) engineKeptForExit = engine.release();
        return finish(false);
    }

    int checkAll() {
        Inspector inspector(fileSystem_);
        for (std::size_t i = 0; i < options_.files.size(); ++i) {
            const std::string& path = options_.files[i];
            progress_.update(i, path);
            const Inspection inspection = inspector.inspect(path);
            count(inspection.outcome, false);
            if (inspection.outcome.kind == OutcomeKind::Converted) {
                print(checkLine(path, inspection.facts, verbose()), false);
            } else {
                LineContext context = contextFor(inspection.outcome);
                context.check = true;
                print(conversionLine(path, inspection.outcome, context), isFailure(inspection.outcome));
            }
        }
        return finish(true);
    }

private:
    bool verbose() const { return options_.verbosity == Verbosity::Verbose; }

    LineContext contextFor(const FileOutcome& outcome) {
        LineContext context;
        context.verbose = verbose();
        if (outcome.error != 0) {
            context.systemText = fileSystem_.errorText(outcome.error);
            context.lockConflict = fileSystem_.isLockConflict(outcome.error);
        }
        return context;
    }

    void count(const FileOutcome& outcome, bool unchanged) {
        ++tally_.files;
        if (outcome.kind == OutcomeKind::Folder) {
            ++tally_.skipped;
        } else if (isFailure(outcome)) {
            ++tally_.failed;
        } else if (unchanged) {
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
            console_.out << line << '\n';
            return;
        }
        console_.out.flush();
        console_.err << line << '\n';
    }

    int finish(bool check) {
        progress_.clear();
        if (verbose()) {
            console_.out << summaryLine(tally_, check) << '\n';
        }
        console_.out.flush();
        return tally_.failed == 0 ? 0 : 1;
    }

    bool keepMemoryForExit_;
    const CliOptions& options_;
    CliFileSystem& fileSystem_;
    Console& console_;
    Progress progress_;
    RunTally tally_;
};

}  // namespace

int runCli(const std::vector<std::string>& args, CliFileSystem& fileSystem, Console& console,
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
    case Command::UsageError:
        console.err << "quorin-cli: " << parsed.error << "\nTry 'quorin-cli --help' for more information.\n";
        console.err.flush();
        return 2;
    case Command::Run:
        break;
    }
    try {
        Run run(parsed.options, fileSystem, console, keepMemoryForExit);
        return parsed.options.check ? run.checkAll() : run.convertAll();
    } catch (const std::bad_alloc&) {
        console.out.flush();
        console.err << "quorin-cli: out of memory; the run stopped\n";
        console.err.flush();
        return 1;
    }
}

}  // namespace cli
