// SmfReader: header, chunks and track events, with every acceptance rule of the program.
#include "smf/reader.h"

#include <cstring>
#include <new>

namespace smf {

namespace {

constexpr std::uint32_t kInitialScratch = 256;
constexpr std::uint32_t kMacBinaryRest = 124;   // a MacBinary header is 128 bytes

bool isTag(const std::uint8_t* bytes, const char (&tag)[5]) noexcept {
    return std::memcmp(bytes, tag, 4) == 0;
}

// The lengths that meta events of these types must have; -1 for any length.
int requiredMetaLength(std::uint8_t type) noexcept {
    switch (type) {
    case 0x00: return 2;   // sequence number
    case 0x20: return 1;   // channel prefix
    case 0x2F: return 0;   // End of Track
    case 0x51: return 3;   // set tempo
    case 0x54: return 5;   // SMPTE offset
    case 0x58: return 4;   // time signature
    case 0x59: return 2;   // key signature
    default: return -1;
    }
}

ParseRule varLenRule(VarLenStatus status) noexcept {
    return status == VarLenStatus::TooLong ? ParseRule::VarLenTooLong : ParseRule::VarLenTruncated;
}

}  // namespace

const char* describeParseRule(ParseRule rule) noexcept {
    switch (rule) {
    case ParseRule::None: return "The file is valid";
    case ParseRule::HeaderTooShort: return "The file is shorter than 4 bytes";
    case ParseRule::NotMidiFile: return "The file does not begin with a MIDI header";
    case ParseRule::MacBinaryNotAllowed: return "The file does not begin with a MIDI header and MacBinary is not allowed";
    case ParseRule::MacBinaryTruncated: return "The MacBinary header or the MIDI header behind it is cut off";
    case ParseRule::MacBinaryInvalid: return "The MacBinary header is invalid or not followed by a MIDI header";
    case ParseRule::HeaderLengthMissing: return "The header length is cut off";
    case ParseRule::HeaderLengthTooSmall: return "The header length is below 6";
    case ParseRule::HeaderFieldMissing: return "The header's format, track count or division is cut off";
    case ParseRule::FormatInvalid: return "The format is above 2";
    case ParseRule::DivisionInvalid: return "The division is not a known kind";
    case ParseRule::HeaderExtraTruncated: return "The header is longer than the file";
    case ParseRule::ChunkHeaderTruncated: return "A chunk's type or length is cut off (fewer chunks than declared)";
    case ParseRule::SecondHeaderChunk: return "A second header chunk follows the first";
    case ParseRule::ChunkTruncated: return "A chunk is longer than the rest of the file";
    case ParseRule::EmptyTrack: return "A track chunk has length 0";
    case ParseRule::VarLenTooLong: return "A variable-length quantity has more than 4 bytes";
    case ParseRule::VarLenTruncated: return "A variable-length quantity is cut off by the end of the file";
    case ParseRule::MissingRunningStatus: return "A data byte comes where a status byte is needed";
    case ParseRule::StatusNotAllowed: return "A system common or real-time status occurs in a track";
    case ParseRule::EventTruncated: return "An event runs past the end of the file";
    case ParseRule::MetaTypeInvalid: return "A meta event's type is above 0x80";
    case ParseRule::MetaLengthInvalid: return "A meta event has the wrong length for its type";
    case ParseRule::EndOfTrackMisplaced: return "End of Track does not end the chunk";
    case ParseRule::MissingEndOfTrack: return "A track chunk ends without End of Track";
    case ParseRule::TrackAfterDeclaredChunks: return "A track chunk follows the chunks the header declares";
    }
    return "Unknown rule";
}

SmfReader::SmfReader()
    : scratch_(new std::uint8_t[kInitialScratch]), scratchCapacity_(kInitialScratch) {}

SmfReader::~SmfReader() {
    delete[] scratch_;
}

std::uint32_t SmfReader::take(std::uint32_t n) {
    if (n > scratchCapacity_) {
        const std::uint32_t capacity = n + kInitialScratch < n ? n : n + kInitialScratch;
        std::uint8_t* fresh = new std::uint8_t[capacity];   // old scratch stays until this succeeds
        delete[] scratch_;
        scratch_ = fresh;
        scratchCapacity_ = capacity;
    }
    const std::uint32_t remaining = cursor_.position < cursor_.end ? cursor_.end - cursor_.position : 0;
    const std::uint32_t count = n < remaining ? n : remaining;
    if (count != 0) std::memcpy(scratch_, cursor_.base + cursor_.position, count);
    cursor_.position += count;
    cursor_.lastCount = count;
    return count;
}

bool SmfReader::peek(std::uint8_t& byte) const noexcept {
    if (cursor_.position >= cursor_.end) return false;
    byte = cursor_.base[cursor_.position];
    return true;
}

bool SmfReader::skip(std::uint32_t n) noexcept {
    if (n == 0) {
        cursor_.lastCount = 0;
        return true;
    }
    if (cursor_.position >= cursor_.end) return false;
    const std::uint32_t remaining = cursor_.end - cursor_.position;
    const std::uint32_t count = n < remaining ? n : remaining;
    cursor_.position += count;
    cursor_.lastCount = count;
    return count == n;
}

bool SmfReader::fail(ParseRule rule, std::uint32_t offset) noexcept {
    failure_.rule = rule;
    failure_.offset = offset;
    return false;
}

bool SmfReader::parse(const std::uint8_t* buffer, std::uint32_t length, Song& song,
                      bool allowMacBinary) {
    // 1. Fresh cursor and an empty Song.
    cursor_ = InputCursor{buffer, 0, length, 0};
    target_ = &song;
    declaredTrackCount_ = 0;
    failure_ = ParseFailure{};
    summary_.otherChunks.clear();
    summary_.bytesAfterChunks = 0;
    summary_.runningStatusEvents = 0;
    summary_.macBinary = false;
    song.reset();
    // 2. The header chunk, maybe behind a MacBinary header.
    if (!readHeader(allowMacBinary)) return false;
    // 3. Exactly as many chunks as declared.
    for (std::uint32_t i = 0; i < declaredTrackCount_; ++i) {
        failure_.chunkIndex = i;
        if (!readChunk()) return false;
    }
    // 4. A track chunk right after them would be lost without a word: the header's count
    // must cover every track (other chunks may use up some of its slots).
    const std::uint32_t after = cursor_.end - cursor_.position;
    if (after >= 8 && isTag(cursor_.base + cursor_.position, "MTrk")) {
        failure_.chunkIndex = declaredTrackCount_;
        return fail(ParseRule::TrackAfterDeclaredChunks, cursor_.position);
    }
    summary_.bytesAfterChunks = after;
    failure_.chunkIndex = 0;
    return true;
}

bool SmfReader::readHeader(bool allowMacBinary) {
    Source source(*this);
    // 1-2. "MThd" at the start, or
    if (take(4) < 4) return fail(ParseRule::HeaderTooShort, 0);
    if (!isTag(scratch_, "MThd")) {
        // 3. a MacBinary header: first byte 0, bytes 74 and 82 zero, "MThd" at 128.
        if (!allowMacBinary) return fail(ParseRule::MacBinaryNotAllowed, 0);
        if (scratch_[0] != 0x00) return fail(ParseRule::NotMidiFile, 0);
        if (take(kMacBinaryRest) < kMacBinaryRest) return fail(ParseRule::MacBinaryTruncated, 0);
        if (scratch_[70] != 0x00) return fail(ParseRule::MacBinaryInvalid, 74);
        if (scratch_[78] != 0x00) return fail(ParseRule::MacBinaryInvalid, 82);
        if (take(4) < 4) return fail(ParseRule::MacBinaryTruncated, 128);
        if (!isTag(scratch_, "MThd")) return fail(ParseRule::MacBinaryInvalid, 128);
        summary_.macBinary = true;
    }
    // 4. Header length, at least 6.
    const std::uint32_t lengthAt = cursor_.position;
    std::uint32_t headerLength = 0;
    if (!readBE32(source, headerLength)) return fail(ParseRule::HeaderLengthMissing, lengthAt);
    if (headerLength < 6) return fail(ParseRule::HeaderLengthTooSmall, lengthAt);
    // 5. Format 0 to 2.
    std::uint16_t field = 0;
    if (!readBE16(source, field)) return fail(ParseRule::HeaderFieldMissing, lengthAt + 4);
    if (!target_->setFormat(field)) return fail(ParseRule::FormatInvalid, lengthAt + 4);
    // 6. Declared track count, any value.
    if (!readBE16(source, declaredTrackCount_)) return fail(ParseRule::HeaderFieldMissing, lengthAt + 6);
    // 7. Division of a known kind.
    if (!readBE16(source, field)) return fail(ParseRule::HeaderFieldMissing, lengthAt + 8);
    if (!target_->setDivision(field)) return fail(ParseRule::DivisionInvalid, lengthAt + 8);
    // 8. Extra header bytes are dropped.
    if (headerLength > 6 && !skip(headerLength - 6)) {
        return fail(ParseRule::HeaderExtraTruncated, lengthAt + 10);
    }
    return true;
}

bool SmfReader::readChunk() {
    Source source(*this);
    const std::uint32_t chunkAt = cursor_.position;
    // 1-3. Type (never a second "MThd") and length.
    if (take(4) < 4) return fail(ParseRule::ChunkHeaderTruncated, chunkAt);
    if (isTag(scratch_, "MThd")) return fail(ParseRule::SecondHeaderChunk, chunkAt);
    const bool isTrack = isTag(scratch_, "MTrk");
    std::uint32_t length = 0;
    if (!readBE32(source, length)) return fail(ParseRule::ChunkHeaderTruncated, chunkAt);
    // 4. Other chunks are skipped whole; 5. MTrk becomes a Track.
    if (!isTrack) {
        if (!skip(length)) return fail(ParseRule::ChunkTruncated, chunkAt);
        std::array<char, 4> type;
        std::memcpy(type.data(), cursor_.base + chunkAt, 4);
        summary_.otherChunks.push_back(type);
        return true;
    }
    return readTrack(length, chunkAt);
}

// The event loop works on local copies of the cursor. Each step behaves exactly as the
// cursor primitives would: a delta or length as readVarLen, the status as peek then take
// of one byte, data as skip; only the copying through scratch is left out.
bool SmfReader::readTrack(std::uint32_t length, std::uint32_t chunkAt) {
    // 1-2. A new Track; tick and running status start afresh.
    Track& track = target_->appendTrack();
    const std::uint8_t* const base = cursor_.base;
    const std::uint32_t end = cursor_.end;
    const std::uint32_t chunkStart = cursor_.position;
    std::uint32_t pos = chunkStart;
    std::uint32_t tick = 0;
    std::uint8_t runningStatus = 0;   // 0: none
    // 3. An empty chunk cannot hold End of Track.
    if (length == 0) return fail(ParseRule::EmptyTrack, chunkAt);

    for (;;) {
        // 4. Delta-time.
        std::uint32_t delta = 0;
        if (pos < end && base[pos] < 0x80) {
            delta = base[pos++];
        } else {
            std::uint32_t used = 0;
            const VarLenStatus status = decodeVarLen(base + pos, end - pos, delta, used);
            if (status != VarLenStatus::Ok) return fail(varLenRule(status), pos);
            pos += used;
        }
        tick += delta;

        // 5-6. Status byte, or the running status before a data byte.
        const std::uint32_t eventAt = pos;
        if (pos >= end) return fail(ParseRule::EventTruncated, eventAt);
        std::uint8_t status = base[pos];
        if (status >= 0x80) {
            ++pos;
        } else if (runningStatus == 0) {
            return fail(ParseRule::MissingRunningStatus, eventAt);
        } else {
            status = runningStatus;
            ++summary_.runningStatusEvents;
        }

        // 7-8. The event's data, then a copy of the whole event into the track.
        const std::uint32_t dataStart = pos;
        bool endOfTrack = false;
        if (status < 0xF0) {
            const std::uint32_t dataCount = (status & 0xE0) == 0xC0 ? 1 : 2;
            if (end - pos < dataCount) return fail(ParseRule::EventTruncated, eventAt);
            pos += dataCount;
            track.appendChannelEvent(tick, status, base + dataStart, dataCount);
            runningStatus = status;
        } else {
            if (status == 0xFF) {
                if (pos >= end) return fail(ParseRule::EventTruncated, eventAt);
                const std::uint8_t type = base[pos++];
                if (type > 0x80) return fail(ParseRule::MetaTypeInvalid, pos - 1);
                endOfTrack = type == 0x2F;
                const std::uint32_t lengthAt = pos;
                std::uint32_t dataLength = 0;
                std::uint32_t used = 0;
                const VarLenStatus lengthStatus = decodeVarLen(base + pos, end - pos, dataLength, used);
                if (lengthStatus != VarLenStatus::Ok) return fail(varLenRule(lengthStatus), lengthAt);
                pos += used;
                const int required = requiredMetaLength(type);
                if (required >= 0 && dataLength != static_cast<std::uint32_t>(required)) {
                    return fail(ParseRule::MetaLengthInvalid, lengthAt);
                }
                if (end - pos < dataLength) return fail(ParseRule::EventTruncated, eventAt);
                pos += dataLength;
            } else if (status == 0xF0 || status == 0xF7) {
                std::uint32_t dataLength = 0;
                std::uint32_t used = 0;
                const VarLenStatus lengthStatus = decodeVarLen(base + pos, end - pos, dataLength, used);
                if (lengthStatus != VarLenStatus::Ok) return fail(varLenRule(lengthStatus), pos);
                pos += used;
                if (end - pos < dataLength) return fail(ParseRule::EventTruncated, eventAt);
                pos += dataLength;
            } else {
                return fail(ParseRule::StatusNotAllowed, eventAt);
            }
            // Only bytes that are really in the input are copied: the length was skipped first.
            scratchEvent_.tick = tick;
            scratchEvent_.bytes.assignAt(base + dataStart, pos - dataStart, 1);
            scratchEvent_.bytes.data()[0] = status;
            track.appendEvent(scratchEvent_);
            runningStatus = 0;
        }
        cursor_.position = pos;

        // 9. End of Track must end the chunk exactly; 10. otherwise the chunk must go on.
        const std::uint32_t consumed = pos - chunkStart;
        if (endOfTrack) {
            return consumed == length || fail(ParseRule::EndOfTrackMisplaced, eventAt);
        }
        if (consumed >= length) return fail(ParseRule::MissingEndOfTrack, pos);
    }
}

}  // namespace smf
