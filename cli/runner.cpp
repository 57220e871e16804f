// The run of quorin-cli: conversion in place or to --output, or --check, file after file.
#include "cli/runner.h"

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <memory>
#include <new>
#include <vector>

#include "cli/inspect.h"
#include "cli/options.h"
#include "cli/report_lines.h"
#include "engine/conversion_engine.h"

namespace cli {

namespace {

using engine::FileOutcome;
using engine::OutcomeKind;

// Still reachable, so that leak checkers do not count the memory kept for the exit.
engine::ConversionEngine* engineKeptForExit = nullptr;

const std::string kStandardStream = "-";

// Standard input's bytes, read whole, as a file that can only be read.
class MemoryFile final : public engine::OpenFile {
public:
    explicit MemoryFile(std::vector<std::uint8_t> bytes) : bytes_(std::move(bytes)) {}
    bool size(std::uint64_t& bytes, SystemError&) override {
        bytes = bytes_.size();
        return true;
    }
    bool read(std::uint8_t* buffer, std::uint32_t length, std::uint32_t& bytesRead, SystemError&) override {
        bytesRead = static_cast<std::uint32_t>(std::min<std::size_t>(length, bytes_.size() - position_));
        std::memcpy(buffer, bytes_.data() + position_, bytesRead);
        position_ += bytesRead;
        return true;
    }
    bool writeAt(std::uint64_t, const std::uint8_t*, std::uint32_t, std::uint32_t&, SystemError& error) override {
        return refuse(error);
    }
    bool setEnd(std::uint64_t, SystemError& error) override { return refuse(error); }
    bool flush(SystemError& error) override { return refuse(error); }

private:
    static bool refuse(SystemError& error) {
        error = EBADF;
        return false;
    }
    std::vector<std::uint8_t> bytes_;
    std::size_t position_ = 0;
};

// The file system as one run sees it: a FILE of "-" is standard input; the result goes in
// place, to the --output path, or to standard output (an --output of "-", or a FILE of "-"
// without --output).
class RunFileSystem final : public CliFileSystem {
public:
    RunFileSystem(CliFileSystem& inner, const std::string* output) : inner_(inner), output_(output) {}

    // Where the result of path goes: its own place (null), a path, or kStandardStream.
    const std::string* destination(const std::string& path) const {
        if (output_) return output_;
        return path == kStandardStream ? &kStandardStream : nullptr;
    }

    engine::PathKind pathKind(const std::string& path, SystemError& error) override {
        return path == kStandardStream ? engine::PathKind::File : inner_.pathKind(path, error);
    }
    std::unique_ptr<engine::OpenFile> open(const std::string& path, SystemError& error) override {
        return destination(path) ? openForReading(path, error) : inner_.open(path, error);
    }
    std::unique_ptr<engine::OpenFile> openForReading(const std::string& path, SystemError& error) override {
        if (path != kStandardStream) return inner_.openForReading(path, error);
        std::vector<std::uint8_t> bytes;
        if (!inner_.readStandardInput(bytes, error)) return nullptr;
        return std::make_unique<MemoryFile>(std::move(bytes));
    }
    // Standard output has no volume: its location is "" and has room for anything.
    std::string freeSpaceLocation(const std::string& path) override {
        const std::string* target = destination(path);
        if (target && *target == kStandardStream) return std::string();
        return inner_.freeSpaceLocation(target ? *target : path);
    }
    bool freeSpace(const std::string& location, std::uint64_t& freeBytes, SystemError& error) override {
        if (!location.empty()) return inner_.freeSpace(location, freeBytes, error);
        freeBytes = UINT64_MAX;
        return true;
    }
    engine::RewriteResult rewrite(const std::string& path, engine::OpenFile& file, const std::uint8_t* newBytes,
                                   std::uint32_t newLength, const std::uint8_t* original,
                                   std::uint32_t originalLength) override {
        const std::string* target = destination(path);
        if (!target) return inner_.rewrite(path, file, newBytes, newLength, original, originalLength);
        if (*target != kStandardStream) return inner_.replaceFile(*target, newBytes, newLength);
        engine::RewriteResult result;
        result.ok = inner_.writeStandardOutput(newBytes, newLength, result.error);
        result.restored = result.ok;
        return result;
    }

    engine::RewriteResult replaceFile(const std::string& path, const std::uint8_t* data,
                                       std::uint32_t length) override {
        return inner_.replaceFile(path, data, length);
    }
    bool readStandardInput(std::vector<std::uint8_t>& bytes, SystemError& error) override {
        return inner_.readStandardInput(bytes, error);
    }
    bool writeStandardOutput(const std::uint8_t* data, std::uint32_t length, SystemError& error) override {
        return inner_.writeStandardOutput(data, length, error);
    }
    bool isLockConflict(SystemError error) override { return inner_.isLockConflict(error); }
    bool isNotFound(SystemError error) override { return inner_.isNotFound(error); }
    std::string errorText(SystemError error) override { return inner_.errorText(error); }
    std::string linkTarget(const std::string& path) override { return inner_.linkTarget(path); }

private:
    CliFileSystem& inner_;
    const std::string* output_;
};

// How a path or destination is named in the lines: "-" as the stream it stands for.
std::string shownName(const std::string& path, const char* stream) {
    return path == kStandardStream ? stream : path;
}

// The same for a path that was opened or replaced: with where its symbolic links led
// ("song.mid -> /x/song.mid").
std::string reachedName(const std::string& path, const char* stream, CliFileSystem& fileSystem) {
    const std::string target = path == kStandardStream ? std::string() : fileSystem.linkTarget(path);
    return target.empty() ? shownName(path, stream) : path + " -> " + target;
}

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

// True when a result goes to standard output, so that the lines must go elsewhere.
bool resultsToStandardOutput(const CliOptions& options) {
    if (options.check) return false;
    if (options.hasOutput) return options.output == kStandardStream;
    return std::find(options.files.begin(), options.files.end(), kStandardStream) != options.files.end();
}

// The FILE arguments with every pattern replaced by the names it matches (see
// CliFileSystem::expandPattern); a pattern that matches nothing stays, marked in unmatched.
std::vector<std::string> expandPatterns(const std::vector<std::string>& arguments, CliFileSystem& fileSystem,
                                        std::vector<bool>& unmatched) {
    std::vector<std::string> files;
    unmatched.clear();
    std::vector<std::string> names;
    for (const std::string& argument : arguments) {
        const bool pattern = fileSystem.expandPattern(argument, names);
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
    Run(const CliOptions& options, const std::vector<bool>& unmatched, CliFileSystem& fileSystem, Console& console,
        bool keepMemoryForExit)
        : keepMemoryForExit_(keepMemoryForExit),
          options_(options),
          unmatched_(unmatched),
          fileSystem_(fileSystem),
          console_(console),
          lines_(resultsToStandardOutput(options) ? console.err : console.out),
          progress_(console, options.files.size(),
                    console.errIsTerminal && options.files.size() > 1 && options.verbosity != Verbosity::Quiet) {}

    int convertAll() {
        const std::string* output = options_.hasOutput ? &options_.output : nullptr;
        RunFileSystem files(fileSystem_, output);
        const bool fromStandardInput =
            std::find(options_.files.begin(), options_.files.end(), kStandardStream) != options_.files.end();
        // In place, a file that needs no change is done before the free space is asked for.
        const engine::StepOrder order = output || fromStandardInput ? engine::StepOrder::ProbeFirst
                                                                     : engine::StepOrder::UnchangedFirst;
        auto engine = std::make_unique<engine::ConversionEngine>(files, options_.runningStatus, nullptr, order,
                                                                  engine::ReadOrder::HeaderFirst);
        bool stopped = false;
        for (std::size_t i = 0; i < options_.files.size(); ++i) {
            const std::string& path = options_.files[i];
            if (unmatched_[i]) {
                reportNoMatch(path);
                continue;
            }
            stopped = stopped || StopSignals::caught() != 0;
            if (stopped) {
                print(notProcessedLine(shownName(path, "standard input")), true);
                ++tally_.files;
                ++tally_.failed;
                continue;
            }
            progress_.update(i, path);
            const std::string* destination = files.destination(path);
            const bool destinationExisted = !destination || exists(*destination);
            const FileOutcome outcome = engine->convert(path);
            LineContext context = contextFor(outcome);
            context.unchanged = outcome.kind == OutcomeKind::Converted && outcome.unchanged;
            const std::string shownDestination =
                destination ? reachedName(*destination, "standard output", fileSystem_) : "";
            if (destination) context.output = &shownDestination;
            context.outputExisted = destinationExisted;
            count(outcome, context.unchanged);
            print(conversionLine(reachedName(path, "standard input", fileSystem_), outcome, context),
                  isFailure(outcome));
            stopped = outcome.endsRun();
        }
        if (keepMemoryForExit_) engineKeptForExit = engine.release();
        return finish(false);
    }

    int checkAll() {
        RunFileSystem files(fileSystem_, nullptr);
        Inspector inspector(files);
        for (std::size_t i = 0; i < options_.files.size(); ++i) {
            const std::string path = shownName(options_.files[i], "standard input");
            if (unmatched_[i]) {
                reportNoMatch(path);
                continue;
            }
            if (StopSignals::caught() != 0) {
                print(notProcessedLine(path), true);
                ++tally_.files;
                ++tally_.failed;
                continue;
            }
            progress_.update(i, path);
            const Inspection inspection = inspector.inspect(options_.files[i]);
            const std::string reached = reachedName(options_.files[i], "standard input", fileSystem_);
            count(inspection.outcome, false);
            if (inspection.outcome.kind == OutcomeKind::Converted) {
                print(checkLine(reached, inspection.facts, inspection.outcome.summary, verbose()), false);
            } else {
                LineContext context = contextFor(inspection.outcome);
                context.check = true;
                print(conversionLine(reached, inspection.outcome, context), isFailure(inspection.outcome));
            }
        }
        return finish(true);
    }

private:
    bool verbose() const { return options_.verbosity == Verbosity::Verbose; }

    // Whether a destination names something already: standard output ("-") does; a path
    // that cannot be looked at (a loop of links, say) may.
    bool exists(const std::string& destination) {
        if (destination == kStandardStream) return true;
        SystemError error = 0;
        return fileSystem_.pathKind(destination, error) != engine::PathKind::Missing || !fileSystem_.isNotFound(error);
    }

    void reportNoMatch(const std::string& pattern) {
        print(noMatchLine(pattern), true);
        ++tally_.files;
        ++tally_.failed;
    }

    LineContext contextFor(const FileOutcome& outcome) {
        LineContext context;
        context.verbose = verbose();
        if (outcome.error != 0) {
            context.systemText = fileSystem_.errorText(outcome.error);
            context.lockConflict = fileSystem_.isLockConflict(outcome.error);
        } else if (outcome.syncError != 0) {
            context.systemText = fileSystem_.errorText(outcome.syncError);
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
            lines_ << line << '\n';
            return;
        }
        lines_.flush();
        console_.err << line << '\n';
    }

    int finish(bool check) {
        progress_.clear();
        if (verbose()) {
            lines_ << summaryLine(tally_, check) << '\n';
        }
        lines_.flush();
        if (const int signal = StopSignals::caught()) return 128 + signal;
        return tally_.failed == 0 ? 0 : 1;
    }

    bool keepMemoryForExit_;
    const CliOptions& options_;
    const std::vector<bool>& unmatched_;
    CliFileSystem& fileSystem_;
    Console& console_;
    std::ostream& lines_;  // standard error when a result goes to standard output
    Progress progress_;
    RunTally tally_;
};

int usageError(Console& console, const std::string& error) {
    console.err << "quorin-cli: " << error << "\nTry 'quorin-cli --help' for more information.\n";
    console.err.flush();
    return 2;
}

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
        return usageError(console, parsed.error);
    case Command::Run:
        break;
    }
    try {
        CliOptions options = parsed.options;
        std::vector<bool> unmatched;
        options.files = expandPatterns(parsed.options.files, fileSystem, unmatched);
        const std::string countError = fileCountError(options);
        if (!countError.empty()) return usageError(console, countError);
        const StopSignals stopSignals;
        Run run(options, unmatched, fileSystem, console, keepMemoryForExit);
        return options.check ? run.checkAll() : run.convertAll();
    } catch (const std::bad_alloc&) {
        console.out.flush();
        console.err << "quorin-cli: out of memory; the run stopped\n";
        console.err.flush();
        return 1;
    }
}

}  // namespace cli
