// The Open dialog's filter buffer and the parsing of its file buffer.
#include "shell/open_selection.h"

#include <gtest/gtest.h>

#include <string>

#include "cp932.h"

namespace {

TEST(OpenFilter, LineFeedsBecomeNulsAndTheListEndsInTwoNuls) {
    for (const auto& [text, expected] : {std::pair<std::string, std::string>{"MIDI (*.mid)\n*.mid\nAll (*.*)\n*.*\n",
                                                                              {"MIDI (*.mid)\0*.mid\0All (*.*)\0*.*\0\0", 34}},
                                         {"All\n*.*", {"All\0*.*\0\0", 9}},  // no final line feed
                                         {"", {"\0\0", 2}}}) {
        const std::vector<char> filter = openFilterBuffer(text);
        EXPECT_EQ(std::string(filter.begin(), filter.end()), expected) << text;
    }
}

// One file is the whole path; several join the folder with each name in buffer order,
// without doubling a root's backslash, and an empty folder string still gets one. A trail
// byte 0x5C ("表") is no separator. Nothing past the buffer is read.
TEST(OpenResult, PathsFromTheBuffer) {
    struct Case {
        std::string buffer;
        std::size_t fileOffset;
        FileList expected;
    };
    const Case cases[] = {
        {{"D:\\MIDI\\song.mid\0\0", 18}, 8, {"D:\\MIDI\\song.mid"}},
        {{"D:\\MIDI\0zeta.mid\0alpha.mid\0zeta.mid\0\0", 37}, 8,
         {"D:\\MIDI\\zeta.mid", "D:\\MIDI\\alpha.mid", "D:\\MIDI\\zeta.mid"}},
        {{"C:\\\0a.mid\0b.mid\0\0", 17}, 4, {"C:\\a.mid", "C:\\b.mid"}},
        {{"\0a.mid\0b.mid\0\0", 14}, 1, {"\\a.mid", "\\b.mid"}},
        {{"D:\\\x95\x5C\0a.mid\0\0", 13}, 6, {"D:\\\x95\x5C\\a.mid"}},
        {"D:\\a.mid", 3, {"D:\\a.mid"}},
        {{"D:\\M\0abc", 8}, 5, {"D:\\M\\abc"}},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(parseOpenResult(c.buffer.data(), c.buffer.size(), c.fileOffset, isCp932LeadByte), c.expected)
            << c.buffer;
    }
}

// A selection cut at the buffer's end (no NUL, or several names without the closing empty
// string) is not a result; a single path or a closed list is.
TEST(OpenResult, CompleteOnlyWhenTheListIsClosedInsideTheBuffer) {
    EXPECT_TRUE(openResultComplete("D:\\a.mid\0", 9, 3));
    EXPECT_TRUE(openResultComplete("D:\\M\0a.mid\0b.mid\0\0", 18, 5));
    EXPECT_FALSE(openResultComplete("D:\\M\0a.mid\0b.m", 14, 5));
    EXPECT_FALSE(openResultComplete("D:\\M\0a.mid\0b.mid\0", 17, 5));
    EXPECT_FALSE(openResultComplete("D:\\M\0a.mid", 10, 5));
    EXPECT_FALSE(openResultComplete("D:\\MIDI\\abc", 11, 8));
}

TEST(JoinFolderAndName, BackslashAfterDoubleByteCharacterAndSlashFolders) {
    EXPECT_EQ(joinFolderAndName("D:\\\x83\x5C\\", "b.mid", isCp932LeadByte), "D:\\\x83\x5C\\b.mid");
    EXPECT_EQ(joinFolderAndName("C:/", "a.mid", isCp932LeadByte), "C:/a.mid");
    EXPECT_EQ(joinFolderAndName("C:/MIDI", "a.mid", isCp932LeadByte), "C:/MIDI\\a.mid");
}

}  // namespace
