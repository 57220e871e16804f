// The Win32 file system with the real calls under Wine: a file replaced whole or written in
// place, ended or failing at each call that changes it, each ReplaceFileW error, the names
// beside it; a result put elsewhere, its handles and the free-space probe.
#include <windows.h>

#include <gtest/gtest.h>

#include <process.h>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <set>

#include "engine/conversion_engine.h"
#include "engine/file_system_win.h"
#include "engine/free_space.h"
#include "engine/wide_text_win.h"
#include "tests/support/files.h"

namespace engine {
namespace {

using namespace quorin_test;
using Names = std::set<std::string>;

// Every call that changes a file is recorded, then answered by onCall (0, or none: it runs).
struct SeamedFileSystem final : Win32FileSystem {
    SystemError beforeCall(Win32Call call) override {
        seen.push_back(call);
        return onCall ? onCall(call) : 0;
    }
    long count(Win32Call call) const { return std::count(seen.begin(), seen.end(), call); }
    FileOutcome convert(const std::string& path) { return ConversionEngine(*this, true).convert(path); }

    std::function<SystemError(Win32Call)> onCall;
    std::vector<Win32Call> seen;
};

// This program run again with QUORIN_STOP_AT set: it converts QUORIN_STOP_FILE to running
// status and, at the call numbered QUORIN_STOP_AT, ends itself as a kill would (exit code
// 100 + the call); 0 when the run ended first. Runs before main.
const bool isChild = [] {
    const wchar_t* const stopAt = _wgetenv(L"QUORIN_STOP_AT");
    if (!stopAt) return false;
    SeamedFileSystem fileSystem;
    fileSystem.onCall = [&, stop = std::wcstoul(stopAt, nullptr, 10)](Win32Call call) {
        if (fileSystem.seen.size() == stop) TerminateProcess(GetCurrentProcess(), 100 + static_cast<UINT>(call));
        return SystemError{0};
    };
    const FileOutcome outcome = fileSystem.convert(utf8FromWide(_wgetenv(L"QUORIN_STOP_FILE")));
    ExitProcess(outcome.kind == OutcomeKind::Converted ? 0 : 1);
}();

// The exit code of this program run again to convert path and end at call stopAt.
intptr_t runStoppedChild(const std::string& path, std::size_t stopAt) {
    _wputenv((L"QUORIN_STOP_FILE=" + wideFromUtf8(path)).c_str());
    _wputenv((L"QUORIN_STOP_AT=" + std::to_wstring(stopAt)).c_str());
    const intptr_t exitCode = _spawnl(_P_WAIT, _pgmptr, "child", nullptr);
    _wputenv(L"QUORIN_STOP_AT=");
    return exitCode;
}

// song.mid, with the plain bytes, in a folder of its own.
class FileReplace : public ::testing::Test {
protected:
    void SetUp() override { writeFile(path, plain); }
    Names names() const {
        Names result;
        for (const auto& entry : std::filesystem::directory_iterator(folder.path()))
            result.insert(entry.path().filename().u8string());
        return result;
    }

    const quorin_test::TempFolder folder;
    const std::string path = folder.file("song.mid");
    const Bytes plain = quorin_test::plainSmf();
    const Bytes converted = quorin_test::runningStatusSmf();
};

// For each call N that changes a file, N = 1, 2, ... until the run completes; the file is
// replaced whole (also under a name that the ANSI code page cannot spell), or, with a second
// link, written through in place:
// - a child process ends at call N: replaced whole, the file holds its former bytes or the
//   result; in place, it may be a mix. A later run converts it and removes what the child
//   left beside it.
// - call N fails: the result (in place where the temporary file cannot be made), or the
//   former bytes and a failed rewrite that says they are back; nothing is left beside the
//   file unless the call was a removal.
TEST_F(FileReplace, EndedOrFailingAtEveryCallLeavesTheFormerBytesOrTheResult) {
    struct Way {
        std::string name;  // UTF-8
        bool secondLink;
    };
    const Way ways[] = {{"song.mid", false}, {"Für Elise.mid", false}, {"song.mid", true}};
    for (const Way& way : ways) {
        SCOPED_TRACE(way.name + (way.secondLink ? ", in place" : ""));
        const std::string file = folder.path() + "\\" + way.name;
        const std::filesystem::path filePath = std::filesystem::u8path(file);
        const Names alone = way.secondLink ? Names{way.name, "link.mid"} : Names{way.name};
        writeFile(filePath, plain);
        if (way.secondLink) std::filesystem::create_hard_link(filePath, folder.file("link.mid"));
        for (std::size_t n = 1;; ++n) {
            SCOPED_TRACE(n);
            ASSERT_LT(n, 50u);
            writeFile(filePath, plain);
            const intptr_t exitCode = runStoppedChild(file, n);
            ASSERT_NE(exitCode, 1);
            const Bytes ended = readFile(filePath);
            if (!way.secondLink) {  // in place, it may hold a mix
                EXPECT_TRUE(ended == plain || ended == converted) << "neither the former bytes nor the result";
            }
            EXPECT_EQ(SeamedFileSystem().convert(file).kind, OutcomeKind::Converted);
            EXPECT_EQ(readFile(filePath), converted);
            EXPECT_EQ(names(), alone);

            writeFile(filePath, plain);
            SeamedFileSystem failing;
            failing.onCall = [&](Win32Call) { return failing.seen.size() == n ? ERROR_WRITE_FAULT : 0; };
            const FileOutcome outcome = failing.convert(file);
            const bool done = outcome.kind == OutcomeKind::Converted;
            EXPECT_EQ(outcome.error, FileError(done ? 0 : ERROR_WRITE_FAULT));
            EXPECT_TRUE(outcome.restored);
            EXPECT_EQ(readFile(filePath), done ? converted : plain);
            if (n > failing.seen.size() || failing.seen[n - 1] != Win32Call::Remove) {
                EXPECT_EQ(names(), alone);
            }
            if (exitCode == 0) break;
            EXPECT_EQ(exitCode, 100 + static_cast<int>(failing.seen[n - 1]));
        }
        std::filesystem::remove(filePath);
    }
}

// Half done (the file gone to the backup name, or to a name of the system's own), the
// replacement is finished, else undone; failing both, the file's two versions stay beside its
// path and the failure says the original is not back. Where ReplaceFileW is not supported,
// the result is moved over the file. Any other error leaves the file as it was.
TEST_F(FileReplace, EachReplaceFileErrorIsFinishedOrUndone) {
    const std::string backup = "song.mid.quorin-old.tmp";
    const std::string elsewhere = "rf1A2B.tmp";
    struct Row {
        const char* what;
        DWORD error;
        std::string movedTo;  // by ReplaceFileW, before it fails
        long movesRefused;    // of the MoveFileExW calls that follow
        OutcomeKind kind;
        bool restored;
        Names left;  // in the folder
    };
    const Names alone = {"song.mid"};
    const Names both = {backup, "song.mid.quorin-new.tmp"};  // the file's two versions
    const Names andElsewhere = {elsewhere, "song.mid"};
    const Row rows[] = {
        {"half done, finished", ERROR_UNABLE_TO_MOVE_REPLACEMENT_2, backup, 0, OutcomeKind::Converted, true, alone},
        {"half done, undone", ERROR_UNABLE_TO_MOVE_REPLACEMENT_2, backup, 1, OutcomeKind::WriteFailed, true, alone},
        {"half done, neither", ERROR_UNABLE_TO_MOVE_REPLACEMENT_2, backup, 2, OutcomeKind::WriteFailed, false, both},
        {"gone elsewhere", ERROR_UNABLE_TO_MOVE_REPLACEMENT, elsewhere, 0, OutcomeKind::Converted, true, andElsewhere},
        {"not supported here", ERROR_NOT_SUPPORTED, "", 0, OutcomeKind::Converted, true, alone},
        {"not supported, nor moving", ERROR_NOT_SUPPORTED, "", 1, OutcomeKind::WriteFailed, true, alone},
        {"in use", ERROR_SHARING_VIOLATION, "", 0, OutcomeKind::WriteFailed, true, alone},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        writeFile(path, plain);
        SeamedFileSystem fileSystem;
        fileSystem.onCall = [&](Win32Call call) -> SystemError {
            if (call == Win32Call::Move) return fileSystem.count(call) <= row.movesRefused ? ERROR_ACCESS_DENIED : 0;
            if (call != Win32Call::Replace) return 0;
            if (!row.movedTo.empty()) MoveFileExA(path.c_str(), folder.file(row.movedTo).c_str(), 0);
            return row.error;
        };
        const FileOutcome outcome = fileSystem.convert(path);
        EXPECT_EQ(outcome.kind, row.kind);
        EXPECT_EQ(outcome.restored, row.restored);
        const bool done = row.kind == OutcomeKind::Converted;
        EXPECT_EQ(outcome.error, FileError(done ? 0 : row.error));
        EXPECT_EQ(readFile(folder.file(row.restored ? "song.mid" : backup)), done ? converted : plain);
        EXPECT_EQ(names(), row.left);
        for (const std::string& name : names()) std::filesystem::remove(folder.file(name));
    }
}

// For a name that the ANSI code page cannot spell, the temporary and backup names hold its
// best-fit spelling ("_" for a character with none) and a tag: the same whatever the name's
// case, another for another name of the same spelling.
TEST(ReplacementNames, SayWhoseTheyAreInTheAnsiCodePage) {
    const ReplacementNames names = replacementNames("C:\\Für Elise.mid");
    const std::wstring tag = names.temporary.substr(std::wcslen(L"C:\\Fur Elise.mid.quorin-new"), 17);
    EXPECT_EQ(names.temporary, L"C:\\Fur Elise.mid.quorin-new" + tag + L".tmp");
    EXPECT_EQ(names.backup, L"C:\\Fur Elise.mid.quorin-old" + tag + L".tmp");
    EXPECT_EQ(replacementNames("C:\\FÜR ELISE.MID").backup, L"C:\\FUR ELISE.MID.quorin-old" + tag + L".tmp");
    EXPECT_NE(replacementNames("C:\\Fúr Elise.mid").backup, names.backup);
    // A Hangul syllable (U+ACE1), which has no best fit.
    EXPECT_EQ(replacementNames("C:\\\xEA\xB3\xA1.mid").backup.substr(0, 20), L"C:\\_.mid.quorin-old-");
    // The longest that MAX_PATH's 259 characters hold; with one more the file is written in place.
    const std::string longest = "C:\\" + std::string(MAX_PATH - 1 - std::string("C:\\.quorin-new.tmp").size(), 'x');
    EXPECT_EQ(replacementNames(longest).temporary.size(), MAX_PATH - 1);
    EXPECT_EQ(replacementNames(longest + "x").full, L"");
}

// The error another reader gets opening path; 0 when it can.
DWORD anotherReaderGets(const std::string& path) {
    const HANDLE other =
        CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
    if (other == INVALID_HANDLE_VALUE) return GetLastError();
    CloseHandle(other);
    return 0;
}

// Replaced whole, the file is held without sharing from its open until its entry is done, and
// keeps its hidden and system bits (Wine shows every file as archive). A result put elsewhere
// goes there whole.
TEST_F(FileReplace, TheFileIsHeldUntilItsEntryIsDoneAndKeepsItsAttributes) {
    constexpr DWORD kKept = FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM;
    ASSERT_TRUE(SetFileAttributesA(path.c_str(), kKept));
    struct Listener final : ConversionListener {
        void fileStarted(const std::string&) override {}
        void fileFinished(const std::string& file, const FileOutcome&) override {
            got.push_back(anotherReaderGets(file));
        }
        std::vector<DWORD> got;
    } listener;
    SeamedFileSystem fileSystem;
    fileSystem.onCall = [&](Win32Call call) {
        if (call == Win32Call::CreateTemporary) listener.got.push_back(anotherReaderGets(path));
        return SystemError{0};
    };
    EXPECT_EQ(ConversionEngine(fileSystem, true).convert(path, &listener).kind, OutcomeKind::Converted);
    EXPECT_EQ(listener.got, (std::vector<DWORD>{ERROR_SHARING_VIOLATION, ERROR_SHARING_VIOLATION}));
    EXPECT_EQ(GetFileAttributesA(path.c_str()) & kKept, kKept);
    EXPECT_EQ(ConversionEngine(fileSystem, false).convertTo(path, folder.file("b.mid")).kind, OutcomeKind::Converted);
    EXPECT_EQ(readFile(folder.file("b.mid")), plain);
}

// Without the extended function the probe measures the drive's root: "C:\", since "C:" alone
// would name drive C's current folder, here one that is gone. A failure leaves the result
// alone and says why: a drive that is not there, a share out of the network's reach.
TEST(FreeSpaceProbe, MeasuresTheDrivesRootAndLeavesTheResultAloneOnFailure) {
    FreeSpaceExFunction = nullptr;
    ASSERT_TRUE(SetEnvironmentVariableA("=C:", "C:\\quorin-no-such-folder"));
    std::uint64_t onC = 0;
    EXPECT_TRUE(FreeSpaceProbe("C:", onC));
    SetEnvironmentVariableA("=C:", nullptr);
    EXPECT_GT(onC, 0u);
    std::uint64_t failed = 7;
    EXPECT_FALSE(FreeSpaceProbe("Q:", failed));
    EXPECT_EQ(GetLastError(), DWORD{ERROR_PATH_NOT_FOUND});
    EXPECT_FALSE(FreeSpaceProbe("\\\\quorin-no-such-server\\share\\", failed));
    const DWORD unreached = GetLastError();
    EXPECT_TRUE(unreached == ERROR_NO_NETWORK || unreached == ERROR_BAD_NETPATH) << unreached;
    EXPECT_EQ(failed, 7u);
}

}  // namespace
}  // namespace engine
