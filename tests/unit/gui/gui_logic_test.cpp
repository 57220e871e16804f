// The portable rules of the program's windows: the Open dialog's filter and result, the
// program's folder, the error told when the shell cannot open something, where dialogs, boxes
// and the main window go, the string loader, and the reports of a run.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>

#include "engine/path_split.h"
#include "gui/centring.h"
#include "gui/message_text.h"
#include "gui/open_selection.h"
#include "gui/program_folder.h"
#include "gui/report.h"
#include "gui/shell_failure.h"
#include "gui/window_position.h"
#include "res/resource.h"

namespace gui {
namespace {

using namespace std::string_literals;
using engine::isCp932LeadByte;
using engine::OutcomeKind;

std::string filter(const std::string& text) {
    const std::vector<char> buffer = openFilterBuffer(text);
    return {buffer.begin(), buffer.end()};
}

TEST(OpenFilter, LinesBecomeNulTerminated) {
    EXPECT_EQ(filter("M\n*.mid\nA\n*.*\n"), "M\0*.mid\0A\0*.*\0\0"s);
    EXPECT_EQ(filter("A\n*.*"), "A\0*.*\0\0"s);
    EXPECT_EQ(filter("\n"), "\0\0"s);
}

// What the Open dialog leaves in its buffer (size bytes of it), and the offset of the first
// name that it gives: for one file its path; for several the folder, each name and an empty
// string.
struct Selection {
    std::string buffer;
    std::size_t size;
    std::size_t fileOffset;
};

Selection one(const std::string& path) {
    return {path + '\0', path.size() + 1, path.rfind('\\') + 1};
}

Selection several(const std::string& folder, const FileList& names) {
    std::string buffer = folder + '\0';
    for (const std::string& name : names) buffer += name + '\0';
    return {buffer + '\0', buffer.size() + 1, folder.size() + 1};
}

// The selection as a buffer of size bytes holds it.
Selection cut(Selection selection, std::size_t size) {
    selection.size = size;
    return selection;
}

// Several names join the folder in buffer order, without doubling a root's separator. 表 (0x95
// 0x5C) and ソ (0x83 0x5C) end in the byte of a backslash, which is no separator there. A
// selection too large for the buffer comes back cut (seen under Wine): what fits is read,
// nothing past the buffer's end (a NUL here), and the result is not complete.
TEST(OpenResult, PathsInOrderAndWhetherCut) {
    const std::pair<Selection, FileList> rows[] = {
        {one("D:\\M\\a.mid"), {"D:\\M\\a.mid"}},
        {several("D:\\M", {"z", "a", "z"}), {"D:\\M\\z", "D:\\M\\a", "D:\\M\\z"}},
        {several("C:\\", {"a"}), {"C:\\a"}},
        {several("", {"a"}), {"\\a"}},
        {several("D:\\\x95\x5C", {"a"}), {"D:\\\x95\x5C\\a"}},
        {several("\x83\x5C\\", {"a"}), {"\x83\x5C\\a"}},
        {cut(one("D:\\a.mid"), 8), {"D:\\a.mid"}},
        {cut(several("D:\\M", {"abcX"}), 8), {"D:\\M\\abc"}},
        {cut(several("D:\\M", {"a", "b"}), 9), {"D:\\M\\a", "D:\\M\\b"}},
    };
    for (const auto& [selection, paths] : rows) {
        const auto& [buffer, size, offset] = selection;
        EXPECT_EQ(parseOpenResult(buffer.data(), size, offset, isCp932LeadByte), paths) << buffer;
        EXPECT_EQ(openResultComplete(buffer.data(), size, offset), size == buffer.size()) << buffer;
    }
}

TEST(ProgramFolder, CutAtTheLastBackslash) {
    EXPECT_EQ(programFolderOf("D:\\Tools\\quorin.exe", isCp932LeadByte), "D:\\Tools");
    EXPECT_EQ(programFolderOf("D:\\\x83\x5c\x83t\\\x83\x5c.exe", isCp932LeadByte), "D:\\\x83\x5c\x83t");
    EXPECT_EQ(programFolderOf("quorin.exe", isCp932LeadByte), ".");
}

// ShellExecute's results of its own (26 to 32), as system codes, would name unrelated faults
// (31: a device is not working); below them, its results are system codes already (file or
// path not found, access denied...).
constexpr std::intptr_t kFirstOwnResult = 26;
constexpr std::intptr_t kLastOwnResult = 32;
constexpr std::intptr_t kOutOfResources = 0;

// The user is told the system's text for a code: the last error when there is one; else a
// result below the shell's own as itself, one of its own as a system code of another number,
// and a result that no failure has as want of resources. Which code stands for which of the
// shell's own is the system's to know, and is not repeated here.
TEST(ShellFailure, IsToldAsASystemCode) {
    EXPECT_EQ(shellFailureCode(1, kLastOwnResult), 1u);
    for (std::intptr_t result = 1; result < kFirstOwnResult; ++result)
        EXPECT_EQ(shellFailureCode(0, result), static_cast<std::uint32_t>(result));
    for (std::intptr_t result = kFirstOwnResult; result <= kLastOwnResult; ++result)
        EXPECT_NE(shellFailureCode(0, result), static_cast<std::uint32_t>(result));
    EXPECT_EQ(shellFailureCode(0, kLastOwnResult + 1), shellFailureCode(0, kOutOfResources));
}

std::pair<std::int32_t, std::int32_t> xy(Position p) {
    return {p.x, p.y};
}

enum Owner { kNoOwner, kHiddenOwner, kShownOwner };

const Rectangle kScreen{0, 0, 1000, 700};
const Rectangle kSmall{0, 0, 200, 100};
const Rectangle kBig{500, 500, 800, 700};

// Where a top-level window (by default 100 x 50) goes, its owner over ownerArea.
std::pair<std::int32_t, std::int32_t> placed(Owner owner, Rectangle ownerArea, Rectangle window = {500, 500, 600, 550},
                                             Rectangle workArea = kScreen) {
    CentringScene scene;
    scene.window = window;
    scene.hasOwner = owner != kNoOwner;
    scene.ownerVisible = owner != kHiddenOwner;
    scene.owner = ownerArea;
    scene.workArea = workArea;
    return xy(placeWindow(scene));
}

// A top-level window goes over its owner only when that is shown and not minimised, else over
// the work area, and stays inside the work area: one correction per axis, the left and top
// edges first, so a window larger than the area overhangs it.
TEST(PlaceWindow, OverItsOwnerInTheWorkArea) {
    EXPECT_EQ(placed(kNoOwner, kSmall), xy({450, 325}));
    EXPECT_EQ(placed(kHiddenOwner, kSmall), xy({450, 325}));
    EXPECT_EQ(placed(kShownOwner, {100, 100, 500, 400}), xy({250, 225}));
    EXPECT_EQ(placed(kShownOwner, {0, 0, 100, 100}, kBig), xy({0, 0}));
    EXPECT_EQ(placed(kShownOwner, {900, 600, 1000, 700}, kBig), xy({700, 500}));
    EXPECT_EQ(placed(kShownOwner, {150, 60, 250, 140}, kBig, kSmall), xy({-100, -100}));
}

// A primary monitor with a task bar along its foot, and a second one to its right that starts
// higher; a window of 300 x 150. A position from which the window would be seen on no monitor
// gives way to (0, 0); a window partly off its monitor's work area moves into the work area of
// the monitor it overlaps most (the first on a tie), as little as needed. Without monitors, the
// position stays.
TEST(OpeningPosition, IsInAWorkArea) {
    const std::vector<MonitorArea> monitors = {
        {{0, 0, 1920, 1080}, {0, 0, 1920, 1040}},
        {{1920, -200, 3200, 824}, {1920, -200, 3200, 824}},
    };
    const std::int32_t width = 300;
    const std::int32_t height = 150;
    const auto opening = [&](Position stored) { return xy(onScreenPosition(stored, width, height, monitors, {0, 0})); };
    EXPECT_EQ(opening({2147483600, -2147483600}), xy({0, 0}));
    EXPECT_EQ(opening({100, 1000}), xy({100, 890}));
    EXPECT_EQ(opening({3199, 823}), xy({2900, 674}));
    EXPECT_EQ(opening({1800, 500}), xy({1920, 500}));
    EXPECT_EQ(opening({1770, 500}), xy({1620, 500}));
    EXPECT_EQ(xy(onScreenPosition({5000, -3000}, width, height, {}, {0, 0})), xy({5000, -3000}));
}

// The loader is fed as LoadStringA feeds it: at most capacity - 1 bytes and a NUL, the count
// returned, 0 for a missing entry. It asks again, with more room, until 3 bytes are left.
TEST(MessageText, LoaderGrowsUntilWhole) {
    // text length, loads
    const std::pair<int, int> rows[] = {{0, 1}, {1, 1}, {253, 1}, {254, 2}};
    for (const auto& [length, loads] : rows) {
        const std::string stored(static_cast<std::size_t>(length), '\x82');
        int asked = 0;
        std::string text = "old";
        const bool found = loadTextGrowing(text, [&, length = length](char* buffer, int capacity) {
            ++asked;
            const int copied = std::min(length, capacity - 1);
            std::memcpy(buffer, stored.c_str(), static_cast<std::size_t>(copied) + 1);
            return copied;
        });
        EXPECT_EQ(found, length > 0);
        EXPECT_EQ(text, stored);
        EXPECT_EQ(asked, loads) << length;
    }
}

// The caption of a message box follows its icon; without one, it has none.
TEST(MessageText, CaptionFollowsTheIcon) {
    const std::uint32_t iconError = 0x10;
    const std::uint32_t otherBits = 0x2F00;
    EXPECT_EQ(captionIdForStyle(iconError | otherBits), std::uint32_t{IDS_CAPTION_ERROR});
    EXPECT_EQ(captionIdForStyle(otherBits), 0u);
}

std::string text(std::uint32_t id) {
    return "<" + std::to_string(id) + ">";
}

engine::FileOutcome outcome(OutcomeKind kind, bool restored) {
    engine::FileOutcome outcome;
    outcome.kind = kind;
    outcome.restored = restored;
    return outcome;
}

// The report shown when memory ran out or something unexpected was thrown: the state of a
// failed rewrite first, then the problem; in the room reserved when the run began, where the
// longest path fits and a longer one is left out.
TEST(Report, FallbackNeedsNoMemory) {
    FallbackReport fallback(text);
    const engine::FileOutcome notSmf = outcome(OutcomeKind::NotSmf, true);
    const engine::FileOutcome lost = outcome(OutcomeKind::WriteFailed, false);
    const std::string writeFailed = text(IDS_WRITE_FAILED);
    const std::string lostTail = writeFailed + text(IDS_RESTORE_FAILED) + "\n" + text(IDS_UNEXPECTED_ERROR);
    EXPECT_EQ(fallback.compose("a", true, nullptr), "'a'\n\n" + text(IDS_OUT_OF_MEMORY));
    EXPECT_EQ(fallback.compose("a", false, &notSmf), "'a'\n\n" + text(IDS_UNEXPECTED_ERROR));
    const std::string longest(FallbackReport::kLongestPath, 'x');
    const char* const room = fallback.compose("", true, nullptr).data();
    EXPECT_EQ(fallback.compose(longest, false, &lost), "'" + longest + "'\n\n" + lostTail);
    EXPECT_EQ(fallback.compose(longest, false, &lost).data(), room);
    EXPECT_EQ(fallback.compose(longest + "y", false, &lost), "''\n\n" + lostTail);
}

}  // namespace
}  // namespace gui
