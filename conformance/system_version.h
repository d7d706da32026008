// The version of the system the scenarios run on, as GetVersionExA answers it, for the
// scenarios whose calls or whose files differ between the two families.
#pragma once

#ifdef _WIN32
#include <windows.h>
#else
#include <winsim/windows.h>
#endif

namespace conformance {

OSVERSIONINFOA system_version();

inline bool system_is_nt() { return system_version().dwPlatformId == VER_PLATFORM_WIN32_NT; }

}  // namespace conformance
