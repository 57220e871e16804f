// SmfReader: header, chunks and track events, with every acceptance rule of the program.
#include "smf/reader.h"

#include <cstring>

namespace smf {

namespace {

constexpr std::uint32_t kMacBinarySize = 128;

bool isTag(const std::uint8_t* bytes, const char (&tag)[5]) noexcept {
    return std::memcmp(bytes, tag, 4) == 0;
}

// Type bytes that can begin a chunk after the declared ones: printable ASCII, and not a
// second header.
bool isChunkAfterTracksType(const std::uint8_t* type) noexcept {
    for (int i = 0; i < 4; ++i) {
        if (type[i] < 0x20 || type[i] > 0x7E) return false;
    }
    return !isTag(type, "MThd");
}

// Advances past n bytes; true when all of them were there (always for n == 0).
bool skip(InputCursor& in, std::uint32_t n) noexcept {
    if (in.remaining() < n) {
        in.position = in.end;
        return false;
    }
    in.position += n;
    return true;
}

// The lengths that meta events of these types must have; -1 for any length.
int requiredMetaLength(std::uint8_t type) noexcept {
    switch (type) {
    case 0x00: return 2;  // sequence number
    case 0x20: return 1;  // channel prefix
    case 0x2F: return 0;  // End of Track
    case 0x51: return 3;  // set tempo
    case 0x54: return 5;  // SMPTE offset
    case 0x58: return 4;  // time signature
    case 0x59: return 2;  // key signature
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
    case ParseRule::NotMidiFile: return "The file has neither an MThd header nor a valid MacBinary header";
    case ParseRule::MacBinaryNotAllowed:
        return "The file does not begin with an MThd header (and MacBinary is not allowed)";
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
    case ParseRule::OutOfMemory: return "Memory ran out while the file was read";
    }
    return "Unknown rule";
}

bool SmfReader::fail(ParseRule rule, std::uint32_t offset) noexcept {
    failure_.rule = rule;
    failure_.offset = offset;
    return false;
}

std::uint32_t SmfReader::failAt(ParseRule rule, std::uint32_t offset) noexcept {
    fail(rule, offset);
    return 0;
}

bool SmfReader::parse(const std::uint8_t* buffer, std::uint32_t length, Song& song, bool allowMacBinary) {
    // 1. Fresh cursor and an empty Song; until a verdict, running out of memory is the reason.
    InputCursor in{buffer, 0, length};
    target_ = &song;
    declaredTrackCount_ = 0;
    failure_ = ParseFailure{ParseRule::OutOfMemory, 0, 0};
    summary_ = ParseSummary{};
    song.reset();
    // 2. The header chunk, maybe behind a MacBinary header.
    if (!readHeader(in, allowMacBinary)) return false;
    // 3. Exactly as many chunks as declared.
    for (std::uint32_t i = 0; i < declaredTrackCount_; ++i) {
        failure_.chunkIndex = i;
        if (!readChunk(in)) return false;
    }
    // 4. Whole chunks after them, kept; whatever follows is left out.
    readChunksAfterTracks(in);
    summary_.bytesAfterChunks = in.remaining();
    failure_ = ParseFailure{};
    return true;
}

bool SmfReader::readHeader(InputCursor& in, bool allowMacBinary) {
    // 1-2. "MThd" at the start, or
    if (in.remaining() < 4) return fail(ParseRule::HeaderTooShort, 0);
    if (!isTag(in.base, "MThd")) {
        // 3. a MacBinary header: first byte 0, bytes 74 and 82 zero, "MThd" at 128.
        if (!allowMacBinary) return fail(ParseRule::MacBinaryNotAllowed, 0);
        if (in.base[0] != 0x00 || in.remaining() < kMacBinarySize) return fail(ParseRule::NotMidiFile, 0);
        if (in.base[74] != 0x00) return fail(ParseRule::NotMidiFile, 74);
        if (in.base[82] != 0x00) return fail(ParseRule::NotMidiFile, 82);
        in.position = kMacBinarySize;
        if (in.remaining() < 4 || !isTag(in.base + in.position, "MThd")) {
            return fail(ParseRule::NotMidiFile, kMacBinarySize);
        }
        summary_.macBinary = true;
    }
    in.position += 4;
    // 4. Header length, at least 6.
    const std::uint32_t lengthAt = in.position;
    std::uint32_t headerLength = 0;
    if (!readBE32(in, headerLength)) return fail(ParseRule::HeaderLengthMissing, lengthAt);
    if (headerLength < 6) return fail(ParseRule::HeaderLengthTooSmall, lengthAt);
    // 5. Format 0 to 2.
    std::uint16_t field = 0;
    if (!readBE16(in, field)) return fail(ParseRule::HeaderFieldMissing, lengthAt + 4);
    if (!target_->setFormat(field)) return fail(ParseRule::FormatInvalid, lengthAt + 4);
    // 6. Declared track count, any value.
    if (!readBE16(in, declaredTrackCount_)) return fail(ParseRule::HeaderFieldMissing, lengthAt + 6);
    // 7. Division of a known kind.
    if (!readBE16(in, field)) return fail(ParseRule::HeaderFieldMissing, lengthAt + 8);
    if (!target_->setDivision(field)) return fail(ParseRule::DivisionInvalid, lengthAt + 8);
    // 8. Extra header bytes are dropped.
    return skip(in, headerLength - 6) || fail(ParseRule::HeaderExtraTruncated, lengthAt + 10);
}

bool SmfReader::readChunk(InputCursor& in) {
    const std::uint32_t chunkAt = in.position;
    // 1-3. Type (never a second "MThd") and length.
    if (in.remaining() < 4) return fail(ParseRule::ChunkHeaderTruncated, chunkAt);
    const std::uint8_t* const type = in.base + chunkAt;
    if (isTag(type, "MThd")) return fail(ParseRule::SecondHeaderChunk, chunkAt);
    in.position += 4;
    std::uint32_t length = 0;
    if (!readBE32(in, length)) return fail(ParseRule::ChunkHeaderTruncated, chunkAt);
    // 4. MTrk becomes a Track; 5. other chunks are skipped whole, and named in the summary.
    if (isTag(type, "MTrk")) return readTrack(in, length, chunkAt);
    if (!skip(in, length)) return fail(ParseRule::ChunkTruncated, chunkAt);
    summary_.leftOutChunks.add(type);
    return true;
}

void SmfReader::readChunksAfterTracks(InputCursor& in) {
    // 1. Step over whole chunks, naming them, up to the first thing that is not one.
    const std::uint32_t start = in.position;
    for (;;) {
        const std::uint8_t* const type = in.base + in.position;
        if (in.remaining() < 8 || !isChunkAfterTracksType(type)) break;
        InputCursor next{in.base, in.position + 4, in.end};
        std::uint32_t length = 0;
        readBE32(next, length);
        if (!skip(next, length)) break;
        summary_.chunksAfterTracks.add(type);
        in.position = next.position;
    }
    // 2. One copy of them all into the song.
    target_->setChunksAfterTracks(in.base + start, in.position - start);
}

// SysEx and meta events, apart from the loop so that its channel-message path stays small.
#if defined(__GNUC__)
__attribute__((noinline))
#endif
std::uint32_t
SmfReader::readOtherEvent(InputCursor in, std::uint8_t status, std::uint32_t eventAt) {
    if (status == 0xFF) {
        if (in.remaining() == 0) return failAt(ParseRule::EventTruncated, eventAt);
        const std::uint8_t type = in.base[in.position++];
        if (type > 0x80) return failAt(ParseRule::MetaTypeInvalid, in.position - 1);
        const std::uint32_t lengthAt = in.position;
        std::uint32_t dataLength = 0;
        const VarLenStatus lengthStatus = readVarLen(in, dataLength);
        if (lengthStatus != VarLenStatus::Ok) return failAt(varLenRule(lengthStatus), lengthAt);
        const int required = requiredMetaLength(type);
        if (required >= 0 && dataLength != static_cast<std::uint32_t>(required)) {
            return failAt(ParseRule::MetaLengthInvalid, lengthAt);
        }
        if (!skip(in, dataLength)) return failAt(ParseRule::EventTruncated, eventAt);
    } else if (status == 0xF0 || status == 0xF7) {
        std::uint32_t dataLength = 0;
        const VarLenStatus lengthStatus = readVarLen(in, dataLength);
        if (lengthStatus != VarLenStatus::Ok) return failAt(varLenRule(lengthStatus), in.position);
        if (!skip(in, dataLength)) return failAt(ParseRule::EventTruncated, eventAt);
    } else {
        return failAt(ParseRule::StatusNotAllowed, eventAt);
    }
    return in.position;
}

namespace {

// The fast path of the event loop: common events decoded from a load or two each, without
// a check per byte. A common event is a delta-time of 1 or 2 bytes, then a channel event with
// its status byte or under running status, which a Track keeps as a slot, all of whose 2 to
// 5 bytes lie before the input's end and the chunk's (so that the chunk goes on after it).
class CommonEvents {
public:
    // Events that begin at last or before lie before the ends.
    CommonEvents(const std::uint8_t* at, const std::uint8_t* last, Track& track) noexcept
        : at_(at), last_(last), appender_(track) {}

    // Reads common events as long as they come; returns where the first other event
    // begins (or last_ has been passed).
    const std::uint8_t* read() noexcept {
        for (;;) {
            // As many events as both the input up to last_ and the track's last block surely
            // hold (an event takes at most 5 bytes here), without checking either.
            std::uint32_t budget = appender_.slotRoom();
            const std::uint32_t inputBudget = static_cast<std::uint32_t>(last_ - at_) / 5 + 1;
            if (budget > inputBudget) budget = inputBudget;
            while (budget != 0) {
                if (!readEvent()) return at_;
                --budget;
                // Then the events under its running status, apart for each count of data bytes.
                const bool more = dataCountOf(appender_.lastStatus()) == 1 ? readRunningStatusRun<1>(budget)
                                                                           : readRunningStatusRun<2>(budget);
                if (!more) return at_;
            }
            if (at_ > last_ || appender_.slotRoom() == 0) return at_;
        }
    }

    std::uint32_t tick() const noexcept { return appender_.tick(); }
    std::uint8_t lastStatus() const noexcept { return appender_.lastStatus(); }
    std::uint32_t runningStatusEvents() const noexcept { return runningStatusEvents_; }

private:
    // One common event with its status byte or under running status; false (nothing read)
    // for another.
    bool readEvent() noexcept {
        const std::uint64_t word = loadLittleEndian64(at_);
        const std::uint32_t b1 = static_cast<std::uint32_t>(word >> 8) & 0xFF;
        const std::uint32_t twoDeltaBytes = static_cast<std::uint32_t>(word >> 7) & 1;
        const std::uint32_t delta = shortDelta(static_cast<std::uint32_t>(word), twoDeltaBytes);
        std::uint64_t event = word >> (8 + 8 * twoDeltaBytes);
        // Running status is the status of the event before, when that is a channel event.
        std::uint32_t status = appender_.lastStatus();
        std::uint32_t hasStatus = 0;
        if (event & 0x80) {
            status = static_cast<std::uint32_t>(event) & 0xFF;
            hasStatus = 1;
            event >>= 8;
        }
        const std::uint32_t dataCount = dataCountOf(status);
        const std::uint32_t second = static_cast<std::uint32_t>(event) & 0xFF;
        const std::uint32_t third = static_cast<std::uint32_t>(event >> 8) & (dataCount == 2 ? 0xFF : 0);
        // A third delta-time byte, no channel status (none running included), no slot.
        if ((twoDeltaBytes & (b1 >> 7)) | !isChannelStatus(status) | !Track::Appender::isSlot(delta, second, third)) {
            return false;
        }
        appender_.appendSlot(delta, static_cast<std::uint8_t>(status), second, third, dataCount);
        at_ += 1 + twoDeltaBytes + hasStatus + dataCount;
        runningStatusEvents_ += 1 - hasStatus;
        return true;
    }

    // Common events under the running status of the last event, a channel status with
    // kDataCount data bytes, with or without that status byte, or with another such status
    // byte, at most budget of them. False after an event that is not common; true when the
    // budget is spent or a status byte of another kind comes.
    template <std::uint32_t kDataCount>
    bool readRunningStatusRun(std::uint32_t& budget) noexcept {
        std::uint32_t status = appender_.lastStatus();
        std::uint32_t verdict = appender_.slotVerdict(static_cast<std::uint8_t>(status), kDataCount);
        appender_.beginRun();
        const std::uint8_t* at = at_;
        std::uint32_t left = budget;
        std::uint32_t withStatus = 0;  // events of the run with their status byte
        bool more = true;
        bool pairs = true;  // false after an event with a status byte, until one without
        while (left != 0) {
            // Two events at a time while neither has a status byte: the bytes of the second
            // are loaded for both sizes of the first one's delta-time, before it is known, so
            // that the loads do not wait for each other. Without a status byte an event
            // takes at most 4 bytes.
            while (pairs && left >= 2) {
                const std::uint32_t word = loadLittleEndian32(at);
                const std::uint32_t afterShort = loadLittleEndian32(at + 1 + kDataCount);
                const std::uint32_t afterLong = loadLittleEndian32(at + 2 + kDataCount);
                const std::uint32_t twoDeltaBytes = (word >> 7) & 1;
                const std::uint32_t word2 = twoDeltaBytes ? afterLong : afterShort;
                const std::uint32_t two2 = (word2 >> 7) & 1;
                const std::uint32_t event = word >> (8 + 8 * twoDeltaBytes);
                const std::uint32_t event2 = word2 >> (8 + 8 * two2);
                const std::uint32_t longDelta = word & (0x8078u & (0u - twoDeltaBytes));
                const std::uint32_t longDelta2 = word2 & (0x8078u & (0u - two2));
                const std::uint32_t topBits = kDataCount == 2 ? 0x8080u : 0x80u;  // of the data bytes
                if ((longDelta | longDelta2 | (event & topBits) | (event2 & topBits)) != 0) break;
                const std::uint32_t delta = shortDelta(word, twoDeltaBytes);
                const std::uint32_t delta2 = shortDelta(word2, two2);
                const std::uint32_t dataMask = kDataCount == 2 ? 0xFFFF : 0xFF;
                appender_.appendSlotInRun(delta, static_cast<std::uint8_t>(status), event & dataMask, kDataCount,
                                          verdict);
                appender_.appendSlotInRun(delta2, static_cast<std::uint8_t>(status), event2 & dataMask, kDataCount,
                                          verdict);
                at += 2 + 2 * kDataCount + twoDeltaBytes + two2;
                left -= 2;
            }
            if (left == 0) break;
            // Then one event, whatever it is.
            const std::uint32_t word = loadLittleEndian32(at);
            const std::uint32_t twoDeltaBytes = (word >> 7) & 1;
            const std::uint32_t delta = shortDelta(word, twoDeltaBytes);
            std::uint32_t event = word >> (8 + 8 * twoDeltaBytes);
            // No common event: a third delta-time byte (b1's bit 7), a delta-time of 1024 or
            // more (b0 above 0x87).
            const std::uint32_t longDelta = word & (0x8078u & (0u - twoDeltaBytes));
            const std::uint32_t dataMask = kDataCount == 2 ? 0xFFFF : 0xFF;
            if (event & 0x80) {
                // A status byte: its own status again (the same event as without it), or
                // another channel status of kDataCount data bytes, which the run takes on.
                const std::uint32_t first = event & 0xFF;
                event = loadLittleEndian32(at + 2 + twoDeltaBytes) & dataMask;
                if (first != status) {
                    if (!isChannelStatus(first) || dataCountOf(first) != kDataCount) break;
                    if ((longDelta | (event & 0x8080)) != 0) {
                        more = false;
                        break;
                    }
                    // The rule's verdict on the change, then on the events that repeat it.
                    const std::uint32_t changeVerdict =
                        appender_.slotVerdict(static_cast<std::uint8_t>(first), kDataCount);
                    status = first;
                    verdict = appender_.slotVerdict(static_cast<std::uint8_t>(status), kDataCount);
                    appender_.appendSlotInRun(delta, static_cast<std::uint8_t>(status), event, kDataCount,
                                              changeVerdict);
                } else {
                    if ((longDelta | (event & 0x8080)) != 0) {
                        more = false;
                        break;
                    }
                    appender_.appendSlotInRun(delta, static_cast<std::uint8_t>(status), event, kDataCount, verdict);
                }
                at += 2 + twoDeltaBytes + kDataCount;
                ++withStatus;
                --left;
                pairs = false;
                continue;
            }
            // Or a third byte of the event with bit 7 set.
            if ((longDelta | (kDataCount == 2 ? event & 0x8000 : 0)) != 0) {
                more = false;
                break;
            }
            appender_.appendSlotInRun(delta, static_cast<std::uint8_t>(status), event & dataMask, kDataCount, verdict);
            at += 1 + twoDeltaBytes + kDataCount;
            --left;
            pairs = true;
        }
        appender_.endRun();
        runningStatusEvents_ += budget - left - withStatus;
        budget = left;
        at_ = at;
        return more;
    }

    // The delta-time of 1 byte, or 2 (twoDeltaBytes 1), at the start of word (its first
    // byte in bits 0-7), without a branch between the sizes: two bytes b0 b1 make
    // b0 * 128 + b1 - 0x4000, b0's bit 7 set.
    static std::uint32_t shortDelta(std::uint32_t word, std::uint32_t twoDeltaBytes) noexcept {
        const std::uint32_t b0 = word & 0xFF, b1 = (word >> 8) & 0xFF;
        return b0 + ((b0 * 127 + b1 - 0x4000) & (0u - twoDeltaBytes));
    }
    static bool isChannelStatus(std::uint32_t status) noexcept { return status - 0x80 < 0x70; }
    static std::uint32_t dataCountOf(std::uint32_t status) noexcept { return (status & 0xE0) == 0xC0 ? 1 : 2; }

    const std::uint8_t* at_;
    const std::uint8_t* const last_;
    Track::Appender appender_;
    std::uint32_t runningStatusEvents_ = 0;
};

// Reads the common events (CommonEvents) from in's position on, as long as they come, moves
// tick, runningStatus and runningStatusEvents past them and returns where the event after
// them begins, which the caller reads the general way. fastEnd is the nearer of the chunk's
// end and the input's.
//
// Apart from the caller's loop, so that its state fits in registers. GCC's straight-line
// vectoriser would pack that state into vector registers and back on every event, and its
// path splitting (at -O3, the Windows build's level) duplicates the loops' joins and made
// the parse 10 to 20 % slower: both stay off here.
#if defined(__GNUC__) && !defined(__clang__)
__attribute__((noinline, optimize("no-tree-slp-vectorize", "no-split-paths")))
#elif defined(__GNUC__)
__attribute__((noinline))
#endif
std::uint32_t
readCommonEvents(InputCursor in, std::uint32_t fastEnd, Track& track, std::uint32_t& tick, std::uint8_t& runningStatus,
                 std::uint64_t& runningStatusEvents) noexcept {
    if (fastEnd - in.position < 8) return in.position;
    const std::uint8_t* const first = in.base + in.position;
    CommonEvents events(first, in.base + (fastEnd - 8), track);
    const std::uint8_t* const at = events.read();
    if (at == first) return in.position;
    tick = events.tick();
    runningStatus = events.lastStatus();  // a channel status: no other event was read here
    runningStatusEvents += events.runningStatusEvents();
    return static_cast<std::uint32_t>(at - in.base);
}

}  // namespace

// The event loop works on a local copy of the cursor, so that the position stays in
// registers. It hands the common events to readCommonEvents and reads every other event
// itself; everything else it calls is inlined into it.
#if defined(__GNUC__)
__attribute__((flatten))
#endif
bool SmfReader::readTrack(InputCursor& cursor, std::uint32_t length, std::uint32_t chunkAt) {
    // 1-2. A new Track, its storage sized for the chunk; tick and running status start afresh.
    Track& track = target_->appendTrack();
    InputCursor in = cursor;
    track.expectEventBytes(length < in.remaining() ? length : in.remaining());
    const std::uint64_t chunkEnd = std::uint64_t{in.position} + length;  // may lie past the input
    std::uint32_t tick = 0;
    std::uint8_t runningStatus = 0;  // 0: none
    std::uint64_t runningStatusEvents = 0;
    // 3. An empty chunk cannot hold End of Track.
    if (length == 0) return fail(ParseRule::EmptyTrack, chunkAt);

    // Events that lie wholly before fastEnd - 8 are before the chunk's end and the input's.
    const std::uint32_t fastEnd = chunkEnd < in.end ? static_cast<std::uint32_t>(chunkEnd) : in.end;
    for (;;) {
        // The common events at once; then the one after them, whatever it is.
        in.position = readCommonEvents(in, fastEnd, track, tick, runningStatus, runningStatusEvents);

        // 4. Delta-time.
        std::uint32_t delta = 0;
        const VarLenStatus deltaStatus = readVarLen(in, delta);
        if (deltaStatus != VarLenStatus::Ok) return fail(varLenRule(deltaStatus), in.position);
        tick += delta;

        // 5-6. Status byte, or the running status before a data byte.
        const std::uint32_t eventAt = in.position;
        if (in.remaining() == 0) return fail(ParseRule::EventTruncated, eventAt);
        std::uint8_t status = in.base[in.position];
        if (status >= 0x80) {
            ++in.position;
        } else if (runningStatus == 0) {
            return fail(ParseRule::MissingRunningStatus, eventAt);
        } else {
            status = runningStatus;
            ++runningStatusEvents;
        }

        // 7-8. The event's data, then a copy of the whole event, status first, into the
        // track. Only bytes that are really in the input are ever copied.
        const std::uint32_t dataStart = in.position;
        bool endOfTrack = false;
        if (status < 0xF0) {
            const std::uint32_t dataCount = (status & 0xE0) == 0xC0 ? 1 : 2;
            if (!skip(in, dataCount)) return fail(ParseRule::EventTruncated, eventAt);
            // One append per data count, so that each copies a constant number of bytes.
            if (dataCount == 2) {
                track.appendEvent(tick, status, in.base + dataStart, 2);
            } else {
                track.appendEvent(tick, status, in.base + dataStart, 1);
            }
            runningStatus = status;
        } else {
            // By value: the loop's own cursor is never passed by address, so it stays in registers.
            const std::uint32_t eventEnd = readOtherEvent(in, status, eventAt);
            if (eventEnd == 0) return false;
            track.appendEvent(tick, status, in.base + dataStart, eventEnd - dataStart);
            endOfTrack = status == 0xFF && in.base[dataStart] == 0x2F;
            in.position = eventEnd;
            runningStatus = 0;
        }

        // 9. End of Track must end the chunk exactly; 10. otherwise the chunk must go on.
        if (endOfTrack) {
            if (in.position != chunkEnd) return fail(ParseRule::EndOfTrackMisplaced, eventAt);
            cursor.position = in.position;
            summary_.runningStatusEvents += runningStatusEvents;
            return true;
        }
        if (in.position >= chunkEnd) return fail(ParseRule::MissingEndOfTrack, in.position);
    }
}

}  // namespace smf
