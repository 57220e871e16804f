// Portable halves of the message operations: the string loader's buffer growth and the
// caption chosen from a message box's icon bits.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

namespace gui {

// Loads one string-table entry into buffer (capacity bytes, room for the NUL included) and
// returns the number of bytes copied without the NUL; 0 when the entry does not exist.
// LoadStringA with a fixed instance and id has this shape.
using StringLoader = std::function<int(char* buffer, int capacity)>;

// Grows a buffer by 256 bytes until the loaded text leaves at least 3 bytes unused (so a
// text of 253 bytes completes with 256, one of 254 or 255 needs 512), then replaces text
// with it. True when the text is at least one byte long; a missing entry gives "" and false.
// Throws std::bad_alloc when a buffer cannot be had.
bool loadTextGrowing(std::string& text, const StringLoader& load);

// String-table id of the caption for a message box style: 164 error, 165 question,
// 166 warning, 167 information by the icon bits (style & 0xF0); 0 (no caption) otherwise.
std::uint32_t captionIdForStyle(std::uint32_t style) noexcept;

}  // namespace gui
