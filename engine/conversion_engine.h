// ConversionEngine: the sequence that rewrites one Standard MIDI File with or without
// running status (kind of path, open, size, read, parse, free space, write, room rule,
// rewrite), or looks at one (check), shared by the Windows program and the command-line
// program.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "engine/file_system.h"
#include "smf/byte_buffer.h"
#include "smf/reader.h"
#include "smf/song.h"
#include "smf/writer.h"

namespace engine {

enum class OutcomeKind : std::uint8_t {
    Converted,       // the result is in place (or at the destination); unchanged: the file already held it
    Valid,           // check(): the file is a valid Standard MIDI File (facts filled in)
    Folder,          // skipped: the path names a folder
    Missing,         // skipped: the path does not exist (error)
    OpenFailed,      // error
    ReadFailed,      // size query, input allocation or read failed (error, none for allocation)
    TooLarge,        // 4 GiB or more: never read, never cut
    NotSmf,          // the reader rejected it (parseFailure)
    OutOfMemory,     // parsing or writing ran out of memory
    ProbeFailed,     // free space of location not obtained (error); ends the run
    NotEnoughSpace,  // free bytes not above twice the new size; ends the run
    WriteFailed,     // the rewrite failed (error); restored tells whether the original is back
};

// What check() finds in a valid file.
struct SongFacts {
    std::uint16_t format = 0;
    std::uint16_t division = 0;
    std::uint32_t tracks = 0;
    std::uint64_t events = 0;
    std::uint32_t sizeWithRunningStatus = 0;     // of the file written with running status
    std::uint32_t sizeWithoutRunningStatus = 0;  // and without it
    std::uint32_t bytesRead = 0;                 // of the file as it was read
};

struct FileOutcome {
    OutcomeKind kind = OutcomeKind::Converted;
    FileError error;            // the failed step's error, none when the system gave no reason
    std::uint64_t oldSize = 0;  // once the size is known
    std::uint32_t newSize = 0;  // once the new bytes exist
    bool unchanged = false;     // once the new bytes exist: they equal the file's bytes
    smf::ParseFailure parseFailure;
    smf::ParseSummary summary;    // once parsed: what the result keeps after the tracks and leaves out
    SongFacts facts;              // Valid
    bool restored = true;         // WriteFailed: the file holds its original bytes
    FileError syncError;          // Converted: the rewrite's syncError (see RewriteResult)
    std::string location;         // the free-space location, once probed
    std::uint64_t freeBytes = 0;  // once probed successfully

    // True when no later file of the run may be processed.
    bool endsRun() const noexcept { return kind == OutcomeKind::ProbeFailed || kind == OutcomeKind::NotEnoughSpace; }
};

// Told about each file the engine works on (not about folders and missing paths):
// fileStarted once the path is known to be a file, before it is opened; fileFinished with
// the outcome while the file is still open and locked, so that a report shown from there
// is dismissed before the file is released.
class ConversionListener {
public:
    virtual void fileStarted(const std::string& path) = 0;
    virtual void fileFinished(const std::string& path, const FileOutcome& outcome) = 0;

protected:
    ~ConversionListener() = default;
};

// Obtains the block for a file's bytes (freed with delete[]); null when it cannot be had.
// The default uses new (std::nothrow).
using InputAllocator = std::uint8_t* (*)(std::uint32_t size);

// How a file is read: whole, as the Windows program does; or its first bytes first, and no
// more of a file that they already show is not a Standard MIDI File, so that a large file
// of another kind costs neither memory nor time (quorin-cli).
enum class ReadOrder : std::uint8_t { Whole, HeaderFirst };

// Reads an open file whole into input: its size (64 bits; from 4 GiB up nothing is read),
// a block of exactly that size from allocate (new (std::nothrow) when null), then reads
// until the block is full or the file ends; bytesRead tells how much came. False on
// failure, with outcome.kind ReadFailed (error set; 0 when the block could not be had) or
// TooLarge. outcome.oldSize is set once the size is known. HeaderFirst: the first 142
// bytes are read first; when they break one of the reader's header rules, input holds
// only them (the reader rejects them for the same reason, at the same offset, as the whole
// file).
bool readWholeFile(InputFile& file, InputAllocator allocate, std::unique_ptr<std::uint8_t[]>& input,
                   std::uint32_t& bytesRead, FileOutcome& outcome, ReadOrder order = ReadOrder::Whole);

// The order of the steps after parsing. Probe first (the Windows program, and every result
// that goes elsewhere): free space, new bytes, room rule, rewrite. Unchanged first
// (quorin-cli in place): the new bytes, and a file they equal is done (Converted, unchanged,
// never written) before the free space is asked for, so that a file needing no change never
// stops a run.
enum class StepOrder : std::uint8_t { ProbeFirst, UnchangedFirst };

// One engine per run: the reader, the song and the output are reused for every file. Each
// file's input block is freed and the file closed before convert() returns, on every path.
class ConversionEngine {
public:
    ConversionEngine(FileSystem& fileSystem, bool runningStatus, InputAllocator allocate = nullptr,
                     StepOrder order = StepOrder::ProbeFirst, ReadOrder read = ReadOrder::Whole);
    ConversionEngine(const ConversionEngine&) = delete;
    ConversionEngine& operator=(const ConversionEngine&) = delete;
    ~ConversionEngine();

    // Converts one file in place (opened with open()). Never throws std::bad_alloc from
    // parsing or writing (that is the OutOfMemory outcome); a failure never leaves the file
    // without its bytes unless the outcome says restored == false.
    FileOutcome convert(const std::string& path, ConversionListener* listener = nullptr);
    // The same, but path is only read (openForReading) and the result replaces destination
    // (replaceFile), whose free space is probed.
    FileOutcome convertTo(const std::string& path, const std::string& destination);
    // Looks at path without changing it: read (openForReading) and parsed; Valid with the
    // song's facts, or the failure as convert() reports it.
    FileOutcome check(const std::string& path);

    // Gives back the output's storage (the run's end).
    void releaseOutput() noexcept;

private:
    // False when path is no file (outcome Folder or Missing).
    bool isFile(const std::string& path, FileOutcome& outcome);
    // path opened for reading only; null with outcome Folder, Missing or OpenFailed.
    std::unique_ptr<InputFile> openForReading(const std::string& path, FileOutcome& outcome);
    // Reads file whole, parses it and writes its new bytes to target: held's rewrite in
    // place, else replaceFile(target).
    FileOutcome convertFile(const std::string& target, InputFile& file, HeldFile* held);
    // Parses input into song_; false with outcome NotSmf or OutOfMemory (song_ emptied).
    bool parse(const std::uint8_t* input, std::uint32_t length, FileOutcome& outcome);
    // Fills outcome's location and free bytes; false (outcome ProbeFailed) on failure.
    bool probe(const std::string& target, FileOutcome& outcome);

    FileSystem& fileSystem_;
    bool runningStatus_;
    InputAllocator allocate_;
    StepOrder order_;
    ReadOrder read_;
    smf::SmfReader reader_;
    smf::Song song_;
    smf::ByteBuffer output_;
};

}  // namespace engine
