// SmfReader: parses a whole Standard MIDI File held in memory into a Song, and decides
// which files are valid. It never opens files and never modifies its input.
#pragma once

#include <array>
#include <cstdint>

#include "smf/byte_order.h"
#include "smf/song.h"

namespace smf {

// The first rule a rejected file broke, for callers that explain rejections. parse()'s
// boolean result is the whole verdict; this is only the reason.
enum class ParseRule : std::uint8_t {
    None = 0,
    HeaderTooShort,       // fewer than 4 bytes
    NotMidiFile,          // no "MThd", and no MacBinary header (bytes 0, 74, 82 zero) before one
    MacBinaryNotAllowed,  // "MThd" missing, MacBinary not allowed
    HeaderLengthMissing,
    HeaderLengthTooSmall,  // below 6
    HeaderFieldMissing,    // format, track count or division cut off
    FormatInvalid,         // above 2
    DivisionInvalid,
    HeaderExtraTruncated,  // fewer bytes than the header's extra length
    ChunkHeaderTruncated,  // fewer than 8 bytes for a chunk's type and length
    SecondHeaderChunk,
    ChunkTruncated,  // a non-MTrk chunk longer than what remains
    EmptyTrack,      // MTrk of length 0
    VarLenTooLong,   // more than 4 bytes
    VarLenTruncated,
    MissingRunningStatus,  // data byte where a status is needed
    StatusNotAllowed,      // 0xF1-0xF6, 0xF8-0xFE
    EventTruncated,        // event data runs past the end of the input
    MetaTypeInvalid,       // above 0x80
    MetaLengthInvalid,     // a type with a required length has another
    EndOfTrackMisplaced,   // End of Track does not end exactly at the chunk's end
    MissingEndOfTrack,     // the chunk's end reached or passed without End of Track
    OutOfMemory,           // std::bad_alloc left parse(); nothing was decided
};

struct ParseFailure {
    ParseRule rule = ParseRule::None;
    // Input offset where the offending byte, field, event or chunk begins (a chunk by its
    // type field, an event by its status byte or, under running status, its first data
    // byte). For MissingEndOfTrack: where the last event read ends.
    std::uint32_t offset = 0;
    std::uint32_t chunkIndex = 0;  // 0-based index among the counted chunks (valid for chunk/track rules)
};

// The types of some chunks, in file order: the first kNamed of them and how many there
// were, so that a file of a million chunks costs no more than one of two.
struct ChunkTypes {
    static constexpr std::uint32_t kNamed = 4;

    // Counts the chunk whose 4 type bytes start at type, and keeps them among the first.
    void add(const std::uint8_t* type) noexcept {
        if (count < kNamed) first[count] = {char(type[0]), char(type[1]), char(type[2]), char(type[3])};
        ++count;
    }
    // How many of first hold a type: count, at most kNamed.
    std::uint32_t named() const noexcept { return count < kNamed ? count : kNamed; }

    std::array<std::array<char, 4>, kNamed> first = {};
    std::uint32_t count = 0;
};

// What a successful parse kept beside the tracks, what the Song does not hold (a result
// written from it leaves that out), and how the tracks were written.
struct ParseSummary {
    ChunkTypes leftOutChunks;               // declared chunks that are not MTrk
    ChunkTypes chunksAfterTracks;           // whole chunks after the declared ones: kept in the Song
    std::uint32_t bytesAfterChunks = 0;     // input bytes after the last whole chunk: left out
    std::uint64_t runningStatusEvents = 0;  // channel events written without their status byte
    bool macBinary = false;                 // a MacBinary header preceded the header chunk
};

// One English sentence for the rule, e.g. "End of Track does not end the chunk".
const char* describeParseRule(ParseRule rule) noexcept;

class SmfReader {
public:
    SmfReader() = default;
    SmfReader(const SmfReader&) = delete;
    SmfReader& operator=(const SmfReader&) = delete;

    // Resets song, then fills it from buffer[0, length). True when the file is valid and
    // song holds all of it; false otherwise (song then holds a partial file: reset or
    // destroy it only). allowMacBinary permits a 128-byte MacBinary header before "MThd".
    // The input is only read, never written.
    //
    // After the chunks the header declares, the whole chunks up to the first thing that is
    // not one go into the song as they are: a whole chunk has 4 type bytes of 0x20-0x7E, not
    // "MThd", and a length that fits in what remains. What follows them (padding, a second
    // header, a chunk cut off by the end, a MacBinary file's resource fork) is left out.
    //
    // Out of memory: std::bad_alloc propagates to the caller; the reader stays usable and
    // song stays safe to reset or destroy.
    bool parse(const std::uint8_t* buffer, std::uint32_t length, Song& song, bool allowMacBinary);

    // Why the last parse() failed; rule None after a successful parse, OutOfMemory after
    // one that threw.
    const ParseFailure& failure() const noexcept { return failure_; }
    // What the last parse() read beyond the Song; complete only after a successful parse.
    const ParseSummary& summary() const noexcept { return summary_; }

private:
    bool readHeader(InputCursor& in, bool allowMacBinary);
    bool readChunk(InputCursor& in);
    void readChunksAfterTracks(InputCursor& in);
    bool readTrack(InputCursor& in, std::uint32_t length, std::uint32_t chunkAt);
    // Checks a SysEx or meta event whose bytes after the status start at in's position and
    // returns where it ends, or 0 after fail(); the caller stores the event.
    std::uint32_t readOtherEvent(InputCursor in, std::uint8_t status, std::uint32_t eventAt);
    // Records the first broken rule; always returns false.
    bool fail(ParseRule rule, std::uint32_t offset) noexcept;
    std::uint32_t failAt(ParseRule rule, std::uint32_t offset) noexcept;  // fail(), then 0

    Song* target_ = nullptr;
    std::uint16_t declaredTrackCount_ = 0;
    ParseFailure failure_;
    ParseSummary summary_;
};

}  // namespace smf
