#include "error_state.h"
#include "orvinstl.h"
#include "platform_flags.h"
#include "spooler/service_control.h"

LPSTR error_text = nullptr;
LONG error_flag = 0;
LONG reboot_flag = 0;
LONG spooler_restart_pending = 0;

void reset_error_state() {
    error_text = nullptr;
    error_flag = 0;
    reboot_flag = 0;
    spooler_restart_pending = 0;
}

// The size of buffer RetrieveErrorText needs: the text's length and its terminator,
// or 0 when there is no text.
LONG WINAPI ErrorTextLen(void) { return error_text ? lstrlenA(error_text) + 1 : 0; }

// Hands the error text over and forgets it: 1, with the text (or an empty one) in the
// buffer; 0 for a null buffer, and the text stays.
LONG WINAPI RetrieveErrorText(LPSTR buffer) {
    if (!buffer) return 0;
    if (!error_text) {
        buffer[0] = '\0';
        return 1;
    }
    lstrcpyA(buffer, error_text);
    LocalFree(error_text);
    error_text = nullptr;
    return 1;
}

// Lets operations run again after a fatal failure; answers whether there was one.
LONG WINAPI ClearErrorFlag(void) {
    LONG was = error_flag;
    error_flag = 0;
    return was;
}

// 1 when something since the library was loaded waits for a restart of Windows. A
// pending spooler restart is carried out here on NT (a restart of Windows is asked for
// only when it fails); on 95/98, where the spooler cannot be restarted alone, it is one.
// No operation sets that flag today, so this comes down to reboot_flag.
LONG WINAPI RebootRequired(void) {
    if (spooler_restart_pending) {
        if (os_is_9x || shut_down_spooler_service() || restart_spooler_service()) reboot_flag = 1;
        spooler_restart_pending = 0;
    }
    return reboot_flag;
}
