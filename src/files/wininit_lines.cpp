// Lines added to the [Rename] section of WININIT.INI, which 95/98 carry out at the next
// start, before long names exist: both paths of a line are written in their 8.3 form.
#include "pending_replacements.h"

#include <cstring>

namespace {

const char rename_header[] = "[Rename]\r\n";
constexpr DWORD rename_header_length = 10;
const char line_end[] = "\r\n";
constexpr DWORD line_end_length = 2;

bool starts_line(const char* text, DWORD at) { return at == 0 || text[at - 1] == '\n'; }

// Where `needle` stands at the start of a line between `from` and `to`; `to` when
// nowhere. A text inside another line is not that line: "XNUL=C:\A.DLL" deletes nothing.
DWORD find_line(const char* text, DWORD from, DWORD to, const char* needle, DWORD needle_length) {
    for (DWORD at = from; needle_length <= to && at <= to - needle_length; ++at)
        if (starts_line(text, at) && std::memcmp(text + at, needle, needle_length) == 0) return at;
    return to;
}

// Where the section whose lines start at `from` ends: at the next section's header.
DWORD section_end(const char* text, DWORD from, DWORD size) {
    for (DWORD at = from; at < size; ++at)
        if (text[at] == '[' && starts_line(text, at)) return at;
    return size;
}

// Puts the line below the header (or under a new header at the end) of the mapped file,
// unless the section holds it already; answers how many bytes the file grew by. Only a
// line of the section counts as there: the same text elsewhere schedules nothing.
DWORD insert_line(char* view, DWORD old_size, const char* line, DWORD line_length) {
    DWORD header = find_line(view, 0, old_size, rename_header, rename_header_length);
    if (header == old_size) {
        DWORD at = old_size;
        // A last line without its line end would run into the new header.
        if (old_size && view[old_size - 1] != '\n') {
            std::memcpy(view + at, line_end, line_end_length);
            at += line_end_length;
        }
        std::memcpy(view + at, rename_header, rename_header_length);
        std::memcpy(view + at + rename_header_length, line, line_length);
        return at + rename_header_length + line_length - old_size;
    }
    DWORD insert = header + rename_header_length;
    DWORD end = section_end(view, insert, old_size);
    if (find_line(view, insert, end, line, line_length) != end) return 0;
    std::memmove(view + insert + line_length, view + insert, old_size - insert);
    std::memcpy(view + insert, line, line_length);
    return line_length;
}

}  // namespace

bool short_path_of(LPCSTR path, LPSTR short_path) {
    DWORD length = GetShortPathNameA(path, short_path, MAX_PATH);
    if (!length) return false;
    // A form longer than the buffer is only measured, never written.
    if (length >= MAX_PATH) {
        SetLastError(ERROR_FILENAME_EXCED_RANGE);
        return false;
    }
    return true;
}

LONG add_wininit_rename(LPCSTR source, LPCSTR destination) {
    char short_source[MAX_PATH];
    char short_destination[MAX_PATH];
    if (!destination) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    if (!short_path_of(source, short_source)) return 0;
    if (lstrcmpA(destination, "NUL") == 0) lstrcpyA(short_destination, "NUL");
    else if (!short_path_of(destination, short_destination)) return 0;
    // Both forms are below MAX_PATH, so the line always fits.
    char line[2 * MAX_PATH + 4];
    DWORD line_length = static_cast<DWORD>(wsprintfA(line, "%hs=%hs\r\n", short_destination, short_source));
    char wininit[MAX_PATH];
    UINT directory_length = GetWindowsDirectoryA(wininit, MAX_PATH);
    if (!directory_length || directory_length + lstrlenA("\\WinInit.Ini") >= MAX_PATH) {
        SetLastError(ERROR_FILENAME_EXCED_RANGE);
        return 0;
    }
    lstrcatA(wininit, "\\WinInit.Ini");
    HANDLE file = CreateFileA(wininit, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
    if (file == INVALID_HANDLE_VALUE) return 0;
    DWORD old_size = GetFileSize(file, nullptr);
    // Room for the line, a header and the line end of a last line that has none. A size
    // that cannot be read (or that the room would carry past 4 GB) would put the new line
    // far outside the mapped file.
    const DWORD room = line_end_length + rename_header_length + line_length;
    if (old_size == INVALID_FILE_SIZE || old_size > INVALID_FILE_SIZE - room) {
        DWORD failure = old_size == INVALID_FILE_SIZE ? GetLastError() : ERROR_SUCCESS;
        CloseHandle(file);
        SetLastError(failure ? failure : ERROR_NOT_ENOUGH_MEMORY);
        return 0;
    }
    DWORD new_size = old_size;
    DWORD failure = ERROR_SUCCESS;
    HANDLE mapping = CreateFileMappingA(file, nullptr, PAGE_READWRITE, 0, old_size + room, nullptr);
    auto* view = mapping ? static_cast<char*>(MapViewOfFile(mapping, FILE_MAP_WRITE, 0, 0, 0)) : nullptr;
    if (view) {
        // The grown tail is zeroed so that the old contents can be searched as one string.
        std::memset(view + old_size, 0, room);
        new_size += insert_line(view, old_size, line, line_length);
        UnmapViewOfFile(view);
    } else {
        failure = GetLastError();
    }
    if (mapping) CloseHandle(mapping);
    // Without the pointer at the new size, SetEndOfFile would cut the file wherever the
    // pointer stands (at its start): the zero tail then rather stays.
    if (SetFilePointer(file, static_cast<LONG>(new_size), nullptr, FILE_BEGIN) == new_size) SetEndOfFile(file);
    CloseHandle(file);
    // The clean-up calls above must not hide why the line could not be added.
    if (failure != ERROR_SUCCESS) SetLastError(failure);
    return failure == ERROR_SUCCESS ? 1 : 0;
}
