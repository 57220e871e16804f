// How the Win32 file system replaces a file: a temporary file beside it, flushed, then
// ReplaceFileA; in place only where a new file would not be the same file.
#include <windows.h>

#include "convert/file_system_win.h"
#include "convert/scope_exit.h"
#include "convert/wide_text_win.h"

namespace convert {

namespace {

// What a file keeps of its attributes through a replacement (SetFileInformationByHandle
// takes these; a read-only file is never opened for writing in the first place).
constexpr DWORD kKeptAttributes = FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_ARCHIVE |
                                  FILE_ATTRIBUTE_NOT_CONTENT_INDEXED;

// Errors of ReplaceFileA that say it cannot replace files on this volume at all.
bool replaceUnsupported(DWORD error) {
    return error == ERROR_INVALID_PARAMETER || error == ERROR_NOT_SUPPORTED || error == ERROR_INVALID_FUNCTION ||
           error == ERROR_CALL_NOT_IMPLEMENTED;
}

bool exists(const std::string& path) {
    return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

RewriteResult failed(SystemError error, bool restored) {
    RewriteResult result;
    result.ok = false;
    result.error = error;
    result.restored = restored;
    return result;
}

}  // namespace

ReplacementNames replacementNames(const std::string& path) {
    static const char kTemporary[] = ".quorin-new.tmp";
    static const char kBackup[] = ".quorin-old.tmp";
    static_assert(sizeof kTemporary == sizeof kBackup, "one length check covers both names");
    // A name that the ANSI calls reach only by its short form cannot be given back to the
    // file by a rename: the result would take the short name. Such a file is written in place.
    std::string ansi;
    if (!exactAnsi(wideFromUtf8(path), ansi)) return {};
    char full[MAX_PATH];
    const DWORD length = GetFullPathNameA(ansi.c_str(), MAX_PATH, full, nullptr);
    if (length == 0 || length + sizeof kTemporary > MAX_PATH) return {};
    return {full, full + std::string(kTemporary), full + std::string(kBackup)};
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
    for (const std::string* name : {&names.temporary, &names.backup}) {
        if (!name->empty() && allowed(Win32Call::Remove)) DeleteFileA(name->c_str());
    }
}

RewriteResult Win32FileSystem::rewrite(const std::string& path, OpenFile& file, const std::uint8_t* newBytes,
                                       std::uint32_t newLength, const std::uint8_t* original,
                                       std::uint32_t originalLength) {
    auto* const held = dynamic_cast<Win32OpenFile*>(&file);
    if (!held) return FileSystem::rewrite(path, file, newBytes, newLength, original, originalLength);
    const auto inPlace = [&] { return writeThrough(*held, newBytes, newLength, original, originalLength); };

    // A second link would keep the former bytes; a name that does not fit cannot be made.
    BY_HANDLE_FILE_INFORMATION information;
    const ReplacementNames names = replacementNames(path);
    if (!GetFileInformationByHandle(held->handle(), &information) || information.nNumberOfLinks > 1 ||
        names.full.empty())
        return inPlace();

    // 1. The result beside the file, with its attributes and creation time, on the disk.
    const HANDLE handle = allowed(Win32Call::CreateTemporary)
                              ? CreateFileA(names.temporary.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                            FILE_ATTRIBUTE_NORMAL, nullptr)
                              : INVALID_HANDLE_VALUE;
    if (handle == INVALID_HANDLE_VALUE) return inPlace();  // the folder takes no new file
    bool keepTemporary = false;
    const ScopeExit removeTemporary([&] {
        if (!keepTemporary && allowed(Win32Call::Remove)) DeleteFileA(names.temporary.c_str());
    });
    Win32OpenFile temporary(handle, this);  // closed before it is removed
    SystemError error = 0;
    if (!writeAll(temporary, newBytes, newLength, error)) return failed(error, true);
    FILE_BASIC_INFO basic = {};
    basic.CreationTime.LowPart = information.ftCreationTime.dwLowDateTime;
    basic.CreationTime.HighPart = static_cast<LONG>(information.ftCreationTime.dwHighDateTime);
    basic.FileAttributes = information.dwFileAttributes & kKeptAttributes;
    if (basic.FileAttributes == 0) basic.FileAttributes = FILE_ATTRIBUTE_NORMAL;
    // Best kept: ReplaceFileA carries both over itself where it can.
    if (allowed(Win32Call::CopyInformation))
        SetFileInformationByHandle(handle, FileBasicInfo, &basic, sizeof basic);
    if (!temporary.flush(error) || !temporary.close(error)) return failed(error, true);

    // 2. The file let go of and replaced; its former bytes stay under the backup name until then.
    if (!held->close(error)) return failed(error, true);
    const auto move = [&](const std::string& from) {
        return allowed(Win32Call::Move) &&
               MoveFileExA(from.c_str(), names.full.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH);
    };
    RewriteResult result;
    if (!(allowed(Win32Call::Replace) &&
          ReplaceFileA(names.full.c_str(), names.temporary.c_str(), names.backup.c_str(), 0, nullptr, nullptr))) {
        const DWORD replaceError = GetLastError();
        if (!exists(names.full) || exists(names.backup)) {
            // 3. Half done (ERROR_UNABLE_TO_MOVE_REPLACEMENT_2): the file moved to the backup name. The
            // result goes in, else the former bytes go back; failing both, each stays where it is, the
            // only copy of its bytes.
            if (!move(names.temporary)) {
                result = failed(replaceError, move(names.backup));
                keepTemporary = !result.restored;
                if (!result.restored) return result;
            }
        } else if (!replaceUnsupported(replaceError) || !move(names.temporary)) {
            result = failed(replaceError, true);  // the former bytes are in place
        }
    }
    if (result.ok) keepTemporary = true;  // it is the file now
    if (allowed(Win32Call::Remove)) DeleteFileA(names.backup.c_str());
    // 4. The file held again until its entry is done.
    held->reopen(names.full);
    return result;
}

}  // namespace convert
