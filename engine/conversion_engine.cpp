// The per-file conversion sequence.
#include "engine/conversion_engine.h"

#include <cstring>
#include <limits>
#include <memory>
#include <new>
#include <vector>

#include "engine/free_space.h"

namespace engine {

namespace {

std::uint8_t* allocateWithNew(std::uint32_t size) {
    return new (std::nothrow) std::uint8_t[size];
}

// Enough bytes for the reader to decide on a header chunk behind a MacBinary header.
constexpr std::uint32_t kHeaderBytes = 128 + 14;

// True when head, the first kHeaderBytes of a longer file, already breaks a header rule
// that no later byte can mend (the rules before the header's extra bytes).
bool headerRulesOut(const std::uint8_t* head) {
    try {
        smf::SmfReader reader;
        smf::Song song;
        if (reader.parse(head, kHeaderBytes, song, true)) return false;
        const smf::ParseRule rule = reader.failure().rule;
        return rule >= smf::ParseRule::HeaderTooShort && rule < smf::ParseRule::HeaderExtraTruncated;
    } catch (const std::bad_alloc&) {
        return false;
    }
}

// Reads until length bytes are in buffer or the file ends; false (error set) on failure.
bool readFully(InputFile& file, std::uint8_t* buffer, std::uint32_t length, std::uint32_t& bytesRead,
               FileError& error) {
    while (bytesRead < length) {
        std::uint32_t got = 0;
        if (!file.read(buffer + bytesRead, length - bytesRead, got, error)) return false;
        if (got == 0) break;  // end of file: parse what was there
        bytesRead += got;
    }
    return true;
}

}  // namespace

ConversionEngine::ConversionEngine(FileSystem& fileSystem, bool runningStatus, InputAllocator allocate, StepOrder order,
                                   ReadOrder read)
    : fileSystem_(fileSystem),
      runningStatus_(runningStatus),
      allocate_(allocate ? allocate : allocateWithNew),
      order_(order),
      read_(read) {}

ConversionEngine::~ConversionEngine() = default;

void ConversionEngine::releaseOutput() noexcept {
    output_.resize(0);
}

bool ConversionEngine::isFile(const std::string& path, FileOutcome& outcome) {
    switch (fileSystem_.pathKind(path, outcome.error)) {
    case PathKind::Folder:
        outcome.kind = OutcomeKind::Folder;
        outcome.error = FileError();
        return false;
    case PathKind::Missing: outcome.kind = OutcomeKind::Missing; return false;
    case PathKind::File: outcome.error = FileError(); return true;
    }
    return true;
}

FileOutcome ConversionEngine::convert(const std::string& path, ConversionListener* listener) {
    FileOutcome outcome;
    if (!isFile(path, outcome)) return outcome;
    if (listener) listener->fileStarted(path);
    // Still held while the listener hears how it ended.
    const std::unique_ptr<HeldFile> file = fileSystem_.open(path, outcome.error);
    if (file) {
        outcome = convertFile(path, file->content(), file.get());
    } else {
        outcome.kind = OutcomeKind::OpenFailed;
    }
    if (listener) listener->fileFinished(path, outcome);
    return outcome;
}

std::unique_ptr<InputFile> ConversionEngine::openForReading(const std::string& path, FileOutcome& outcome) {
    if (!isFile(path, outcome)) return nullptr;
    std::unique_ptr<InputFile> file = fileSystem_.openForReading(path, outcome.error);
    if (!file) outcome.kind = OutcomeKind::OpenFailed;
    return file;
}

FileOutcome ConversionEngine::convertTo(const std::string& path, const std::string& destination) {
    FileOutcome outcome;
    const std::unique_ptr<InputFile> file = openForReading(path, outcome);
    return file ? convertFile(destination, *file, nullptr) : outcome;
}

FileOutcome ConversionEngine::check(const std::string& path) {
    FileOutcome outcome;
    const std::unique_ptr<InputFile> file = openForReading(path, outcome);
    if (!file) return outcome;
    std::unique_ptr<std::uint8_t[]> input;
    std::uint32_t bytesRead = 0;
    if (!readWholeFile(*file, allocate_, input, bytesRead, outcome, read_) || !parse(input.get(), bytesRead, outcome))
        return outcome;
    SongFacts& facts = outcome.facts;
    try {
        std::vector<std::uint32_t> trackSizes;
        facts.sizeWithRunningStatus = smf::SmfWriter::planSongSize(song_, true, trackSizes);
        facts.sizeWithoutRunningStatus = smf::SmfWriter::planSongSize(song_, false, trackSizes);
    } catch (const std::bad_alloc&) {
        song_.reset();
        outcome.kind = OutcomeKind::OutOfMemory;
        return outcome;
    }
    facts.format = song_.format();
    facts.division = song_.division();
    facts.tracks = song_.trackCount();
    for (const smf::Track& track : song_.tracks()) facts.events += track.eventCount();
    facts.bytesRead = bytesRead;
    song_.reset();
    outcome.kind = OutcomeKind::Valid;
    return outcome;
}

bool readWholeFile(InputFile& file, InputAllocator allocate, std::unique_ptr<std::uint8_t[]>& input,
                   std::uint32_t& bytesRead, FileOutcome& outcome, ReadOrder order) {
    FileError error;
    // 1. Size, 64 bits wide: anything from 4 GiB up is never read.
    std::uint64_t size = 0;
    if (!file.size(size, error)) {
        outcome.kind = OutcomeKind::ReadFailed;
        outcome.error = error;
        return false;
    }
    outcome.oldSize = size;
    if (size > std::numeric_limits<std::uint32_t>::max()) {
        outcome.kind = OutcomeKind::TooLarge;
        return false;
    }
    // 2. HeaderFirst: the first bytes, and no more when they rule the file out.
    auto length = static_cast<std::uint32_t>(size);
    std::uint8_t head[kHeaderBytes];
    std::uint32_t headRead = 0;
    bytesRead = 0;
    if (order == ReadOrder::HeaderFirst && length > kHeaderBytes) {
        if (!readFully(file, head, kHeaderBytes, headRead, error)) {
            outcome.kind = OutcomeKind::ReadFailed;
            outcome.error = error;
            return false;
        }
        if (headRead < kHeaderBytes || headerRulesOut(head)) length = headRead;
    }
    // 3. The whole file in one block of exactly its size.
    input.reset((allocate ? allocate : allocateWithNew)(length));
    if (!input) {
        outcome.kind = OutcomeKind::ReadFailed;
        return false;
    }
    std::memcpy(input.get(), head, headRead);
    bytesRead = headRead;
    if (!readFully(file, input.get(), length, bytesRead, error)) {
        outcome.kind = OutcomeKind::ReadFailed;
        outcome.error = error;
        return false;
    }
    return true;
}

bool ConversionEngine::probe(const std::string& target, FileOutcome& outcome) {
    outcome.location = fileSystem_.freeSpaceLocation(target);
    std::uint64_t freeBytes = 0;
    if (!fileSystem_.freeSpace(outcome.location, freeBytes, outcome.error)) {
        outcome.kind = OutcomeKind::ProbeFailed;
        return false;
    }
    outcome.freeBytes = freeBytes;
    return true;
}

bool ConversionEngine::parse(const std::uint8_t* input, std::uint32_t length, FileOutcome& outcome) {
    try {
        if (reader_.parse(input, length, song_, true)) {
            outcome.summary = reader_.summary();
            return true;
        }
        outcome.kind = OutcomeKind::NotSmf;
        outcome.parseFailure = reader_.failure();
    } catch (const std::bad_alloc&) {
        outcome.kind = OutcomeKind::OutOfMemory;
    }
    song_.reset();
    return false;
}

FileOutcome ConversionEngine::convertFile(const std::string& target, InputFile& file, HeldFile* held) {
    // 1. and 2. The file's bytes, in a block freed before the file is closed.
    FileOutcome outcome;
    std::unique_ptr<std::uint8_t[]> block;
    std::uint32_t length = 0;
    if (!readWholeFile(file, allocate_, block, length, outcome, read_)) return outcome;
    const std::uint8_t* const input = block.get();
    // 3. Parse (MacBinary header allowed).
    if (!parse(input, length, outcome)) return outcome;
    // 4. Free space where the new bytes will go (after step 5 when unchanged files come first).
    if (order_ == StepOrder::ProbeFirst && !probe(target, outcome)) return outcome;
    // 5. The new bytes.
    try {
        outcome.newSize = smf::SmfWriter().writeSong(song_, output_, runningStatus_);
    } catch (const std::bad_alloc&) {
        song_.reset();
        output_.resize(0);
        outcome.kind = OutcomeKind::OutOfMemory;
        return outcome;
    }
    outcome.unchanged = outcome.newSize == length && std::memcmp(output_.data(), input, length) == 0;
    if (order_ == StepOrder::UnchangedFirst) {
        if (outcome.unchanged) {
            outcome.kind = OutcomeKind::Converted;
            return outcome;
        }
        if (!probe(target, outcome)) return outcome;
    }
    // 6. The room rule, then the rewrite.
    if (!enoughSpace(outcome.freeBytes, outcome.newSize)) {
        outcome.kind = OutcomeKind::NotEnoughSpace;
        return outcome;
    }
    const RewriteResult rewritten = held ? held->rewrite(output_.data(), output_.length(), input, length)
                                         : fileSystem_.replaceFile(target, output_.data(), output_.length());
    if (!rewritten.ok) {
        outcome.kind = OutcomeKind::WriteFailed;
        outcome.error = rewritten.error;
        outcome.restored = rewritten.restored;
        return outcome;
    }
    outcome.kind = OutcomeKind::Converted;
    outcome.syncError = rewritten.syncError;
    return outcome;
}

}  // namespace engine
