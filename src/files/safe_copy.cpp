#include "orvinstl.h"
#include "paths.h"
#include "pending_replacements.h"
#include "versions.h"

#include "frame/catalogue.h"
#include "frame/error_state.h"
#include "frame/platform_flags.h"
#include "frame/shared_read.h"

namespace {

void clear_read_only(LPCSTR path) {
    DWORD attributes = GetFileAttributesA(path);
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY))
        SetFileAttributesA(path, attributes & ~static_cast<DWORD>(FILE_ATTRIBUTE_READONLY));
}

// Joins the parts into a full path of at most MAX_PATH characters: 0, 206 when it would
// not fit, or why Windows refused it.
DWORD full_path(const PathParts& parts, LPSTR path) {
    int length = lstrlenA(parts.drive) + lstrlenA(parts.directory) + lstrlenA(parts.name) + lstrlenA(parts.extension);
    if (length >= MAX_PATH) return ERROR_FILENAME_EXCED_RANGE;
    char joined[MAX_PATH];
    _makepath(joined, parts.drive, parts.directory, parts.name, parts.extension);
    LPSTR file_part = nullptr;
    DWORD full = GetFullPathNameA(joined, MAX_PATH, path, &file_part);
    if (!full) return GetLastError();
    return full < MAX_PATH ? ERROR_SUCCESS : ERROR_FILENAME_EXCED_RANGE;
}

// Schedules the replacement of `destination` by `temporary` at the next start: 0, or
// the recorded code of the step that failed, with nothing left scheduled.
LONG schedule_replacement(LPCSTR temporary, LPSTR destination) {
    LONG code = ERROR_SUCCESS;
    if (os_is_9x) {
        // Each line goes directly below the header: the deletion ends up above the move.
        if (!add_wininit_rename(temporary, destination))
            return record_last_error(IDS_PREPARING_FILE_FOR_MOVE_AT_REBOOT, temporary, 0, 0);
        if (!add_wininit_rename(destination, "NUL"))
            code = record_last_error(IDS_PREPARING_FILE_FOR_MOVE_AT_REBOOT, destination, 0, 0);
    } else {
        if (!MoveFileExA(destination, nullptr, MOVEFILE_DELAY_UNTIL_REBOOT))
            return record_last_error(IDS_PREPARING_FILE_FOR_MOVE_AT_REBOOT, destination, 0, 0);
        if (!MoveFileExA(temporary, destination, MOVEFILE_DELAY_UNTIL_REBOOT))
            code = record_last_error(IDS_PREPARING_FILE_FOR_MOVE_AT_REBOOT, temporary, 0, 0);
    }
    // Half a replacement is taken back: a restart must never delete the installed file
    // without putting the new one in its place.
    if (code) remove_pending_replacements(destination);
    return code;
}

// Leaves the new file in the temporary directory, under a name of its own (8.3, as
// WININIT.INI needs), to replace the destination at the next start: -13, or the
// recorded code of the step that failed. A copy whose replacement could not be
// scheduled is of no use to anyone and goes again.
LONG defer_replacement(LPCSTR source, LPSTR destination) {
    char temporary_directory[MAX_PATH], temporary[MAX_PATH];
    // WININIT.INI names the destination by its short form, which can be longer than the
    // long one ("a b" becomes "AB~1"); one that does not fit is refused before any copy.
    if (os_is_9x && !short_path_of(destination, temporary))
        return record_last_error(IDS_PREPARING_FILE_FOR_MOVE_AT_REBOOT, destination, 0, 0);
    DWORD length = GetTempPathA(MAX_PATH, temporary_directory);
    if (!length || length >= MAX_PATH) {
        if (length) SetLastError(ERROR_FILENAME_EXCED_RANGE);
        return record_last_error(IDS_COPYING_FILE_2, source, 0, 0);
    }
    if (!GetTempFileNameA(temporary_directory, "orv", 0, temporary)) return record_last_error(IDS_COPYING_FILE_2, source, 0, 0);
    if (!CopyFileA(source, temporary, FALSE)) {
        LONG code = record_last_error(IDS_COPYING_FILE_2, source, 0, 0);
        DeleteFileA(temporary);
        return code;
    }
    clear_read_only(temporary);
    LONG code = schedule_replacement(temporary, destination);
    if (code) {
        DeleteFileA(temporary);
        return code;
    }
    return INS_DEFERRED_TO_RESTART;
}

}  // namespace

// Copies a file without ever replacing a newer one: 0 copied; -12 the installed file has
// a higher version or a later time; -13 it is in use, the new file waits in the
// temporary directory and replaces it at the next start; 2 the source cannot be read
// for the comparison; else the Windows code of the failing step. A destination ending
// in "\" takes the source's name, one without extension the source's extension.
LONG WINAPI insSafeFileCopy(LPCSTR source, LPCSTR destination, LONG copyAlways) {
    if (!source || !destination) return ERROR_INVALID_PARAMETER;
    if (lstrlenA(source) >= MAX_PATH) return record_error(ERROR_FILENAME_EXCED_RANGE, IDS_COPYING_FILE_1, source, 0, 0);
    if (lstrlenA(destination) >= MAX_PATH)
        return record_error(ERROR_FILENAME_EXCED_RANGE, IDS_COPYING_FILE_1, destination, 0, 0);
    PathParts from{}, to{};
    split_path(source, &from);
    split_path(destination, &to);
    if (!to.name[0]) lstrcpyA(to.name, from.name);
    if (!to.extension[0]) lstrcpyA(to.extension, from.extension);
    char source_path[MAX_PATH], destination_path[MAX_PATH];
    if (DWORD refused = full_path(from, source_path)) return record_error(refused, IDS_COPYING_FILE_1, source, 0, 0);
    if (DWORD refused = full_path(to, destination_path)) return record_error(refused, IDS_COPYING_FILE_1, destination, 0, 0);

    HANDLE installed = open_for_shared_reading(destination_path);
    bool exists = installed != INVALID_HANDLE_VALUE;
    if (exists && !copyAlways) {
        HANDLE incoming = open_for_shared_reading(source_path);
        if (incoming == INVALID_HANDLE_VALUE) {
            CloseHandle(installed);
            SetLastError(ERROR_FILE_NOT_FOUND);
            return record_last_error(IDS_CHECKING_FILES_PRIOR_TO_COPY_OPERATION, source_path, 0, 0);
        }
        LONG by_time = compare_file_times(installed, incoming);
        CloseHandle(installed);
        CloseHandle(incoming);
        LONG by_version = compare_file_versions(destination_path, source_path);
        // Either sign of the installed file being newer keeps it: a lower version with a
        // later time stays too.
        if (by_version > 0 || by_time > 0) return INS_INSTALLED_NOT_OLDER;
    } else if (exists) {
        CloseHandle(installed);
    }
    if (exists) clear_read_only(destination_path);
    // What an earlier run left waiting would undo this copy at the next start.
    if (LONG stale = remove_pending_replacements(destination_path))
        return record_error(static_cast<DWORD>(stale), IDS_PREPARING_FILE_FOR_MOVE_AT_REBOOT, destination_path, 0, 0);
    if (CopyFileA(source_path, destination_path, FALSE)) {
        clear_read_only(destination_path);
        SetLastError(ERROR_SUCCESS);
        return INS_OK;
    }
    LONG code = record_last_error(IDS_COPYING_FILE_1, source_path, ERROR_ACCESS_DENIED, ERROR_SHARING_VIOLATION);
    if (code != ERROR_ACCESS_DENIED && code != ERROR_SHARING_VIOLATION) return code;
    return defer_replacement(source_path, destination_path);
}
