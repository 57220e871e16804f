// Report texts of the conversion run.
#include "convert/report.h"

#include "res/resource.h"

namespace convert {

namespace {

std::string quoted(const std::string& name) {
    return "'" + name + "'\n\n";
}

// "\n" + the system's text, or nothing.
std::string systemLine(std::uint32_t code, const SystemTextByCode& systemText) {
    std::string line;
    if (!systemText(line, code)) return std::string();
    return "\n" + line;
}

}  // namespace

std::string composeReport(const FileOutcome& outcome, const std::string& path, const TextById& text,
                          const SystemTextByCode& systemText) {
    switch (outcome.kind) {
    case OutcomeKind::Converted:
    case OutcomeKind::Folder:
    case OutcomeKind::Missing:
        return std::string();
    case OutcomeKind::OpenFailed:
        return quoted(path) + text(IDS_OPEN_FAILED) + systemLine(outcome.error, systemText);
    case OutcomeKind::ReadFailed:
    case OutcomeKind::TooLarge:
        return quoted(path) + text(IDS_READ_FAILED) + systemLine(outcome.error, systemText);
    case OutcomeKind::NotSmf:
        return quoted(path) + text(IDS_NOT_SMF);
    case OutcomeKind::OutOfMemory:
        return quoted(path) + text(IDS_OUT_OF_MEMORY);
    case OutcomeKind::ProbeFailed:
        return quoted(outcome.location) + text(IDS_DISK_SPACE_UNKNOWN) + systemLine(outcome.error, systemText) +
               text(IDS_RUN_STOPPED);
    case OutcomeKind::NotEnoughSpace:
        return quoted(outcome.location) + text(IDS_DISK_TOO_SMALL) + text(IDS_RUN_STOPPED);
    case OutcomeKind::WriteFailed:
        return quoted(path) + text(IDS_WRITE_FAILED) + systemLine(outcome.error, systemText) +
               (outcome.restored ? std::string() : text(IDS_RESTORE_FAILED));
    }
    return std::string();
}

}  // namespace convert
