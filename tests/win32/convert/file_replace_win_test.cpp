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

#include "../../unit/convert/smf_samples.h"
#include "convert/conversion_engine.h"
#include "convert/file_system_win.h"

namespace convert::testing {
namespace {

using Bytes = std::vector<std::uint8_t>;

// The Win32 file system with room for anything. Every call that changes a file is recorded
// and then goes to onCall, whose answer is the seam's (0: the call runs).
struct TestFileSystem final : Win32FileSystem {
    std::function<SystemError(Win32Call)> onCall = [](Win32Call) { return SystemError{0}; };
    std::vector<Win32Call> seen;

    bool freeSpace(const std::string&, std::uint64_t& freeBytes, SystemError&) override {
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
    char path[MAX_PATH];
    if (!GetEnvironmentVariableA("QUORIN_STOP_AT", stopAt, sizeof stopAt) ||
        !GetEnvironmentVariableA("QUORIN_STOP_FILE", path, sizeof path))
        return false;
    TestFileSystem fileSystem;
    const std::size_t stop = std::strtoul(stopAt, nullptr, 10);
    fileSystem.onCall = [&](Win32Call call) {
        if (fileSystem.seen.size() == stop) TerminateProcess(GetCurrentProcess(), 100 + static_cast<UINT>(call));
        return SystemError{0};
    };
    ConversionEngine engine(fileSystem, true);
    ExitProcess(engine.convert(path).kind == OutcomeKind::Converted ? 0 : 1);
}();

Bytes readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

void writeFile(const std::string& path, const Bytes& bytes) {
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()),
                                                static_cast<std::streamsize>(bytes.size()));
}

// The exit code of this program run again as a child that converts path and ends at call stopAt.
DWORD runStoppedChild(const std::string& path, std::size_t stopAt) {
    char self[MAX_PATH];
    GetModuleFileNameA(nullptr, self, sizeof self);
    SetEnvironmentVariableA("QUORIN_STOP_AT", std::to_string(stopAt).c_str());
    SetEnvironmentVariableA("QUORIN_STOP_FILE", path.c_str());
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
            result.insert(entry.path().filename().string());
        return result;
    }
    FileOutcome convert(TestFileSystem& fileSystem) {
        ConversionEngine engine(fileSystem, true);
        return engine.convert(path);
    }

    const Bytes plain = plainSmf();
    const Bytes converted = runningStatusSmf();
    const std::string folder =
        (std::filesystem::temp_directory_path() / ("quorin-replace-" + std::to_string(GetCurrentProcessId())))
            .string();
    const std::string path = folder + "\\song.mid";
    const ReplacementNames replacement = replacementNames(path);
};

// For each call N that changes a file, N = 1, 2, ... until the run completes, with the file
// replaced whole and (with a second link) written through in place:
// - a child process ends at call N: replaced whole, the file holds exactly its former bytes or
//   the result; in place, it may be a mix (the risk the help page names), but both links see
//   the same bytes. A later run converts it and removes what the child left beside it.
// - call N fails: the result, or the former bytes and a failed rewrite that says they are back;
//   nothing is left beside the file either way.
TEST_F(FileReplace, EndedOrFailingAtEveryCallLeavesTheFormerBytesOrTheResult) {
    for (const bool secondLink : {false, true}) {
        SCOPED_TRACE(secondLink ? "in place" : "replaced whole");
        const std::string link = folder + "\\link.mid";
        const std::set<std::string> alone = secondLink ? std::set<std::string>{"link.mid", "song.mid"}
                                                       : std::set<std::string>{"song.mid"};
        for (std::size_t n = 1;; ++n) {
            SCOPED_TRACE(n);
            ASSERT_LT(n, 50u);
            writeFile(path, plain);
            if (secondLink) {
                ASSERT_TRUE(CreateHardLinkA(link.c_str(), path.c_str(), nullptr));
            }
            const DWORD exitCode = runStoppedChild(path, n);
            ASSERT_NE(exitCode, 1u);
            if (secondLink) {
                EXPECT_EQ(readFile(link), readFile(path));
            } else {
                EXPECT_TRUE(readFile(path) == plain || readFile(path) == converted);
            }
            TestFileSystem later;
            EXPECT_EQ(convert(later).kind, OutcomeKind::Converted);
            EXPECT_EQ(readFile(path), converted);
            EXPECT_EQ(names(), alone);

            writeFile(path, plain);
            TestFileSystem failing;
            failing.onCall = [&](Win32Call) { return failing.seen.size() == n ? ERROR_WRITE_FAULT : 0; };
            const FileOutcome outcome = convert(failing);
            if (outcome.kind == OutcomeKind::Converted) {
                EXPECT_EQ(readFile(path), converted);
            } else {
                EXPECT_EQ(outcome.kind, OutcomeKind::WriteFailed);
                EXPECT_EQ(outcome.error, SystemError{ERROR_WRITE_FAULT});
                EXPECT_TRUE(outcome.restored);
                EXPECT_EQ(readFile(path), plain);
            }
            if (n > failing.seen.size() || failing.seen[n - 1] != Win32Call::Remove) {
                EXPECT_EQ(names(), alone);  // a failed removal leaves a file for the next run
            }
            if (secondLink) DeleteFileA(link.c_str());
            if (exitCode == 0) break;
            EXPECT_EQ(exitCode, 100 + static_cast<DWORD>(failing.seen[n - 1]));
        }
    }
}

// What ReplaceFileA answers (and leaves) when it fails, and what the file then holds.
struct ReplaceFailure {
    const char* name;
    DWORD error;
    const char* movedTo;     // where the file went, or null: ERROR_UNABLE_TO_MOVE_REPLACEMENT_2 leaves it at the backup name
    int movesRefused;        // of the MoveFileExA calls that follow
    OutcomeKind kind;
    bool restored;
    bool holdsResult;        // else the former bytes (when the path is there)
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
        {"gone elsewhere, finished", ERROR_UNABLE_TO_MOVE_REPLACEMENT, elsewhere, 0, OutcomeKind::Converted, true, true},
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
}  // namespace convert::testing
