// The 16-bit driver's default output file: the name it had, with the directory, name and
// extension a setup program chose, stored in the short form the driver can open.
#include "printer_context.h"
#include "short_path.h"

#include "files/paths.h"

namespace {

// The most characters a part of a path may have: its buffer less the terminator.
constexpr int part_limit = _MAX_FNAME - 1;

bool given(LPCSTR text) { return text && *text; }

bool fits(LPCSTR text) { return lstrlenA(text) <= part_limit; }

// "D:\fax" gives the drive "D:" and the directory "\fax"; a UNC path ("\\server\share")
// or one without a drive is all directory, and the drive goes.
bool take_directory(LPCSTR directory, PathParts* parts) {
    const bool with_drive = directory[0] && directory[1] == ':';
    LPCSTR rest = with_drive ? directory + 2 : directory;
    if (!fits(rest)) return false;
    lstrcpynA(parts->drive, with_drive ? directory : "", with_drive ? 3 : 1);
    lstrcpyA(parts->directory, rest);
    return true;
}

// The length of the path _makepath composes of the parts, with the backslash it puts
// after a directory and the dot before an extension.
int composed_length(const PathParts& parts) {
    const int directory = lstrlenA(parts.directory);
    const int extension = lstrlenA(parts.extension);
    const char last = directory ? parts.directory[directory - 1] : '\\';
    return (parts.drive[0] ? 2 : 0) + directory + (last == '\\' || last == '/' ? 0 : 1) + lstrlenA(parts.name) +
           (extension && parts.extension[0] != '.' ? 1 : 0) + extension;
}

}  // namespace

void make_default_file_name(LPSTR path, LPCSTR directory, LPCSTR name, LPCSTR extension) {
    PathParts parts;
    split_path(path, &parts);
    // A part cut to fit would name another file: the name then stays as it was.
    if (given(directory) && !take_directory(directory, &parts)) return;
    if (given(name)) {
        if (!fits(name)) return;
        lstrcpyA(parts.name, name);
    }
    if (given(extension)) {
        if (!fits(extension)) return;
        lstrcpyA(parts.extension, extension);
    }
    if (composed_length(parts) >= MAX_PATH) return;
    char composed[MAX_PATH];
    _makepath(composed, parts.drive, parts.directory, parts.name, parts.extension);
    // Opening the file, and making it when it is missing, is what gives it a short form.
    HANDLE file = CreateFileA(composed, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return;
    const bool existed = GetLastError() == ERROR_ALREADY_EXISTS;
    char short_form[MAX_PATH];
    if (short_path_of(composed, short_form)) lstrcpyA(path, short_form);
    CloseHandle(file);
    // The output directory is left as it was found.
    if (!existed) DeleteFileA(composed);
}
