#include "orvinstl.h"
#include "pending_replacements.h"

#include "frame/catalogue.h"
#include "frame/error_state.h"
#include "frame/platform_flags.h"

namespace {

// A replacement still waiting for the next start would bring the file back after its
// deletion; it is taken back first: 0, or why it could not be.
LONG take_back_pending_replacements(LPCSTR path) {
    char full[MAX_PATH];
    DWORD length = GetFullPathNameA(path, MAX_PATH, full, nullptr);
    if (!length) return static_cast<LONG>(GetLastError());
    return length < MAX_PATH ? remove_pending_replacements(full) : ERROR_FILENAME_EXCED_RANGE;
}

}  // namespace

// Deletes a file now, or at the next start of Windows when it is in use or protected:
// 0 deleted (or never there), -13 deferred, else the Windows code of the failure (also
// when the deletion could not be scheduled). Sets no restart flag: the caller decides
// what a deferral means.
LONG WINAPI insFileDelete(LPCSTR path) {
    if (!path) return ERROR_INVALID_PARAMETER;
    // An empty path names no file, so there is nothing to delete.
    if (!*path) return INS_OK;
    if (LONG code = take_back_pending_replacements(path)) return record_error(static_cast<DWORD>(code), IDS_PREPARING_FILE_FOR_MOVE_AT_REBOOT, path, 0, 0);
    // Opening it alone for reading and writing is the test whether anyone uses it.
    HANDLE file = CreateFileA(path, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file != INVALID_HANDLE_VALUE) {
        CloseHandle(file);
        if (DeleteFileA(path)) return INS_OK;
        return record_last_error(IDS_INSFILEDELETE_DELETING_FILE, path, 0, 0);
    }
    DWORD code = GetLastError();
    if (code == ERROR_FILE_NOT_FOUND || code == ERROR_PATH_NOT_FOUND) return INS_OK;
    if (code != ERROR_ACCESS_DENIED && code != ERROR_SHARING_VIOLATION)
        return record_last_error(IDS_INSFILEDELETE_DELETING_FILE, path, 0, 0);
    bool scheduled = os_is_9x ? add_wininit_rename(path, "NUL") != 0 : MoveFileExA(path, nullptr, MOVEFILE_DELAY_UNTIL_REBOOT) != FALSE;
    if (!scheduled) return record_last_error(IDS_PREPARING_FILE_FOR_MOVE_AT_REBOOT, path, 0, 0);
    return INS_DEFERRED_TO_RESTART;
}
