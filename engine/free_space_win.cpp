// The free-space probe's Win32 calls.
#include "engine/free_space.h"

#include <winnetwk.h>

#include <string>

GetDiskFreeSpaceExAFunction FreeSpaceExFunction = nullptr;

namespace {

// Free bytes from a volume's geometry; result unchanged on failure.
BOOL freeFromGeometry(const char* root, std::uint64_t& freeBytes) {
    DWORD sectorsPerCluster = 0;
    DWORD bytesPerSector = 0;
    DWORD freeClusters = 0;
    DWORD totalClusters = 0;
    const BOOL ok = GetDiskFreeSpaceA(root, &sectorsPerCluster, &bytesPerSector, &freeClusters, &totalClusters);
    if (!ok) return ok;
    freeBytes = static_cast<std::uint64_t>(sectorsPerCluster) * bytesPerSector * freeClusters;
    return ok;
}

// A share "\\server\share[\]" measured through a temporary mapping to the first unused
// drive letter.
BOOL freeOnShare(const char* location, std::uint64_t& freeBytes) {
    char root[] = "C:\\";
    while (GetDriveTypeA(root) != DRIVE_NO_ROOT_DIR) {
        if (root[0] == 'Z') return FALSE;
        ++root[0];
    }
    root[2] = '\0';
    std::string remote = location;
    if (remote.size() > 2 && remote.back() == '\\') remote.pop_back();
    // The mapping's own result is the error to report: it need not be left as the last error.
    const DWORD mapped = WNetAddConnectionA(remote.c_str(), nullptr, root);
    if (mapped != NO_ERROR) {
        SetLastError(mapped);
        return FALSE;
    }
    const BOOL ok = freeFromGeometry(root, freeBytes);
    const DWORD error = GetLastError();
    WNetCancelConnectionA(root, FALSE);
    SetLastError(error);
    return ok;
}

}  // namespace

BOOL FreeSpaceProbe(const char* location, std::uint64_t& freeBytes) {
    if (FreeSpaceExFunction != nullptr) {
        ULARGE_INTEGER available;
        ULARGE_INTEGER total;
        const BOOL ok = FreeSpaceExFunction(location, &available, &total, nullptr);
        if (ok) freeBytes = available.QuadPart;
        return ok;
    }
    if (location[0] == '\\' && location[1] == '\\') return freeOnShare(location, freeBytes);
    std::string root;
    if (location[0] != '\0' && location[1] == ':') root.assign(location, 2);
    root += '\\';
    return freeFromGeometry(root.c_str(), freeBytes);
}
