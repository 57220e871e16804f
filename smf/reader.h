// SmfReader: parses a whole Standard MIDI File held in memory into a Song, and decides
// which files are valid. It never opens files and never modifies its input.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "smf/byte_order.h"
#include "smf/song.h"

namespace smf {

// The first rule a rejected file broke, for callers that explain rejections. parse()'s
// boolean result is the whole verdict; this is only the reason.
enum class ParseRule : std::uint8_t {
    None = 0,
    HeaderTooShort,          // fewer than 4 bytes
    NotMidiFile,             // no "MThd" and no acceptable MacBinary header
    MacBinaryNotAllowed,     // "MThd" missing, MacBinary not allowed
    MacBinaryTruncated,      // fewer than 128 + 4 bytes behind a MacBinary first byte
    MacBinaryInvalid,        // byte 74 or 82 not 0, or no "MThd" at offset 128
    HeaderLengthMissing,
    HeaderLengthTooSmall,    // below 6
    HeaderFieldMissing,      // format, track count or division cut off
    FormatInvalid,           // above 2
    DivisionInvalid,
    HeaderExtraTruncated,    // fewer bytes than the header's extra length
    ChunkHeaderTruncated,    // fewer than 8 bytes for a chunk's type and length
    SecondHeaderChunk,
    ChunkTruncated,          // a non-MTrk chunk longer than what remains
    EmptyTrack,              // MTrk of length 0
    VarLenTooLong,           // more than 4 bytes
    VarLenTruncated,
    MissingRunningStatus,    // data byte where a status is needed
    StatusNotAllowed,        // 0xF1-0xF6, 0xF8-0xFE
    EventTruncated,          // event data runs past the end of the input
    MetaTypeInvalid,         // above 0x80
    MetaLengthInvalid,       // a type with a required length has another
    EndOfTrackMisplaced,     // End of Track does not end exactly at the chunk's end
    MissingEndOfTrack,       // the chunk's end reached or passed without End of Track
    TrackAfterDeclaredChunks,  // an "MTrk" chunk header follows the declared chunks
};

struct ParseFailure {
    ParseRule rule = ParseRule::None;
    // Input offset where the offending byte, field, event or chunk begins (a chunk by its
    // type field, an event by its status byte or, under running status, its first data
    // byte). For MissingEndOfTrack: where the last event read ends.
    std::uint32_t offset = 0;
    std::uint32_t chunkIndex = 0;  // 0-based index among the counted chunks (valid for chunk/track rules)
};

// What a successful parse read that the Song does not hold, and how the tracks were written.
struct ParseSummary {
    std::vector<std::array<char, 4>> otherChunks;  // types of declared chunks that are not MTrk, file order
    std::uint32_t bytesAfterChunks = 0;            // input bytes after the last declared chunk
    std::uint64_t runningStatusEvents = 0;         // channel events written without their status byte
    bool macBinary = false;                        // a MacBinary header preceded the header chunk
};

// One English sentence for the rule, e.g. "End of Track does not end the chunk".
const char* describeParseRule(ParseRule rule) noexcept;

class SmfReader {
public:
    SmfReader();
    SmfReader(const SmfReader&) = delete;
    SmfReader& operator=(const SmfReader&) = delete;
    ~SmfReader();

    // Resets song, then fills it from buffer[0, length). True when the file is valid and
    // song holds all of it; false otherwise (song then holds a partial file: reset or
    // destroy it only). allowMacBinary permits a 128-byte MacBinary header before "MThd".
    // The input is only read, never written.
    //
    // Out of memory: std::bad_alloc propagates to the caller; the reader stays usable and
    // song stays safe to reset or destroy.
    bool parse(const std::uint8_t* buffer, std::uint32_t length, Song& song, bool allowMacBinary);

    // Why the last parse() failed; rule None after a successful parse.
    const ParseFailure& failure() const noexcept { return failure_; }
    // What the last parse() read beyond the Song; complete only after a successful parse.
    const ParseSummary& summary() const noexcept { return summary_; }

    std::uint16_t declaredTrackCount() const noexcept { return declaredTrackCount_; }

private:
    // Where reading stands in the caller's buffer.
    struct InputCursor {
        const std::uint8_t* base = nullptr;
        std::uint32_t position = 0;
        std::uint32_t end = 0;
        std::uint32_t lastCount = 0;   // bytes moved by the last take or skip
    };

    // The reads of byte_order.h draw their bytes through take().
    class Source final : public ByteSource {
    public:
        explicit Source(SmfReader& reader) : reader_(reader) {}
        std::uint32_t take(std::uint32_t n) override { return reader_.take(n); }
        const std::uint8_t* lastTaken() const override { return reader_.scratch_; }
    private:
        SmfReader& reader_;
    };

    // Copies min(n, remaining) bytes to scratch and advances past them; returns the count.
    std::uint32_t take(std::uint32_t n);
    // The byte at the position, without advancing; false at the end.
    bool peek(std::uint8_t& byte) const noexcept;
    // Advances by min(n, remaining); true when all n bytes were there (always for n == 0).
    bool skip(std::uint32_t n) noexcept;

    bool readHeader(bool allowMacBinary);
    bool readChunk();
    bool readTrack(std::uint32_t length, std::uint32_t chunkAt);
    // Records the first broken rule; always returns false.
    bool fail(ParseRule rule, std::uint32_t offset) noexcept;

    InputCursor cursor_;
    Song* target_ = nullptr;
    std::uint8_t* scratch_ = nullptr;
    std::uint32_t scratchCapacity_ = 0;
    std::uint16_t declaredTrackCount_ = 0;
    ParseFailure failure_;
    ParseSummary summary_;
    // SysEx and meta events are assembled here before a copy goes into the track; its
    // storage settles at the largest such event seen.
    TrackEvent scratchEvent_;
};

}  // namespace smf
