#include "orvinstl.h"
#include "pending_replacements.h"

#include "frame/catalogue.h"
#include "frame/error_state.h"
#include "frame/platform_flags.h"

// Deletes a file now, or at the next start of Windows when it is in use or protected:
// 0 deleted (or never there), -13 deferred, else the Windows code of the failure.
// Sets no restart flag: the caller decides what a deferral means.
LONG WINAPI insFileDelete(LPCSTR path) {
    if (!path) return ERROR_INVALID_PARAMETER;
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
    if (os_is_9x) add_wininit_rename(path, "NUL");
    else MoveFileExA(path, nullptr, MOVEFILE_DELAY_UNTIL_REBOOT);
    return INS_DEFERRED_TO_RESTART;
}
