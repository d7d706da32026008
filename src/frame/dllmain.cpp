#include "catalogue.h"
#include "error_state.h"
#include "orvinstl.h"
#include "platform_flags.h"
#include "printers/cursor_table.h"

// Entry point: on process attach it keeps the module handle, resets the error state
// and works out the platform. It never fails the load: a platform it cannot tell is
// recorded and blocks the operations until the setup program clears the flag.
BOOL WINAPI DllMain(HINSTANCE hModule, DWORD reason, LPVOID reserved) {
    if (reason != DLL_PROCESS_ATTACH) return TRUE;
    module_handle = hModule;
    reset_error_state();
    // A process starts with every flag 0; a process that ends and a new one that loads
    // the library again in the same address space (winsim's machines) must not differ.
    reset_platform_flags();
    reset_cursor_table();
    if (!detect_platform()) {
        record_last_error(IDS_FETCHING_OS_VERSION, nullptr, 0, 0);
        error_flag = 1;
    }
    return TRUE;
}
