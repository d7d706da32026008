#include "orvinstl.h"
#include "platform_flags.h"

// Entry point: on process attach it keeps the module handle, resets the error state
// and works out the platform. It never fails the load.
BOOL WINAPI DllMain(HINSTANCE hModule, DWORD reason, LPVOID reserved) {
    if (reason != DLL_PROCESS_ATTACH) return TRUE;
    module_handle = hModule;
    detect_platform();
    return TRUE;
}
