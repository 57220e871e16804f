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

// What the Open dialog leaves in its buffer (size bytes of it), and the offset of the first
// name that it gives.
struct Selection {
    std::string buffer;
    std::size_t size;
    std::size_t fileOffset;
};

// One file: its whole path.
Selection one(const std::string& path) {
    return {path + '\0', path.size() + 1, path.rfind('\\') + 1};
}

// Several files: the folder, each name, and an empty string.
Selection several(const std::string& folder, const FileList& names) {
    Selection selection{folder + '\0', 0, folder.size() + 1};
    for (const std::string& name : names) selection.buffer += name + '\0';
    selection.buffer += '\0';
    selection.size = selection.buffer.size();
    return selection;
}

// The selection as a buffer of size bytes would hold it.
Selection cut(Selection selection, std::size_t size) {
    selection.size = size;
    return selection;
}

// Several names join the folder in buffer order, without doubling a root's separator. 表
// (0x95 0x5C) and ソ (0x83 0x5C) end in the byte of a backslash, which is no separator there.
// A selection too large for the buffer comes back cut (seen under Wine): what fits is read,
// nothing past the buffer's end (a NUL here), and the result is not complete.
TEST(OpenResult, PathsInBufferOrderAndWhetherTheyAreAll) {
    const std::pair<Selection, FileList> rows[] = {
        {one("D:\\MIDI\\song.mid"), {"D:\\MIDI\\song.mid"}},
        {several("D:\\M", {"z.mid", "a.mid", "z.mid"}), {"D:\\M\\z.mid", "D:\\M\\a.mid", "D:\\M\\z.mid"}},
        {several("C:\\", {"a.mid"}), {"C:\\a.mid"}},
        {several("C:/", {"a.mid"}), {"C:/a.mid"}},
        {several("", {"a.mid"}), {"\\a.mid"}},
        {several("D:\\\x95\x5C", {"a.mid"}), {"D:\\\x95\x5C\\a.mid"}},
        {several("D:\\\x83\x5C\\", {"b.mid"}), {"D:\\\x83\x5C\\b.mid"}},
        {cut(one("D:\\a.mid"), 8), {"D:\\a.mid"}},
        {cut(several("D:\\M", {"abcX"}), 8), {"D:\\M\\abc"}},
        {cut(several("D:\\M", {"a.mid", "b.mid"}), 17), {"D:\\M\\a.mid", "D:\\M\\b.mid"}},
    };
    for (const auto& [selection, paths] : rows) {
        const char* const buffer = selection.buffer.data();
        const bool whole = selection.size == selection.buffer.size();
        EXPECT_EQ(parseOpenResult(buffer, selection.size, selection.fileOffset, engine::isCp932LeadByte), paths)
            << buffer;
        EXPECT_EQ(openResultComplete(buffer, selection.size, selection.fileOffset), whole) << buffer;
    }
}

TEST(ProgramFolder, CutsAtTheLastBackslash) {
    EXPECT_EQ(programFolderOf("D:\\Tools\\quorin.exe", engine::isCp932LeadByte), "D:\\Tools");
    EXPECT_EQ(programFolderOf("D:\\\x83\x5c\x83t\\\x83\x5c.exe", engine::isCp932LeadByte), "D:\\\x83\x5c\x83t");
    EXPECT_EQ(programFolderOf("quorin.exe", engine::isCp932LeadByte), ".");
}

// The user is told the system's text for the code. Which code stands for which of the
// shell's own results is the system's to know; what holds for every result is checked here.
constexpr std::uint32_t kNoLastError = 0;
enum ShellResult : std::intptr_t {
    kOutOfResources = 0,
    kShareViolation = 26,  // SE_ERR_SHARE, the first of the shell's own
    kAssocIncomplete,
    kDdeTimeout,
    kDdeFail,
    kDdeBusy,
    kNoAssociation,
    kDllNotFound,
};
constexpr std::uint32_t kErrorSharingViolation = 32;

TEST(ShellFailure, TheLastErrorWhenThereIsOne) {
    for (const std::uint32_t lastError : {1u, 5u}) {
        EXPECT_EQ(shellFailureCode(lastError, kOutOfResources), lastError);
        EXPECT_EQ(shellFailureCode(lastError, kNoAssociation), lastError);
    }
}

// Results below the shell's own (file or path not found, access denied, bad format) are
// system codes already.
TEST(ShellFailure, ResultsThatAreSystemCodesAreToldAsThey) {
    for (std::intptr_t result = 1; result < kShareViolation; ++result)
        EXPECT_EQ(shellFailureCode(kNoLastError, result), static_cast<std::uint32_t>(result));
}

// As system codes, the shell's own results would name unrelated faults (31: a device is not
// working). Each kind is told as a code of its own: both kinds of missing association alike,
// the three DDE failures alike; a result that no failure has, as want of resources.
TEST(ShellFailure, TheShellsOwnResultsAreToldAsTheSystemsCodes) {
    const std::vector<std::intptr_t> kinds[] = {
        {kShareViolation}, {kAssocIncomplete, kNoAssociation},      {kDdeTimeout, kDdeFail, kDdeBusy},
        {kDllNotFound},    {kOutOfResources, -1, kDllNotFound + 1},
    };
    std::set<std::uint32_t> told;
    for (const std::vector<std::intptr_t>& kind : kinds) {
        const std::uint32_t code = shellFailureCode(kNoLastError, kind.front());
        for (const std::intptr_t result : kind) {
            EXPECT_EQ(shellFailureCode(kNoLastError, result), code) << result;
            EXPECT_NE(code, static_cast<std::uint32_t>(result)) << result;
        }
        told.insert(code);
    }
    EXPECT_EQ(told.size(), std::size(kinds));
    EXPECT_EQ(shellFailureCode(kNoLastError, kShareViolation), kErrorSharingViolation);
}

}  // namespace
