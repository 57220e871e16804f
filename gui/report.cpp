// Report texts of the conversion run.
#include "gui/report.h"

#include <algorithm>

#include "res/resource.h"

namespace gui {

using engine::OutcomeKind;

namespace {

std::string quoted(const std::string& name) {
    return "'" + name + "'\n\n";
}

// "\n" + the system's text for error's code, or nothing (the Win32 file system refuses
// nothing of its own).
std::string systemLine(const engine::FileError& error, const SystemTextByCode& systemText) {
    std::string line;
    if (!systemText(line, error.code)) return std::string();
    return "\n" + line;
}

}  // namespace

std::string composeReport(const FileOutcome& outcome, const std::string& path, const TextById& text,
                          const SystemTextByCode& systemText) {
    switch (outcome.kind) {
    case OutcomeKind::Converted:
    case OutcomeKind::Valid:
    case OutcomeKind::Folder:
    case OutcomeKind::Missing: return std::string();
    case OutcomeKind::OpenFailed: return quoted(path) + text(IDS_OPEN_FAILED) + systemLine(outcome.error, systemText);
    case OutcomeKind::ReadFailed:
    case OutcomeKind::TooLarge: return quoted(path) + text(IDS_READ_FAILED) + systemLine(outcome.error, systemText);
    case OutcomeKind::NotSmf: return quoted(path) + text(IDS_NOT_SMF);
    case OutcomeKind::OutOfMemory: return quoted(path) + text(IDS_OUT_OF_MEMORY);
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

FallbackReport::FallbackReport(const TextById& text)
    : unexpected_(text(IDS_UNEXPECTED_ERROR)),
      errorCaption_(text(IDS_CAPTION_ERROR)),
      writeFailed_(text(IDS_WRITE_FAILED)),
      outOfMemory_(text(IDS_OUT_OF_MEMORY)),
      restoreFailed_(text(IDS_RESTORE_FAILED)) {
    report_.reserve(kLongestPath + 5 + writeFailed_.size() + restoreFailed_.size() +
                    std::max(unexpected_.size(), outOfMemory_.size()));
}

const std::string& FallbackReport::compose(const std::string& path, bool outOfMemory,
                                           const FileOutcome* outcome) noexcept {
    // Every append fits the room reserved by the constructor, so none reallocates.
    report_.clear();
    report_ += '\'';
    if (path.size() <= kLongestPath) report_ += path;
    report_ += "'\n\n";
    if (outcome != nullptr && outcome->kind == OutcomeKind::WriteFailed) {
        report_ += writeFailed_;
        if (!outcome->restored) report_ += restoreFailed_;
        report_ += '\n';
    }
    report_ += outOfMemory ? outOfMemory_ : unexpected_;
    return report_;
}

}  // namespace gui
