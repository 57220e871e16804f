// How the Win32 file system replaces a file: a temporary file beside it, flushed, then
// ReplaceFileW; in place only where a new file would not be the same file.
#include <windows.h>

#include <cstdint>
#include <cwchar>
#include <string>
#include <utility>

#include "engine/file_system_win.h"
#include "engine/scope_exit.h"
#include "engine/wide_text_win.h"

namespace engine {

namespace {

// What a file keeps of its attributes through a replacement (SetFileInformationByHandle
// takes these; a read-only file is never opened for writing in the first place).
constexpr DWORD kKeptAttributes =
    FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_NOT_CONTENT_INDEXED;

// Errors of ReplaceFileW that say it cannot replace files on this volume at all.
bool replaceUnsupported(DWORD error) {
    return error == ERROR_INVALID_PARAMETER || error == ERROR_NOT_SUPPORTED || error == ERROR_INVALID_FUNCTION ||
           error == ERROR_CALL_NOT_IMPLEMENTED;
}

bool exists(const std::wstring& path) {
    return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

// 64-bit FNV-1a over the UTF-16 code units of text, low byte first.
std::uint64_t hashOf(const std::wstring& text) {
    std::uint64_t hash = 0xCBF29CE484222325u;
    for (const wchar_t unit : text) {
        for (const unsigned byte : {unit & 0xFFu, (unit >> 8) & 0xFFu}) {
            hash ^= byte;
            hash *= 0x100000001B3u;
        }
    }
    return hash;
}

// The part of the temporary and backup names that says whose they are: {NAME, ""} for a
// name with an exact ANSI form; else its best-fit spelling, with "_" for what a file name
// cannot hold, and "-" and 16 hex digits of the hash of the name in capitals (so that the
// name's case, which the file system ignores, changes nothing).
std::pair<std::wstring, std::wstring> spellingAndTag(const std::wstring& name) {
    std::string exact;
    if (exactAnsi(name, exact)) return {name, std::wstring()};
    std::wstring spelling = bestFitAnsi(name);
    for (wchar_t& c : spelling) {
        if (c < 0x20 || std::wcschr(L"\\/:*?\"<>|", c)) c = L'_';
    }
    std::wstring capitals = name;
    LCMapStringW(LOCALE_INVARIANT, LCMAP_UPPERCASE, name.data(), static_cast<int>(name.size()), &capitals[0],
                 static_cast<int>(capitals.size()));
    const std::uint64_t hash = hashOf(capitals);
    std::wstring tag = L"-";
    for (int shift = 60; shift >= 0; shift -= 4) tag += L"0123456789ABCDEF"[(hash >> shift) & 0xFu];
    return {spelling, tag};
}

}  // namespace

ReplacementNames replacementNames(const std::string& path) {
    std::size_t nameAt = 0;
    const std::wstring full = longFullPathOf(wideFromUtf8(path), &nameAt);
    if (nameAt >= full.size()) return {};
    const auto [spelling, tag] = spellingAndTag(full.substr(nameAt));
    const std::wstring start = full.substr(0, nameAt) + spelling;
    ReplacementNames names{full, start + L".quorin-new" + tag + L".tmp", start + L".quorin-old" + tag + L".tmp"};
    if (names.temporary.size() >= MAX_PATH) return {};  // the backup's is as long
    return names;
}

SystemError Win32FileSystem::beforeCall(Win32Call) {
    return 0;
}

bool Win32FileSystem::allowed(Win32Call call) {
    const SystemError refused = beforeCall(call);
    if (refused != 0) SetLastError(refused);
    return refused == 0;
}

void Win32FileSystem::removeLeftovers(const std::string& path) {
    const ReplacementNames names = replacementNames(path);
    for (const std::wstring* name : {&names.temporary, &names.backup}) {
        if (!name->empty() && allowed(Win32Call::Remove)) DeleteFileW(name->c_str());
    }
}

RewriteResult Win32FileSystem::rewrite(const std::string& path, Win32File& held, const std::uint8_t* newBytes,
                                       std::uint32_t newLength, const std::uint8_t* original,
                                       std::uint32_t originalLength) {
    const auto inPlace = [&] { return writeThrough(held, newBytes, newLength, original, originalLength); };

    // A second link would keep the former bytes; a name that does not fit cannot be made.
    BY_HANDLE_FILE_INFORMATION information;
    const ReplacementNames names = replacementNames(path);
    if (!GetFileInformationByHandle(held.handle(), &information) || information.nNumberOfLinks > 1 ||
        names.full.empty())
        return inPlace();

    // 1. The result beside the file, with its attributes and creation time, on the disk.
    const HANDLE handle = allowed(Win32Call::CreateTemporary)
                              ? CreateFileW(names.temporary.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                            FILE_ATTRIBUTE_NORMAL, nullptr)
                              : INVALID_HANDLE_VALUE;
    if (handle == INVALID_HANDLE_VALUE) return inPlace();  // the folder takes no new file
    bool keepTemporary = false;
    const ScopeExit removeTemporary([&] {
        if (!keepTemporary && allowed(Win32Call::Remove)) DeleteFileW(names.temporary.c_str());
    });
    Win32File temporary(handle, this);  // closed before it is removed
    FileError error;
    if (!writeAll(temporary, newBytes, newLength, error)) return RewriteResult::failed(error, true);
    FILE_BASIC_INFO basic = {};
    basic.CreationTime.LowPart = information.ftCreationTime.dwLowDateTime;
    basic.CreationTime.HighPart = static_cast<LONG>(information.ftCreationTime.dwHighDateTime);
    basic.FileAttributes = information.dwFileAttributes & kKeptAttributes;
    if (basic.FileAttributes == 0) basic.FileAttributes = FILE_ATTRIBUTE_NORMAL;
    // Best kept: ReplaceFileW carries both over itself where it can.
    if (allowed(Win32Call::CopyInformation)) SetFileInformationByHandle(handle, FileBasicInfo, &basic, sizeof basic);
    if (!temporary.flush(error) || !temporary.close(error)) return RewriteResult::failed(error, true);

    // 2. The file let go of and replaced; its former bytes stay under the backup name until then.
    if (!held.close(error)) return RewriteResult::failed(error, true);
    const auto move = [&](const std::wstring& from) {
        return allowed(Win32Call::Move) &&
               MoveFileExW(from.c_str(), names.full.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH);
    };
    RewriteResult result;
    if (!(allowed(Win32Call::Replace) &&
          ReplaceFileW(names.full.c_str(), names.temporary.c_str(), names.backup.c_str(), 0, nullptr, nullptr))) {
        const DWORD replaceError = GetLastError();
        if (!exists(names.full) || exists(names.backup)) {
            // 3. Half done (ERROR_UNABLE_TO_MOVE_REPLACEMENT_2): the file moved to the backup name. The
            // result goes in, else the former bytes go back; failing both, each stays where it is, the
            // only copy of its bytes.
            if (!move(names.temporary)) {
                result = RewriteResult::failed(replaceError, move(names.backup));
                keepTemporary = !result.restored;
                if (!result.restored) return result;
            }
        } else if (!replaceUnsupported(replaceError) || !move(names.temporary)) {
            result = RewriteResult::failed(replaceError, true);  // the former bytes are in place
        }
    }
    if (result.ok) keepTemporary = true;  // it is the file now
    if (allowed(Win32Call::Remove)) DeleteFileW(names.backup.c_str());
    // 4. The file held again until its entry is done.
    held.reopen(names.full);
    return result;
}

}  // namespace engine
