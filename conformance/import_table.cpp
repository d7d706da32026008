#include "import_table.h"

#include <cstring>

namespace conformance {

namespace {

template <typename T>
T* at(HMODULE module, DWORD rva) {
    return reinterpret_cast<T*>(reinterpret_cast<BYTE*>(module) + rva);
}

// The entry that holds `function`'s address, or null. The names are read from the
// lookup table beside the address table, which the loader leaves as the linker wrote it.
ULONG_PTR* import_entry(HMODULE module, const IMAGE_IMPORT_DESCRIPTOR& import, const char* function) {
    if (!import.OriginalFirstThunk) return nullptr;
    auto* names = at<IMAGE_THUNK_DATA>(module, import.OriginalFirstThunk);
    auto* addresses = at<IMAGE_THUNK_DATA>(module, import.FirstThunk);
    for (; names->u1.AddressOfData; ++names, ++addresses) {
        if (IMAGE_SNAP_BY_ORDINAL(names->u1.Ordinal)) continue;
        const auto* by_name = at<IMAGE_IMPORT_BY_NAME>(module, static_cast<DWORD>(names->u1.AddressOfData));
        if (std::strcmp(reinterpret_cast<const char*>(by_name->Name), function) == 0) return &addresses->u1.Function;
    }
    return nullptr;
}

}  // namespace

void* replace_import(HMODULE module, const char* dll, const char* function, void* replacement) {
    const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(module);
    const auto* headers = at<IMAGE_NT_HEADERS>(module, static_cast<DWORD>(dos->e_lfanew));
    const IMAGE_DATA_DIRECTORY& imports = headers->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
    if (!imports.VirtualAddress) return nullptr;
    for (auto* import = at<IMAGE_IMPORT_DESCRIPTOR>(module, imports.VirtualAddress); import->Name; ++import) {
        if (lstrcmpiA(at<char>(module, import->Name), dll) != 0) continue;
        ULONG_PTR* entry = import_entry(module, *import, function);
        if (!entry) return nullptr;
        // The table lies in read-only memory once the loader has filled it.
        DWORD protection = 0;
        if (!VirtualProtect(entry, sizeof *entry, PAGE_READWRITE, &protection)) return nullptr;
        void* previous = reinterpret_cast<void*>(*entry);
        *entry = reinterpret_cast<ULONG_PTR>(replacement);
        VirtualProtect(entry, sizeof *entry, protection, &protection);
        return previous;
    }
    return nullptr;
}

}  // namespace conformance
