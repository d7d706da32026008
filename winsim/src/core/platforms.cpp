#include <winsim/platforms.h>

#include <algorithm>
#include <array>
#include <cstdlib>

namespace winsim {

namespace {

// GetVersionExA answers per platform, and where Windows lives (NT 3.51's C:\WINNT is
// the usual choice of its setup; C:\WINNT35 is also seen). On the 9x family the high word of the build
// number repeats major.minor. Service packs are the last each system had.
constexpr std::array<PlatformInfo, 12> platforms{{
    {Platform::win95, "win95", "Windows 95", Family::win9x, 4, 0, 0x040003B6, VER_PLATFORM_WIN32_WINDOWS, "", false, "C:\\WINDOWS", "C:\\WINDOWS\\SYSTEM", "win95"},
    {Platform::win98, "win98", "Windows 98", Family::win9x, 4, 10, 0x040A07CE, VER_PLATFORM_WIN32_WINDOWS, " ", false, "C:\\WINDOWS", "C:\\WINDOWS\\SYSTEM", "win98"},
    // Wine's "win98" is the Second Edition; the first edition has no Wine version of its own.
    {Platform::win98se, "win98se", "Windows 98 Second Edition", Family::win9x, 4, 10, 0x040A08AE, VER_PLATFORM_WIN32_WINDOWS, " A ", false, "C:\\WINDOWS", "C:\\WINDOWS\\SYSTEM", "win98"},
    {Platform::winme, "winme", "Windows Me", Family::win9x, 4, 90, 0x045A0BB8, VER_PLATFORM_WIN32_WINDOWS, " ", false, "C:\\WINDOWS", "C:\\WINDOWS\\SYSTEM", "winme"},
    {Platform::nt31, "nt31", "Windows NT 3.1", Family::nt, 3, 10, 511, VER_PLATFORM_WIN32_NT, "", false, "C:\\WINNT", "C:\\WINNT\\system32", ""},
    {Platform::nt35, "nt35", "Windows NT 3.5", Family::nt, 3, 50, 807, VER_PLATFORM_WIN32_NT, "", false, "C:\\WINNT", "C:\\WINNT\\system32", ""},
    {Platform::nt351, "nt351", "Windows NT 3.51", Family::nt, 3, 51, 1057, VER_PLATFORM_WIN32_NT, "Service Pack 5", false, "C:\\WINNT", "C:\\WINNT\\system32", "nt351"},
    {Platform::nt4, "nt4", "Windows NT 4.0", Family::nt, 4, 0, 1381, VER_PLATFORM_WIN32_NT, "Service Pack 6a", true, "C:\\WINNT", "C:\\WINNT\\system32", "nt40"},
    {Platform::win2000, "win2000", "Windows 2000", Family::nt, 5, 0, 2195, VER_PLATFORM_WIN32_NT, "Service Pack 4", true, "C:\\WINNT", "C:\\WINNT\\system32", "win2k"},
    {Platform::winxp, "winxp", "Windows XP", Family::nt, 5, 1, 2600, VER_PLATFORM_WIN32_NT, "Service Pack 3", true, "C:\\WINNT", "C:\\WINNT\\system32", "winxp"},
    {Platform::win7, "win7", "Windows 7", Family::nt, 6, 1, 7601, VER_PLATFORM_WIN32_NT, "Service Pack 1", true, "C:\\WINNT", "C:\\WINNT\\system32", "win7"},
    {Platform::win32s, "win32s", "Win32s on Windows 3.1", Family::win32s, 3, 10, 0, VER_PLATFORM_WIN32s, "", false, "C:\\WINDOWS", "C:\\WINDOWS\\SYSTEM", "win31"},
}};

}  // namespace

std::span<const PlatformInfo> all_platforms() { return platforms; }

const PlatformInfo& platform_info(Platform platform) {
    auto it = std::find_if(platforms.begin(), platforms.end(),
                           [platform](const PlatformInfo& info) { return info.platform == platform; });
    if (it == platforms.end()) std::abort();
    return *it;
}

std::optional<Platform> find_platform(std::string_view name) {
    for (const PlatformInfo& info : platforms)
        if (info.name == name) return info.platform;
    return std::nullopt;
}

}  // namespace winsim
