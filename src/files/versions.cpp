#include "versions.h"

#include "frame/catalogue.h"
#include "frame/error_state.h"
#include "frame/memory.h"
#include "frame/platform_flags.h"
#include "orvinstl.h"

namespace {

// A version block of one file in a heap block of its own.
class VersionBlock {
public:
    ~VersionBlock() { heap_free(block_); }
    DWORD size = 0;
    bool allocate() { return (block_ = heap_alloc(size)) != nullptr; }
    LPVOID get() const { return block_; }

private:
    LPVOID block_ = nullptr;
};

// The code page of the first translation entry, 0 for an empty table; false when the
// table cannot be read.
bool first_code_page(const VersionBlock& block, WORD* code_page) {
    LPVOID entries = nullptr;
    UINT length = 0;
    if (!VerQueryValueA(block.get(), "\\VarFileInfo\\Translation", &entries, &length)) return false;
    *code_page = length >= sizeof(DWORD) ? HIWORD(*static_cast<const DWORD*>(entries)) : 0;
    return true;
}

// Which side has a version: 1 only A, -1 only B, 0 both or neither.
LONG compare_presence(bool a_has_version, bool b_has_version) {
    if (a_has_version == b_has_version) return 0;
    return a_has_version ? 1 : -1;
}

LONG compare_fixed_versions(const VS_FIXEDFILEINFO& a, const VS_FIXEDFILEINFO& b) {
    if (b.dwFileVersionMS != a.dwFileVersionMS) return b.dwFileVersionMS < a.dwFileVersionMS ? 1 : -1;
    if (b.dwFileVersionLS != a.dwFileVersionLS) return b.dwFileVersionLS < a.dwFileVersionLS ? 1 : -1;
    return 0;
}

}  // namespace

LONG compare_file_times(HANDLE a, HANDLE b) {
    FILETIME written_a{}, written_b{};
    GetFileTime(a, nullptr, nullptr, &written_a);
    GetFileTime(b, nullptr, nullptr, &written_b);
    return CompareFileTime(&written_a, &written_b);
}

LONG compare_file_versions(LPCSTR a, LPCSTR b) {
    VersionBlock block_a, block_b;
    DWORD handle_a = 0, handle_b = 0;
    block_a.size = GetFileVersionInfoSizeA(a, &handle_a);
    block_b.size = GetFileVersionInfoSizeA(b, &handle_b);
    if (!block_a.size || !block_b.size) return compare_presence(block_a.size != 0, block_b.size != 0);
    if (!block_a.allocate() || !block_b.allocate()) {
        record_last_error(IDS_MEMORY_ALLOCATION, nullptr, 0, 0);
        return 0;
    }
    if (!GetFileVersionInfoA(a, handle_a, block_a.size, block_a.get())) {
        record_last_error(IDS_READING_VERSION_INFO_FROM_FILE, a, 0, 0);
        return -1;
    }
    if (!GetFileVersionInfoA(b, handle_b, block_b.size, block_b.get())) {
        record_last_error(IDS_READING_VERSION_INFO_FROM_FILE, b, 0, 0);
        return 1;
    }
    LPVOID fixed_a = nullptr, fixed_b = nullptr;
    UINT length_a = 0, length_b = 0;
    if (!VerQueryValueA(block_a.get(), "\\", &fixed_a, &length_a)) {
        record_last_error(IDS_READING_FIXED_VERSION_INFO_BLOCK_FROM, a, 0, 0);
        return -1;
    }
    if (!VerQueryValueA(block_b.get(), "\\", &fixed_b, &length_b)) {
        record_last_error(IDS_READING_FIXED_VERSION_INFO_BLOCK_FROM, b, 0, 0);
        return 1;
    }
    // A fixed block too short to hold the version numbers says no version at all: its
    // fields would be read from whatever follows it.
    bool a_has_version = length_a >= sizeof(VS_FIXEDFILEINFO);
    bool b_has_version = length_b >= sizeof(VS_FIXEDFILEINFO);
    if (!a_has_version || !b_has_version) return compare_presence(a_has_version, b_has_version);
    LONG result = compare_fixed_versions(*static_cast<const VS_FIXEDFILEINFO*>(fixed_a),
                                         *static_cast<const VS_FIXEDFILEINFO*>(fixed_b));
    // A 16-bit file carries its texts in one code page: another one is never copied over it.
    if (ExeFileBitness(a) == INS_EXE_WIN16) {
        WORD code_page_a = 0, code_page_b = 0;
        if (!first_code_page(block_a, &code_page_a)) {
            record_last_error(IDS_RETRIEVING_CODE_PAGE_FROM_16_BIT, a, 0, 0);
            return -1;
        }
        if (!first_code_page(block_b, &code_page_b)) {
            record_last_error(IDS_RETRIEVING_CODE_PAGE_FROM_16_BIT, b, 0, 0);
            return 1;
        }
        if (code_page_a != code_page_b) result = 1;
    }
    return result;
}

void get_file_version_string(LPCSTR file_name, FileVersion* version) {
    version->text = nullptr;
    version->block = nullptr;
    lstrcpynA(version->path, file_name, MAX_PATH);
    char drive[_MAX_DRIVE], directory[_MAX_DIR];
    _splitpath(file_name, drive, directory, nullptr, nullptr);
    if (!drive[0] && !directory[0]) {
        char driver_directory[MAX_PATH];
        DWORD needed = 0;
        BOOL found = GetPrinterDriverDirectoryA(nullptr, const_cast<LPSTR>(print_environment()), 1,
                                                reinterpret_cast<LPBYTE>(driver_directory), sizeof driver_directory, &needed);
        if (found == 1) {
            int length = lstrlenA(driver_directory);
            bool needs_separator = length > 0 && driver_directory[length - 1] != '\\';
            if (length + (needs_separator ? 1 : 0) + lstrlenA(file_name) < MAX_PATH) {
                lstrcpyA(version->path, driver_directory);
                if (needs_separator) lstrcatA(version->path, "\\");
                lstrcatA(version->path, file_name);
            }
        }
    }
    OFSTRUCT found{};
    if (OpenFile(version->path, &found, OF_EXIST) != HFILE_ERROR) lstrcpynA(version->path, found.szPathName, MAX_PATH);
    DWORD handle = 0;
    DWORD size = GetFileVersionInfoSizeA(version->path, &handle);
    if (!size) return;
    version->block = LocalAlloc(LPTR, size);
    if (!version->block) return;
    LPVOID entries = nullptr;
    UINT length = 0;
    if (!GetFileVersionInfoA(version->path, handle, size, version->block) ||
        !VerQueryValueA(version->block, "\\VarFileInfo\\Translation", &entries, &length) || length < sizeof(DWORD))
        return;
    DWORD first = *static_cast<const DWORD*>(entries);
    char name[64];
    LPVOID text = nullptr;
    UINT text_length = 0;
    wsprintfA(name, "\\StringFileInfo\\%04X%04X\\FileVersion", LOWORD(first), HIWORD(first));
    if (!VerQueryValueA(version->block, name, &text, &text_length)) {
        wsprintfA(name, "\\StringFileInfo\\%04X%04X\\ProductVersion", LOWORD(first), HIWORD(first));
        if (!VerQueryValueA(version->block, name, &text, &text_length)) return;
    }
    version->text = static_cast<LPCSTR>(text);
}

void release_file_version(FileVersion* version) {
    if (version->block) LocalFree(version->block);
    version->block = nullptr;
    version->text = nullptr;
}
