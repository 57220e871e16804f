// The string loader's buffer growth and the caption rule of message boxes.
#include "gui/message_text.h"

#include <memory>

#include "res/resource.h"

namespace gui {

bool loadTextGrowing(std::string& text, const StringLoader& load) {
    int capacity = 0;
    std::unique_ptr<char[]> buffer;
    int length = 0;
    do {
        capacity += 256;
        buffer.reset(new char[static_cast<std::size_t>(capacity)]);
        length = load(buffer.get(), capacity);
        if (length <= 0) length = 0;
    } while (capacity - length < 3);
    text.assign(buffer.get(), static_cast<std::size_t>(length));
    return length > 0;
}

std::uint32_t captionIdForStyle(std::uint32_t style) noexcept {
    switch (style & 0xF0u) {
    case 0x10: return IDS_CAPTION_ERROR;    // MB_ICONERROR
    case 0x20: return IDS_CAPTION_CONFIRM;  // MB_ICONQUESTION
    case 0x30: return IDS_CAPTION_WARNING;  // MB_ICONEXCLAMATION
    case 0x40: return IDS_CAPTION_INFO;     // MB_ICONINFORMATION
    default: return 0;
    }
}

}  // namespace gui
