// Report texts of the conversion run.
#include "convert/report.h"

namespace convert {

namespace {

// String-table ids (the same numbers as res/resource.h, which is C-only).
constexpr std::uint32_t kDiskTooSmall = 156;
constexpr std::uint32_t kDiskSpaceUnknown = 157;
constexpr std::uint32_t kRunStopped = 158;
constexpr std::uint32_t kNotSmf = 159;
constexpr std::uint32_t kOpenFailed = 160;
constexpr std::uint32_t kWriteFailed = 168;
constexpr std::uint32_t kReadFailed = 169;
constexpr std::uint32_t kOutOfMemory = 170;
constexpr std::uint32_t kRestoreFailed = 171;

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
        return quoted(path) + text(kOpenFailed) + systemLine(outcome.error, systemText);
    case OutcomeKind::ReadFailed:
    case OutcomeKind::TooLarge:
        return quoted(path) + text(kReadFailed) + systemLine(outcome.error, systemText);
    case OutcomeKind::NotSmf:
        return quoted(path) + text(kNotSmf);
    case OutcomeKind::OutOfMemory:
        return quoted(path) + text(kOutOfMemory);
    case OutcomeKind::ProbeFailed:
        return quoted(outcome.location) + text(kDiskSpaceUnknown) + systemLine(outcome.error, systemText) +
               text(kRunStopped);
    case OutcomeKind::NotEnoughSpace:
        return quoted(outcome.location) + text(kDiskTooSmall) + text(kRunStopped);
    case OutcomeKind::WriteFailed:
        return quoted(path) + text(kWriteFailed) + systemLine(outcome.error, systemText) +
               (outcome.restored ? std::string() : text(kRestoreFailed));
    }
    return std::string();
}

}  // namespace convert
