// The lines quorin-cli prints: one per file, in English, naming the path and what happened.
#pragma once

#include <cstdint>
#include <string>

#include "engine/conversion_engine.h"
#include "smf/reader.h"

namespace cli {

// name as it is when it holds no hidden character; otherwise quoted for a POSIX shell as
// GNU ls does, hidden characters in $'...' (\n, \t, ... or each byte in octal) and the rest
// in '...', e.g. 'two'$'\n''lines.mid'. Hidden are C0 and C1 controls and DEL (also C1
// as UTF-8), bytes that are not well-formed UTF-8, and the Unicode format characters that
// reorder or hide text (U+202E, which shows "e\u202Edim.exe" as "eexe.mid", U+200B, ...).
// Lines and the terminal stay intact whatever the name holds, the name reads as it is
// stored, and it can be pasted back into a shell.
std::string quoteName(const std::string& name);

// Where a rejected file broke the reader's rules and which rule, e.g.
// "track 2 at offset 0x1F3: End of Track does not end the chunk". Tracks and chunks are
// counted from 1 among the chunks the header declares; offsets are from the file's start.
std::string describeParseFailure(const smf::ParseFailure& failure);

// "96 ticks per quarter note" or "SMPTE 25 frames per second, 40 ticks per frame".
std::string divisionText(std::uint16_t division);

// The reason that a failure's line gives for error: the text of the file system's refusal,
// or the system's own text for its code ("" when it gave none).
std::string reasonText(const engine::FileError& error);

// What the line of one file needs besides the engine's outcome.
struct LineContext {
    std::string reason;                   // reasonText() of outcome.error (or of syncError)
    bool inUse = false;                   // outcome.error is another process's hold on the file
    const std::string* output = nullptr;  // the --output path, if any
    bool outputExisted = true;            // the --output path named something before the run wrote it
    bool verbose = false;
    bool check = false;  // --check: the file was only looked at
};

// True for every outcome that makes the exit status 1 (folders are not failures, a
// conversion whose folder could not be synced is).
bool isFailure(const engine::FileOutcome& outcome) noexcept;

// " (kept after the tracks: chunk XFIH, chunk XFKM; left out: chunk CASM, 12 bytes after the
// last chunk)": what a result written from the song carries over after its tracks, and what
// it lacks; either part alone when the other is empty, "" when both are. A list names the
// first few chunks and counts the rest; chunk type bytes outside printable ASCII (and the
// backslash) appear as \xHH.
std::string keptAndLeftOutText(const smf::ParseSummary& summary);

// The line (without line feed) for one file: converted (with what the result keeps after the
// tracks and leaves out), unchanged, valid (--check: the song's facts, running status now,
// its size with and without it, what a rewrite keeps and leaves out, and when verbose its
// size now), skipped folder, or the failure with its reason. Outcomes that end the run say so.
std::string fileLine(const std::string& path, const engine::FileOutcome& outcome, const LineContext& context);

// For each file after one that ended the run.
std::string notProcessedLine(const std::string& path);

// For a FILE pattern (Windows) that matches no name.
std::string noMatchLine(const std::string& pattern);

// "3 files: 1 converted, 1 unchanged, 0 skipped, 1 failed" (verbose runs end with it).
struct RunTally {
    std::uint64_t files = 0;
    std::uint64_t converted = 0;
    std::uint64_t unchanged = 0;
    std::uint64_t valid = 0;
    std::uint64_t skipped = 0;
    std::uint64_t failed = 0;
};
// "3 files: 2 valid, 1 skipped, 0 failed" after --check.
std::string summaryLine(const RunTally& tally, bool check);

}  // namespace cli
