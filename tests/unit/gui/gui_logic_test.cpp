// The shell's plain rules: the Open dialog's filter and result, the program's folder, the
// error shown when the shell cannot open something, and where the main window opens.
#include <gtest/gtest.h>

#include <tuple>

#include "engine/path_split.h"
#include "gui/open_selection.h"
#include "gui/program_folder.h"
#include "gui/shell_failure.h"
#include "gui/window_position.h"

namespace {

using S = std::string;

TEST(OpenFilter, LineFeedsBecomeNulsAndTheListEndsInTwoNuls) {
    for (const auto& [text, expected] : {std::pair<S, S>{"M\n*.mid\nA\n*.*\n", S("M\0*.mid\0A\0*.*\0\0", 15)},
                                         {"A\n*.*", S("A\0*.*\0\0", 7)},
                                         {"\n", S("\0\0", 2)},
                                         {"", S("\0\0", 2)}})
        EXPECT_EQ(openFilterBuffer(text), std::vector<char>(expected.begin(), expected.end())) << text;
}

// One file is the whole path; several join the folder with each name in buffer order, without
// doubling a root's (or a slash folder's) separator; an empty folder still gets one. A trail
// byte 0x5C ("表", "ソ", first or later) is no separator. Nothing past size is read (a NUL may
// follow it); a list cut at the buffer's end (no NUL, or no closing empty string) is not complete.
TEST(OpenResult, PathsFromTheBufferAndWhetherItIsComplete) {
    const std::tuple<S, std::size_t, std::size_t, FileList, bool> cases[] = {
        {S("D:\\MIDI\\song.mid\0", 17), 17, 8, {"D:\\MIDI\\song.mid"}, true},
        {S("D:\\a.mid\0", 9), 9, 8, {"D:\\a.mid"}, true},
        {S("D:\\MIDI\0zeta.mid\0alpha.mid\0zeta.mid\0\0", 37),
         37,
         8,
         {"D:\\MIDI\\zeta.mid", "D:\\MIDI\\alpha.mid", "D:\\MIDI\\zeta.mid"},
         true},
        {S("C:\\\0a.mid\0b.mid\0\0", 17), 17, 4, {"C:\\a.mid", "C:\\b.mid"}, true},
        {S("C:/\0a.mid\0\0", 11), 11, 4, {"C:/a.mid"}, true},
        {S("C:/MIDI\0a.mid\0\0", 15), 15, 8, {"C:/MIDI\\a.mid"}, true},
        {S("\0a.mid\0b.mid\0\0", 14), 14, 1, {"\\a.mid", "\\b.mid"}, true},
        {S("D:\\\x95\x5C\0a.mid\0\0", 13), 13, 6, {"D:\\\x95\x5C\\a.mid"}, true},
        {S("\x83\x5C\0a\0\0", 6), 6, 3, {"\x83\x5C\\a"}, true},
        {S("D:\\\x83\x5C\\\0b.mid\0\0", 14), 14, 7, {"D:\\\x83\x5C\\b.mid"}, true},
        {"D:\\a.midXYZ", 8, 3, {"D:\\a.mid"}, false},
        {S("D:\\M\0abcX\0", 10), 8, 5, {"D:\\M\\abc"}, false},
        {S("D:\\M\0a.mid\0b.mid\0", 17), 17, 5, {"D:\\M\\a.mid", "D:\\M\\b.mid"}, false}};
    for (const auto& [buffer, size, fileOffset, expected, complete] : cases) {
        const std::vector<char> bytes(buffer.begin(), buffer.end());
        EXPECT_EQ(parseOpenResult(bytes.data(), size, fileOffset, engine::isCp932LeadByte), expected) << buffer;
        EXPECT_EQ(openResultComplete(bytes.data(), size, fileOffset), complete) << buffer;
    }
}

// Cut at the last backslash, which is dropped ("ソ" is 0x83 0x5C); without one, ".".
TEST(ProgramFolder, CutsAtTheLastBackslash) {
    for (const auto& [path, folder] : {std::pair<S, S>{"D:\\Tools\\quorin.exe", "D:\\Tools"},
                                       {"\\\\server\\share\\bin\\q.exe", "\\\\server\\share\\bin"},
                                       {"D:\\\x83\x5c\x83t\\\x83\x5c.exe", "D:\\\x83\x5c\x83t"},
                                       {"\\quorin.exe", ""},
                                       {"quorin.exe", "."}})
        EXPECT_EQ(programFolderOf(path, engine::isCp932LeadByte), folder) << path;
}

// The last error when there is one; else the shell's result as the nearest system error.
TEST(ShellFailureCode, LastErrorOrTheShellsResult) {
    const std::tuple<std::uint32_t, std::intptr_t, std::uint32_t> cases[] = {
        {5, 2, 5},     {1, 31, 1},    {0, 0, 8},     {0, 1, 1},     {0, 2, 2},     {0, 26, 32}, {0, 27, 1155},
        {0, 28, 1156}, {0, 29, 1156}, {0, 30, 1156}, {0, 31, 1155}, {0, 32, 1157}, {0, 33, 8},  {0, -1, 8}};
    for (const auto& [lastError, result, code] : cases) EXPECT_EQ(shellFailureCode(lastError, result), code) << result;
}

// A primary monitor with a task bar along its foot, and a second one to its right that
// starts higher; a window of 300 x 150. A position from which the window would be seen on no
// monitor (right of, above, far outside them all) gives way to (0, 0); a window partly off
// its monitor's work area moves into the work area of the monitor it overlaps most, as
// little as needed. Without monitors the position stays as stored.
TEST(OpeningPosition, EndsInsideAWorkArea) {
    const std::vector<MonitorArea> monitors = {
        {{0, 0, 1920, 1080}, {0, 0, 1920, 1040}},
        {{1920, -200, 3200, 824}, {1920, -200, 3200, 824}},
    };
    struct Row {
        const char* what;
        gui::Position stored;
        gui::Position expected;
    };
    const Row rows[] = {
        {"inside the primary", {100, 200}, {100, 200}},
        {"inside the second", {2000, -150}, {2000, -150}},
        {"right of every monitor", {5000, 100}, {0, 0}},
        {"above every monitor", {100, -3000}, {0, 0}},
        {"above the second, right of the primary", {1950, -400}, {0, 0}},
        {"far outside, the window past the 32-bit range", {2147483600, -2147483600}, {0, 0}},
        {"partly under the task bar", {100, 1000}, {100, 890}},
        {"partly off the left edge", {-100, 300}, {0, 300}},
        {"partly off the second's right edge", {3100, 0}, {2900, 0}},
        {"one pixel on the second's lower right corner", {3199, 823}, {2900, 674}},
        {"partly above the primary", {100, -50}, {100, 0}},
        {"across both, mostly on the second", {1800, 500}, {1920, 500}},
        {"across both, mostly on the primary", {1700, 500}, {1620, 500}},
        {"across both, half on each: the first monitor", {1770, 500}, {1620, 500}},
    };
    for (const Row& row : rows) {
        const gui::Position p = onScreenPosition(row.stored, 300, 150, monitors, {0, 0});
        EXPECT_EQ(std::pair(p.x, p.y), std::pair(row.expected.x, row.expected.y)) << row.what;
    }
    const gui::Position unchanged = onScreenPosition({5000, -3000}, 300, 150, {}, {0, 0});
    EXPECT_EQ(std::pair(unchanged.x, unchanged.y), std::pair(5000, -3000));
}

}  // namespace
