// The user's default printer, kept as the 95/98 and NT 4 generation keeps it: the
// "Device" entry of WIN.INI's "Windows" section, the printer's name with the driver and
// port that "Devices" lists for it. NT maps both sections to the user's registry.
#include "orvinstl.h"
#include "profile_text.h"

#include "frame/catalogue.h"
#include "frame/error_state.h"
#include "frame/platform_flags.h"

namespace {

const char windows_section[] = "Windows";
const char device_key[] = "Device";
const char devices_section[] = "Devices";
// What the profile calls answer for a missing entry.
const char no_default_printer[] = ",,";
const char not_listed[] = ",";
constexpr UINT broadcast_timeout_ms = 1000;

// Every top-level window hears of the change; 95/98 name the section, NT names none.
void announce_default_printer() {
    LPARAM section = 0;
    if (os_is_9x) section = reinterpret_cast<LPARAM>(windows_section);
    else if (!os_is_nt) return;
    SendMessageTimeoutA(HWND_BROADCAST, WM_WININICHANGE, 0, section, SMTO_NORMAL, broadcast_timeout_ms, nullptr);
}

}  // namespace

// The whole "Device" entry, cut to the buffer: 0 a default printer is set, -10 none (the
// buffer holds ",,", or is empty for an empty entry), -1 while error_flag is set, 87 for
// a null buffer, otherwise the code recorded with message 89 (122 for a buffer of fewer
// than 3 characters, which could not tell ",," from a printer's name).
LONG WINAPI insGetDefaultPrinter(LPSTR buffer, DWORD bufferSize) {
    if (error_flag) return INS_ERROR_FLAG_SET;
    if (!buffer) return ERROR_INVALID_PARAMETER;
    if (bufferSize < sizeof no_default_printer)
        return record_error(ERROR_INSUFFICIENT_BUFFER, IDS_RETRIEVING_DEFAULT_PRINTER_NAME, nullptr, 0, 0);
    // Cleared first, so that an empty entry is told from a failed read.
    SetLastError(ERROR_SUCCESS);
    if (!GetProfileStringA(windows_section, device_key, no_default_printer, buffer, bufferSize)) {
        const LONG result = record_last_error(IDS_RETRIEVING_DEFAULT_PRINTER_NAME, nullptr, 0, 0);
        return result ? result : INS_NO_SUCH_PRINTER;
    }
    return lstrcmpA(buffer, no_default_printer) ? INS_OK : INS_NO_SUCH_PRINTER;
}

// Makes the printer named by the text up to its first comma the default, with the driver
// and port "Devices" lists for it, and announces the change: 0, -10 with warning 123 when
// "Devices" does not list it (nothing written or announced), 87 for a null text, 123 with
// message 90 for a name of 260 characters or more, otherwise the code recorded with
// message 90 (a failed write of the entry too). Does not look at error_flag.
LONG WINAPI insSetDefaultPrinter(LPCSTR printer) {
    if (!printer) return ERROR_INVALID_PARAMETER;
    int name_length = 0;
    while (printer[name_length] && printer[name_length] != ',') ++name_length;
    if (name_length >= MAX_PATH) return record_error(ERROR_INVALID_NAME, IDS_RETRIVEING_PORT_DRIVER_NAME, printer, 0, 0);
    char name[MAX_PATH];
    lstrcpynA(name, printer, name_length + 1);
    // Read whole: a driver and port cut short would name another port.
    ProfileText listed;
    SetLastError(ERROR_SUCCESS);
    if (!listed.read(nullptr, devices_section, name, not_listed))
        return record_last_error(IDS_RETRIVEING_PORT_DRIVER_NAME, name, 0, 0);
    if (listed.length() == 0)
        if (const LONG result = record_last_error(IDS_RETRIVEING_PORT_DRIVER_NAME, name, 0, 0)) return result;
    // An empty entry lists no driver and port to make a "Device" entry of.
    if (listed.length() == 0 || lstrcmpA(listed.get(), not_listed) == 0) {
        record_warning(IDS_CANNOT_SET_DEFAULT_PRINTER_NO_SUCH);
        return INS_NO_SUCH_PRINTER;
    }
    ProfileText entry;
    if (!entry.join(name, listed.get())) return record_last_error(IDS_RETRIVEING_PORT_DRIVER_NAME, name, 0, 0);
    if (!WriteProfileStringA(windows_section, device_key, entry.get()))
        return record_last_error(IDS_RETRIVEING_PORT_DRIVER_NAME, name, 0, 0);
    announce_default_printer();
    return INS_OK;
}
