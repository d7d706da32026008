#include "catalogue.h"
#include "error_state.h"
#include "orvinstl.h"
#include "platform_flags.h"

namespace {

// NT 4.0 asks SETUPAPI.DLL whether the user is an administrator; a system without the
// library or its function is taken to allow the installation.
bool user_may_install_on_nt4() {
    HMODULE setupapi = LoadLibraryA("SETUPAPI.DLL");
    if (!setupapi) return true;
    typedef BOOL(WINAPI * IsUserAdminFunction)(void);
    auto is_user_admin = reinterpret_cast<IsUserAdminFunction>(
        reinterpret_cast<void (*)()>(GetProcAddress(setupapi, "IsUserAdmin")));
    bool allowed = !is_user_admin || is_user_admin();
    FreeLibrary(setupapi);
    return allowed;
}

LONG refuse(UINT warning, LONG result) {
    record_warning(warning);
    error_flag = 1;
    return result;
}

}  // namespace

// Whether an installation may proceed here: 0 yes; -3 on a platform the product does not
// support; -4 on NT 4.0 for a user who is not an administrator; -1 while error_flag is
// set. A refusal sets error_flag, so it also blocks the guarded operations until cleared.
LONG WINAPI InstallAllowed(void) {
    if (error_flag) return INS_ERROR_FLAG_SET;
    if (!os_is_nt351 && !os_is_nt4 && !os_is_nt5 && !os_is_win95 && !os_is_win98)
        return refuse(IDS_UNSUPPORTED_OS, INS_PLATFORM_UNSUPPORTED);
    if (os_is_9x || !os_is_nt4) return INS_OK;
    return user_may_install_on_nt4() ? INS_OK : refuse(IDS_NOT_ADMINISTRATOR, INS_NOT_ADMINISTRATOR);
}
