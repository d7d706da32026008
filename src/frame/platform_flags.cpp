#include "platform_flags.h"

LONG os_is_nt = 0;
LONG os_is_9x = 0;
LONG os_is_win95 = 0;
LONG os_is_win98 = 0;
LONG os_is_nt351 = 0;
LONG os_is_nt4 = 0;
LONG os_is_nt5 = 0;
LONG os_is_terminal_server = 0;
LONG runs_as_x64 = 0;
HINSTANCE module_handle = nullptr;

namespace {

// A terminal-server extension shows itself by one kernel export; only its presence
// counts, so the kernel is mapped without running anything.
LONG kernel_has_terminal_server_export() {
    HMODULE kernel = LoadLibraryExA("kernel32.dll", nullptr, DONT_RESOLVE_DLL_REFERENCES);
    if (!kernel) return 0;
    LONG present = GetProcAddress(kernel, "CitrixGetAppModuleName") != nullptr;
    FreeLibrary(kernel);
    return present;
}

}  // namespace

void reset_platform_flags() {
    os_is_nt = os_is_9x = os_is_win95 = os_is_win98 = 0;
    os_is_nt351 = os_is_nt4 = os_is_nt5 = os_is_terminal_server = runs_as_x64 = 0;
}

bool detect_platform() {
    OSVERSIONINFOA version{};
    version.dwOSVersionInfoSize = sizeof version;
    if (!GetVersionExA(&version)) return false;
    // The library's own processor: a 32-bit build on 64-bit Windows is told x86.
    SYSTEM_INFO system{};
    GetSystemInfo(&system);
    runs_as_x64 = system.wProcessorArchitecture == PROCESSOR_ARCHITECTURE_AMD64;
    if (version.dwPlatformId == VER_PLATFORM_WIN32_NT) {
        os_is_win98 = os_is_win95 = os_is_9x = 0;
        os_is_nt = 1;
        os_is_nt351 = version.dwMajorVersion == 3 && version.dwMinorVersion == 51;
        os_is_nt4 = version.dwMajorVersion == 4;
        os_is_nt5 = version.dwMajorVersion == 5;
        os_is_terminal_server = kernel_has_terminal_server_export();
    } else if (version.dwPlatformId == VER_PLATFORM_WIN32_WINDOWS) {
        os_is_9x = 1;
        os_is_terminal_server = os_is_nt5 = os_is_nt4 = os_is_nt351 = os_is_nt = 0;
        os_is_win95 = version.dwMajorVersion == 4 && version.dwMinorVersion == 0;
        os_is_win98 = version.dwMajorVersion == 4 && version.dwMinorVersion == 10;
    }
    return true;
}

LPCSTR print_environment() {
    if (os_is_9x) return "Windows 4.0";
    return runs_as_x64 ? "Windows x64" : "Windows NT x86";
}
