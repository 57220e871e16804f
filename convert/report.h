// The text of the message box that reports one file's outcome in the Windows program.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "convert/conversion_engine.h"

namespace convert {

// The string-table text with an id ("" when missing).
using TextById = std::function<std::string(std::uint32_t id)>;
// SystemErrorText's shape: false (text untouched) for code 0, else the system's text.
using SystemTextByCode = std::function<bool(std::string& text, std::uint32_t code)>;

// "'" + path + "'\n\n" + the outcome's text, then "\n" + the system's text for the outcome's
// error where there is one. Free-space reports name the location instead of the path and
// end with text 158; a failed rewrite whose original could not be put back ends with 171.
// Outcomes that show nothing (converted, folder, missing) give "".
std::string composeReport(const FileOutcome& outcome, const std::string& path, const TextById& text,
                          const SystemTextByCode& systemText);

}  // namespace convert
