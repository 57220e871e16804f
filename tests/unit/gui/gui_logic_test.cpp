// The Open dialog's filter and result, the program's folder, and the error a user is told
// when the shell cannot open something.
#include <gtest/gtest.h>

#include <set>

#include "engine/path_split.h"
#include "gui/open_selection.h"
#include "gui/program_folder.h"
#include "gui/shell_failure.h"

namespace {

using namespace std::string_literals;

std::string filter(const std::string& text) {
    const std::vector<char> buffer = openFilterBuffer(text);
    return {buffer.begin(), buffer.end()};
}

TEST(OpenFilter, LineFeedsBecomeNulsAndTheListEndsInTwoNuls) {
    EXPECT_EQ(filter("M\n*.mid\nA\n*.*\n"), "M\0*.mid\0A\0*.*\0\0"s);
    EXPECT_EQ(filter("A\n*.*"), "A\0*.*\0\0"s);
    EXPECT_EQ(filter("\n"), "\0\0"s);
    EXPECT_EQ(filter(""), "\0\0"s);
}

// What the Open dialog leaves in its buffer, and the offset of the first name that it gives:
// for one file its path; for several the folder, each name and an empty string.
struct Selection {
    std::string buffer;
    std::size_t fileOffset;
};

Selection one(const std::string& path) {
    return {path + '\0', path.rfind('\\') + 1};
}

Selection several(const std::string& folder, const FileList& names) {
    Selection selection{folder + '\0', folder.size() + 1};
    for (const std::string& name : names) selection.buffer += name + '\0';
    selection.buffer += '\0';
    return selection;
}

// Several names join the folder in buffer order, without doubling a root's separator. 表
// (0x95 0x5C) and ソ (0x83 0x5C) end in the byte of a backslash, which is no separator there.
TEST(OpenResult, PathsInBufferOrder) {
    const std::pair<Selection, FileList> rows[] = {
        {one("D:\\MIDI\\song.mid"), {"D:\\MIDI\\song.mid"}},
        {several("D:\\M", {"z.mid", "a.mid", "z.mid"}), {"D:\\M\\z.mid", "D:\\M\\a.mid", "D:\\M\\z.mid"}},
        {several("C:\\", {"a.mid"}), {"C:\\a.mid"}},
        {several("C:/", {"a.mid"}), {"C:/a.mid"}},
        {several("", {"a.mid"}), {"\\a.mid"}},
        {several("D:\\\x95\x5C", {"a.mid"}), {"D:\\\x95\x5C\\a.mid"}},
        {several("D:\\\x83\x5C\\", {"b.mid"}), {"D:\\\x83\x5C\\b.mid"}},
    };
    for (const auto& [selection, paths] : rows) {
        const std::string& buffer = selection.buffer;
        EXPECT_EQ(parseOpenResult(buffer.data(), buffer.size(), selection.fileOffset, engine::isCp932LeadByte), paths);
        EXPECT_TRUE(openResultComplete(buffer.data(), buffer.size(), selection.fileOffset)) << buffer;
    }
}

// A selection too large for the buffer comes back cut (seen under Wine): what fits is read,
// nothing past the buffer's end (a NUL here), and the result is not complete.
TEST(OpenResult, ACutResultIsNotComplete) {
    struct Row {
        Selection selection;
        std::size_t size;
        FileList paths;
    };
    const Row rows[] = {
        {one("D:\\a.mid"), 8, {"D:\\a.mid"}},
        {several("D:\\M", {"abcX"}), 8, {"D:\\M\\abc"}},
        {several("D:\\M", {"a.mid", "b.mid"}), 17, {"D:\\M\\a.mid", "D:\\M\\b.mid"}},
    };
    for (const auto& [selection, size, paths] : rows) {
        EXPECT_EQ(parseOpenResult(selection.buffer.data(), size, selection.fileOffset, engine::isCp932LeadByte), paths);
        EXPECT_FALSE(openResultComplete(selection.buffer.data(), size, selection.fileOffset)) << selection.buffer;
    }
}

TEST(ProgramFolder, CutsAtTheLastBackslash) {
    EXPECT_EQ(programFolderOf("D:\\Tools\\quorin.exe", engine::isCp932LeadByte), "D:\\Tools");
    EXPECT_EQ(programFolderOf("D:\\\x83\x5c\x83t\\\x83\x5c.exe", engine::isCp932LeadByte), "D:\\\x83\x5c\x83t");
    EXPECT_EQ(programFolderOf("quorin.exe", engine::isCp932LeadByte), ".");
}

// ShellExecute's results: below its own (26 to 32), they are system codes already (file or
// path not found, access denied...); its own, as system codes, would name unrelated faults.
enum ShellResult : std::intptr_t { kOutOfResources, kShare = 26, kAssocIncomplete, kDdeTimeout, kDdeFail, kDdeBusy };
enum : std::intptr_t { kNoAssociation = 31, kDllNotFound, kNoFailure };
constexpr std::uint32_t kErrorSharingViolation = 32;

// The user is told the system's text for a code: the last error when there is one. Else each
// result below the shell's own as itself, and each kind of the shell's own failures as a code
// of its own, not its number: which code stands for which is the system's to know and is not
// repeated here but for the plainest, a sharing violation. A result that no failure has is
// told as want of resources.
TEST(ShellFailure, EachFailureIsToldAsASystemCode) {
    EXPECT_EQ(shellFailureCode(1, kNoAssociation), 1u);
    for (std::intptr_t result = 1; result < kShare; ++result)
        EXPECT_EQ(shellFailureCode(0, result), static_cast<std::uint32_t>(result));
    const std::vector<std::intptr_t> kinds[] = {
        {kShare},                            // the file is in use
        {kAssocIncomplete, kNoAssociation},  // no program for it
        {kDdeTimeout, kDdeFail, kDdeBusy},   // the program did not answer
        {kDllNotFound},                      // a part of the program is missing
        {kOutOfResources, -1, kNoFailure},   // want of resources
    };
    std::set<std::uint32_t> told;
    for (const std::vector<std::intptr_t>& kind : kinds) {
        const std::uint32_t code = shellFailureCode(0, kind.front());
        for (const std::intptr_t result : kind) {
            EXPECT_EQ(shellFailureCode(0, result), code) << result;
            EXPECT_NE(code, static_cast<std::uint32_t>(result)) << result;
        }
        told.insert(code);
    }
    EXPECT_EQ(told.size(), std::size(kinds));
    EXPECT_EQ(shellFailureCode(0, kShare), kErrorSharingViolation);
}

}  // namespace
