// Where things are on a machine (the Windows, system and temporary directories), the
// process's current directory, full and short names of paths, making and removing
// directories, temporary files, and OpenFile's search.
#include "core/api.h"
#include "kernel/file_rules.h"
#include "kernel/short_names.h"

#include <cstdio>
#include <cstring>

namespace winsim::detail {

Directories platform_directories(Platform platform, bool administrator) {
    const PlatformInfo& info = platform_info(platform);
    Directories out;
    out.windows = std::string(info.windows_directory);
    out.system = std::string(info.system_directory);
    if (info.family != Family::nt) {
        // 95/98 keep printer drivers in the system directory itself, without versions
        // (unconfirmed), and their temporary directory under Windows (unconfirmed).
        out.temp = out.windows + "\\TEMP";
        out.driver = out.system;
    } else {
        out.driver = out.system + "\\spool\\drivers\\w32x86";
        switch (platform) {
        case Platform::nt31: out.driver_version = "0"; break;
        case Platform::nt35:
        case Platform::nt351: out.driver_version = "1"; break;
        case Platform::nt4: out.driver_version = "2"; break;
        default: out.driver_version = "3"; break;
        }
        const std::string user = administrator ? "Administrator" : "User";
        // NT 3.x and 4.0 set TEMP to C:\TEMP (unconfirmed); 2000 and XP to the profile's
        // Local Settings\Temp, Windows 7 to AppData\Local\Temp.
        if (info.major < 5) out.temp = "C:\\TEMP";
        else if (info.major == 5) out.temp = "C:\\Documents and Settings\\" + user + "\\Local Settings\\Temp";
        else out.temp = "C:\\Users\\" + user + "\\AppData\\Local\\Temp";
    }
    return out;
}

void lay_out_directories(MachineState& machine) {
    const Directories directories = platform_directories(machine.platform, machine.options.administrator);
    FileSystem& files = machine.files;
    files.make_directories(directories.windows);
    files.make_directories(directories.system);
    if (platform_info(machine.platform).family == Family::nt) {
        // The 16-bit system directory, which module and OpenFile searches pass through.
        files.make_directories(directories.windows + "\\system");
        files.make_directories(directories.driver + "\\" + directories.driver_version);
        files.make_directories(directories.system + "\\spool\\prtprocs\\w32x86");
    }
    files.make_directories(directories.temp);
    files.make_directories("C:\\Program Files");
}

}  // namespace winsim::detail

namespace {

using winsim::detail::Resolved;
using winsim::detail::fail;
using winsim::detail::state;

// The two-call answer of the calls that fill a buffer: the length without the
// terminator when it fits, else the size the buffer needs, terminator included, and
// nothing written.
DWORD answer(const std::string& text, LPSTR buffer, DWORD size) {
    if (!buffer || size < text.size() + 1) return static_cast<DWORD>(text.size() + 1);
    std::memcpy(buffer, text.c_str(), text.size() + 1);
    return static_cast<DWORD>(text.size());
}

winsim::detail::Directories directories() {
    return winsim::detail::platform_directories(state().platform, state().options.administrator);
}

std::string with_backslash(std::string path) {
    if (path.empty() || path.back() != '\\') path += '\\';
    return path;
}

bool ends_in_separator(LPCSTR path) {
    std::size_t length = std::strlen(path);
    return length > 0 && (path[length - 1] == '\\' || path[length - 1] == '/');
}

}  // namespace

UINT WINAPI GetWindowsDirectoryA(LPSTR lpBuffer, UINT uSize) {
    WINSIM_API("GetWindowsDirectoryA", 0u);
    return answer(directories().windows, lpBuffer, uSize);
}

UINT WINAPI GetSystemDirectoryA(LPSTR lpBuffer, UINT uSize) {
    WINSIM_API("GetSystemDirectoryA", 0u);
    return answer(directories().system, lpBuffer, uSize);
}

// The directory TMP or TEMP names, always with a backslash at the end. 2000's TEMP is
// set from the profile path in its short form (unconfirmed for 2000; XP does so), so
// its answer is C:\DOCUME~1\...\LOCALS~1\Temp\.
DWORD WINAPI GetTempPathA(DWORD nBufferLength, LPSTR lpBuffer) {
    WINSIM_API("GetTempPathA", 0u);
    std::string temp = directories().temp;
    const winsim::PlatformInfo& info = winsim::platform_info(state().platform);
    if (info.family == winsim::Family::nt && info.major == 5) {
        DWORD error = 0;
        if (auto parsed = state().files.full_path(temp, error)) temp = state().files.short_path(*parsed);
    }
    return answer(with_backslash(temp), lpBuffer, nBufferLength);
}

UINT WINAPI GetTempFileNameA(LPCSTR lpPathName, LPCSTR lpPrefixString, UINT uUnique, LPSTR lpTempFileName) {
    WINSIM_API("GetTempFileNameA", 0u);
    if (!lpPathName || !lpTempFileName) return fail(ERROR_INVALID_PARAMETER, 0u);
    DWORD error = 0;
    std::optional<Resolved> directory = winsim::detail::resolve(lpPathName, error);
    // A directory that is not there is refused as no directory, with or without a
    // number given (Wine's kernel32 path tests, test_InitPathA: ERROR_DIRECTORY).
    if (!directory || !directory->node || !directory->node->directory) return fail(ERROR_DIRECTORY, 0u);
    std::string prefix = lpPrefixString ? std::string(lpPrefixString).substr(0, 3) : std::string{};
    std::string base = with_backslash(directory->path.text());
    auto name_of = [&](unsigned number) {
        char hex[5];
        std::snprintf(hex, sizeof hex, "%04X", number & 0xFFFF);
        return prefix + hex + ".TMP";
    };
    if (uUnique) {
        // Only the name is made: the caller asked for that number and creates the file.
        std::string name = base + name_of(uUnique);
        if (name.size() >= MAX_PATH) return fail(ERROR_FILENAME_EXCED_RANGE, 0u);
        std::memcpy(lpTempFileName, name.c_str(), name.size() + 1);
        return uUnique & 0xFFFF;
    }
    winsim::FileSystem& files = state().files;
    if (files.is_read_only(directory->path.drive)) return fail(ERROR_ACCESS_DENIED, 0u);
    // The first number comes from the clock, as Windows takes it from the system time;
    // the next free one after it is taken.
    unsigned start = static_cast<unsigned>(state().clock.uptime_ms() & 0xFFFF);
    for (unsigned step = 0; step < 0xFFFF; ++step) {
        unsigned number = (start + step) % 0xFFFF + 1;
        std::string name = name_of(number);
        if (directory->node->child(name)) continue;
        std::string full = base + name;
        if (full.size() >= MAX_PATH) return fail(ERROR_FILENAME_EXCED_RANGE, 0u);
        files.add_child(*directory->node, name, false);
        std::memcpy(lpTempFileName, full.c_str(), full.size() + 1);
        return number;
    }
    return fail(ERROR_FILE_EXISTS, 0u);
}

DWORD WINAPI GetFullPathNameA(LPCSTR lpFileName, DWORD nBufferLength, LPSTR lpBuffer, LPSTR* lpFilePart) {
    WINSIM_API("GetFullPathNameA", 0u);
    if (!lpFileName || !*lpFileName) return fail(ERROR_INVALID_NAME, 0u);
    DWORD error = 0;
    // Windows puts the path together without judging its names: "a*b" or "a|b" come
    // back whole (Wine's kernel32 path tests, test_FunnyChars; unconfirmed for "|<>\""
    // on 95/98), and the call that opens the file refuses them.
    std::optional<winsim::WindowsPath> parsed =
        state().files.full_path(lpFileName, error, winsim::FileSystem::NameCheck::none);
    if (!parsed) return fail(error, 0u);
    std::string full = parsed->text();
    // A trailing separator stays, and then there is no file part.
    const bool directory_form = ends_in_separator(lpFileName) && !parsed->components.empty();
    if (directory_form) full += '\\';
    DWORD length = answer(full, lpBuffer, nBufferLength);
    if (lpFilePart && length == full.size()) {
        *lpFilePart = directory_form || parsed->components.empty() ? nullptr : lpBuffer + full.rfind('\\') + 1;
    }
    return length;
}

DWORD WINAPI GetCurrentDirectoryA(DWORD nBufferLength, LPSTR lpBuffer) {
    WINSIM_API("GetCurrentDirectoryA", 0u);
    return answer(state().files.current_directory(), lpBuffer, nBufferLength);
}

BOOL WINAPI SetCurrentDirectoryA(LPCSTR lpPathName) {
    WINSIM_API("SetCurrentDirectoryA", FALSE);
    DWORD error = 0;
    std::optional<Resolved> directory = winsim::detail::resolve_existing(lpPathName, error);
    if (!directory) return fail(error, FALSE);
    if (!directory->node->directory) return fail(ERROR_DIRECTORY, FALSE);
    state().files.set_current_path(directory->path);
    return TRUE;
}

BOOL WINAPI CreateDirectoryA(LPCSTR lpPathName, LPSECURITY_ATTRIBUTES lpSecurityAttributes) {
    WINSIM_API("CreateDirectoryA", FALSE);
    DWORD error = 0;
    std::optional<Resolved> directory = winsim::detail::resolve(lpPathName, error);
    if (!directory) return fail(error, FALSE);
    if (directory->node) return fail(ERROR_ALREADY_EXISTS, FALSE);
    if (state().files.is_read_only(directory->path.drive)) return fail(ERROR_ACCESS_DENIED, FALSE);
    state().files.add_child(*directory->directory, directory->path.components.back(), true);
    return TRUE;
}

BOOL WINAPI RemoveDirectoryA(LPCSTR lpPathName) {
    WINSIM_API("RemoveDirectoryA", FALSE);
    DWORD error = 0;
    std::optional<Resolved> directory = winsim::detail::resolve_existing(lpPathName, error);
    if (!directory) return fail(error, FALSE);
    if (!directory->node->directory) return fail(ERROR_DIRECTORY, FALSE);
    if (!directory->node->parent || state().files.on_read_only_drive(*directory->node)) return fail(ERROR_ACCESS_DENIED, FALSE);
    if (!directory->node->children.empty()) return fail(ERROR_DIR_NOT_EMPTY, FALSE);
    // The process's current directory is in use (unconfirmed on 95/98, which answer 5
    // or 16 in DOS; NT's sharing violation is taken for both).
    DWORD ignored = 0;
    if (state().files.find(state().files.current_path(), ignored) == directory->node)
        return fail(ERROR_SHARING_VIOLATION, FALSE);
    state().files.unlink(directory->node);
    return TRUE;
}

// Each component by its alias. The answer is always the full path, whatever form the
// caller gave (Windows keeps a relative path relative; nothing here has needed it).
DWORD WINAPI GetShortPathNameA(LPCSTR lpszLongPath, LPSTR lpszShortPath, DWORD cchBuffer) {
    WINSIM_API("GetShortPathNameA", 0u);
    DWORD error = 0;
    std::optional<Resolved> file = winsim::detail::resolve_existing(lpszLongPath, error);
    if (!file) return fail(error, 0u);
    return answer(state().files.short_path(file->path), lpszShortPath, cchBuffer);
}

// Windows 95 and NT 4.0 have no GetLongPathNameA (kernel32 gained it with 98 and
// 2000); a caller that looked it up would find nothing, which 120 stands for here.
DWORD WINAPI GetLongPathNameA(LPCSTR lpszShortPath, LPSTR lpszLongPath, DWORD cchBuffer) {
    WINSIM_API("GetLongPathNameA", 0u);
    const winsim::PlatformInfo& info = winsim::platform_info(state().platform);
    bool present = info.family == winsim::Family::nt ? info.major >= 5 : (info.major > 4 || info.minor >= 10);
    if (!present) return fail(ERROR_CALL_NOT_IMPLEMENTED, 0u);
    DWORD error = 0;
    std::optional<Resolved> file = winsim::detail::resolve_existing(lpszShortPath, error);
    if (!file) return fail(error, 0u);
    return answer(state().files.long_path(file->path), lpszLongPath, cchBuffer);
}

// OpenFile's search for a bare name: the current directory, the system directory, on
// NT the 16-bit system directory, the Windows directory, then the directories of
// PATH. Windows looks in the program's own directory first; winsim's process has no
// program file, so the current directory stands for it, and it has no environment,
// so PATH adds nothing. Only OF_EXIST is simulated: the file is found, opened and
// closed again.
HFILE WINAPI OpenFile(LPCSTR lpFileName, LPOFSTRUCT lpReOpenBuff, UINT uStyle) {
    WINSIM_API("OpenFile", HFILE_ERROR);
    constexpr UINT share_modes = 0x0070;  // OF_SHARE_*, which change nothing for OF_EXIST
    if (!(uStyle & OF_EXIST) || (uStyle & ~(OF_EXIST | share_modes)))
        return winsim::detail::not_simulated("OpenFile other than OF_EXIST", HFILE_ERROR);
    if (!lpFileName || !lpReOpenBuff) return fail(ERROR_INVALID_PARAMETER, HFILE_ERROR);
    std::memset(lpReOpenBuff, 0, sizeof *lpReOpenBuff);
    lpReOpenBuff->cBytes = sizeof *lpReOpenBuff;
    std::vector<std::string> candidates;
    if (winsim::detail::names_a_path(lpFileName)) {
        candidates.push_back(lpFileName);
    } else {
        const winsim::detail::Directories where = directories();
        candidates.push_back(with_backslash(state().files.current_directory()) + lpFileName);
        candidates.push_back(with_backslash(where.system) + lpFileName);
        if (winsim::detail::is_nt())
            candidates.push_back(with_backslash(where.windows) + "SYSTEM\\" + lpFileName);
        candidates.push_back(with_backslash(where.windows) + lpFileName);
    }
    DWORD error = ERROR_FILE_NOT_FOUND;
    for (const std::string& candidate : candidates) {
        DWORD found_error = 0;
        std::optional<Resolved> file = winsim::detail::resolve(candidate.c_str(), found_error);
        if (!file || !file->node) {
            if (candidates.size() == 1) error = file ? ERROR_FILE_NOT_FOUND : found_error;
            continue;
        }
        if (file->node->directory) {
            error = ERROR_ACCESS_DENIED;
            break;
        }
        std::string full = file->path.text();
        std::snprintf(lpReOpenBuff->szPathName, sizeof lpReOpenBuff->szPathName, "%s", full.c_str());
        lpReOpenBuff->fFixedDisk = state().files.is_read_only(file->path.drive) ? 0 : 1;
        // The handle it was opened with, already closed again.
        return static_cast<HFILE>(state().next_handle);
    }
    lpReOpenBuff->nErrCode = static_cast<WORD>(error);
    return fail(error, HFILE_ERROR);
}
