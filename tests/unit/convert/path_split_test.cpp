// Path splitting with double-byte names, and the free-space location of a path.
#include "convert/path_split.h"

#include <gtest/gtest.h>

#include <tuple>

namespace convert {
namespace {

const std::string kHyo = "\x95\x5C";  // "表" in code page 932 ends with the backslash's byte

// The drive part; the last component, where a trail byte 0x5C is no separator and the name
// and the extension are each cut to 255 bytes, never inside a character.
TEST(SplitPath, DrivePartAndLastComponent) {
    std::string wide = "C:\\aa", cut = "aa";
    for (int i = 0; i < 128; ++i) wide += kHyo;
    for (int i = 0; i < 126; ++i) cut += kHyo;
    const std::tuple<std::string, std::string, std::string> cases[] = {
        {"C:\\midi\\song.mid", "C:", "song.mid"}, {"c:song.mid", "c:", "song.mid"}, {"C:", "C:", ""},
        {"\\\\server\\share\\a.b.mid", "", "a.b.mid"}, {"C:/x/y.mid", "C:", "y.mid"}, {"song.mid", "", "song.mid"},
        {"C:\\old.files\\readme", "C:", "readme"}, {"C:\\dir\\", "C:", ""}, {"C:\\" + kHyo + "\\a.mid", "C:", "a.mid"},
        {"C:\\x\\" + kHyo, "C:", kHyo}, {"C:\\x\\" + kHyo + ".mid", "C:", kHyo + ".mid"}, {wide, "C:", cut},
        {"C:\\" + std::string(300, 'a') + ".mid", "C:", std::string(255, 'a') + ".mid"},
        {"C:\\a." + std::string(300, 'm'), "C:", "a." + std::string(254, 'm')}};
    for (const auto& [path, drive, name] : cases) {
        const PathParts parts = splitPath(path, isCp932LeadByte);
        EXPECT_EQ(std::make_pair(parts.drivePart, parts.displayName), std::make_pair(drive, name)) << path;
    }
}

// Code page 932's lead bytes are 0x81-0x9F and 0xE0-0xFC: only they hide the 0x5C after them.
TEST(SplitPath, LeadByteRangeEdges) {
    const std::pair<char, bool> cases[] = {{'\x80', false}, {'\x81', true}, {'\x9F', true}, {'\xA0', false},
                                           {'\xDF', false}, {'\xE0', true}, {'\xFC', true}, {'\xFD', false}};
    for (const auto& [byte, lead] : cases) {
        const std::string name = std::string("a") + byte + "\\b";
        EXPECT_EQ(splitPath("C:\\" + name, isCp932LeadByte).displayName, lead ? name : "b") << int(byte & 0xFF);
    }
}

TEST(FreeSpaceLocation, DrivePartOrShareRoot) {
    const std::pair<std::string, std::string> cases[] = {
        {"C:\\midi\\a.mid", "C:"}, {"d:", "d:"}, {"\\\\server\\share\\dir\\a.mid", "\\\\server\\share\\"},
        {"//server/share", "//server/share\\"}, {"\\\\srv\\" + kHyo + "\\a.mid", "\\\\srv\\" + kHyo + "\\"}, {"\\\\" + kHyo + "\\s\\a", "\\\\" + kHyo + "\\s\\"},
        {"\\\\server", ""}, {"\\\\server\\", ""}, {"\\\\server\\\\a.mid", ""}, {"\\\\\\x\\y", ""},
        {"\\dir\\a.mid", ""}, {"a\\b\\c\\d", ""}, {"a.mid", ""}, {"", ""}};
    for (const auto& [path, location] : cases) EXPECT_EQ(freeSpaceLocation(path, isCp932LeadByte), location) << path;
}

}  // namespace
}  // namespace convert
