// --check's reading, validation and figures.
#include "cli/inspect.h"

#include <memory>
#include <new>
#include <vector>

#include "smf/writer.h"

namespace cli {

using engine::OutcomeKind;

Inspection Inspector::inspect(const std::string& path) {
    Inspection result;
    engine::FileOutcome& outcome = result.outcome;
    SystemError error = 0;
    switch (fileSystem_.pathKind(path, error)) {
    case engine::PathKind::Folder:
        outcome.kind = OutcomeKind::Folder;
        return result;
    case engine::PathKind::Missing:
        outcome.kind = OutcomeKind::Missing;
        outcome.error = error;
        return result;
    case engine::PathKind::File:
        break;
    }
    const std::unique_ptr<engine::OpenFile> file = fileSystem_.openForReading(path, error);
    if (!file) {
        outcome.kind = OutcomeKind::OpenFailed;
        outcome.error = error;
        return result;
    }
    std::unique_ptr<std::uint8_t[]> input;
    std::uint32_t bytesRead = 0;
    if (!engine::readWholeFile(*file, nullptr, input, bytesRead, outcome, engine::ReadOrder::HeaderFirst))
        return result;
    result.facts.fileSize = bytesRead;
    return inspectBytes(input.get(), bytesRead, result);
}

Inspection Inspector::inspectBytes(const std::uint8_t* data, std::uint32_t length, Inspection result) {
    engine::FileOutcome& outcome = result.outcome;
    CheckFacts& facts = result.facts;
    try {
        if (!reader_.parse(data, length, song_, true)) {
            outcome.kind = OutcomeKind::NotSmf;
            outcome.parseFailure = reader_.failure();
            song_.reset();
            return result;
        }
        outcome.summary = reader_.summary();
        std::vector<std::uint32_t> trackSizes;
        facts.sizeWithRunningStatus = smf::SmfWriter::planSongSize(song_, true, trackSizes);
        facts.sizeWithoutRunningStatus = smf::SmfWriter::planSongSize(song_, false, trackSizes);
    } catch (const std::bad_alloc&) {
        song_.reset();
        outcome.kind = OutcomeKind::OutOfMemory;
        return result;
    }
    facts.format = song_.format();
    facts.division = song_.division();
    facts.tracks = song_.trackCount();
    for (const smf::Track& track : song_.tracks()) facts.events += track.eventCount();
    song_.reset();
    outcome.kind = OutcomeKind::Converted;
    return result;
}

}  // namespace cli
