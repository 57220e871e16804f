// The per-file conversion sequence.
#include "engine/conversion_engine.h"

#include <cstring>
#include <limits>
#include <memory>
#include <new>

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
bool readFully(OpenFile& file, std::uint8_t* buffer, std::uint32_t length, std::uint32_t& bytesRead,
               SystemError& error) {
    while (bytesRead < length) {
        std::uint32_t got = 0;
        if (!file.read(buffer + bytesRead, length - bytesRead, got, error)) return false;
        if (got == 0) break;  // end of file: parse what was there
        bytesRead += got;
    }
    return true;
}

}  // namespace

ConversionEngine::ConversionEngine(FileSystem& fileSystem, bool runningStatus, InputAllocator allocate,
                                   StepOrder order, ReadOrder read)
    : fileSystem_(fileSystem),
      runningStatus_(runningStatus),
      allocate_(allocate ? allocate : allocateWithNew),
      order_(order),
      read_(read) {}

ConversionEngine::~ConversionEngine() = default;

void ConversionEngine::releaseOutput() noexcept {
    output_.resize(0);
}

FileOutcome ConversionEngine::convert(const std::string& path, ConversionListener* listener) {
    FileOutcome outcome;
    SystemError error = 0;
    switch (fileSystem_.pathKind(path, error)) {
    case PathKind::Folder:
        outcome.kind = OutcomeKind::Folder;
        return outcome;
    case PathKind::Missing:
        outcome.kind = OutcomeKind::Missing;
        outcome.error = error;
        return outcome;
    case PathKind::File:
        break;
    }
    if (listener) listener->fileStarted(path);

    // Declared in this order so that the block is freed before the file is closed.
    std::unique_ptr<OpenFile> file = fileSystem_.open(path, error);
    std::unique_ptr<std::uint8_t[]> input;
    if (file) {
        outcome = convertOpenFile(path, *file, input);
    } else {
        outcome.kind = OutcomeKind::OpenFailed;
        outcome.error = error;
    }
    if (listener) listener->fileFinished(path, outcome);
    return outcome;
}

bool readWholeFile(OpenFile& file, InputAllocator allocate, std::unique_ptr<std::uint8_t[]>& input,
                   std::uint32_t& bytesRead, FileOutcome& outcome, ReadOrder order) {
    SystemError error = 0;
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

FileOutcome ConversionEngine::convertOpenFile(const std::string& path, OpenFile& file,
                                              std::unique_ptr<std::uint8_t[]>& input) {
    FileOutcome outcome;
    std::uint32_t bytesRead = 0;
    if (!readWholeFile(file, allocate_, input, bytesRead, outcome, read_)) return outcome;
    return convertBytes(path, file, input.get(), bytesRead, outcome);
}

bool ConversionEngine::probe(const std::string& path, FileOutcome& outcome) {
    SystemError error = 0;
    outcome.location = fileSystem_.freeSpaceLocation(path);
    std::uint64_t freeBytes = 0;
    if (!fileSystem_.freeSpace(outcome.location, freeBytes, error)) {
        outcome.kind = OutcomeKind::ProbeFailed;
        outcome.error = error;
        return false;
    }
    outcome.freeBytes = freeBytes;
    return true;
}

FileOutcome ConversionEngine::convertBytes(const std::string& path, OpenFile& file, const std::uint8_t* input,
                                           std::uint32_t length, FileOutcome outcome) {
    // 3. Parse (MacBinary header allowed).
    try {
        if (!reader_.parse(input, length, song_, true)) {
            outcome.kind = OutcomeKind::NotSmf;
            outcome.parseFailure = reader_.failure();
            song_.reset();
            return outcome;
        }
        outcome.summary = reader_.summary();
    } catch (const std::bad_alloc&) {
        song_.reset();
        outcome.kind = OutcomeKind::OutOfMemory;
        return outcome;
    }
    // 4. Free space where the new bytes will go (after step 5 when unchanged files come first).
    if (order_ == StepOrder::ProbeFirst && !probe(path, outcome)) return outcome;
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
        if (!probe(path, outcome)) return outcome;
    }
    // 6. The room rule, then the rewrite.
    if (!enoughSpace(outcome.freeBytes, outcome.newSize)) {
        outcome.kind = OutcomeKind::NotEnoughSpace;
        return outcome;
    }
    const RewriteResult rewritten =
        fileSystem_.rewrite(path, file, output_.data(), output_.length(), input, length);
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
