// Makes this test program see its volume as one without 8.3 names, as the non-system
// volumes of current Windows are by default (Wine makes one up for every long name): while
// a NoShortNames lives, this program's GetShortPathNameW gives every path back with its long
// names, and counts the times it was asked.
#pragma once

#include <windows.h>

#include <cstring>

namespace testing_win32 {

class NoShortNames {
public:
    NoShortNames() : slot_(importSlot("GetShortPathNameW")) {
        calls_ = 0;
        if (slot_) former_ = exchange(reinterpret_cast<void*>(&longNamesOnly));
    }
    NoShortNames(const NoShortNames&) = delete;
    NoShortNames& operator=(const NoShortNames&) = delete;
    ~NoShortNames() {
        if (slot_) exchange(former_);
    }

    // False when this program does not import the function (nothing was changed).
    bool active() const { return slot_ != nullptr; }
    // How often GetShortPathNameW was asked since this object was made.
    static int calls() { return calls_; }

private:
    // The address through which this program calls kernel32's function name, or null.
    static void** importSlot(const char* name) {
        auto* const base = reinterpret_cast<BYTE*>(GetModuleHandleW(nullptr));
        const auto* const headers =
            reinterpret_cast<const IMAGE_NT_HEADERS*>(base + reinterpret_cast<const IMAGE_DOS_HEADER*>(base)->e_lfanew);
        const IMAGE_DATA_DIRECTORY& imports = headers->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
        for (auto* module = reinterpret_cast<const IMAGE_IMPORT_DESCRIPTOR*>(base + imports.VirtualAddress);
             module->Name != 0; ++module) {
            if (lstrcmpiA(reinterpret_cast<const char*>(base + module->Name), "kernel32.dll") != 0) continue;
            auto* names = reinterpret_cast<const IMAGE_THUNK_DATA*>(base + module->OriginalFirstThunk);
            auto* slots = reinterpret_cast<IMAGE_THUNK_DATA*>(base + module->FirstThunk);
            for (; names->u1.AddressOfData != 0; ++names, ++slots) {
                if (IMAGE_SNAP_BY_ORDINAL(names->u1.Ordinal)) continue;
                const auto* byName = reinterpret_cast<const IMAGE_IMPORT_BY_NAME*>(base + names->u1.AddressOfData);
                if (std::strcmp(reinterpret_cast<const char*>(byName->Name), name) == 0)
                    return reinterpret_cast<void**>(&slots->u1.Function);
            }
        }
        return nullptr;
    }

    void* exchange(void* function) {
        DWORD protection = 0;
        VirtualProtect(slot_, sizeof *slot_, PAGE_READWRITE, &protection);
        void* const before = *slot_;
        *slot_ = function;
        VirtualProtect(slot_, sizeof *slot_, protection, &protection);
        return before;
    }

    // GetShortPathNameW where no name has a short form: the path as it is, if it exists.
    static DWORD WINAPI longNamesOnly(LPCWSTR path, LPWSTR buffer, DWORD size) {
        ++calls_;
        if (GetFileAttributesW(path) == INVALID_FILE_ATTRIBUTES) return 0;
        const DWORD length = static_cast<DWORD>(lstrlenW(path));
        if (length >= size) return length + 1;
        lstrcpyW(buffer, path);
        return length;
    }

    static inline int calls_ = 0;
    void** slot_;
    void* former_ = nullptr;
};

}  // namespace testing_win32
