// quorin-cli on real files. Natively through the POSIX file system, in-process with
// failures injected at its system calls and as the real binary: what each option does, the
// lines and exit statuses, where a result goes and whose file it stays, and that no failure,
// signal or crash leaves a file other than whole. Under Wine: the Windows file system.
#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include "cli/report_lines.h"
#include "cli/runner.h"
#ifdef _WIN32
#include <windows.h>

#include "engine/wide_text_win.h"
#include "tests/support/no_short_names.h"
#else
#include <fcntl.h>
#include <grp.h>
#include <sys/file.h>
#include <sys/resource.h>
#include <sys/sysmacros.h>
#include <sys/wait.h>
#include <sys/xattr.h>
#include <unistd.h>

#include "engine/file_system_posix.h"
#endif

namespace cli {
namespace {

using namespace std::string_literals;
using engine::FileError;

// Format 0, division 96: note on, note off with its status repeated, End of Track (34
// bytes); the same with running status (33 bytes). Files' bytes are held in strings.
const std::string kPlain =
    "MThd\0\0\0\6\0\0\0\1\0\x60"
    "MTrk\0\0\0\x0C"
    "\0\x90\x3C\x40\x60\x90\x3C\0\0\xFF\x2F\0"s;
const std::string kRunning =
    "MThd\0\0\0\6\0\0\0\1\0\x60"
    "MTrk\0\0\0\x0B"
    "\0\x90\x3C\x40\x60\x3C\0\0\xFF\x2F\0"s;
const std::string kOld = "old";

std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// A new folder under the system's temporary folder, removed with all it holds.
class TempFolder {
public:
    TempFolder() {
        const std::filesystem::path base = std::filesystem::temp_directory_path();
        for (unsigned n = 0; !std::filesystem::create_directory(path_ = base / ("quorin-cli-" + std::to_string(n)));)
            ++n;
    }
    ~TempFolder() { std::filesystem::remove_all(path_, ignored_); }
    std::string path() const { return path_.string(); }
    std::string file(const std::string& name) const { return (path_ / name).string(); }
    // Writes content to the file name and returns its path.
    std::string put(const std::string& name, const std::string& content) const {
        std::ofstream(file(name), std::ios::binary) << content;
        return file(name);
    }
    // The number of hidden names in the folder: temporary files left behind.
    std::size_t hidden() const { return hiddenIn(path_.string()); }
    static std::size_t hiddenIn(const std::string& folder) {
        std::size_t count = 0;
        for (const auto& e : std::filesystem::directory_iterator(folder))
            count += e.path().filename().string()[0] == '.';
        return count;
    }
    // The first hidden name in the folder, "" when there is none.
    std::string hiddenName() const {
        for (const auto& e : std::filesystem::directory_iterator(path_))
            if (e.path().filename().string()[0] == '.') return e.path().filename().string();
        return std::string();
    }

private:
    std::filesystem::path path_;
    std::error_code ignored_;
};

struct Result {
    int status;
    std::string out, err;
};

Result run(engine::FileSystem& fs, const std::vector<std::string>& args, bool terminal = false,
           std::function<std::chrono::steady_clock::time_point()> now = {}) {
    std::ostringstream out, err;
    Console console{out, err, terminal, std::move(now)};
    const int status = runCli(args, fs, console);
    return {status, out.str(), err.str()};
}

// A name that holds what a terminal would act on or show other than as stored is quoted for
// the shell as ls does, those characters byte by byte in octal; any other name, even with
// a quote or letters beyond ASCII, is shown as it is.
TEST(QuoteName, QuotesWhatWouldControlTheTerminalOrHideTheText) {
    struct Row {
        std::string name, shown;
    };
    const Row rows[] = {
        {"it's $x\\.mid", "it's $x\\.mid"},
        {"F\xC3\xBCr Elise \xE6\x9B\xB2 \xF0\x9F\x8E\xB5.mid", "F\xC3\xBCr Elise \xE6\x9B\xB2 \xF0\x9F\x8E\xB5.mid"},
        {"\xC3\x80\xDF\xBF", "\xC3\x80\xDF\xBF"},  // U+00C0 and U+07FF
        {"it's\x1B[\a\b\t\v\f\r\x7Fx\x1F", "'it'\\''s'$'\\033''['$'\\a\\b\\t\\v\\f\\r\\177''x'$'\\037'"},
        {"\x9B"
         "31m.mid",
         "$'\\233''31m.mid'"},  // C1 CSI, a raw byte
        {"\xC2\x9B"
         "31m.mid",
         "$'\\302\\233''31m.mid'"},                           // C1 CSI as UTF-8
        {"a\xC2\x9F\xC2\xA0", "'a'$'\\302\\237''\xC2\xA0'"},  // the last C1; no-break space
        {"e\xE2\x80\xAE"
         "dim.exe",
         "'e'$'\\342\\200\\256''dim.exe'"},  // right-to-left override
        {"a\xE2\x81\xA6"
         "b\xE2\x81\xA9",
         "'a'$'\\342\\201\\246''b'$'\\342\\201\\251'"},  // an isolate
        {"zero\xE2\x80\x8Bwidth", "'zero'$'\\342\\200\\213''width'"},
        {"\xEF\xBB\xBF"
         "bom\xC2\xAD",
         "$'\\357\\273\\277''bom'$'\\302\\255'"},  // byte order mark, soft hyphen
        {"tag\xF3\xA0\x80\x81", "'tag'$'\\363\\240\\200\\201'"},
        {"\x80lone", "$'\\200''lone'"},                   // not UTF-8: a lone continuation,
        {"\xC0\xAF.mid", "$'\\300\\257''.mid'"},          // an overlong slash,
        {"\xED\xA0\x80", "$'\\355\\240\\200'"},           // a surrogate,
        {"\xF4\x90\x80\x80", "$'\\364\\220\\200\\200'"},  // beyond U+10FFFF,
        {"end\xE2\x80", "'end'$'\\342\\200'"},            // cut short,
        {"\xE2\x80"
         "A",
         "$'\\342\\200''A'"},           // cut by a letter,
        {"\xFE\xFF", "$'\\376\\377'"},  // never in UTF-8
    };
    for (const Row& row : rows) EXPECT_EQ(quoteName(row.name), row.shown);
}

#ifdef _WIN32

// Another program's no-sharing handle refuses the file; an output appears whole through
// MoveFileExA with no temporary file left.
TEST(WindowsFileSystem, RefusesAHeldFileAndReplacesAnOutputWhole) {
    TempFolder folder;
    const std::unique_ptr<engine::FileSystem> fs = makePlatformFileSystem();
    const std::string in = folder.put("in.mid", kPlain), out = folder.put("out.mid", kOld);
    const HANDLE holder = CreateFileA(in.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    EXPECT_EQ(run(*fs, {in}).err, in + ": error: in use, locked by another process; left untouched\n");
    CloseHandle(holder);
    EXPECT_EQ(run(*fs, {"-o", out, in}).out, in + ": converted to " + out + ", 34 -> 33 bytes\n");
    EXPECT_EQ(run(*fs, {in}).out, in + ": converted, 34 -> 33 bytes\n");
    const HANDLE output = CreateFileA(out.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    EXPECT_EQ(run(*fs, {"-o", out, in}).status, 1);  // the output cannot be replaced: no temporary file stays
    CloseHandle(output);
    // Ctrl+C during the first file: the rest is not processed.
    const auto interrupt = [] { return std::raise(SIGINT), std::chrono::steady_clock::time_point{}; };
    EXPECT_EQ(run(*fs, {in, out}, true, interrupt).status, 128 + SIGINT);
    EXPECT_EQ(std::make_tuple(readFile(in), readFile(out),
                              std::distance(std::filesystem::directory_iterator(folder.path()), {})),
              std::make_tuple(kRunning, kRunning, 2));
}

// quorin-cli.exe started as cmd starts it, with a wide command line (CreateProcessW) in
// folder; its standard output and error go to files beside the folder.
Result runProgram(const std::wstring& folder, const std::wstring& arguments) {
    std::wstring program = L"Z:" + engine::wideFromUtf8(QUORIN_CLI_PATH), commandLine;
    std::replace(program.begin(), program.end(), L'/', L'\\');
    commandLine = L"\"" + program + L"\" " + arguments;
    SECURITY_ATTRIBUTES inherited = {sizeof inherited, nullptr, TRUE};
    const std::wstring names[2] = {folder + L".out", folder + L".err"};
    HANDLE streams[2];
    for (int i = 0; i < 2; ++i)
        streams[i] =
            CreateFileW(names[i].c_str(), GENERIC_WRITE, FILE_SHARE_READ, &inherited, CREATE_ALWAYS, 0, nullptr);
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdOutput = streams[0];
    startup.hStdError = streams[1];
    PROCESS_INFORMATION process = {};
    DWORD status = 255;
    if (CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, TRUE, 0, nullptr, folder.c_str(), &startup,
                       &process)) {
        WaitForSingleObject(process.hProcess, INFINITE);
        GetExitCodeProcess(process.hProcess, &status);
        CloseHandle(process.hProcess);
        CloseHandle(process.hThread);
    }
    std::string texts[2];
    for (int i = 0; i < 2; ++i) {
        CloseHandle(streams[i]);
        std::ifstream in(std::filesystem::path(names[i]), std::ios::binary);
        texts[i].assign(std::istreambuf_iterator<char>(in), {});
        DeleteFileW(names[i].c_str());
    }
    return {static_cast<int>(status), texts[0], texts[1]};
}

// Names come whole from a wide command line: one that code page 932 cannot spell is converted
// in place or written to as a new output, and the lines name each file as
// it is, in UTF-8 to a file. * and ? stand for the names they match, in name order; a pattern
// that matches nothing fails with a line that names it. /? is --help, which tells Windows' ways.
TEST(WindowsProgram, TakesNamesWholeAndExpandsPatterns) {
    TempFolder temp;
    const std::wstring folder = std::filesystem::path(temp.path()).wstring();
    for (const wchar_t* name : {L"Für Elise.mid", L"b.mid", L"曲A.mid", L"曲B.mid", L"曲AB.mid"})
        std::ofstream(std::filesystem::path(folder + L"\\" + name), std::ios::binary) << kPlain;
    const Result converted = runProgram(folder, L"\"Für Elise.mid\" 曲?.mid *.mid none*.mid");
    EXPECT_EQ(converted.out,
              "Für Elise.mid: converted, 34 -> 33 bytes\r\n"
              "曲A.mid: converted, 34 -> 33 bytes\r\n"
              "曲B.mid: converted, 34 -> 33 bytes\r\n"
              "b.mid: converted, 34 -> 33 bytes\r\n"
              "Für Elise.mid: unchanged, 33 bytes\r\n"
              "曲A.mid: unchanged, 33 bytes\r\n"
              "曲AB.mid: converted, 34 -> 33 bytes\r\n"
              "曲B.mid: unchanged, 33 bytes\r\n");
    EXPECT_EQ(converted.err, "none*.mid: error: no file matches this pattern\r\n");
    EXPECT_EQ(converted.status, 1);
    const Result copied = runProgram(folder, L"-r off -o Gymnopédie.mid \"Für Elise.mid\"");
    EXPECT_EQ(copied.out, "Für Elise.mid: converted to Gymnopédie.mid, 33 -> 34 bytes\r\n");
    std::ifstream output(std::filesystem::path(folder + L"\\Gymnopédie.mid"), std::ios::binary);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(output), {}), kPlain);
    const Result help = runProgram(folder, L"/?");
    EXPECT_EQ(help.out, runProgram(folder, L"--help").out);
    EXPECT_NE(help.out.find("for /r"), std::string::npos);
}

// In place, quorin-cli.exe replaces a file as the program does, also when named relative to
// the current folder: the file stays hidden, and what a killed run left beside it is gone.
TEST(WindowsFileSystem, ReplacesAFileInPlaceAsTheProgramDoes) {
    TempFolder folder;
    const std::unique_ptr<engine::FileSystem> fs = makePlatformFileSystem();
    const std::string in = folder.put("in.mid", kPlain);
    folder.put("in.mid.quorin-new.tmp", kOld);
    ASSERT_TRUE(SetFileAttributesA(in.c_str(), FILE_ATTRIBUTE_HIDDEN));
    char former[MAX_PATH];
    GetCurrentDirectoryA(MAX_PATH, former);
    SetCurrentDirectoryA(folder.path().c_str());
    const Result result = run(*fs, {"in.mid"});
    SetCurrentDirectoryA(former);
    EXPECT_EQ(result.out, "in.mid: converted, 34 -> 33 bytes\n");
    EXPECT_EQ(readFile(in), kRunning);
    EXPECT_EQ(GetFileAttributesA(in.c_str()) & FILE_ATTRIBUTE_HIDDEN, DWORD{FILE_ATTRIBUTE_HIDDEN});
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(folder.path()), {}), 1);
}

// A name that code page 932 cannot spell reaches its file through the wide calls, also where no
// name has a short form (none is even asked for): it is converted and its line names it.
TEST(WindowsFileSystem, ConvertsANameOutsideTheAnsiCodePageWithoutItsShortName) {
    TempFolder folder;
    const std::unique_ptr<engine::FileSystem> fs = makePlatformFileSystem();
    const std::filesystem::path fur = std::filesystem::path(folder.path()) / L"Für Elise.mid";
    std::ofstream(fur, std::ios::binary) << kPlain;
    const testing_win32::NoShortNames noShortNames;
    ASSERT_TRUE(noShortNames.active());
    const Result result = run(*fs, {engine::utf8FromWide(fur.wstring())});
    EXPECT_EQ(result.out, engine::utf8FromWide(fur.wstring()) + ": converted, 34 -> 33 bytes\n");
    EXPECT_EQ(testing_win32::NoShortNames::calls(), 0);
    std::ifstream in(fur, std::ios::binary);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), kRunning);
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(folder.path()), {}), 1);
}

#else

using engine::parentFolder;
using engine::PosixFileSystem;
using engine::SystemCall;

// The POSIX file system with a fixed free space; every call `failing` fails with `error`; a
// signal raised at a rename; onCall run before each call. The call numbered stopAt fails with EIO (stop < 0), raises
// the signal stop, or ends the process with _exit(100 + the call) (stop 0).
struct TestFileSystem final : PosixFileSystem {
    std::uint64_t freeBytes = 1u << 30;
    SystemCall failing = SystemCall::OpenOutput;
    int error = 0, signalAtRename = 0, stopAt = 0, stop = 0, calls = 0;

    bool freeSpace(const std::string&, std::uint64_t& bytes, FileError&) override { return bytes = freeBytes, true; }
    std::function<void(SystemCall)> onCall;  // sees every call first

    int beforeCall(SystemCall call) override {
        if (onCall) onCall(call);
        if (call == SystemCall::Rename && signalAtRename) ::raise(signalAtRename);
        if (++calls == stopAt && stop == 0) ::_exit(100 + static_cast<int>(call));
        if (calls == stopAt && stop > 0) ::raise(stop);
        return calls == stopAt && stop < 0 ? EIO : call == failing ? error : 0;
    }
};

class CliRun : public ::testing::Test {
protected:
    // "@" stands for the folder and a slash, "%" for the folder.
    std::string expand(const std::string& text) const {
        std::string result;
        for (const char c : text) result += c == '@' ? folder.file("") : c == '%' ? folder.path() : std::string(1, c);
        return result;
    }
    // Runs the arguments of line, split at spaces ('' for an empty one), expanded; after "$ ",
    // the real binary through the shell.
    Result runLine(const std::string& line) {
        if (line[0] == '$') {
            const int status = std::system(expand("{ " QUORIN_CLI_PATH + line.substr(1) + "; } >@1 2>@2").c_str());
            return {WEXITSTATUS(status), readFile(folder.file("1")), readFile(folder.file("2"))};
        }
        std::vector<std::string> args;
        std::istringstream words(expand(line));
        for (std::string word; words >> word;) args.push_back(word == "''" ? "" : word);
        return run(fs, args);
    }

    TempFolder folder;
    TestFileSystem fs;
};

// Runs in turn on one folder. -h and --version win wherever they stand, unless a wrong
// option comes first; a usage error is exit status 2 before any file is looked at. A link
// is followed, named with its target, and stays a link (40 in a row at most, as open()
// follows them); no file is created through a link to nothing; a FIFO and a device (the
// test's own) are written through, a folder is refused.
TEST_F(CliRun, AnswersEachCommandLineWithItsLinesAndStatus) {
    // A chunk of another type in a slot the header declares, then a track; then 2 bytes (behind a MacBinary header) or
    // a track the header does not count. XF chunks after the track, then padding. 5 chunks of other types in declared
    // slots, a track, and 100000 chunks after it.
    const std::string alien =
        "MThd\0\0\0\6\0\0\0\2\0\x60"
        "XFIH\0\0\0\1\x7E"s +
        kRunning.substr(14);
    const std::string xf =
        "XFIH\0\0\0\4XF02"
        "XFKM\0\0\0\0"s;
    folder.put("x", std::string(128, '\0') + alien + "\x0A\x0B");
    folder.put("kept", alien + kRunning.substr(14));
    folder.put("xf", kPlain + xf + "\0\0\0"s);
    std::string many = "MThd\0\0\0\6\0\1\0\6\0\x60"s;
    for (const char* type : {"L000", "L001", "L002", "L003", "L004"}) many += type + "\0\0\0\0"s;
    many += kPlain.substr(14);
    for (int i = 0; i < 100000; ++i) many += (i < 4 ? "K00" + std::to_string(i) : "KEEP"s) + "\0\0\0\0"s;
    folder.put("many", many);
    // Format 1, SMPTE division, End of Track alone, a chunk type of odd bytes, the plain track; a cut event.
    folder.put("two",
               "MThd\0\0\0\6\0\1\0\3\xE7\x28"
               "MTrk\0\0\0\4\0\xFF\x2F\0"
               "\x1F \\\x7F\0\0\0\0"s +
                   kPlain.substr(14));
    folder.put("cut",
               "MThd\0\0\0\6\0\0\0\1\0\x60"
               "MTrk\0\0\0\3\0\x90\x3C"s);
    folder.put("hdr", "MThd\0\0\0\x08\0\0\0\1\0\x60\0"s);  // 2 bytes more in the header, 1 there
    folder.put("h2", kPlain.substr(0, 14) + kPlain), folder.put("ch", kPlain.substr(0, 20));  // a second header; cut
    for (const char* name : {"b", "s", "m", "l"}) folder.put(name, kPlain);
    ASSERT_TRUE(::chmod(expand("@m").c_str(), 0600) == 0 && ::link(expand("@l").c_str(), expand("@l2").c_str()) == 0);
    for (const char* name : {"a", "r", "target"}) folder.put(name, kRunning);
    for (const auto& [link, target] : {std::pair{"link", "target"}, {"dangling", "@new"}})
        ASSERT_EQ(::symlink(expand(target).c_str(), folder.file(link).c_str()), 0);
    for (int i = 1; i <= 41; ++i)  // k1 -> k2 -> ... -> k41 -> end: one link more than a path may pass
        ASSERT_EQ(::symlink((i < 41 ? "k" + std::to_string(i + 1) : "end"s).c_str(),
                            folder.file("k" + std::to_string(i)).c_str()),
                  0);
    for (const auto& [name, minor] : {std::pair{"null", 3}, {"full", 7}})  // never the system's own
        if (::mknod(folder.file(name).c_str(), S_IFCHR | 0666, makedev(1, minor)) != 0) GTEST_SKIP() << "needs mknod";
    ASSERT_TRUE(::mkfifo(folder.file("pipe").c_str(), 0600) == 0 && ::mkfifo(folder.file("fifo").c_str(), 0600) == 0);
    std::string fromFifo;
    std::thread reader([&] { fromFifo = readFile(folder.file("fifo")); });
    const std::string help = "Usage: quorin-cli [OPTIONS] FILE...\n",
                      gone = "cannot be found: No such file or directory\n";
    const std::string bad = ": error: not a valid Standard MIDI File: ", valid = ": valid Standard MIDI File, format ";
    const std::string stopped = "@b: not processed, the run stopped\n", pipe =
                                                                            "@pipe: error: cannot be opened: not a "
                                                                            "regular file\n";
    const auto copied = [](const char* to) { return "@r: copied unchanged to " + std::string(to) + ", 33 bytes\n"; };
    const auto dangling = [](const std::string& to) {
        return "@r: error: cannot write " + to +
               ": a symbolic link to a file that does not exist; no file is created "
               "through it; " +
               to + " was not written\n";
    };
    const std::string self = "/proc/self/exe -> " + std::filesystem::read_symlink("/proc/self/exe").string();
    std::string roots, skipped;  // lines of 65537 bytes: standard output's whole buffer and one byte more
    for (std::string root(1231, '/'); roots.size() < 65000; root.assign(4000, '/'))
        roots += " " + root, skipped += root + ": skipped, folder\n";
    struct Row {
        std::string args;
        int status;
        std::string out, err;
        std::uint64_t freeBytes = 1u << 30;
        int signal = 0;
    };
    const Row rows[] = {
        {"-q -v --he", 0, help, ""},
        {"a --runn", 2, "", "option '--running-status' requires an argument"},
        {"-hc a", 0, help, ""},
        {"-o x a b", 2, "", "--output needs exactly one FILE, 2 given"},
        {"a --vers b", 0, "quorin-cli 1.00\n", ""},
        {"--vx=on --help", 2, "", "unrecognized option '--vx=on'"},
        {"$", 2, "", "no FILE given"},
        {"-q -v a", 2, "", "--quiet and --verbose cannot be combined"},
        {"-x a", 2, "", "invalid option -- 'x'"},
        {"-c -o x a", 2, "", "--output cannot be combined with --check"},
        {"-r", 2, "", "option requires an argument -- 'r'"},
        {"$ --bogus", 2, "", "unrecognized option '--bogus'"},
        {"--help=x", 2, "", "option '--help' doesn't allow an argument"},
        {"-o '' a", 2, "", "--output needs a path"},
        {"--ver=1 a", 2, "", "option '--ver=1' is ambiguous; possibilities: '--verbose' '--version'"},
        {"-r of a", 2, "", "invalid argument 'of' for '--running-status'; valid arguments are 'on' and 'off'"},
        {"-c @cut @h2 @ch", 1, "",
         "@cut" + bad + "track 1 at offset 0x17: An event runs past the end of the file\n@h2" + bad +
             "chunk 1 at offset 0xE: A second header chunk follows the first\n@ch" + bad +
             "chunk 1 at offset 0xE: A "
             "chunk's type or length is cut off (fewer chunks than declared)\n"},
        {"-cv @two @kept %", 0,
         "@two" + valid +
             "1, 2 tracks, SMPTE 25 frames per second, 40 ticks per frame, 4 events, "
             "does not use running status; 45 bytes with running status, 46 bytes without (left out: chunk \\x1F "
             "\\x5C\\x7F) "
             "(now 54 bytes)\n@kept" +
             valid +
             "0, 1 track, 96 ticks per quarter note, 3 events, uses running status (1 event); "
             "52 bytes with running status, 53 bytes without (kept after the tracks: chunk MTrk; left out: chunk XFIH) "
             "(now 61 "
             "bytes)\n%: skipped, folder\n3 files: 2 valid, 1 skipped, 0 failed\n",
         ""},
        {"-c @many", 0,
         "@many" + valid +
             "1, 1 track, 96 ticks per quarter note, 3 events, does not use running status; "
             "800033 bytes with running status, 800034 bytes without (kept after the tracks: chunk K000, chunk K001, "
             "chunk "
             "K002, chunk K003 and 99996 more chunks; left out: chunk L000, chunk L001, chunk L002, chunk L003 and 1 "
             "more "
             "chunk)\n",
         ""},
        {"-c @x", 0,
         "@x" + valid +
             "0, 1 track, 96 ticks per quarter note, 3 events, uses running status (1 event); 33 "
             "bytes with running status, 34 bytes without (left out: chunk XFIH, 2 bytes after the last chunk)\n",
         ""},
        {"-c -q @r @pipe @gone", 1, "", pipe + "@gone: error: " + gone},
        {"@a", 0, "@a: unchanged, 33 bytes\n", "", 0},
        {"-roff @a", 0, "@a: converted, 33 -> 34 bytes\n", ""},  // no room
        // Standard input closed: the file opened gets descriptor 0, and is still read, kept (mode 0600) or written
        // through (a second link).
        {"$ -c -q @r <&-", 0, "", ""},
        {"$ -q @m <&-", 0, "", ""},
        {"$ -q @l <&-", 0, "", ""},
        {"--output=@c --running-status=off @a", 0, "@a: copied unchanged to @c, 34 bytes\n", ""},
        {"-v -ron -o@c @a", 0,
         "@a: converted to @c, 34 -> 33 bytes (1073741824 bytes free in %)\n1 file: 1 converted, 0 "
         "unchanged, 0 skipped, 0 failed\n",
         ""},
        {"@x", 0, "@x: converted, 172 -> 33 bytes (left out: chunk XFIH, 2 bytes after the last chunk)\n", ""},
        {"@xf", 0,
         "@xf: converted, 57 -> 53 bytes (kept after the tracks: chunk XFIH, chunk XFKM; left out: 3 bytes after "
         "the last chunk)\n",
         ""},
        {"-o @o @cut", 1, "",
         "@cut" + bad +
             "track 1 at offset 0x17: An event runs past the end of the file; left "
             "untouched\n"},
        {"-o @link @r", 0, copied("@link -> @target"), ""},
        {"-o @dangling @r", 1, "", dangling("@dangling -> @new")},
        {"-o @fifo @r", 0, copied("@fifo"), ""},
        {"-o @null @r", 0, copied("@null"), ""},
        {"-o @full @r", 1, "",
         "@r: error: cannot write @full: No space left on device; @full holds an incomplete result\n"},
        {"-o % @r", 1, "", "@r: error: cannot write %: Is a directory; % was left as it was\n"},
        {"-o @k1 @r", 1, "",
         "@r: error: cannot write @k1: Too many levels of symbolic links; @k1 was left as it was\n"},
        {"/proc/self/exe", 1, "", self + ": error: cannot be opened: Text file busy\n"},  // this running program
        {"-r off @link", 0, "@link -> @target: converted, 33 -> 34 bytes\n", ""},
        {"-o @k2 @r", 1, "", dangling("@k2 -> @end")},
        {"-v @r @b % @gone @pipe", 1,
         "@r: unchanged, 33 bytes\n@b: converted, 34 -> 33 bytes (1073741824 bytes free in "
         "%)\n%: skipped, folder\n5 files: 1 converted, 1 unchanged, 1 skipped, 2 failed\n",
         "@gone: error: " + gone + pipe},
        {"-q @r %", 0, "", ""},
        {"-q -- -v \x01x", 1, "", "-v: error: " + gone + "$'\\001''x': error: " + gone},
        {"@a @b", 1, "",
         "@a: error: not enough free space in % (66 bytes free, more than 66 bytes needed); left "
         "untouched, stopping\n" +
             stopped,
         66},
        {"@a @b", 130, "@a: converted, 34 -> 33 bytes\n", stopped, 1u << 30, SIGINT},
        {"$ @s @hdr @s 2>&1", 1,
         "@s: converted, 34 -> 33 bytes\n@hdr" + bad +
             "header at offset 0xE: The header is "
             "longer than the file; left untouched\n@s: unchanged, 33 bytes\n",
         ""},
        {"$" + roots, 0, skipped, ""},
        {"$ -q % >&-", 1, "", "quorin-cli: write error: Bad file descriptor\n"},
        {"$ - < @s | " QUORIN_CLI_PATH " -r off -o - - > @p", 0, "",
         "standard input: copied unchanged to standard "
         "output, 33 bytes\nstandard input: converted to standard output, 33 -> 34 bytes\n"},
        {"$ -o @out @s > @full", 1, "", "quorin-cli: write error: No space left on device\n"},
        {"$ -q -o /dev/stdout @s | cat > @piped", 0, "", ""},  // the pipe that /proc/self/fd/1 stands for
    };
    for (const Row& row : rows) {
        fs.freeBytes = row.freeBytes;
        fs.signalAtRename = row.signal;
        Result result = runLine(row.args);
        if (row.out == help) result.out.resize(help.size());
        const std::string usage = "quorin-cli: " + row.err + "\nTry 'quorin-cli --help' for more information.\n";
        EXPECT_EQ(std::tie(result.status, result.out, result.err),
                  std::make_tuple(row.status, expand(row.out), row.status == 2 ? usage : expand(row.err)))
            << row.args;
    }
    ::close(::open(expand("@fifo").c_str(), O_WRONLY | O_NONBLOCK));  // the reader ends even if no run wrote
    reader.join();
    for (const char* n : {"@a", "@b", "@c", "@x", "@out", "@m", "@l2", "@piped"})
        EXPECT_EQ(readFile(expand(n)), kRunning);
    for (const char* n : {"@new", "@end"}) EXPECT_FALSE(std::filesystem::exists(expand(n))) << n;
    EXPECT_EQ(std::make_tuple(readFile(expand("@target")), readFile(expand("@p")), fromFifo, readFile(expand("@xf"))),
              std::make_tuple(kPlain, kPlain, kRunning, kRunning + xf));
    for (const char* name : {"@link", "@dangling"}) EXPECT_TRUE(std::filesystem::is_symlink(expand(name)));
    EXPECT_TRUE(std::filesystem::is_fifo(expand("@fifo")) && std::filesystem::is_character_file(expand("@full")) &&
                std::filesystem::status(expand("@m")).permissions() == std::filesystem::perms(0600));
    EXPECT_TRUE(folder.hidden() == 0 && !std::filesystem::exists(expand("@o")));
    struct sigaction action;
    for (const int signal : {SIGINT, SIGTERM, SIGHUP})
        EXPECT_TRUE(::sigaction(signal, nullptr, &action) == 0 && action.sa_handler == SIG_DFL) << signal;
}

// A link's target is walked as the path is: "." and ".." (also above the root) in it, and
// links on the way; the line names the file it reached.
TEST_F(CliRun, NamesWhereRelativeAndAbsoluteLinksLed) {
    ASSERT_TRUE(std::filesystem::create_directories(folder.file("a/b")));
    ASSERT_TRUE(std::filesystem::create_directory(folder.file("c")));
    const std::string song = folder.put("c/song.mid", kPlain);
    const std::string top = folder.path().substr(0, folder.path().find('/', 1));  // "/tmp"
    ASSERT_EQ(::symlink("b", folder.file("a/in").c_str()), 0);
    ASSERT_EQ(::symlink("../../c/./song.mid", folder.file("a/b/up").c_str()), 0);
    ASSERT_EQ(::symlink(("/.." + top + "/.." + folder.path() + "/c/song.mid").c_str(), folder.file("a/abs").c_str()),
              0);
    for (const std::string& link : {folder.file("a/in/up"), folder.file("a/abs")}) {
        const std::string line = run(fs, {"-c", link}).out;
        EXPECT_EQ(line.substr(0, line.find(": ")), link + " -> " + song);
    }
}

// Another holder's flock, OFD or lockf lock: in use, left alone. A shared hold still lets
// the file be read for --check and --output. (A lockf lock is the process's, and ends when
// the process closes any descriptor of the file, as the first run does.)
TEST_F(CliRun, LeavesAFileAnotherHolderLockedAlone) {
    const std::string path = folder.put("held", kPlain), locked = path + ": error: in use, locked by another process";
    struct flock range = {};
    range.l_type = F_RDLCK;
    // Held by a shared flock, an OFD read lock, an exclusive flock (the only one a reader minds), lockf.
    for (int hold = 0; hold < 4; ++hold) {
        const int holder = ::open(path.c_str(), O_RDWR);
        const bool shared = hold != 2;
        ASSERT_EQ(hold == 1   ? ::fcntl(holder, F_OFD_SETLK, &range)
                  : hold == 3 ? ::lockf(holder, F_TLOCK, 0)
                              : ::flock(holder, (hold ? LOCK_EX : LOCK_SH) | LOCK_NB),
                  0);
        const Result inPlace = runLine("@held"), check = runLine("-c @held"), copy = runLine("-o @out @held");
        EXPECT_EQ(std::make_tuple(inPlace.err, check.err, copy.status, readFile(path)),
                  std::make_tuple(locked + "; left untouched\n", shared ? "" : locked + "\n", shared ? 0 : 1, kPlain));
        ::close(holder);
    }
}

// "[2/3] name", the name quoted and cut at the front to fit 79 columns, each wiped before a
// line is printed; at most ten a second; only on a terminal, and not in quiet runs. A stop
// signal during a check lets it finish and names the rest.
TEST_F(CliRun, ShowsProgressOnlyOnATerminalAtMostTenTimesASecond) {
    const std::vector<std::string> files = {
        folder.put(std::string(100, 'b') + "\n.mid", kPlain),
        folder.put(std::string(72 - folder.path().size(), 'x'), kPlain)};  // fits exactly
    const auto wiped = [](const std::string& text) {
        return "\r" + text + "\r" + std::string(text.size(), ' ') + "\r";
    };
    const std::string first = wiped("[1/2] ..." + std::string(58, 'b') + "'$'\\n''.mid'");
    std::chrono::steady_clock::time_point now{};
    const Result result = run(fs, files, true, [&now] { return now += std::chrono::milliseconds(100); });
    EXPECT_EQ(result.err, first + wiped("[2/2] " + files[1]));
    EXPECT_EQ(run(fs, files, true, [] { return std::chrono::steady_clock::time_point{}; }).err, first);
    EXPECT_EQ(run(fs, {"-q", files[0], files[1]}, true).err + run(fs, {files[0]}, true).err, "");
    const auto terminate = [] { return ::raise(SIGTERM), std::chrono::steady_clock::time_point{}; };
    const Result stopped = run(fs, {"-c", files[0], files[1]}, true, terminate);
    EXPECT_EQ(std::tie(stopped.status, stopped.err),
              std::make_tuple(128 + SIGTERM, first + files[1] + ": not processed, the run stopped\n"));
    // A name cut at the front loses the whole character that the cut falls in (an odd byte count of "é").
    std::string accents;
    for (int i = 0; i < 40; ++i) accents += "\xC3\xA9";
    const std::string cut = folder.put(accents + ".midi", kPlain);
    EXPECT_EQ(run(fs, {cut, files[1]}, true).err.substr(0, 1 + 6 + 3 + 64 + 5),
              "\r[1/2] ..." + accents.substr(0, 64) + ".midi");
}

// Temporary files go beside the file, and its free space is the folder's volume's.
TEST(CliFolder, IsTheFolderThatHoldsThePathAndItsFreeSpaceTheVolumes) {
    const std::pair<const char*, const char*> cases[] = {
        {"a.mid", "."}, {"/a.mid", "/"}, {"//a.mid", "/"}, {"d//a.mid", "d"}, {"/d/e/a.mid", "/d/e"},
        {"d/e//", "d"}, {"a/", "."},     {"/", "/"},       {"", "."}};
    for (const auto& [path, folder] : cases) EXPECT_EQ(parentFolder(path), folder) << path;
    PosixFileSystem fs;
    std::uint64_t bytes = 0;
    FileError error;
    EXPECT_TRUE(fs.freeSpace("/tmp", bytes, error) && !fs.freeSpace("/none", bytes, error) && error == ENOENT);
    EXPECT_NEAR(static_cast<double>(bytes), static_cast<double>(std::filesystem::space("/tmp").available), 1e8);
}

const mode_t kUmask = [] {
    const mode_t mask = ::umask(022);
    return ::umask(mask), mask;
}();
// A default ACL: version 2; owner rwx, user 4242 rw-, group r-x, mask rwx, others r-x.
const std::string kAcl =
    "\2\0\0\0"
    "\1\0\7\0\xFF\xFF\xFF\xFF"
    "\2\0\6\0\x92\x10\0\0"
    "\4\0\5\0\xFF\xFF\xFF\xFF"
    "\x10\0\7\0\xFF\xFF\xFF\xFF"
    "\x20\0\5\0\xFF\xFF\xFF\xFF"s;

// One way of replacing a file, in a folder of its own: in.mid (plain), and out.mid ("old")
// for -o when it exists. The replaced file has an owner and group of its own (as root;
// root's own for an output, whose owner is kept only when it is root's), set-ID bits
// (where its owner may keep them), a user attribute and maybe a second link; the folder has
// a default ACL that a new file inherits and the replaced file has not. through: the file
// is written through, 1 for a second link, 2 for an owner that a new file cannot be given.
struct Stage {
    Stage(bool output, bool exists, int through) : output(output), exists(exists), through(through) {
        folder.put("in.mid", kPlain);
        if (output && exists) folder.put("out.mid", kOld);
        const bool root = ::geteuid() == 0;
        EXPECT_TRUE(through != 1 || ::link(target.c_str(), folder.file("link").c_str()) == 0);
        EXPECT_TRUE(!exists ||
                    ((!root || ::chown(target.c_str(), output ? 0 : 4242, 4343) == 0) &&
                     ::chmod(target.c_str(), root ? 06764 : 0640) == 0 &&
                     ::setxattr(target.c_str(), "user.q", "kept", 4, 0) == 0 &&
                     ::setxattr(target.c_str(), "user.e", "", 0, 0) == 0 && ::stat(target.c_str(), &former) == 0));
        ::setxattr(folder.path().c_str(), "system.posix_acl_default", kAcl.data(), kAcl.size(), 0);
        before = readFile(target);
    }
    // quorin-cli here, with call n stopped by stop (see TestFileSystem).
    Result run(int stop, int n) const {
        TestFileSystem fs;
        fs.stopAt = n, fs.stop = stop;
        if (through == 2) fs.failing = SystemCall::ChangeOwner, fs.error = EPERM;
        return cli::run(fs, output ? std::vector<std::string>{"-o", out, in} : std::vector{in});
    }
    // The wait status of a child process that runs quorin-cli, ended at call n by stop (0: _exit), dumping no core.
    int runStopped(int n, int stop = 0) const {
        const pid_t child = ::fork();
        const struct rlimit noCore = {0, 0};
        if (child == 0) ::_exit(::setrlimit(RLIMIT_CORE, &noCore) + run(stop, n).status);
        int status = 0;
        return ::waitpid(child, &status, 0), status;
    }
    // The result is there with the replaced file's owner, mode, attributes and links; anyWay: written through or
    // not, a temporary file aside (after a failed call).
    void expectComplete(bool anyWay = false) const {
        struct stat now = {};
        EXPECT_EQ(std::make_tuple(readFile(target), anyWay ? 0u : folder.hidden(), ::stat(target.c_str(), &now)),
                  std::make_tuple(kRunning, 0u, 0));
        EXPECT_EQ(std::make_tuple(now.st_mode, now.st_uid, now.st_gid, now.st_nlink,
                                  anyWay ? through != 0 : now.st_ino == former.st_ino),
                  exists ? std::make_tuple(former.st_mode, former.st_uid, former.st_gid, former.st_nlink, through != 0)
                         : std::make_tuple(S_IFREG | (0666 & ~kUmask), ::geteuid(), ::getegid(), nlink_t{1}, false));
        EXPECT_EQ(::getxattr(target.c_str(), "user.q", nullptr, 0), exists ? 4 : -1);
        EXPECT_TRUE(!exists || ::getxattr(target.c_str(), "system.posix_acl_access", nullptr, 0) < 0);
    }

    const bool output, exists;
    const int through;
    TempFolder folder;
    const std::string in = folder.file("in.mid"), out = folder.file("out.mid"), target = output ? out : in;
    struct stat former = {};
    std::string before;
};

// At each system call N that changes a file, for N = 1, 2, ... until the run completes:
// - a child ends there: the file holds exactly its former bytes or the result (written
//   through, only the catchable signals are held off), and at most a temporary file is left;
// - the call fails: the result, or the former bytes and a line that says so, and no
//   temporary file (unless its removal failed);
// - SIGQUIT, which ends the process, leaves a file written through whole.
TEST(CliCrash, EndingOrFailingAtAnyCallLeavesTheFormerBytesOrTheResult) {
    const std::tuple<bool, bool, int> scenarios[] = {
        // -o, the replaced file exists, written through
        {false, true, 0}, {false, true, 1}, {false, true, 2}, {true, false, 0}, {true, true, 0}, {true, true, 1}};
    for (const auto& [output, exists, through] : scenarios) {
        SCOPED_TRACE(::testing::Message() << output << exists << through);
        for (int n = 1;; ++n) {
            const Stage stage(output, exists, through), failing(output, exists, through);
            const int status = stage.runStopped(n);
            const std::string now = readFile(stage.target);
            ASSERT_TRUE(WIFEXITED(status) && n < 100);
            if (WEXITSTATUS(status) < 100) {
                EXPECT_EQ(WEXITSTATUS(status), 0);
                stage.expectComplete();
                break;
            }
            EXPECT_TRUE((through || now == stage.before || now == kRunning) && stage.folder.hidden() <= 1) << n;
            const Result result = failing.run(-1, n);
            const std::string undone = !output  ? "; its original content was put back\n"
                                       : exists ? " was left as it was\n"
                                                : " was not written\n";
            const std::size_t at = result.err.size() - undone.size();
            // The folder's sync failed: the result is in place, and the line says it may not last a crash.
            const bool unsynced = WEXITSTATUS(status) == 100 + static_cast<int>(SystemCall::SyncFolder);
            if (result.status == 0 || unsynced) failing.expectComplete(true);
            EXPECT_EQ(result.err.find("; but its folder could not be synced: Input/output error: the file is whole") <
                          result.err.size(),
                      unsynced)
                << n;
            EXPECT_TRUE(result.status == 0 || unsynced ||
                        (readFile(failing.target) == failing.before && at < result.err.size() &&
                         result.err.find(": Input/output error;") < at && result.err.substr(at) == undone))
                << n;
            EXPECT_EQ(failing.folder.hidden(), WEXITSTATUS(status) == 100 + static_cast<int>(SystemCall::Remove)) << n;
            if (!through) continue;
            const Stage quit(output, exists, through);
            EXPECT_EQ(quit.runStopped(n, SIGQUIT), SIGQUIT) << n;
            EXPECT_TRUE(readFile(quit.target) == quit.before || readFile(quit.target) == kRunning) << n;
        }
    }
    // Written through, a write and then the putting back fail.
    const Stage damaged(false, true, 1);
    TestFileSystem failing;
    failing.failing = SystemCall::Truncate, failing.error = EPERM;
    EXPECT_EQ(cli::run(failing, {damaged.in}).err, damaged.in +
                                                       ": error: cannot be written: Operation not permitted; its "
                                                       "original content could NOT be put back, the file is damaged\n");
}

// What a folder holds: each name with its kind, mode, owner and bytes (a link's target).
std::string describe(const std::string& folder) {
    std::vector<std::string> entries;
    for (const auto& entry : std::filesystem::directory_iterator(folder)) {
        const std::string path = entry.path().string();
        struct stat status = {};
        ::lstat(path.c_str(), &status);
        const std::string content =
            S_ISLNK(status.st_mode) ? std::filesystem::read_symlink(path).string() : readFile(path);
        entries.push_back(entry.path().filename().string() + " " + std::to_string(status.st_mode) + " " +
                          std::to_string(status.st_uid) + " " + content);
    }
    std::sort(entries.begin(), entries.end());
    std::string text;
    for (const std::string& entry : entries) text += entry + "\n";
    return text;
}

enum class Swap { Name, Folder };

// A folder d (in.mid, out.mid) and a second folder v with the same names. At one step, the
// converted file's name, or d itself, is swapped for a link into v: the run ends that file
// with nothing written anywhere, v is as it was, and d's file keeps its bytes.
TEST(CliSwap, ANameOrFolderSwappedForALinkDuringARunLeadsNowhereElse) {
    struct Row {
        bool output;
        SystemCall at;
        Swap swap;
    };
    const Row rows[] = {
        {false, SystemCall::CreateTemporary, Swap::Name}, {false, SystemCall::CreateTemporary, Swap::Folder},
        {false, SystemCall::Rename, Swap::Name},          {false, SystemCall::Rename, Swap::Folder},
        {true, SystemCall::OpenOutput, Swap::Name},       {true, SystemCall::OpenOutput, Swap::Folder},
        {true, SystemCall::CreateTemporary, Swap::Name},  {true, SystemCall::CreateTemporary, Swap::Folder},
        {true, SystemCall::Rename, Swap::Name},           {true, SystemCall::Rename, Swap::Folder},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(::testing::Message() << row.output << static_cast<int>(row.at) << static_cast<int>(row.swap));
        const TempFolder base;
        const std::string d = base.file("d");
        const std::string v = base.file("v");
        const std::string name = row.output ? "out.mid" : "in.mid";
        for (const std::string& folder : {d, v}) {
            ASSERT_EQ(::mkdir(folder.c_str(), 0755), 0);
            std::ofstream(folder + "/in.mid", std::ios::binary) << kPlain;
            std::ofstream(folder + "/out.mid", std::ios::binary) << kOld;
        }
        const std::string second = describe(v);
        TestFileSystem fs;
        bool swapped = false;
        fs.onCall = [&](SystemCall call) {
            if (call != row.at || swapped) return;
            swapped = true;
            const std::string from = row.swap == Swap::Folder ? d : d + "/" + name;
            const std::string to = row.swap == Swap::Folder ? v : v + "/" + name;
            EXPECT_EQ(::rename(from.c_str(), (from + ".real").c_str()), 0);
            EXPECT_EQ(::symlink(to.c_str(), from.c_str()), 0);
        };
        const std::vector<std::string> args =
            row.output ? std::vector<std::string>{"-o", d + "/out.mid", d + "/in.mid"} : std::vector{d + "/in.mid"};
        const Result result = run(fs, args);
        const std::string real = row.swap == Swap::Folder ? d + ".real/" + name : d + "/" + name + ".real";
        const std::string untouched = row.output ? " was left as it was\n" : "; its original content was put back\n";
        EXPECT_TRUE(swapped);
        EXPECT_EQ(describe(v), second);
        EXPECT_EQ(readFile(real), row.output ? kOld : kPlain);
        EXPECT_EQ(result.status, 1);
        EXPECT_NE(result.err.find(": it was moved or replaced meanwhile; "), std::string::npos) << result.err;
        EXPECT_EQ(result.err.substr(result.err.size() - std::min(result.err.size(), untouched.size())), untouched);
        EXPECT_EQ(TempFolder::hiddenIn(row.swap == Swap::Folder ? d + ".real" : d), 0u);
    }
}

// Runs quorin-cli in folder as root beside users 65534 (the other one) and 4242.
class CliShared : public ::testing::Test {
protected:
    void SetUp() override {
        if (::geteuid() != 0) GTEST_SKIP() << "needs root, to give files to other users";
    }
    // A folder of the test's own with mode.
    std::string makeFolder(const std::string& name, mode_t mode) const {
        const std::string path = folder.file(name);
        EXPECT_EQ(::mkdir(path.c_str(), mode), 0);
        EXPECT_EQ(::chmod(path.c_str(), mode), 0);
        return path;
    }
    // A symbolic link at path to target, owned by owner.
    static void plantLink(const std::string& target, const std::string& path, uid_t owner) {
        EXPECT_EQ(::symlink(target.c_str(), path.c_str()), 0);
        EXPECT_EQ(::lchown(path.c_str(), owner, owner), 0);
    }

    TempFolder folder;
    TestFileSystem fs;
};

// In a sticky folder that anyone may write, as /tmp: another user's link is not followed
// (nor one on the way to the file, nor one that leads nowhere), and another user's output
// is not given root's result. Root's own link there is followed.
TEST_F(CliShared, AnotherUsersLinksAndOutputsInAStickyFolderAreRefused) {
    const std::string shared = makeFolder("shared", 01777);
    const std::string secret = makeFolder("secret", 0700);
    const std::string mine = makeFolder("mine", 0755);
    std::ofstream(secret + "/song.mid", std::ios::binary) << kPlain;
    std::ofstream(mine + "/song.mid", std::ios::binary) << kOld;
    std::ofstream(shared + "/taken.mid", std::ios::binary) << kOld;
    ASSERT_EQ(::chown((shared + "/taken.mid").c_str(), 65534, 65534), 0);
    ASSERT_EQ(::chmod((shared + "/taken.mid").c_str(), 0666), 0);
    plantLink(secret + "/song.mid", shared + "/planted.mid", 65534);
    plantLink(secret + "/new.mid", shared + "/dangling.mid", 65534);
    plantLink(secret, shared + "/folder", 65534);
    plantLink(mine + "/song.mid", shared + "/root.mid", 0);
    const std::string in = folder.put("in.mid", kPlain);
    ASSERT_EQ(::chmod(in.c_str(), 0600), 0);
    const std::string before = describe(secret) + describe(shared);
    const std::string unsafe =
        "not followed: a symbolic link that another user owns, in a sticky folder that anyone "
        "may write";
    const std::string foreign = "it belongs to another user and its folder may be written by others; not replaced";
    const auto refused = [&](const std::string& output, const std::string& why, const char* outcome) {
        return in + ": error: cannot write " + output + ": " + why + "; " + output + outcome + "\n";
    };
    const char* const kept = " was left as it was";
    const char* const none = " was not written";
    struct Row {
        std::vector<std::string> args;
        std::string out, err;
    };
    const Row rows[] = {
        {{"-o", shared + "/planted.mid", in}, "", refused(shared + "/planted.mid", unsafe, kept)},
        {{"-o", shared + "/dangling.mid", in}, "", refused(shared + "/dangling.mid", unsafe, none)},
        {{"-o", shared + "/folder/song.mid", in}, "", refused(shared + "/folder/song.mid", unsafe, kept)},
        {{"-o", shared + "/taken.mid", in}, "", refused(shared + "/taken.mid", foreign, kept)},
        {{shared + "/planted.mid"}, "", shared + "/planted.mid: error: cannot be opened: " + unsafe + "\n"},
        {{"-o", shared + "/root.mid", in},
         in + ": converted to " + shared + "/root.mid -> " + mine + "/song.mid, 34 -> 33 bytes\n",
         ""},
    };
    for (const Row& row : rows) {
        const Result result = run(fs, row.args);
        EXPECT_EQ(result.out, row.out);
        EXPECT_EQ(result.err, row.err);
    }
    EXPECT_EQ(describe(secret) + describe(shared), before);
    EXPECT_EQ(readFile(mine + "/song.mid"), kRunning);
}

// Whether user uid may open path for reading, tried by a child process that becomes uid.
bool readableBy(const std::string& path, uid_t uid) {
    const pid_t child = ::fork();
    if (child == 0) {
        const bool became = ::setgroups(0, nullptr) == 0 && ::setgid(uid) == 0 && ::setuid(uid) == 0;
        ::_exit(became && ::open(path.c_str(), O_RDONLY) >= 0 ? 0 : 1);
    }
    int status = 0;
    ::waitpid(child, &status, 0);
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

// The folder's default ACL lets user 4242 read and write new files; the file (5000:5000,
// 0640, no ACL) lets no one but its owner and group read it. At every step that gives the
// temporary file its identity, neither 4242 nor another user can open it.
TEST_F(CliShared, TheTemporaryFileGrantsNoMoreThanTheFinalModeAndAclAtAnyStep) {
    const std::string song = folder.put("song.mid", kPlain);
    ASSERT_EQ(::chown(song.c_str(), 5000, 5000), 0);
    ASSERT_EQ(::chmod(song.c_str(), 0640), 0);
    if (::setxattr(folder.path().c_str(), "system.posix_acl_default", kAcl.data(), kAcl.size(), 0) != 0)
        GTEST_SKIP() << "needs a file system with ACLs";
    std::vector<SystemCall> steps;
    std::vector<std::string> leaks;
    fs.onCall = [&](SystemCall call) {
        const std::string temporary = folder.hiddenName();
        if (temporary.empty()) return;
        steps.push_back(call);
        for (const uid_t uid : {4242u, 65534u}) {
            if (readableBy(folder.file(temporary), uid))
                leaks.push_back("user " + std::to_string(uid) + " before call " +
                                std::to_string(static_cast<int>(call)));
        }
    };
    const std::vector<std::string> args{song};
    EXPECT_EQ(run(fs, args).status, 0);
    EXPECT_EQ(leaks, std::vector<std::string>{});
    EXPECT_GE(steps.size(), 3u);  // the owner, the ACL inherited and taken away, the mode
    EXPECT_FALSE(readableBy(song, 4242));
    EXPECT_TRUE(readableBy(song, 5000));
}

// An output that must be written through (it has a second link) is put back on failure
// from a copy of its bytes; a copy larger than the result is refused, the output untouched.
TEST_F(CliShared, AnOutputWrittenThroughKeepsNoCopyLargerThanTheResult) {
    const std::string in = folder.put("in.mid", kPlain);
    const std::string small = folder.put("small.mid", "tiny");
    const std::string large = folder.put("large.mid", std::string(100, 'x'));
    for (const std::string& output : {small, large}) ASSERT_EQ(::link(output.c_str(), (output + ".link").c_str()), 0);
    const std::vector<std::string> fits{"-o", small, in};
    const std::vector<std::string> tooLarge{"-o", large, in};
    EXPECT_EQ(run(fs, fits).out, in + ": converted to " + small + ", 34 -> 33 bytes\n");
    EXPECT_EQ(run(fs, tooLarge).err, in + ": error: cannot write " + large +
                                         ": it must be written in place and is "
                                         "larger than the result, so it could not be put back on failure; " +
                                         large + " was left as it was\n");
    EXPECT_EQ(readFile(small + ".link"), kRunning);
    EXPECT_EQ(readFile(large + ".link"), std::string(100, 'x'));
}

#endif

}  // namespace
}  // namespace cli
