// The text of the message box that reports one file's outcome in the Windows program.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

#include "engine/conversion_engine.h"

namespace gui {

using engine::FileOutcome;

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

// The report of a file whose work or report could not be finished: memory ran out, or
// something unexpected was thrown. Its texts are loaded, and room for the longest report
// is reserved, while memory is still plentiful (when a run starts), so that composing it
// later allocates nothing.
class FallbackReport {
public:
    // Longest path that the reserved room takes whole (32767 characters of up to three
    // bytes, in UTF-8).
    static constexpr std::size_t kLongestPath = 3 * 32767;

    // Loads texts 154, 164, 168, 170 and 171. May throw std::bad_alloc.
    explicit FallbackReport(const TextById& text);

    // "'" + path + "'\n\n" + the problem: text 170 when outOfMemory, else 154. When outcome
    // is a failed rewrite, texts 168 (and 171 when the original is not back) and a line
    // feed come first: the state of the file matters most. A path longer than kLongestPath
    // is shown as "''". Never allocates; the result stays valid until the next call.
    const std::string& compose(const std::string& path, bool outOfMemory, const FileOutcome* outcome) noexcept;

    // Text 164, the caption of an error box.
    const std::string& errorCaption() const noexcept { return errorCaption_; }

    // The length in bytes that no result of compose() exceeds.
    std::size_t longestReport() const noexcept { return report_.capacity(); }

private:
    std::string unexpected_;
    std::string errorCaption_;
    std::string writeFailed_;
    std::string outOfMemory_;
    std::string restoreFailed_;
    std::string report_;
};

}  // namespace gui
