// The spooler's answer of where printer drivers go. It stays apart from the other
// directory calls because it is the spooler's: a stopped spooler makes it fail with
// 1722 like every other spooler call.
#include "kernel/file_rules.h"
#include "spooler/spooler_internal.h"

#include <cstring>

namespace {

using winsim::detail::fail;
using winsim::detail::same_name;

using winsim::detail::state;


// The driver directory of an environment, or empty for one the platform does not
// serve. NT serves the 95/98 environment too, from its own directory, so that a
// server can hold drivers for 95/98 clients; 95/98 know only their own.
std::string driver_directory(std::string_view environment) {
    const winsim::detail::Directories where =
        winsim::detail::platform_directories(state().platform, state().options.administrator);
    if (!winsim::detail::is_nt()) return same_name(environment, "Windows 4.0") ? where.driver : std::string{};
    const std::string drivers = where.system + "\\spool\\drivers\\";
    if (same_name(environment, "Windows NT x86")) return where.driver;
    if (same_name(environment, "Windows 4.0")) return drivers + "win40";
    return {};
}

}  // namespace

BOOL WINAPI GetPrinterDriverDirectoryA(LPSTR pName, LPSTR pEnvironment, DWORD Level, LPBYTE pDriverDirectory, DWORD cbBuf,
                                       LPDWORD pcbNeeded) {
    WINSIM_API("GetPrinterDriverDirectoryA", FALSE);
    if (!winsim::detail::spooler_answers()) return FALSE;
    if (pName && *pName) return winsim::detail::not_simulated("GetPrinterDriverDirectoryA of another server", FALSE);
    // 95/98 do not look at the level.
    if (winsim::detail::is_nt() && Level != 1) return fail(ERROR_INVALID_LEVEL, FALSE);
    std::string_view environment =
        pEnvironment ? std::string_view(pEnvironment) : (winsim::detail::is_nt() ? "Windows NT x86" : "Windows 4.0");
    std::string directory = driver_directory(environment);
    if (directory.empty()) return fail(ERROR_INVALID_ENVIRONMENT, FALSE);
    DWORD needed = static_cast<DWORD>(directory.size() + 1);
    if (pcbNeeded) *pcbNeeded = needed;
    if (!pDriverDirectory || cbBuf < needed) return fail(ERROR_INSUFFICIENT_BUFFER, FALSE);
    std::memcpy(pDriverDirectory, directory.c_str(), needed);
    return TRUE;
}
