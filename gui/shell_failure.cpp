// Which system error to report when the shell could not open a document or address.
#include "gui/shell_failure.h"

namespace {

// ShellExecute's results (SE_ERR_*) and the system errors they stand for.
constexpr std::intptr_t kOutOfResources = 0;
constexpr std::intptr_t kShareViolation = 26;   // SE_ERR_SHARE
constexpr std::intptr_t kAssocIncomplete = 27;  // SE_ERR_ASSOCINCOMPLETE
constexpr std::intptr_t kDdeTimeout = 28;       // SE_ERR_DDETIMEOUT
constexpr std::intptr_t kDdeFail = 29;          // SE_ERR_DDEFAIL
constexpr std::intptr_t kDdeBusy = 30;          // SE_ERR_DDEBUSY
constexpr std::intptr_t kNoAssociation = 31;    // SE_ERR_NOASSOC
constexpr std::intptr_t kDllNotFound = 32;      // SE_ERR_DLLNOTFOUND

constexpr std::uint32_t kErrorNotEnoughMemory = 8;
constexpr std::uint32_t kErrorSharingViolation = 32;
constexpr std::uint32_t kErrorNoAssociation = 1155;
constexpr std::uint32_t kErrorDdeFail = 1156;
constexpr std::uint32_t kErrorDllNotFound = 1157;

}  // namespace

std::uint32_t shellFailureCode(std::uint32_t lastError, std::intptr_t result) {
    if (lastError != 0) return lastError;
    switch (result) {
    case kOutOfResources: return kErrorNotEnoughMemory;
    case kShareViolation: return kErrorSharingViolation;
    case kAssocIncomplete:
    case kNoAssociation: return kErrorNoAssociation;
    case kDdeTimeout:
    case kDdeFail:
    case kDdeBusy: return kErrorDdeFail;
    case kDllNotFound: return kErrorDllNotFound;
    default:
        // The remaining results (file or path not found, access denied, bad format, out
        // of memory) share their numbers with the system's error codes.
        return result > 0 && result <= 32 ? static_cast<std::uint32_t>(result) : kErrorNotEnoughMemory;
    }
}
