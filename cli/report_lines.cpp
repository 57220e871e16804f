// Composition of quorin-cli's per-file lines.
#include "cli/report_lines.h"

#include <array>
#include <cstdio>

namespace cli {

using convert::FileOutcome;
using convert::OutcomeKind;

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

bool isControl(char c) {
    return static_cast<unsigned char>(c) < 0x20 || c == 0x7F;
}

// One control character inside $'...'.
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

// ": " + the system's text, or nothing.
std::string because(const LineContext& context) {
    return context.systemText.empty() ? std::string() : ": " + context.systemText;
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
    while (i < name.size() && !isControl(name[i])) ++i;
    if (i == name.size()) return name;
    std::string quoted;
    for (i = 0; i < name.size();) {
        const bool control = isControl(name[i]);
        quoted += control ? "$'" : "'";
        for (; i < name.size() && isControl(name[i]) == control; ++i)
            quoted += control ? escapeControl(name[i]) : name[i] == '\'' ? std::string("'\\''") : std::string(1, name[i]);
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

bool isFailure(const FileOutcome& outcome) noexcept {
    return outcome.kind != OutcomeKind::Converted && outcome.kind != OutcomeKind::Folder;
}

std::string conversionLine(const std::string& path, const FileOutcome& outcome, const LineContext& context) {
    const std::string head = quoteName(path) + ": ";
    const std::string output = context.output ? quoteName(*context.output) : std::string();
    const std::string location = quoteName(outcome.location);
    switch (outcome.kind) {
    case OutcomeKind::Converted: {
        std::string line;
        if (context.output) {
            line = head + (context.unchanged ? "copied unchanged to " : "converted to ") + output + ", " +
                   (context.unchanged ? bytes(outcome.newSize)
                                      : std::to_string(outcome.oldSize) + " -> " + bytes(outcome.newSize));
        } else if (context.unchanged) {
            line = head + "unchanged, " + bytes(outcome.oldSize);
        } else {
            line = head + "converted, " + std::to_string(outcome.oldSize) + " -> " + bytes(outcome.newSize);
        }
        line += keptAndLeftOutText(outcome.summary);
        if (context.verbose && !outcome.location.empty())
            line += " (" + bytes(outcome.freeBytes) + " free in " + location + ")";
        return line;
    }
    case OutcomeKind::Folder:
        return head + "skipped, folder";
    case OutcomeKind::Missing:
        return head + "error: cannot be found" + because(context);
    case OutcomeKind::OpenFailed:
        if (context.lockConflict) return head + "error: in use, locked by another process" + untouched(context);
        return head + "error: cannot be opened" + because(context);
    case OutcomeKind::ReadFailed:
        if (outcome.error == 0) return head + "error: not enough memory to read its " + bytes(outcome.oldSize);
        return head + "error: cannot be read" + because(context);
    case OutcomeKind::TooLarge:
        return head + "error: too large (" + bytes(outcome.oldSize) + "; at most 4294967295 can be read)";
    case OutcomeKind::NotSmf:
        return head + "error: not a valid Standard MIDI File: " + describeParseFailure(outcome.parseFailure) +
               untouched(context);
    case OutcomeKind::OutOfMemory:
        return head + "error: not enough memory to convert it" + untouched(context);
    case OutcomeKind::ProbeFailed:
        return head + "error: the free space in " + location + " cannot be obtained" + because(context) +
               "; left untouched, stopping";
    case OutcomeKind::NotEnoughSpace:
        return head + "error: not enough free space in " + location + " (" + bytes(outcome.freeBytes) +
               " free, more than " + bytes(2ull * outcome.newSize) + " needed); left untouched, stopping";
    case OutcomeKind::WriteFailed:
        if (context.output)
            return head + "error: cannot write " + output + because(context) + "; " + output +
                   (!outcome.restored         ? " holds an incomplete result"
                    : context.outputExisted   ? " was left as it was"
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

std::string checkLine(const std::string& path, const CheckFacts& facts, const smf::ParseSummary& summary,
                      bool verbose) {
    std::string line = quoteName(path) + ": valid Standard MIDI File, format " + std::to_string(facts.format) + ", " +
                       plural(facts.tracks, "track", "tracks") + ", " + divisionText(facts.division) + ", " +
                       plural(facts.events, "event", "events") + ", ";
    if (summary.runningStatusEvents != 0) {
        line += "uses running status (" + plural(summary.runningStatusEvents, "event", "events") + ")";
    } else {
        line += "does not use running status";
    }
    line += "; " + bytes(facts.sizeWithRunningStatus) + " with running status, " +
            bytes(facts.sizeWithoutRunningStatus) + " without" + keptAndLeftOutText(summary);
    if (verbose) {
        line += " (now " + bytes(facts.fileSize);
        if (summary.macBinary) line += ", behind a MacBinary header";
        line += ")";
    }
    return line;
}

std::string summaryLine(const RunTally& tally, bool check) {
    std::string line = plural(tally.files, "file", "files") + ": ";
    if (check) {
        line += std::to_string(tally.converted) + " valid, ";
    } else {
        line += std::to_string(tally.converted) + " converted, " + std::to_string(tally.unchanged) + " unchanged, ";
    }
    return line + std::to_string(tally.skipped) + " skipped, " + std::to_string(tally.failed) + " failed";
}

}  // namespace cli
