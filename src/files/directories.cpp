#include "directories.h"

LONG create_directory_path(LPSTR path) {
    int length = lstrlenA(path);
    bool trailing = length > 0 && path[length - 1] == '\\';
    if (trailing) path[length - 1] = '\0';
    LONG result = ERROR_SUCCESS;
    if (!SetCurrentDirectoryA(path)) {
        result = static_cast<LONG>(GetLastError());
        if (result == ERROR_PATH_NOT_FOUND || result == ERROR_FILE_NOT_FOUND) {
            LPSTR last = nullptr;
            for (LPSTR p = path; *p; ++p)
                if (*p == '\\') last = p;
            if (last) {
                *last = '\0';
                result = create_directory_path(path);
                *last = '\\';
                if (result == ERROR_SUCCESS && !CreateDirectoryA(path, nullptr)) result = static_cast<LONG>(GetLastError());
            }
        }
    }
    if (trailing) path[length - 1] = '\\';
    return result;
}
