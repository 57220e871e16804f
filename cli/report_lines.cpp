// Composition of quorin-cli's per-file lines.
#include "cli/report_lines.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <iterator>

#include "cli/platform.h"

namespace cli {

using engine::FileOutcome;
using engine::OutcomeKind;
using engine::Refusal;

namespace {

std::string hex(std::uint32_t value) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%X", static_cast<unsigned>(value));
    return text;
}

std::string plural(std::uint64_t count, const char* one, const char* many) {
    return std::to_string(count) + " " + (count == 1 ? one : many);
}

std::string bytes(std::uint64_t count) {
    return plural(count, "byte", "bytes");
}

// Characters that change how the text around them is shown without being seen: soft
// hyphen, bidirectional marks, embeddings, overrides and isolates, zero-width characters,
// line and paragraph separators, invisible operators, byte order mark, annotation and tag
// characters and the other format characters (general category Cf).
struct CodeRange {
    char32_t first, last;
};
constexpr CodeRange kFormatCharacters[] = {
    {0x00AD, 0x00AD},   {0x0600, 0x0605},   {0x061C, 0x061C},   {0x06DD, 0x06DD},   {0x070F, 0x070F},
    {0x0890, 0x0891},   {0x08E2, 0x08E2},   {0x180E, 0x180E},   {0x200B, 0x200F},   {0x2028, 0x202E},
    {0x2060, 0x2064},   {0x2066, 0x206F},   {0xFEFF, 0xFEFF},   {0xFFF9, 0xFFFB},   {0x110BD, 0x110BD},
    {0x110CD, 0x110CD}, {0x13430, 0x1343F}, {0x1BCA0, 0x1BCA3}, {0x1D173, 0x1D17A}, {0xE0001, 0xE0001},
    {0xE0020, 0xE007F},
};

// The character at name[at]: its length in bytes, and whether it must not reach a terminal
// as it is (a C0 or C1 control, DEL, a format character, or a byte that is not part of
// well-formed UTF-8, which is then a character of its own).
struct NameCharacter {
    std::size_t length;
    bool hidden;
};
NameCharacter characterAt(const std::string& name, std::size_t at) {
    const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(name[i]); };
    const unsigned lead = byte(at);
    if (lead < 0x80) return {1, lead < 0x20 || lead == 0x7F};
    // The length and the range of the second byte of each well-formed lead byte (no
    // overlong forms, no surrogates, nothing above U+10FFFF).
    const std::size_t length = lead >= 0xC2 && lead <= 0xDF   ? 2
                               : lead >= 0xE0 && lead <= 0xEF ? 3
                               : lead >= 0xF0 && lead <= 0xF4 ? 4
                                                              : 0;
    const unsigned low = lead == 0xE0 ? 0xA0 : lead == 0xF0 ? 0x90 : 0x80;
    const unsigned high = lead == 0xED ? 0x9F : lead == 0xF4 ? 0x8F : 0xBF;
    if (length == 0 || at + length > name.size() || byte(at + 1) < low || byte(at + 1) > high) return {1, true};
    char32_t code = lead & (0xFFu >> (length + 1));
    for (std::size_t i = 1; i < length; ++i) {
        if ((byte(at + i) & 0xC0) != 0x80) return {1, true};
        code = (code << 6) | (byte(at + i) & 0x3F);
    }
    const bool format = std::any_of(std::begin(kFormatCharacters), std::end(kFormatCharacters),
                                    [&](const CodeRange& range) { return code >= range.first && code <= range.last; });
    return {length, code <= 0x9F || format};
}

// One byte of a hidden character inside $'...'.
std::string escapeControl(char c) {
    switch (c) {
    case '\a': return "\\a";
    case '\b': return "\\b";
    case '\t': return "\\t";
    case '\n': return "\\n";
    case '\v': return "\\v";
    case '\f': return "\\f";
    case '\r': return "\\r";
    default: {
        char text[8];
        std::snprintf(text, sizeof text, "\\%03o", static_cast<unsigned>(static_cast<unsigned char>(c)));
        return text;
    }
    }
}

bool isHeaderRule(smf::ParseRule rule) {
    return rule <= smf::ParseRule::HeaderExtraTruncated;
}

// Rules about a chunk as a whole, before its content is looked at.
bool isChunkRule(smf::ParseRule rule) {
    return rule == smf::ParseRule::ChunkHeaderTruncated || rule == smf::ParseRule::SecondHeaderChunk ||
           rule == smf::ParseRule::ChunkTruncated;
}

// What a failed conversion did to the file; --check never changes anything, so says nothing.
std::string untouched(const LineContext& context) {
    return context.check ? std::string() : "; left untouched";
}

// ": " + the reason, or nothing.
std::string because(const LineContext& context) {
    return context.reason.empty() ? std::string() : ": " + context.reason;
}

// "chunk XFIH, chunk \x00ab and 3 more chunks": the types named (bytes outside printable
// ASCII, and the backslash, as \xHH), then how many more there were; "" for none.
std::string chunkList(const smf::ChunkTypes& types) {
    std::string text;
    for (std::uint32_t i = 0; i < types.named(); ++i) {
        text += i == 0 ? "chunk " : ", chunk ";
        for (const char c : types.first[i]) {
            if (c >= 0x20 && c < 0x7F && c != '\\') {
                text += c;
            } else {
                char escaped[8];
                std::snprintf(escaped, sizeof escaped, "\\x%02X", static_cast<unsigned>(static_cast<unsigned char>(c)));
                text += escaped;
            }
        }
    }
    if (types.count > types.named()) text += " and " + plural(types.count - types.named(), "more chunk", "more chunks");
    return text;
}

}  // namespace

std::string quoteName(const std::string& name) {
    std::size_t i = 0;
    while (i < name.size() && !characterAt(name, i).hidden) i += characterAt(name, i).length;
    if (i == name.size()) return name;
    std::string quoted;
    for (i = 0; i < name.size();) {
        const bool hidden = characterAt(name, i).hidden;
        quoted += hidden ? "$'" : "'";
        for (NameCharacter c; i < name.size() && (c = characterAt(name, i)).hidden == hidden; i += c.length) {
            for (std::size_t b = i; b < i + c.length; ++b)
                quoted += hidden            ? escapeControl(name[b])
                          : name[b] == '\'' ? std::string("'\\''")
                                            : std::string(1, name[b]);
        }
        quoted += '\'';
    }
    return quoted;
}

std::string describeParseFailure(const smf::ParseFailure& failure) {
    std::string where;
    if (isHeaderRule(failure.rule)) {
        where = "header";
    } else if (isChunkRule(failure.rule)) {
        where = "chunk " + std::to_string(failure.chunkIndex + 1ull);
    } else {
        where = "track " + std::to_string(failure.chunkIndex + 1ull);
    }
    return where + " at offset " + hex(failure.offset) + ": " + smf::describeParseRule(failure.rule);
}

std::string keptAndLeftOutText(const smf::ParseSummary& summary) {
    std::string kept;
    if (summary.chunksAfterTracks.count != 0) kept = "kept after the tracks: " + chunkList(summary.chunksAfterTracks);
    std::string leftOut = chunkList(summary.leftOutChunks);
    if (summary.bytesAfterChunks != 0)
        leftOut += (leftOut.empty() ? "" : ", ") + bytes(summary.bytesAfterChunks) + " after the last chunk";
    if (!leftOut.empty()) leftOut = "left out: " + leftOut;
    if (kept.empty() && leftOut.empty()) return std::string();
    return " (" + kept + (kept.empty() || leftOut.empty() ? "" : "; ") + leftOut + ")";
}

std::string divisionText(std::uint16_t division) {
    if ((division & 0x8000u) == 0) return plural(division, "tick", "ticks") + " per quarter note";
    const int frames = -static_cast<int>(static_cast<std::int8_t>(division >> 8));
    return "SMPTE " + std::to_string(frames) + " frames per second, " + plural(division & 0xFFu, "tick", "ticks") +
           " per frame";
}

std::string reasonText(const engine::FileError& error) {
    switch (error.refusal) {
    case Refusal::None: return systemErrorText(error.code);
    case Refusal::NotRegularFile: return "not a regular file";
    case Refusal::UnsafeLink:
        return "not followed: a symbolic link that another user owns, in a sticky folder that anyone may write";
    case Refusal::DanglingLink: return "a symbolic link to a file that does not exist; no file is created through it";
    case Refusal::ForeignOutput:
        return "it belongs to another user and its folder may be written by others; not replaced";
    case Refusal::RestoreTooLarge:
        return "it must be written in place and is larger than the result, so it could not be put back on failure";
    case Refusal::Moved: return "it was moved or replaced meanwhile";
    }
    return std::string();
}

bool isFailure(const FileOutcome& outcome) noexcept {
    if (outcome.kind == OutcomeKind::Converted) return static_cast<bool>(outcome.syncError);
    return outcome.kind != OutcomeKind::Folder && outcome.kind != OutcomeKind::Valid;
}

std::string fileLine(const std::string& path, const FileOutcome& outcome, const LineContext& context) {
    const std::string head = quoteName(path) + ": ";
    const std::string output = context.output ? quoteName(*context.output) : std::string();
    const std::string location = quoteName(outcome.location);
    switch (outcome.kind) {
    case OutcomeKind::Converted: {
        std::string line;
        if (context.output) {
            line = head + (outcome.unchanged ? "copied unchanged to " : "converted to ") + output + ", " +
                   (outcome.unchanged ? bytes(outcome.newSize)
                                      : std::to_string(outcome.oldSize) + " -> " + bytes(outcome.newSize));
        } else if (outcome.unchanged) {
            line = head + "unchanged, " + bytes(outcome.oldSize);
        } else {
            line = head + "converted, " + std::to_string(outcome.oldSize) + " -> " + bytes(outcome.newSize);
        }
        line += keptAndLeftOutText(outcome.summary);
        if (context.verbose && !outcome.location.empty())
            line += " (" + bytes(outcome.freeBytes) + " free in " + location + ")";
        if (outcome.syncError)
            line += "; but its folder could not be synced" + because(context) +
                    ": the file is whole, yet a crash soon after could bring back its former content";
        return line;
    }
    case OutcomeKind::Valid: {
        const engine::SongFacts& facts = outcome.facts;
        const smf::ParseSummary& summary = outcome.summary;
        std::string line = head + "valid Standard MIDI File, format " + std::to_string(facts.format) + ", " +
                           plural(facts.tracks, "track", "tracks") + ", " + divisionText(facts.division) + ", " +
                           plural(facts.events, "event", "events") + ", ";
        if (summary.runningStatusEvents != 0) {
            line += "uses running status (" + plural(summary.runningStatusEvents, "event", "events") + ")";
        } else {
            line += "does not use running status";
        }
        line += "; " + bytes(facts.sizeWithRunningStatus) + " with running status, " +
                bytes(facts.sizeWithoutRunningStatus) + " without" + keptAndLeftOutText(summary);
        if (context.verbose) {
            line += " (now " + bytes(facts.bytesRead);
            if (summary.macBinary) line += ", behind a MacBinary header";
            line += ")";
        }
        return line;
    }
    case OutcomeKind::Folder: return head + "skipped, folder";
    case OutcomeKind::Missing: return head + "error: cannot be found" + because(context);
    case OutcomeKind::OpenFailed:
        if (context.inUse) return head + "error: in use, locked by another process" + untouched(context);
        return head + "error: cannot be opened" + because(context);
    case OutcomeKind::ReadFailed:
        if (!outcome.error) return head + "error: not enough memory to read its " + bytes(outcome.oldSize);
        return head + "error: cannot be read" + because(context);
    case OutcomeKind::TooLarge:
        return head + "error: too large (" + bytes(outcome.oldSize) + "; at most 4294967295 can be read)";
    case OutcomeKind::NotSmf:
        return head + "error: not a valid Standard MIDI File: " + describeParseFailure(outcome.parseFailure) +
               untouched(context);
    case OutcomeKind::OutOfMemory: return head + "error: not enough memory to convert it" + untouched(context);
    case OutcomeKind::ProbeFailed:
        return head + "error: the free space in " + location + " cannot be obtained" + because(context) +
               "; left untouched, stopping";
    case OutcomeKind::NotEnoughSpace:
        return head + "error: not enough free space in " + location + " (" + bytes(outcome.freeBytes) +
               " free, more than " + bytes(2ull * outcome.newSize) + " needed); left untouched, stopping";
    case OutcomeKind::WriteFailed:
        if (context.output)
            return head + "error: cannot write " + output + because(context) + "; " + output +
                   (!outcome.restored       ? " holds an incomplete result"
                    : context.outputExisted ? " was left as it was"
                                            : " was not written");
        return head + "error: cannot be written" + because(context) +
               (outcome.restored ? "; its original content was put back"
                                 : "; its original content could NOT be put back, the file is damaged");
    }
    return head + "error";
}

std::string notProcessedLine(const std::string& path) {
    return quoteName(path) + ": not processed, the run stopped";
}

std::string noMatchLine(const std::string& pattern) {
    return quoteName(pattern) + ": error: no file matches this pattern";
}

std::string summaryLine(const RunTally& tally, bool check) {
    std::string line = plural(tally.files, "file", "files") + ": ";
    if (check) {
        line += std::to_string(tally.valid) + " valid, ";
    } else {
        line += std::to_string(tally.converted) + " converted, " + std::to_string(tally.unchanged) + " unchanged, ";
    }
    return line + std::to_string(tally.skipped) + " skipped, " + std::to_string(tally.failed) + " failed";
}

}  // namespace cli
