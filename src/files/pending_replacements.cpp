#include "pending_replacements.h"

#include "frame/memory.h"
#include "frame/shared_read.h"

#include <cstdio>
#include <cstring>

namespace {

const char session_manager_key[] = "SYSTEM\\CurrentControlSet\\Control\\Session Manager";
const char pending_value[] = "PendingFileRenameOperations";
const char rename_header[] = "[Rename]\r\n";
constexpr DWORD rename_header_length = 10;
constexpr int line_buffer_size = 260;

// The length of the string at `at`, never reading past `end`; answers false when no
// terminator comes before the end (a value the system did not write whole).
bool bounded_length(const char* at, const char* end, SIZE_T* length) {
    const void* terminator = std::memchr(at, '\0', static_cast<SIZE_T>(end - at));
    if (!terminator) return false;
    *length = static_cast<SIZE_T>(static_cast<const char*>(terminator) - at);
    return true;
}

void remove_from_pending_renames(LPCSTR path) {
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, session_manager_key, 0, KEY_ALL_ACCESS, &key)) return;
    DWORD size = 0;
    DWORD type = 0;
    RegQueryValueExA(key, pending_value, nullptr, nullptr, nullptr, &size);
    auto* list = static_cast<LPSTR>(heap_alloc(static_cast<SIZE_T>(size) + 1));
    if (list && RegQueryValueExA(key, pending_value, nullptr, &type, reinterpret_cast<LPBYTE>(list), &size) == ERROR_SUCCESS) {
        char* end = list + size;
        char* at = list;
        SIZE_T source_length = 0, destination_length = 0;
        // Pairs of source and destination; the walk stops at the list's final empty
        // string or at bytes that do not make a whole pair.
        while (at < end && *at && bounded_length(at, end, &source_length) &&
               bounded_length(at + source_length + 1, end, &destination_length)) {
            char* destination = at + source_length + 1;
            SIZE_T pair = source_length + 1 + destination_length + 1;
            if (std::strstr(at, path) || std::strstr(destination, path)) {
                std::memmove(at, at + pair, static_cast<SIZE_T>(end - (at + pair)));
                end -= pair;
                size -= static_cast<DWORD>(pair);
            } else {
                at += pair;
            }
        }
        RegSetValueExA(key, pending_value, 0, REG_MULTI_SZ, reinterpret_cast<const BYTE*>(list), size);
    }
    heap_free(list);
    RegCloseKey(key);
}

// The path of WININIT.INI in the Windows directory, or false when it does not fit.
bool wininit_path(LPSTR path, LPCSTR file_name) {
    UINT length = GetWindowsDirectoryA(path, MAX_PATH);
    if (!length || length + static_cast<UINT>(lstrlenA(file_name)) >= MAX_PATH) return false;
    lstrcatA(path, file_name);
    return true;
}

bool file_exists(LPCSTR path) {
    HANDLE file = open_for_shared_reading(path);
    if (file == INVALID_HANDLE_VALUE) return false;
    CloseHandle(file);
    return true;
}

bool copy_lines(std::FILE* from, std::FILE* to) {
    char line[line_buffer_size];
    while (std::fgets(line, sizeof line, from))
        if (std::fputs(line, to) == EOF) return false;
    return true;
}

void remove_from_wininit(LPCSTR short_path) {
    char wininit[MAX_PATH];
    char scratch[MAX_PATH];
    char windows_directory[MAX_PATH];
    if (!wininit_path(wininit, "\\Wininit.ini") || !file_exists(wininit) || !short_path[0]) return;
    // The scratch file goes where Windows itself writes, not into the current directory,
    // which may be the setup program's read-only medium.
    if (!GetWindowsDirectoryA(windows_directory, MAX_PATH) || !GetTempFileNameA(windows_directory, "mrccwi", 0, scratch)) return;
    int kept = 0;
    bool dropped = false;
    std::FILE* in = std::fopen(wininit, "r");
    std::FILE* out = in ? std::fopen(scratch, "w") : nullptr;
    if (in && out) {
        char line[line_buffer_size];
        while (std::fgets(line, sizeof line, in)) {
            if (std::strstr(line, short_path)) {
                dropped = true;
            } else {
                std::fputs(line, out);
                ++kept;
            }
        }
    }
    if (out) std::fclose(out);
    if (in) std::fclose(in);
    if (in && out && dropped) {
        in = std::fopen(scratch, "r");
        out = in ? std::fopen(wininit, "w") : nullptr;
        if (in && out) copy_lines(in, out);
        if (out) std::fclose(out);
        if (in) std::fclose(in);
        if (kept <= 1) DeleteFileA(wininit);
    }
    DeleteFileA(scratch);
}

// Finds `needle` in the first `size` bytes of `text`.
char* find_bytes(char* text, DWORD size, const char* needle, DWORD needle_length) {
    for (DWORD at = 0; needle_length <= size && at <= size - needle_length; ++at)
        if (std::memcmp(text + at, needle, needle_length) == 0) return text + at;
    return nullptr;
}

}  // namespace

void remove_pending_replacements(LPSTR path) {
    for (LPSTR p = path; *p; ++p) *p = static_cast<char>(toupper(static_cast<unsigned char>(*p)));
    char short_path[MAX_PATH - 1];
    if (!GetShortPathNameA(path, short_path, sizeof short_path)) short_path[0] = '\0';
    OSVERSIONINFOA version{};
    version.dwOSVersionInfoSize = sizeof version;
    if (!GetVersionExA(&version)) return;
    if (version.dwPlatformId == VER_PLATFORM_WIN32_NT) remove_from_pending_renames(path);
    else if (version.dwPlatformId == VER_PLATFORM_WIN32_WINDOWS) remove_from_wininit(short_path);
}

LONG add_wininit_rename(LPCSTR source, LPCSTR destination) {
    char short_source[MAX_PATH];
    char short_destination[MAX_PATH];
    if (!GetShortPathNameA(source, short_source, MAX_PATH) || !destination) return 0;
    if (lstrcmpA(destination, "NUL") == 0) lstrcpyA(short_destination, "NUL");
    else if (!GetShortPathNameA(destination, short_destination, MAX_PATH)) return 0;
    char line[2 * MAX_PATH + 4];
    DWORD line_length = static_cast<DWORD>(wsprintfA(line, "%hs=%hs\r\n", short_destination, short_source));
    char wininit[MAX_PATH];
    if (!wininit_path(wininit, "\\WinInit.Ini")) return 0;
    HANDLE file = CreateFileA(wininit, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
    if (file == INVALID_HANDLE_VALUE) return 0;
    DWORD old_size = GetFileSize(file, nullptr);
    DWORD mapped_size = old_size + line_length + rename_header_length;
    DWORD new_size = old_size;
    LONG added = 0;
    HANDLE mapping = CreateFileMappingA(file, nullptr, PAGE_READWRITE, 0, mapped_size, nullptr);
    auto* view = mapping ? static_cast<char*>(MapViewOfFile(mapping, FILE_MAP_WRITE, 0, 0, 0)) : nullptr;
    if (view) {
        std::memset(view + old_size, 0, line_length + rename_header_length);
        added = 1;
        if (!find_bytes(view, old_size, line, line_length)) {
            char* header = find_bytes(view, old_size, rename_header, rename_header_length);
            if (header) {
                char* insert = static_cast<char*>(std::memchr(header, '\n', static_cast<SIZE_T>(view + old_size - header))) + 1;
                std::memmove(insert + line_length, insert, static_cast<SIZE_T>(view + old_size - insert));
                std::memcpy(insert, line, line_length);
                new_size = old_size + line_length;
            } else {
                std::memcpy(view + old_size, rename_header, rename_header_length);
                std::memcpy(view + old_size + rename_header_length, line, line_length);
                new_size = old_size + rename_header_length + line_length;
            }
        }
        UnmapViewOfFile(view);
    }
    if (mapping) CloseHandle(mapping);
    SetFilePointer(file, static_cast<LONG>(new_size), nullptr, FILE_BEGIN);
    SetEndOfFile(file);
    CloseHandle(file);
    return added;
}
