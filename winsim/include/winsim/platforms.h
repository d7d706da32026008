// The Windows platforms winsim can be, and the one table that maps the names used
// everywhere (command lines, test names, the Windows lane) to each of them.
#pragma once

#include <winsim/windows.h>

#include <optional>
#include <span>
#include <string_view>

namespace winsim {

enum class Platform { win95, win98, win98se, winme, nt31, nt35, nt351, nt4, win2000, winxp, win7, win32s };

enum class Family { win32s, win9x, nt };

struct PlatformInfo {
    Platform platform;
    std::string_view name;   // our name: "win95", "nt4", ...
    std::string_view title;  // "Windows NT 4.0"
    Family family;
    // What GetVersionExA answers.
    DWORD major;
    DWORD minor;
    DWORD build_number;
    DWORD platform_id;
    std::string_view csd_version;
    // Whether GetVersionExA also takes an OSVERSIONINFOEXA (156 bytes).
    bool accepts_version_info_ex;
    // Where Windows lives on drive C:.
    std::string_view windows_directory;
    std::string_view system_directory;
    // The name Wine gives this version in AppDefaults\<program>\Version; empty when
    // Wine has no such version.
    std::string_view wine_version;
};

std::span<const PlatformInfo> all_platforms();
const PlatformInfo& platform_info(Platform platform);
std::optional<Platform> find_platform(std::string_view name);

}  // namespace winsim
