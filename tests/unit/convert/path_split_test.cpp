// Path splitting with double-byte names, and the free-space location of a path.
#include "convert/path_split.h"

#include <gtest/gtest.h>

#include <string>

namespace convert {
namespace {

// "ソ" and "表" in code page 932 end with 0x5C, the backslash's byte.
const std::string kSo = "\x83\x5C";
const std::string kHyo = "\x95\x5C";

bool noLeadBytes(unsigned char) { return false; }

std::string displayName(const std::string& path) { return splitPath(path, isCp932LeadByte).displayName; }

TEST(SplitPath, DrivePartAndLastComponent) {
    const PathParts parts = splitPath("C:\\midi\\song.mid", isCp932LeadByte);
    EXPECT_EQ(parts.drivePart, "C:");
    EXPECT_EQ(parts.displayName, "song.mid");
    EXPECT_EQ(splitPath("c:song.mid", isCp932LeadByte).drivePart, "c:");
    EXPECT_EQ(splitPath("\\\\server\\share\\a.b.mid", isCp932LeadByte).drivePart, "");
    EXPECT_EQ(displayName("\\\\server\\share\\a.b.mid"), "a.b.mid");
    EXPECT_EQ(displayName("C:/x/y.mid"), "y.mid");
    EXPECT_EQ(displayName("song.mid"), "song.mid");
    EXPECT_EQ(displayName("C:\\old.files\\readme"), "readme");
    EXPECT_EQ(displayName("C:\\dir\\"), "");
}

TEST(SplitPath, TrailByte5CIsNoSeparator) {
    EXPECT_EQ(displayName("C:\\midi\\" + kSo + "\x83\x93\x83\x4F.mid"), kSo + "\x83\x93\x83\x4F.mid");
    EXPECT_EQ(displayName("C:\\" + kHyo + "\\a.mid"), "a.mid");
    EXPECT_EQ(displayName("C:\\x\\" + kHyo), kHyo);
    // Without the code page's lead bytes the same bytes split (so the predicate matters).
    EXPECT_EQ(splitPath("C:\\x\\" + kHyo, noLeadBytes).displayName, "");
}

TEST(SplitPath, NameAndExtensionCutTo255BytesEach) {
    EXPECT_EQ(displayName("C:\\" + std::string(300, 'a') + ".mid"), std::string(255, 'a') + ".mid");
    EXPECT_EQ(displayName("C:\\a." + std::string(300, 'm')), "a." + std::string(254, 'm'));
    // A double-byte character that would straddle byte 255 is left out whole.
    std::string wide = "aa";
    for (int i = 0; i < 128; ++i) wide += kHyo;
    std::string cut = "aa";
    for (int i = 0; i < 126; ++i) cut += kHyo;
    EXPECT_EQ(displayName("C:\\" + wide), cut);
}

TEST(FreeSpaceLocation, DrivePartOrShareRoot) {
    EXPECT_EQ(freeSpaceLocation("C:\\midi\\a.mid", isCp932LeadByte), "C:");
    EXPECT_EQ(freeSpaceLocation("d:a.mid", isCp932LeadByte), "d:");
    EXPECT_EQ(freeSpaceLocation("\\\\server\\share\\dir\\a.mid", isCp932LeadByte), "\\\\server\\share\\");
    EXPECT_EQ(freeSpaceLocation("\\\\server\\share", isCp932LeadByte), "\\\\server\\share\\");
    EXPECT_EQ(freeSpaceLocation("\\\\srv\\" + kHyo + "\\a.mid", isCp932LeadByte), "\\\\srv\\" + kHyo + "\\");
    for (const char* none : {"\\\\server", "\\\\server\\", "\\\\server\\\\a.mid", "\\\\\\x\\y", "\\dir\\a.mid",
                             "a.mid", ""}) {
        EXPECT_EQ(freeSpaceLocation(none, isCp932LeadByte), "") << none;
    }
}

}  // namespace
}  // namespace convert
