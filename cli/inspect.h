// --check: looks at a file without changing it and gathers what quorin-cli reports.
#pragma once

#include <cstdint>
#include <string>

#include "cli/cli_file_system.h"
#include "cli/report_lines.h"
#include "engine/conversion_engine.h"
#include "smf/reader.h"
#include "smf/song.h"

namespace cli {

struct Inspection {
    // Converted when the file is a valid SMF (facts and outcome.summary filled in); otherwise the failure as the
    // engine would report it (Folder, Missing, OpenFailed, ReadFailed, TooLarge, NotSmf,
    // OutOfMemory).
    engine::FileOutcome outcome;
    CheckFacts facts;
};

// Reads and validates files for --check: one reader and one song reused for every file.
class Inspector {
public:
    explicit Inspector(CliFileSystem& fileSystem) : fileSystem_(fileSystem) {}

    // Opens path for reading only (shared), reads it whole, validates it and works out the
    // facts. Never changes the file; never throws std::bad_alloc.
    Inspection inspect(const std::string& path);

private:
    Inspection inspectBytes(const std::uint8_t* data, std::uint32_t length, Inspection result);

    CliFileSystem& fileSystem_;
    smf::SmfReader reader_;
    smf::Song song_;
};

}  // namespace cli
