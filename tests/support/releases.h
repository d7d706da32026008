// The calls that give back a block, handle or conversation. A sweep that fails one of
// them finds it left behind: that is the fault it injected, not a leak.
#pragma once

#include <set>
#include <string>

namespace testing_support {

inline bool is_release(const std::string& api) {
    static const std::set<std::string> releases{
        "ClosePrinter",       "RegCloseKey",     "HeapFree",        "LocalFree",     "CloseHandle",
        "FreeLibrary",        "CloseServiceHandle", "DeleteDC",     "DeleteObject",  "ReleaseDC",
        "DdeUninitialize",    "DdeDisconnect",   "DdeFreeStringHandle"};
    return releases.count(api) > 0;
}

}  // namespace testing_support
