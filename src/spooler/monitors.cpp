#include "monitors.h"

#include "component_name.h"
#include "service_control.h"
#include "two_call_list.h"

#include "files/component_copy.h"
#include "frame/platform_flags.h"
#include "orvinstl.h"

namespace {

constexpr int file_name_size = 52;
constexpr int monitor_key_size = 100;
constexpr int driver_value_size = 100;
constexpr ComponentNameSteps monitor_name_steps = {300, IDS_LOADLIBRARY_MONITOR_DLL, IDS_READING_MONITOR_ID_TEXT,
                                                   IDS_NOT_PRODUCT_MONITOR, INS_NOT_PRODUCT_MONITOR};
const char monitor_key_format[] = "HKLM/System/CurrentControlSet/Control/Print/Monitors/%s";

// The system directory with "\" and the name; false, with an empty path, when that
// does not fit MAX_PATH.
bool system_file_path(LPCSTR name, LPSTR path) {
    UINT length = GetSystemDirectoryA(path, MAX_PATH);
    if (!length || length + 1 + lstrlenA(name) >= MAX_PATH) {
        path[0] = '\0';
        return false;
    }
    lstrcatA(path, "\\");
    lstrcatA(path, name);
    return true;
}

LONG fatal(LONG code) {
    error_flag = 1;
    return code;
}

}  // namespace

MONITOR_INFO_1A* enumerate_monitors(LONG* count, LONG* error) {
    auto call = [](LPBYTE buffer, DWORD size, LPDWORD needed, LPDWORD returned) {
        return EnumMonitorsA(nullptr, 1, buffer, size, needed, returned);
    };
    return reinterpret_cast<MONITOR_INFO_1A*>(
        read_two_call_list(call, IDS_ENUMERATING_MONITORS_1, IDS_ENUMERATING_MONITORS_2, count, error));
}

// Whether a monitor of that name (without regard to case) is registered: 0 with
// `present` set, -1 while error_flag is set, or the enumeration's error.
LONG WINAPI insIsMonitorPresent(LPCSTR monitorName, LPLONG present) {
    return find_listed_name(monitorName, present, enumerate_monitors, &MONITOR_INFO_1A::pName);
}

// Installs the port monitor DLL at `monitorPath` under the name its string 300 gives,
// or replaces the file of a monitor registered already (on NT with the spooler stopped
// around the copy). 0 done; -2 not the product's monitor; -3 platform; -17 a companion
// module failed to copy; -1 while error_flag is set; else the failing step's code.
LONG WINAPI insAddMonitorEx(LPCSTR monitorPath, LPSTR idText, LONG skipCompanions) {
    if (error_flag) return INS_ERROR_FLAG_SET;
    if (!monitorPath) return ERROR_INVALID_PARAMETER;
    char system_path[MAX_PATH];
    char file_name[file_name_size];
    LPCSTR name = file_name_of(monitorPath);
    if (lstrlenA(name) >= file_name_size) return record_error(ERROR_INVALID_NAME, IDS_ADDMONITOR, name, 0, 0);
    lstrcpyA(file_name, name);
    if (!system_file_path(file_name, system_path))
        return record_error(ERROR_FILENAME_EXCED_RANGE, IDS_COPYING_FILE, monitorPath, 0, 0);

    char id_text[component_name_size];
    LONG result = read_component_name(monitorPath, monitor_name_steps, id_text);
    if (result) return result;
    if (idText) lstrcpyA(idText, id_text);

    LONG present = 0;
    result = insIsMonitorPresent(id_text, &present);
    if (result) return result;
    if (!present) {
        result = install_component_file(monitorPath, system_path);
        if (result) return result;
        MONITOR_INFO_2A info{id_text, const_cast<LPSTR>(print_environment()), file_name};
        if (!AddMonitorA(nullptr, 2, reinterpret_cast<LPBYTE>(&info)))
            return fatal(record_last_error(IDS_ADDMONITOR, file_name, 0, 0));
    } else if (os_is_nt) {
        // The spooler holds its monitors open: the file is replaced while it is down.
        result = shut_down_spooler_service();
        if (result) return fatal(result);
        LONG copied = install_component_file(monitorPath, system_path);
        result = restart_spooler_service();
        if (result) return fatal(result);
        if (copied) return copied;
    } else if (os_is_9x) {
        // The monitor lives in the system directory; a copy anywhere else would not be used.
        result = install_component_file(monitorPath, system_path);
        if (result) return result;
    } else {
        record_warning(IDS_UNSUPPORTED_OS);
        return INS_PLATFORM_UNSUPPORTED;
    }
    if (!skipCompanions && !copy_monitor_companions(monitorPath)) {
        record_warning(IDS_COMPANIONS_NOT_COPIED);
        return INS_COMPANIONS_NOT_COPIED;
    }
    return INS_OK;
}

// insAddMonitorEx without the companion modules.
LONG WINAPI insAddMonitor(LPCSTR monitorPath, LPSTR idText) { return insAddMonitorEx(monitorPath, idText, 2); }

// Removes the monitor registration (its file stays): 0 removed or never there.
LONG WINAPI insDeleteMonitor(LPCSTR monitorName) { return delete_monitor(monitorName, 0); }

LONG delete_monitor(LPCSTR name, LONG delete_file) {
    if (error_flag) return INS_ERROR_FLAG_SET;
    if (!name) return ERROR_INVALID_PARAMETER;
    LONG present = 0;
    LONG result = insIsMonitorPresent(name, &present);
    if (result || !present) return result;
    char file_path[MAX_PATH + 40] = "";
    if (delete_file) {
        char key[monitor_key_size];
        if (lstrlenA(monitor_key_format) - 2 + lstrlenA(name) >= monitor_key_size)
            return record_error(ERROR_INVALID_NAME, IDS_DELETEMONITOR, name, 0, 0);
        wsprintfA(key, monitor_key_format, name);
        char driver[driver_value_size];
        LONG type = 0, needed = 0;
        // Read before the monitor goes: its key goes with it.
        if (insFetchRegistryVal(key, "Driver", reinterpret_cast<LPBYTE>(driver), &type, driver_value_size, &needed) == 0 &&
            driver[0])
            system_file_path(driver, file_path);
    }
    if (!DeleteMonitorA(nullptr, nullptr, const_cast<LPSTR>(name))) return record_last_error(IDS_DELETEMONITOR, name, 0, 0);
    if (file_path[0]) {
        result = insFileDelete(file_path);
        if (result == INS_DEFERRED_TO_RESTART) {
            reboot_flag = 1;
            return INS_OK;
        }
        return result;
    }
    return INS_OK;
}
