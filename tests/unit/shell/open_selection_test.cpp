// The Open dialog's filter buffer and the parsing of its file buffer.
#include "shell/open_selection.h"

#include <gtest/gtest.h>

#include <string>

#include "cp932.h"

namespace {

FileList parse(const std::string& buffer, std::size_t fileOffset) {
    return parseOpenResult(buffer.data(), buffer.size(), fileOffset, isCp932LeadByte);
}

TEST(OpenFilter, LineFeedsBecomeNulsAndTheListEndsInTwoNuls) {
    const std::vector<char> filter = openFilterBuffer("MIDI (*.mid)\n*.mid\nAll (*.*)\n*.*\n");
    const std::string expected("MIDI (*.mid)\0*.mid\0All (*.*)\0*.*\0\0", 34);
    EXPECT_EQ(std::string(filter.begin(), filter.end()), expected);

    // A text without its final line feed, or none at all, is still closed properly.
    const std::vector<char> unterminated = openFilterBuffer("All\n*.*");
    EXPECT_EQ(std::string(unterminated.begin(), unterminated.end()), std::string("All\0*.*\0\0", 9));
    const std::vector<char> empty = openFilterBuffer("");
    EXPECT_EQ(std::string(empty.begin(), empty.end()), std::string("\0\0", 2));
}

TEST(OpenResult, OneFileIsTheWholePath) {
    EXPECT_EQ(parse(std::string("D:\\MIDI\\song.mid\0\0", 18), 8), FileList{"D:\\MIDI\\song.mid"});
    EXPECT_EQ(parse(std::string("C:\\a.mid\0\0", 10), 3), FileList{"C:\\a.mid"});
}

TEST(OpenResult, SeveralFilesJoinTheFolderWithEachNameInBufferOrder) {
    const std::string buffer("D:\\MIDI\0zeta.mid\0alpha.mid\0zeta.mid\0\0", 37);
    EXPECT_EQ(parse(buffer, 8), (FileList{"D:\\MIDI\\zeta.mid", "D:\\MIDI\\alpha.mid", "D:\\MIDI\\zeta.mid"}));
}

TEST(OpenResult, RootFolderGetsNoDoubledBackslash) {
    const std::string buffer("C:\\\0a.mid\0b.mid\0\0", 17);
    EXPECT_EQ(parse(buffer, 4), (FileList{"C:\\a.mid", "C:\\b.mid"}));
}

TEST(OpenResult, EmptyFolderStringStillGetsOneBackslash) {
    const std::string buffer("\0a.mid\0b.mid\0\0", 14);
    EXPECT_EQ(parse(buffer, 1), (FileList{"\\a.mid", "\\b.mid"}));
}

TEST(OpenResult, TrailByteThatEqualsBackslashIsNotASeparator) {
    // "D:\表" ends in 0x95 0x5C: the character's second byte, not a folder separator.
    const std::string folder = "D:\\\x95\x5c";
    const std::string buffer = folder + std::string("\0a.mid\0\0", 8);
    EXPECT_EQ(parse(buffer, folder.size() + 1), FileList{"D:\\\x95\x5c\\a.mid"});
    // A real backslash after such a character still counts.
    EXPECT_EQ(joinFolderAndName("D:\\\x83\x5c\\", "b.mid", isCp932LeadByte), "D:\\\x83\x5c\\b.mid");
}

TEST(OpenResult, SlashIsTheSeparatorOnlyWhenThereIsNoBackslash) {
    EXPECT_EQ(joinFolderAndName("C:/", "a.mid", isCp932LeadByte), "C:/a.mid");
    EXPECT_EQ(joinFolderAndName("C:/MIDI", "a.mid", isCp932LeadByte), "C:/MIDI\\a.mid");
    EXPECT_EQ(joinFolderAndName("C:\\MIDI/", "a.mid", isCp932LeadByte), "C:\\MIDI/\\a.mid");
    EXPECT_EQ(joinFolderAndName("MIDI", "a.mid", isCp932LeadByte), "MIDI\\a.mid");
}

TEST(OpenResult, JoinedPathLongerThanMaxPathIsKeptWhole) {
    const std::string folder = "C:\\" + std::string(250, 'f');
    const std::string name = std::string(20, 'n') + ".mid";
    const FileList files = parse(folder + '\0' + name + std::string("\0\0", 2), folder.size() + 1);
    ASSERT_EQ(files.size(), 1u);
    EXPECT_EQ(files[0], folder + "\\" + name);
    EXPECT_EQ(files[0].size(), 278u);
}

TEST(OpenResult, NeverReadsBeyondTheBuffer) {
    // No terminating NULs at all: what is there is taken, nothing after it.
    EXPECT_EQ(parse("D:\\a.mid", 3), FileList{"D:\\a.mid"});
    EXPECT_EQ(parse(std::string("D:\\M\0abc", 8), 5), FileList{"D:\\M\\abc"});
}

}  // namespace
