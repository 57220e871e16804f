// --check's reading, validation and figures.
#include "cli/inspect.h"

#include <cstring>
#include <memory>
#include <new>
#include <vector>

#include "smf/writer.h"

namespace cli {

using convert::OutcomeKind;

namespace {

std::uint32_t bigEndian32(const std::uint8_t* p) {
    return (std::uint32_t{p[0]} << 24) | (std::uint32_t{p[1]} << 16) | (std::uint32_t{p[2]} << 8) | p[3];
}

// Reads a variable-length quantity of at most 4 bytes at position; false past the end.
bool varLen(const std::uint8_t* data, std::uint32_t length, std::uint32_t& position, std::uint32_t& value) {
    value = 0;
    for (int i = 0; i < 4; ++i) {
        if (position >= length) return false;
        const std::uint8_t byte = data[position++];
        value = (value << 7) | (byte & 0x7Fu);
        if ((byte & 0x80u) == 0) return true;
    }
    return false;
}

// Counts the running-status events of one MTrk chunk's data [position, end).
std::uint64_t countInTrack(const std::uint8_t* data, std::uint32_t end, std::uint32_t position) {
    std::uint64_t count = 0;
    std::uint8_t status = 0;
    while (position < end) {
        std::uint32_t value = 0;
        if (!varLen(data, end, position, value) || position >= end) break;  // the delta-time
        if (data[position] >= 0x80) {
            status = data[position++];
        } else {
            ++count;  // the reader accepted it, so a running status is in force
        }
        if (status < 0xF0) {
            position += (status >= 0xC0 && status <= 0xDF) ? 1 : 2;
            continue;
        }
        if (status == 0xFF) {
            if (position >= end) break;
            const std::uint8_t type = data[position++];
            if (!varLen(data, end, position, value) || value > end - position) break;
            position += value;
            if (type == 0x2F) break;
        } else {  // SysEx 0xF0 or 0xF7
            if (!varLen(data, end, position, value) || value > end - position) break;
            position += value;
        }
        status = 0;
    }
    return count;
}

}  // namespace

std::uint64_t countRunningStatusEvents(const std::uint8_t* data, std::uint32_t length) {
    std::uint32_t position = 0;
    if (length >= 4 && std::memcmp(data, "MThd", 4) != 0) position = 128;  // MacBinary header
    if (length < 14 || position > length - 14) return 0;
    const std::uint32_t headerLength = bigEndian32(data + position + 4);
    const std::uint32_t chunks = (std::uint32_t{data[position + 10]} << 8) | data[position + 11];
    if (headerLength > length - position - 8) return 0;
    position += 8 + headerLength;

    std::uint64_t count = 0;
    for (std::uint32_t i = 0; i < chunks; ++i) {
        if (length - position < 8) break;
        const std::uint32_t chunkLength = bigEndian32(data + position + 4);
        const bool isTrack = std::memcmp(data + position, "MTrk", 4) == 0;
        position += 8;
        const std::uint32_t end = chunkLength > length - position ? length : position + chunkLength;
        if (isTrack) count += countInTrack(data, end, position);
        if (chunkLength > length - position) break;
        position += chunkLength;
    }
    return count;
}

Inspection Inspector::inspect(const std::string& path) {
    Inspection result;
    convert::FileOutcome& outcome = result.outcome;
    SystemError error = 0;
    switch (fileSystem_.pathKind(path, error)) {
    case convert::PathKind::Folder:
        outcome.kind = OutcomeKind::Folder;
        return result;
    case convert::PathKind::Missing:
        outcome.kind = OutcomeKind::Missing;
        outcome.error = error;
        return result;
    case convert::PathKind::File:
        break;
    }
    const std::unique_ptr<convert::OpenFile> file = fileSystem_.openForReading(path, error);
    if (!file) {
        outcome.kind = OutcomeKind::OpenFailed;
        outcome.error = error;
        return result;
    }
    std::unique_ptr<std::uint8_t[]> input;
    std::uint32_t bytesRead = 0;
    if (!convert::readWholeFile(*file, nullptr, input, bytesRead, outcome)) return result;
    result.facts.fileSize = bytesRead;
    return inspectBytes(input.get(), bytesRead, result);
}

Inspection Inspector::inspectBytes(const std::uint8_t* data, std::uint32_t length, Inspection result) {
    convert::FileOutcome& outcome = result.outcome;
    CheckFacts& facts = result.facts;
    try {
        if (!reader_.parse(data, length, song_, true)) {
            outcome.kind = OutcomeKind::NotSmf;
            outcome.parseFailure = reader_.failure();
            song_.reset();
            return result;
        }
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
    facts.runningStatusEvents = countRunningStatusEvents(data, length);
    facts.macBinary = length >= 4 && std::memcmp(data, "MThd", 4) != 0;
    song_.reset();
    outcome.kind = OutcomeKind::Converted;
    return result;
}

}  // namespace cli
