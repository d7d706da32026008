#include "windows_as_found.h"

#include <windows.h>

#include <string>
#include <vector>

namespace orvsetup {

namespace {

// Each folder of the path in turn, as its parents may be missing.
void make_folder(const std::string& path) {
    for (std::size_t end = path.find('\\', 3); end != std::string::npos; end = path.find('\\', end + 1))
        CreateDirectoryA(path.substr(0, end).c_str(), nullptr);
    CreateDirectoryA(path.c_str(), nullptr);
}

void start_spooler() {
    SC_HANDLE manager = OpenSCManagerA(nullptr, nullptr, SC_MANAGER_CONNECT);
    if (!manager) return;  // 95/98 have no service manager, and no spooler service
    if (SC_HANDLE spooler = OpenServiceA(manager, "Spooler", SERVICE_START)) {
        StartServiceA(spooler, 0, nullptr);
        CloseServiceHandle(spooler);
    }
    CloseServiceHandle(manager);
}

std::string print_processor_directory() {
    char directory[MAX_PATH] = "";
    DWORD needed = 0;
    if (!GetPrintProcessorDirectoryA(nullptr, nullptr, 1, reinterpret_cast<LPBYTE>(directory), sizeof directory, &needed))
        return {};
    return directory;
}

// The folders a 95/98 or NT 4.0 machine has under its Windows directory that a new Wine
// prefix lacks: 95/98's own system directory (Wine posing as them keeps its system
// directory in system32) and the Startup folder, which 95/98 keep in the Windows
// directory and NT 4.0 in its All Users profile there. 2000 keeps the Startup folder
// elsewhere, NT 3.51 in Program Manager.
std::vector<std::string> windows_folders() {
    OSVERSIONINFOA version{};
    version.dwOSVersionInfoSize = sizeof version;
    char windows_directory[MAX_PATH] = "";
    if (!GetVersionExA(&version) || !GetWindowsDirectoryA(windows_directory, sizeof windows_directory)) return {};
    const std::string windows = windows_directory;
    if (version.dwPlatformId == VER_PLATFORM_WIN32_WINDOWS)
        return {windows + "\\SYSTEM", windows + "\\Start Menu\\Programs\\Startup"};
    if (version.dwPlatformId == VER_PLATFORM_WIN32_NT && version.dwMajorVersion == 4)
        return {windows + "\\Profiles\\All Users\\Start Menu\\Programs\\Startup"};
    return {};
}

}  // namespace

void lay_out_windows_as_found() {
    start_spooler();
    std::vector<std::string> folders = windows_folders();
    folders.push_back(print_processor_directory());
    for (const std::string& folder : folders)
        if (!folder.empty()) make_folder(folder);
}

}  // namespace orvsetup
