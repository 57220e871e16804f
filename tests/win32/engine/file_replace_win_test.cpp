// How the Win32 file system replaces a file, with the real calls under Wine: a run ended at
// each call, each ReplaceFileA error, the in-place way and what the file keeps.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <set>
#include <string>
#include <vector>

#include "engine/conversion_engine.h"
#include "engine/file_system_win.h"
#include "engine/wide_text_win.h"
#include "tests/unit/engine/smf_samples.h"
#include "tests/support/no_short_names.h"

namespace engine::testing {
namespace {

using Bytes = std::vector<std::uint8_t>;

// The Win32 file system with room for anything. Every call that changes a file is recorded
// and then goes to onCall, whose answer is the seam's (0: the call runs).
struct TestFileSystem final : Win32FileSystem {
    std::function<SystemError(Win32Call)> onCall = [](Win32Call) { return SystemError{0}; };
    std::vector<Win32Call> seen;

    bool freeSpace(const std::string&, std::uint64_t& freeBytes, FileError&) override {
        freeBytes = 1u << 30;
        return true;
    }
    SystemError beforeCall(Win32Call call) override {
        seen.push_back(call);
        return onCall(call);
    }
};

// A child process of the test below: converts the file that QUORIN_STOP_FILE names to running
// status and, at the call numbered QUORIN_STOP_AT, ends itself as a kill would (exit code 100 +
// the call); exit code 0 when the run ended first. Runs before main, only in the child.
const bool isChild = [] {
    char stopAt[16];
    wchar_t path[MAX_PATH];
    if (!GetEnvironmentVariableA("QUORIN_STOP_AT", stopAt, sizeof stopAt) ||
        !GetEnvironmentVariableW(L"QUORIN_STOP_FILE", path, MAX_PATH))
        return false;
    TestFileSystem fileSystem;
    const std::size_t stop = std::strtoul(stopAt, nullptr, 10);
    fileSystem.onCall = [&](Win32Call call) {
        if (fileSystem.seen.size() == stop) TerminateProcess(GetCurrentProcess(), 100 + static_cast<UINT>(call));
        return SystemError{0};
    };
    ConversionEngine engine(fileSystem, true);
    ExitProcess(engine.convert(utf8FromWide(path)).kind == OutcomeKind::Converted ? 0 : 1);
}();

Bytes readFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

void writeFile(const std::filesystem::path& path, const Bytes& bytes) {
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

// The exit code of this program run again as a child that converts path and ends at call stopAt.
DWORD runStoppedChild(const std::string& path, std::size_t stopAt) {
    char self[MAX_PATH];
    GetModuleFileNameA(nullptr, self, sizeof self);
    SetEnvironmentVariableA("QUORIN_STOP_AT", std::to_string(stopAt).c_str());
    SetEnvironmentVariableW(L"QUORIN_STOP_FILE", wideFromUtf8(path).c_str());
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process = {};
    std::string commandLine = "child";
    const BOOL started =
        CreateProcessA(self, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process);
    SetEnvironmentVariableA("QUORIN_STOP_AT", nullptr);
    SetEnvironmentVariableA("QUORIN_STOP_FILE", nullptr);
    if (!started) return 0xFFFFFFFF;
    WaitForSingleObject(process.hProcess, INFINITE);
    DWORD exitCode = 0xFFFFFFFF;
    GetExitCodeProcess(process.hProcess, &exitCode);
    CloseHandle(process.hProcess);
    CloseHandle(process.hThread);
    return exitCode;
}

// A fresh folder per test, holding the file song.mid with the plain bytes.
class FileReplace : public ::testing::Test {
protected:
    void SetUp() override {
        std::filesystem::remove_all(folder);
        std::filesystem::create_directory(folder);
        writeFile(path, plain);
    }
    void TearDown() override { std::filesystem::remove_all(folder); }

    // The names in the folder.
    std::set<std::string> names() const {
        std::set<std::string> result;
        for (const auto& entry : std::filesystem::directory_iterator(folder))
            result.insert(entry.path().filename().u8string());
        return result;
    }
    // Converts file (UTF-8; by default song.mid) to running status.
    FileOutcome convert(TestFileSystem& fileSystem, const std::string& file = {}) {
        ConversionEngine engine(fileSystem, true);
        return engine.convert(file.empty() ? path : file);
    }

    const Bytes plain = plainSmf();
    const Bytes converted = runningStatusSmf();
    const std::string folder =
        (std::filesystem::temp_directory_path() / ("quorin-replace-" + std::to_string(GetCurrentProcessId()))).string();
    const std::string path = folder + "\\song.mid";
    const ReplacementNames replacement = replacementNames(path);
};

// One way of a rewrite: the file's name, and whether a second link makes it go in place.
struct Way {
    const char* label;
    const char* name;  // UTF-8
    bool secondLink;
};

// For each call N that changes a file, N = 1, 2, ... until the run completes, with the file
// replaced whole (under an ANSI name and under one that the ANSI code page cannot spell,
// whose temporary names are spelled for it) and (with a second link) written through in place:
// - a child process ends at call N: replaced whole, the file holds exactly its former bytes or
//   the result; in place, it may be a mix (the risk the help page names), but both links see
//   the same bytes. A later run converts it and removes what the child left beside it.
// - call N fails: the result, or the former bytes and a failed rewrite that says they are back;
//   nothing is left beside the file either way.
TEST_F(FileReplace, EndedOrFailingAtEveryCallLeavesTheFormerBytesOrTheResult) {
    const Way ways[] = {
        {"replaced whole", "song.mid", false},
        {"replaced whole, a name outside the ANSI code page", "Für Elise.mid", false},
        {"in place", "song.mid", true},
    };
    for (const Way& way : ways) {
        SCOPED_TRACE(way.label);
        const std::string file = folder + "\\" + way.name;
        const std::filesystem::path filePath = std::filesystem::u8path(file);
        const std::string link = folder + "\\link.mid";
        const std::set<std::string> alone =
            way.secondLink ? std::set<std::string>{"link.mid", way.name} : std::set<std::string>{way.name};
        if (file != path) std::filesystem::remove(path);
        for (std::size_t n = 1;; ++n) {
            SCOPED_TRACE(n);
            ASSERT_LT(n, 50u);
            writeFile(filePath, plain);
            if (way.secondLink) {
                ASSERT_TRUE(CreateHardLinkA(link.c_str(), path.c_str(), nullptr));
            }
            const DWORD exitCode = runStoppedChild(file, n);
            ASSERT_NE(exitCode, 1u);
            if (way.secondLink) {
                EXPECT_EQ(readFile(link), readFile(filePath));
            } else {
                EXPECT_TRUE(readFile(filePath) == plain || readFile(filePath) == converted);
            }
            TestFileSystem later;
            EXPECT_EQ(convert(later, file).kind, OutcomeKind::Converted);
            EXPECT_EQ(readFile(filePath), converted);
            EXPECT_EQ(names(), alone);

            writeFile(filePath, plain);
            TestFileSystem failing;
            failing.onCall = [&](Win32Call) { return failing.seen.size() == n ? ERROR_WRITE_FAULT : 0; };
            const FileOutcome outcome = convert(failing, file);
            if (outcome.kind == OutcomeKind::Converted) {
                EXPECT_EQ(readFile(filePath), converted);
            } else {
                EXPECT_EQ(outcome.kind, OutcomeKind::WriteFailed);
                EXPECT_EQ(outcome.error, SystemError{ERROR_WRITE_FAULT});
                EXPECT_TRUE(outcome.restored);
                EXPECT_EQ(readFile(filePath), plain);
            }
            if (n > failing.seen.size() || failing.seen[n - 1] != Win32Call::Remove) {
                EXPECT_EQ(names(), alone);  // a failed removal leaves a file for the next run
            }
            if (way.secondLink) DeleteFileA(link.c_str());
            if (exitCode == 0) break;
            EXPECT_EQ(exitCode, 100 + static_cast<DWORD>(failing.seen[n - 1]));
        }
        std::filesystem::remove(filePath);
    }
}

// What ReplaceFileW answers (and leaves) when it fails, and what the file then holds.
struct ReplaceFailure {
    const char* name;
    DWORD error;
    const char*
        movedTo;       // where the file went, or null: ERROR_UNABLE_TO_MOVE_REPLACEMENT_2 leaves it at the backup name
    int movesRefused;  // of the MoveFileExA calls that follow
    OutcomeKind kind;
    bool restored;
    bool holdsResult;  // else the former bytes (when the path is there)
};

// Each documented error, one that says ReplaceFileA cannot do it here, and one of any other
// kind: half done, the replacement is finished, else undone; failing both, the file's two
// versions stay beside its path and the failure says the original is not back. Half done with
// the file gone to a name of the system's own (as ERROR_UNABLE_TO_MOVE_REPLACEMENT leaves it
// without a backup name), the replacement is finished too.
TEST_F(FileReplace, EachReplaceFileErrorIsFinishedOrUndone) {
    const char* const backup = "song.mid.quorin-old.tmp";
    const char* const elsewhere = "rf1A2B.tmp";
    const ReplaceFailure failures[] = {
        // name, error, moved to, moves refused, outcome, restored, holds the result
        {"cannot remove the file", ERROR_UNABLE_TO_REMOVE_REPLACED, nullptr, 0, OutcomeKind::WriteFailed, true, false},
        {"cannot move the result", ERROR_UNABLE_TO_MOVE_REPLACEMENT, nullptr, 0, OutcomeKind::WriteFailed, true, false},
        {"half done, finished", ERROR_UNABLE_TO_MOVE_REPLACEMENT_2, backup, 0, OutcomeKind::Converted, true, true},
        {"half done, undone", ERROR_UNABLE_TO_MOVE_REPLACEMENT_2, backup, 1, OutcomeKind::WriteFailed, true, false},
        {"half done, neither", ERROR_UNABLE_TO_MOVE_REPLACEMENT_2, backup, 2, OutcomeKind::WriteFailed, false, false},
        {"gone elsewhere, finished", ERROR_UNABLE_TO_MOVE_REPLACEMENT, elsewhere, 0, OutcomeKind::Converted, true,
         true},
        {"not supported here", ERROR_NOT_SUPPORTED, nullptr, 0, OutcomeKind::Converted, true, true},
        {"not supported, nor moving", ERROR_NOT_SUPPORTED, nullptr, 1, OutcomeKind::WriteFailed, true, false},
        {"in use", ERROR_SHARING_VIOLATION, nullptr, 0, OutcomeKind::WriteFailed, true, false},
    };
    for (const ReplaceFailure& failure : failures) {
        SCOPED_TRACE(failure.name);
        writeFile(path, plain);
        TestFileSystem fileSystem;
        int moves = 0;
        fileSystem.onCall = [&](Win32Call call) -> SystemError {
            if (call == Win32Call::Move) return ++moves <= failure.movesRefused ? ERROR_ACCESS_DENIED : 0;
            if (call != Win32Call::Replace) return 0;
            if (failure.movedTo) MoveFileExA(path.c_str(), (folder + "\\" + failure.movedTo).c_str(), 0);
            return failure.error;
        };
        const FileOutcome outcome = convert(fileSystem);
        EXPECT_EQ(outcome.kind, failure.kind);
        EXPECT_EQ(outcome.restored, failure.restored);
        if (!failure.restored) {
            EXPECT_EQ(outcome.error, failure.error);
            EXPECT_EQ(names(), (std::set<std::string>{"song.mid.quorin-new.tmp", "song.mid.quorin-old.tmp"}));
            EXPECT_EQ(readFile(replacement.backup), plain);
            EXPECT_EQ(readFile(replacement.temporary), converted);
            std::filesystem::remove(replacement.temporary);
            std::filesystem::rename(replacement.backup, path);
            continue;
        }
        if (outcome.kind == OutcomeKind::WriteFailed) {
            EXPECT_EQ(outcome.error, failure.error);
        }
        EXPECT_EQ(readFile(path), failure.holdsResult ? converted : plain);
        if (failure.movedTo == elsewhere) {
            EXPECT_EQ(names(), (std::set<std::string>{elsewhere, "song.mid"}));
            std::filesystem::remove(folder + "\\" + elsewhere);
        }
        EXPECT_EQ(names(), std::set<std::string>{"song.mid"});
    }
}

// The temporary and backup names say whose they are, in the ANSI code page: "NAME.quorin-new.tmp"
// and "NAME.quorin-old.tmp" for a name that it spells exactly; for one that it cannot spell, the
// name's best-fit spelling (a character with none as "_") and a tag of 16 hex digits, the same
// whatever the name's case, and another for another name of the same spelling (also where
// the two differ only in the high byte of a character).
TEST(ReplacementNames, SayWhoseTheyAreInTheAnsiCodePage) {
    const std::wstring folder = L"C:\\music\\";
    const ReplacementNames ansi = replacementNames("C:\\music\\Fur Elise.mid");
    EXPECT_EQ(ansi.full, folder + L"Fur Elise.mid");
    EXPECT_EQ(ansi.temporary, folder + L"Fur Elise.mid.quorin-new.tmp");
    EXPECT_EQ(ansi.backup, folder + L"Fur Elise.mid.quorin-old.tmp");

    struct Spelled {
        const char* name;  // UTF-8
        const wchar_t* spelling;
    };
    const Spelled rows[] = {
        {"Für Elise.mid", L"Fur Elise.mid"}, {"FÜR ELISE.MID", L"FUR ELISE.MID"}, {"Fúr Elise.mid", L"Fur Elise.mid"},
        {"\xEA\xB3\xA1.mid", L"_.mid"},  // a Hangul syllable (U+ACE1), which has no best fit
        {"\xEA\xB7\xA1.mid", L"_.mid"},  // U+ADE1, another in the high byte only
    };
    std::vector<std::wstring> tags;
    for (const Spelled& row : rows) {
        SCOPED_TRACE(row.name);
        const ReplacementNames names = replacementNames(std::string("C:\\music\\") + row.name);
        const std::wstring start = folder + row.spelling + L".quorin-new-";
        ASSERT_EQ(names.temporary.size(), start.size() + 16 + 4);
        EXPECT_EQ(names.temporary.substr(0, start.size()), start);
        const std::wstring tag = names.temporary.substr(start.size(), 16);
        EXPECT_EQ(tag.find_first_not_of(L"0123456789ABCDEF"), std::wstring::npos);
        EXPECT_EQ(names.temporary.substr(start.size() + 16), L".tmp");
        EXPECT_EQ(names.backup, folder + row.spelling + L".quorin-old-" + tag + L".tmp");
        std::string ansiName;
        EXPECT_TRUE(exactAnsi(names.temporary.substr(folder.size()), ansiName));
        tags.push_back(tag);
    }
    EXPECT_EQ(tags[0], tags[1]);
    EXPECT_NE(tags[0], tags[2]);
    EXPECT_NE(tags[3], tags[4]);
}

// A name that the ANSI code page cannot spell is replaced whole through the wide calls, also
// where no name has a short form (no short name is even asked for), and keeps its name; the
// leftovers of other names that share its spelling stay as they are. Given by its short name
// (Wine makes one up), the file keeps its long name too.
TEST_F(FileReplace, ANameOutsideTheAnsiCodePageIsReplacedWholeWithoutItsShortName) {
    const std::string fur = folder + "\\Für Elise.mid";
    const std::filesystem::path furPath = std::filesystem::u8path(fur);
    writeFile(furPath, plain);
    std::set<std::string> expected = {"Für Elise.mid", "song.mid"};
    for (const char* other : {"\\Fur Elise.mid", "\\Fúr Elise.mid"}) {
        const ReplacementNames leftovers = replacementNames(folder + other);
        for (const std::wstring* name : {&leftovers.temporary, &leftovers.backup}) {
            writeFile(*name, {'x'});
            expected.insert(std::filesystem::path(*name).filename().u8string());
        }
    }
    ASSERT_EQ(names().size(), 6u);
    {
        const testing_win32::NoShortNames noShortNames;
        ASSERT_TRUE(noShortNames.active());
        TestFileSystem fileSystem;
        EXPECT_EQ(convert(fileSystem, fur).kind, OutcomeKind::Converted);
        EXPECT_EQ(std::count(fileSystem.seen.begin(), fileSystem.seen.end(), Win32Call::Replace), 1);
        EXPECT_EQ(testing_win32::NoShortNames::calls(), 0);
    }
    EXPECT_EQ(readFile(furPath), converted);
    EXPECT_EQ(names(), expected);

    wchar_t shortName[MAX_PATH];
    ASSERT_NE(GetShortPathNameW(furPath.c_str(), shortName, MAX_PATH), 0u);
    ASSERT_NE(std::wstring(shortName), furPath.wstring());
    writeFile(furPath, plain);
    TestFileSystem byShortName;
    EXPECT_EQ(convert(byShortName, utf8FromWide(shortName)).kind, OutcomeKind::Converted);
    EXPECT_EQ(std::count(byShortName.seen.begin(), byShortName.seen.end(), Win32Call::Replace), 1);
    EXPECT_EQ(readFile(furPath), converted);
    EXPECT_EQ(names(), expected);
}

// Where a new file would not be the same file, or cannot be made, the file is written in place:
// a second link (which then sees the result too), a folder that refuses the temporary file, and
// a name that leaves no room for the temporary file's within MAX_PATH.
TEST_F(FileReplace, InPlaceWhereANewFileWouldNotBeTheSameFileOrCannotBeMade) {
    const std::string link = folder + "\\link.mid";
    ASSERT_TRUE(CreateHardLinkA(link.c_str(), path.c_str(), nullptr));
    TestFileSystem linked;
    EXPECT_EQ(convert(linked).kind, OutcomeKind::Converted);
    EXPECT_EQ(readFile(link), converted);
    ASSERT_TRUE(DeleteFileA(link.c_str()));

    writeFile(path, plain);
    TestFileSystem refusing;
    refusing.onCall = [](Win32Call call) {
        return call == Win32Call::CreateTemporary ? SystemError{ERROR_ACCESS_DENIED} : 0;
    };
    EXPECT_EQ(convert(refusing).kind, OutcomeKind::Converted);
    EXPECT_EQ(readFile(path), converted);
    EXPECT_EQ(names(), std::set<std::string>{"song.mid"});

    // A path whose temporary file's path takes all of MAX_PATH's 259 bytes is replaced; one
    // byte longer, it is written in place.
    for (const std::size_t length : {std::size_t{244}, std::size_t{245}}) {
        SCOPED_TRACE(length);
        const std::string name = folder + "\\" + std::string(length - folder.size() - 5, 'x') + ".mid";
        ASSERT_EQ(replacementNames(name).temporary.size(), length == 244 ? 259u : 0u);
        writeFile(name, plain);
        TestFileSystem fileSystem;
        ConversionEngine engine(fileSystem, true);
        EXPECT_EQ(engine.convert(name).kind, OutcomeKind::Converted);
        EXPECT_EQ(readFile(name), converted);
        const auto replaces = std::count(fileSystem.seen.begin(), fileSystem.seen.end(), Win32Call::Replace);
        EXPECT_EQ(replaces, length == 244 ? 1 : 0);
        DeleteFileA(name.c_str());
    }
}

// Replaced whole, the file keeps its attributes (hidden, system, archive; Wine shows every file
// as archive), its creation time and its alternate data streams, and a handle without sharing
// holds it again afterwards.
TEST_F(FileReplace, TheFileKeepsItsAttributesCreationTimeAndStreams) {
    constexpr DWORD kShown = FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_ARCHIVE;
    const std::string system = folder + "\\system.mid";
    writeFile(system, plain);
    ASSERT_TRUE(SetFileAttributesA(system.c_str(), FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM));
    const DWORD systemBefore = GetFileAttributesA(system.c_str()) & kShown;
    TestFileSystem systemFiles;
    ConversionEngine systemEngine(systemFiles, true);
    EXPECT_EQ(systemEngine.convert(system).kind, OutcomeKind::Converted);
    EXPECT_EQ(GetFileAttributesA(system.c_str()) & kShown, systemBefore);

    const std::string stream = path + ":Zone.Identifier";
    writeFile(stream, {'Z', 'o', 'n', 'e'});
    ASSERT_TRUE(SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_ARCHIVE));
    const DWORD before = GetFileAttributesA(path.c_str()) & kShown;
    const FILETIME created = {0x12345600, 0x01C00000};  // in 1999
    const HANDLE handle = CreateFileA(path.c_str(), FILE_WRITE_ATTRIBUTES, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_TRUE(SetFileTime(handle, &created, nullptr, nullptr));
    CloseHandle(handle);
    // Wine sets no creation time (it shows the Unix file's change time): there, nothing to compare.
    const auto creationTime = [&] {
        WIN32_FILE_ATTRIBUTE_DATA data = {};
        GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data);
        return std::make_pair(data.ftCreationTime.dwLowDateTime, data.ftCreationTime.dwHighDateTime);
    };
    const bool creationTimeSet = creationTime() == std::make_pair(created.dwLowDateTime, created.dwHighDateTime);

    TestFileSystem fileSystem;
    DWORD othersOpen = 0;
    struct Holder final : ConversionListener {
        std::function<void()> finished;
        void fileStarted(const std::string&) override {}
        void fileFinished(const std::string&, const FileOutcome&) override { finished(); }
    } listener;
    listener.finished = [&] {
        const HANDLE other = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                         OPEN_EXISTING, 0, nullptr);
        othersOpen = other == INVALID_HANDLE_VALUE ? GetLastError() : (CloseHandle(other), 0);
    };
    ConversionEngine engine(fileSystem, true);
    EXPECT_EQ(engine.convert(path, &listener).kind, OutcomeKind::Converted);
    EXPECT_EQ(readFile(path), converted);
    EXPECT_EQ(othersOpen, DWORD{ERROR_SHARING_VIOLATION});
    EXPECT_EQ(GetFileAttributesA(path.c_str()) & kShown, before);
    if (creationTimeSet) {
        EXPECT_EQ(creationTime(), std::make_pair(created.dwLowDateTime, created.dwHighDateTime));
    }
    EXPECT_EQ(readFile(stream), (Bytes{'Z', 'o', 'n', 'e'}));
}

}  // namespace
}  // namespace engine::testing
