// Which system error to report when the shell could not open a document or address.
#pragma once

#include <cstdint>

// lastError when it is set. Otherwise the shell's own result (32 or less) translated to
// the nearest system error code, so that a failure is never shown as nothing at all.
std::uint32_t shellFailureCode(std::uint32_t lastError, std::intptr_t result);
