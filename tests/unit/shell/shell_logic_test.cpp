// The shell's plain rules: the Open dialog's filter and result, the program's folder, and
// the error shown when the shell cannot open something.
#include <gtest/gtest.h>

#include <tuple>

#include "convert/path_split.h"
#include "shell/open_selection.h"
#include "shell/program_folder.h"
#include "shell/shell_failure.h"

namespace {

using convert::isCp932LeadByte;

TEST(OpenFilter, LineFeedsBecomeNulsAndTheListEndsInTwoNuls) {
    const std::pair<std::string, std::string> cases[] = {
        {"MIDI (*.mid)\n*.mid\nAll (*.*)\n*.*\n", {"MIDI (*.mid)\0*.mid\0All (*.*)\0*.*\0\0", 34}},
        {"All\n*.*", {"All\0*.*\0\0", 9}}, {"\n", {"\0\0", 2}}, {"", {"\0\0", 2}}};
    for (const auto& [text, expected] : cases) {
        const std::vector<char> filter = openFilterBuffer(text);
        EXPECT_EQ(std::string(filter.begin(), filter.end()), expected) << text;
    }
}

// One file is the whole path; several join the folder with each name in buffer order,
// without doubling a root's (or a slash folder's) separator, and an empty folder string
// still gets one. A trail byte 0x5C ("表", "ソ") is no separator. Nothing past size is read.
TEST(OpenResult, PathsFromTheBuffer) {
    const std::tuple<std::string, std::size_t, std::size_t, FileList> cases[] = {
        {{"D:\\MIDI\\song.mid\0\0", 18}, 18, 8, {"D:\\MIDI\\song.mid"}},
        {{"D:\\MIDI\0zeta.mid\0alpha.mid\0zeta.mid\0\0", 37}, 37, 8,
         {"D:\\MIDI\\zeta.mid", "D:\\MIDI\\alpha.mid", "D:\\MIDI\\zeta.mid"}},
        {{"C:\\\0a.mid\0b.mid\0\0", 17}, 17, 4, {"C:\\a.mid", "C:\\b.mid"}},
        {{"C:/\0a.mid\0\0", 11}, 11, 4, {"C:/a.mid"}}, {{"C:/MIDI\0a.mid\0\0", 15}, 15, 8, {"C:/MIDI\\a.mid"}},
        {{"\0a.mid\0b.mid\0\0", 14}, 14, 1, {"\\a.mid", "\\b.mid"}},
        {{"D:\\\x95\x5C\0a.mid\0\0", 13}, 13, 6, {"D:\\\x95\x5C\\a.mid"}},
        {{"D:\\\x83\x5C\\\0b.mid\0\0", 14}, 14, 7, {"D:\\\x83\x5C\\b.mid"}},
        {"D:\\a.midXYZ", 8, 3, {"D:\\a.mid"}}, {{"D:\\M\0abcXYZ", 11}, 8, 5, {"D:\\M\\abc"}}};
    for (const auto& [buffer, size, fileOffset, expected] : cases) {
        EXPECT_EQ(parseOpenResult(buffer.data(), size, fileOffset, isCp932LeadByte), expected) << buffer;
    }
}

// A selection cut at the buffer's end (no NUL, or several names without the closing empty
// string) is not a result; a single path or a closed list is.
TEST(OpenResult, CompleteOnlyWhenTheListIsClosedInsideTheBuffer) {
    const std::tuple<std::string, std::size_t, bool> cases[] = {
        {{"D:\\a.mid\0", 9}, 3, true}, {{"D:\\a.mid\0", 9}, 8, true}, {{"D:\\M\0a.mid\0b.mid\0\0", 18}, 5, true}, {{"D:\\M\0a.mid\0b.m", 14}, 5, false},
        {{"D:\\M\0a.mid\0b.mid\0", 17}, 5, false}, {{"D:\\M\0a.mid", 10}, 5, false}, {"D:\\MIDI\\abc", 8, false}};
    for (const auto& [buffer, fileOffset, complete] : cases) {
        EXPECT_EQ(openResultComplete(buffer.data(), buffer.size(), fileOffset), complete) << buffer;
    }
}

// Cut at the last backslash, which is dropped; "ソ" (0x83 0x5C) is one character; without
// a backslash, the current folder.
TEST(ProgramFolder, CutsAtTheLastBackslash) {
    const std::pair<std::string, std::string> cases[] = {
        {"D:\\Tools\\quorin.exe", "D:\\Tools"}, {"\\\\server\\share\\bin\\quorin.exe", "\\\\server\\share\\bin"},
        {"D:\\\x83\x5c\x83t\\\x83\x5c.exe", "D:\\\x83\x5c\x83t"}, {"\\quorin.exe", ""}, {"quorin.exe", "."}};
    for (const auto& [path, folder] : cases) EXPECT_EQ(programFolderOf(path, isCp932LeadByte), folder) << path;
}

// The last error when there is one; else the shell's result as the nearest system error.
TEST(ShellFailureCode, LastErrorOrTheShellsResult) {
    const std::tuple<std::uint32_t, std::intptr_t, std::uint32_t> cases[] = {
        {5, 2, 5},       {1, 31, 1},      {0, 0, 8},       {0, 1, 1},       {0, 2, 2},      {0, 26, 32}, {0, 27, 1155},
        {0, 28, 1156},   {0, 29, 1156},   {0, 30, 1156},   {0, 31, 1155},   {0, 32, 1157},  {0, 33, 8},  {0, -1, 8}};
    for (const auto& [lastError, result, code] : cases) EXPECT_EQ(shellFailureCode(lastError, result), code) << result;
}

}  // namespace
