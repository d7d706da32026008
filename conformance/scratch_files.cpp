#include "scratch_files.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <winsim/machine.h>
#endif

namespace conformance {

#ifdef _WIN32

bool make_scratch_directory(const char* path) {
    return CreateDirectoryA(path, nullptr) || GetLastError() == ERROR_ALREADY_EXISTS;
}

bool write_scratch_file(const char* path, std::string_view bytes) {
    HANDLE file = CreateFileA(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    DWORD written = 0;
    BOOL ok = bytes.empty() || WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
    CloseHandle(file);
    return ok && written == bytes.size();
}

bool remove_scratch_file(const char* path) {
    return DeleteFileA(path) || GetLastError() == ERROR_FILE_NOT_FOUND;
}

#else

bool make_scratch_directory(const char* path) {
    winsim::current_machine().files().make_directories(path);
    return true;
}

bool write_scratch_file(const char* path, std::string_view bytes) {
    winsim::current_machine().files().write_file(path, bytes);
    return true;
}

bool remove_scratch_file(const char* path) {
    winsim::current_machine().files().remove(path);
    return !winsim::current_machine().files().exists(path);
}

#endif

}  // namespace conformance
