// The product's ports: whether one exists, adding one with its settings (or a plain
// port), deleting one, and moving one under the printers that print to it.
#include "ports.h"

#include "monitors.h"
#include "service_control.h"
#include "two_call_list.h"

#include "frame/memory.h"
#include "frame/platform_flags.h"
#include "printers/captured_printers.h"
#include "printers/enumeration.h"
#include "registry/registry_cache.h"
#include "registry/registry_path.h"

#include <initializer_list>

namespace {

const char monitors_key[] = "HKEY_LOCAL_MACHINE/System/CurrentControlSet/Control/Print/Monitors/";
// NT 3.51 keeps the plain ports of "Local Port" in the system's own key.
const char nt351_ports_key[] = "HKEY_LOCAL_MACHINE/Software/Microsoft/Windows NT/CurrentVersion/Ports";
const char local_port_monitor[] = "Local Port";
const char empty[] = "";

const char fax_dialog_loc[] = "Fax Dialog Loc";
const char output_directory[] = "Output Directory";
const char output_prefix[] = "Output Prefix";
const char output_extension[] = "Output Extension";
const char spawn_in_user_context[] = "Spawn in User Context";
const char separate_vdm[] = "Separate VDM";

// The settings a port of the product's monitor keeps in its own key, with a new port's
// values. "Driver Timeout" and "Permission" are set by no definition.
const TemplateRow port_settings[] = {
    {fax_dialog_loc, -1, REG_SZ, "c:\\orvana\\orv32dlg.exe"},
    {output_directory, -1, REG_SZ, "c:\\temp"},
    {output_prefix, -1, REG_SZ, "AAAA"},
    {output_extension, -1, REG_SZ, "PRN"},
    {spawn_in_user_context, -1, REG_DWORD, "1"},
    {separate_vdm, -1, REG_DWORD, "0"},
    {"Driver Timeout", -1, REG_DWORD, "60"},
    {"Permission", -1, REG_DWORD, "0"},
    {empty, -1, 0, empty},
};

// A zero-filled LocalAlloc block of exactly the length of the parts put together, and
// the parts in it; its text is null without memory.
LocalBlock joined(std::initializer_list<LPCSTR> parts) {
    SIZE_T length = 1;
    for (LPCSTR part : parts) length += static_cast<SIZE_T>(lstrlenA(part));
    LocalBlock text(length);
    if (text.get())
        for (LPCSTR part : parts) lstrcatA(text.get(), part);
    return text;
}

PORT_INFO_1A* enumerate_ports_1(LONG* count, LONG* error) {
    return reinterpret_cast<PORT_INFO_1A*>(enumerate_ports(1, count, error));
}

// 0 when the port is absent or the monitor's; -8 when another monitor owns it; or the
// enumeration's code (which says nothing of the owner).
LONG check_owner(LONG present, LPCSTR port, LPCSTR monitor) {
    if (!present) return INS_OK;
    LONG error = 0;
    LONG belongs = port_belongs_to_monitor(port, monitor, &error);
    if (error) return error;
    return belongs ? INS_OK : INS_PORT_OF_OTHER_MONITOR;
}

// ---- Windows 2000: the monitor's configuration channel --------------------------------

using XcvDataCall = BOOL(WINAPI*)(HANDLE, PCWSTR, PBYTE, DWORD, PBYTE, DWORD, PDWORD, PDWORD);

class ChannelHandle {
public:
    ChannelHandle() = default;
    ~ChannelHandle() {
        if (handle_) ClosePrinter(handle_);
        if (library_) FreeLibrary(library_);
    }
    ChannelHandle(const ChannelHandle&) = delete;
    ChannelHandle& operator=(const ChannelHandle&) = delete;
    HANDLE handle_ = nullptr;
    HMODULE library_ = nullptr;
};

const char channel_step[] = "insAddPort";

// A channel call's outcome: 0, or the call's failure or the monitor's status, recorded.
LONG channel_result(BOOL done, DWORD status, UINT message) {
    if (!done) return record_last_error(message, channel_step, 0, 0);
    if (status) return record_error(status, message, channel_step, 0, 0);
    return INS_OK;
}

// The monitor adds the port itself and keeps its settings as it likes; a port it has
// already is left as it is.
LONG add_port_through_channel(const INS_PORT_DEFINITION& definition, LPCSTR port, LONG present) {
    LONG result = check_owner(present, port, definition.pMonitorName);
    if (result) return result;

    char computer[16] = "";
    DWORD computer_size = sizeof computer;
    if (!GetComputerNameA(computer, &computer_size)) computer[0] = '\0';
    LocalBlock channel_name(joined({"\\\\", computer, "\\", ",XcvMonitor ", definition.pMonitorName}));
    if (!channel_name.get()) return record_last_error(IDS_MEMORY_ALLOCATION, "insAddPort xcvname alloc", 0, 0);

    ChannelHandle channel;
    PRINTER_DEFAULTSA administer{nullptr, nullptr, SERVER_ACCESS_ADMINISTER};
    if (!OpenPrinterA(channel_name.get(), &channel.handle_, &administer)) {
        channel.handle_ = nullptr;
        return record_last_error(IDS_OPENING_PRINTER_PORT_FOR_XCV_OPERATION, channel_step, 0, 0);
    }
    channel.library_ = LoadLibraryA("winspool.drv");
    if (!channel.library_) return record_last_error(IDS_LOADING_SPOOLER_LIBRARY, channel_step, 0, 0);
    auto xcv_data = reinterpret_cast<XcvDataCall>(reinterpret_cast<void (*)()>(GetProcAddress(channel.library_, "XcvDataW")));
    if (!xcv_data) return record_last_error(IDS_GETTING_ADDRESS_FOR_XCVDATA_FUNCTION, channel_step, 0, 0);

    WCHAR wide_port[port_name_size];
    if (!MultiByteToWideChar(CP_ACP, MB_COMPOSITE, port, -1, wide_port, port_name_size))
        return record_last_error(IDS_CHECKING_THAT_PORT_EXISTS_WITH_XCVDATA, channel_step, 0, 0);
    const DWORD input_size = static_cast<DWORD>(lstrlenA(port) + 1) * 2;
    DWORD exists = 0, needed = 0, status = 0;
    BOOL done = xcv_data(channel.handle_, WIDE_TEXT("PortExists"), reinterpret_cast<PBYTE>(wide_port), input_size,
                         reinterpret_cast<PBYTE>(&exists), sizeof exists, &needed, &status);
    result = channel_result(done, status, IDS_CHECKING_THAT_PORT_EXISTS_WITH_XCVDATA);
    if (result || exists) return result;
    status = 0;
    done = xcv_data(channel.handle_, WIDE_TEXT("AddPort"), reinterpret_cast<PBYTE>(wide_port), input_size, nullptr, 0,
                    &needed, &status);
    return channel_result(done, status, IDS_ADDING_PORT_WITH_XCVDATA);
}

// ---- the other platforms: the monitor's registry keys ---------------------------------

LocalBlock plain_ports_key(LPCSTR monitor) {
    if (os_is_nt351 && !os_is_terminal_server) return joined({nt351_ports_key});
    return joined({monitors_key, monitor, "/Ports"});
}

// The settings the definition gives, over what the port has (or a new port's values).
LONG write_port_settings(const INS_PORT_DEFINITION& definition, LPCSTR key_path, LONG present) {
    const TemplateKey keys[] = {{key_path, port_settings}, {nullptr, nullptr}};
    KeyEntry* settings = cache_from_template(keys);
    if (!settings) {
        const DWORD code = GetLastError();
        return code ? static_cast<LONG>(code) : ERROR_NOT_ENOUGH_MEMORY;
    }
    // An existing port's values that cannot be read are not overwritten with defaults.
    LONG result = present ? retrieve_data(settings) : INS_OK;
    if (!result) {
        const struct {
            LPCSTR value;
            LPCSTR text;
        } texts[] = {{fax_dialog_loc, definition.pFaxDialogLoc},
                     {output_directory, definition.pOutputDirectory},
                     {output_prefix, definition.pOutputPrefix},
                     {output_extension, definition.pOutputExtension}};
        for (const auto& text : texts)
            if (text.text) cache_set_value(settings, text.value, -1, text.text);
        const struct {
            LPCSTR value;
            LONG_PTR number;
        } switches[] = {{spawn_in_user_context, definition.nSpawnInUserContext}, {separate_vdm, definition.nSeparateVdm}};
        for (const auto& on_off : switches)
            if (on_off.number >= 0) cache_set_value(settings, on_off.value, -1, on_off.number > 0 ? "1" : "0");
        result = cache_check_whole(settings);
        if (!result) result = cache_save(settings);
    }
    cache_free(settings);
    return result;
}

LONG write_plain_port(LPCSTR key_path, LPCSTR port) {
    const TemplateRow rows[] = {{port, -1, REG_SZ, empty}, {empty, -1, 0, empty}};
    const TemplateKey keys[] = {{key_path, rows}, {nullptr, nullptr}};
    KeyEntry* entry = cache_from_template(keys);
    if (!entry) {
        const DWORD code = GetLastError();
        return code ? static_cast<LONG>(code) : ERROR_NOT_ENOUGH_MEMORY;
    }
    LONG result = cache_save(entry);
    cache_free(entry);
    return result;
}

// The spooler learns of the port from the monitor: 95/98 and terminal servers (but NT
// 4.0's) ask the monitor at once; the other NT systems read the monitor's keys again
// when the spooler starts.
LONG tell_spooler(LPCSTR monitor) {
    if (os_is_9x || (os_is_terminal_server && !os_is_nt4)) {
        if (!AddPortA(nullptr, nullptr, const_cast<LPSTR>(monitor)))
            return record_last_error(IDS_UPDATING_SPOOLER_S_PORT_LIST, monitor, 0, 0);
        return INS_OK;
    }
    // A move's printers come back only onto a port the spooler knows.
    // The spooler is started again even when its stop failed part-way.
    const LONG stopped = twice(shut_down_spooler_service);
    const LONG started = twice(restart_spooler_service);
    if (stopped || started) reboot_flag = 1;
    return INS_OK;
}

LONG add_port_through_registry(const INS_PORT_DEFINITION& definition, LPCSTR port, LONG present) {
    const bool plain = definition.nPlainPort != 0;
    LocalBlock key_path(plain ? plain_ports_key(definition.pMonitorName)
                             : joined({monitors_key, definition.pMonitorName, "/PortList/", port}));
    if (!key_path.get()) return record_last_error(IDS_MEMORY_ALLOCATION, "insAddPort keyname alloc", 0, 0);
    LONG result = check_owner(present, port, definition.pMonitorName);
    if (result) return result;
    if (plain && present) return INS_OK;
    result = plain ? write_plain_port(key_path.get(), port) : write_port_settings(definition, key_path.get(), present);
    // A port whose keys could not be written is none the spooler could learn of.
    if (result) return result;
    return tell_spooler(definition.pMonitorName);
}

bool definition_usable(const INS_PORT_DEFINITION* definition) {
    return definition && definition->pPortName && definition->pMonitorName;
}

// ---- moving a port under its printers ------------------------------------------------

// Captures the printers that print to the port alone: 0, or the recorded code.
LONG capture_printers_on(LPCSTR port, CapturedPrinters& captured) {
    LONG count = 0, result = 0;
    PRINTER_INFO_2A* printers = enumerate_printers(&count, &result);
    if (!printers) return result;
    LONG matching = 0;
    for (LONG i = 0; i < count; ++i)
        if (printers[i].pPortName && lstrcmpiA(printers[i].pPortName, port) == 0) ++matching;
    if (matching && !captured.reserve(matching))
        result = record_last_error(IDS_MEMORY_ALLOCATION, "insMovePort", 0, 0);
    for (LONG i = 0; i < count && matching && !result; ++i) {
        if (!printers[i].pPortName || lstrcmpiA(printers[i].pPortName, port) != 0) continue;
        PrinterContext* context = open_printer_context(printers[i].pPrinterName, &result);
        if (context) captured.add(context);
    }
    LocalFree(printers);
    return result;
}

// The default printer's entry when it is one of the captured printers, whose deletion
// takes the entry with it; else empty. 0, or the failure to read it.
LONG remember_default(const CapturedPrinters& captured, LPSTR entry) {
    const LONG read = remember_default_printer(entry);
    if (read || !entry[0]) return read;
    char name[default_entry_size];
    int length = 0;
    while (entry[length] && entry[length] != ',') ++length;
    lstrcpynA(name, entry, length + 1);
    for (LONG i = 0; i < captured.count(); ++i)
        if (lstrcmpiA(name, captured[i]->info->pPrinterName) == 0) return INS_OK;
    entry[0] = '\0';
    return INS_OK;
}

// Puts back the first `deleted` captured printers; the first failure, or 0.
LONG recreate_printers(const CapturedPrinters& captured, LONG deleted) {
    LONG first_failure = 0;
    for (LONG i = 0; i < deleted; ++i) {
        LONG result = recreate_printer(captured[i]);
        if (result && !first_failure) first_failure = result;
    }
    return first_failure;
}

}  // namespace

bool normalize_port_name(LPCSTR name, LPSTR normalized) {
    int length = lstrlenA(name);
    const bool ends_in_colon = length > 0 && name[length - 1] == ':';
    if (os_is_nt351 && ends_in_colon) --length;
    const bool add_colon = os_is_win95 && !ends_in_colon;
    if (length + (add_colon ? 1 : 0) >= port_name_size) return false;
    lstrcpynA(normalized, name, length + 1);
    if (add_colon) lstrcatA(normalized, ":");
    return true;
}

LONG delete_listed_port(LPCSTR name) {
    char port[port_name_size];
    if (!normalize_port_name(name, port)) return record_error(ERROR_INVALID_NAME, IDS_DELETEPORT, name, 0, 0);
    // The monitor may ask the user something, in a window owned by the active one.
    if (!DeletePortA(nullptr, GetActiveWindow(), port)) return record_last_error(IDS_DELETEPORT, port, 0, 0);
    return INS_OK;
}

LPBYTE enumerate_ports(DWORD level, LONG* count, LONG* error) {
    auto call = [level](LPBYTE buffer, DWORD size, LPDWORD needed, LPDWORD returned) {
        return EnumPortsA(nullptr, level, buffer, size, needed, returned);
    };
    return read_two_call_list(call, IDS_ENUMERATING_PORTS_1, IDS_ENUMERATING_PORTS_2, count, error);
}

LONG port_belongs_to_monitor(LPCSTR port, LPCSTR monitor, LONG* error) {
    *error = 0;
    if (os_is_nt351) {
        if (lstrcmpiA(monitor, local_port_monitor) == 0) return ConfirmRegValueExists(nt351_ports_key, port);
        LocalBlock ports_key(joined({monitors_key, monitor, "/Ports"}));
        LocalBlock settings_key(joined({monitors_key, monitor, "/PortList/", port}));
        if (!ports_key.get() || !settings_key.get()) {
            *error = record_last_error(IDS_MEMORY_ALLOCATION, "insAddPort keyname alloc", 0, 0);
            return 0;
        }
        return ConfirmRegValueExists(ports_key.get(), port) == 1 || ConfirmRegValueExists(settings_key.get(), nullptr) == 1;
    }
    LONG count = 0;
    auto* ports = reinterpret_cast<PORT_INFO_2A*>(enumerate_ports(2, &count, error));
    if (!ports) return 0;
    LONG belongs = 0;
    for (LONG i = 0; i < count; ++i) {
        if (lstrcmpiA(ports[i].pPortName, port) != 0) continue;
        belongs = (ports[i].pMonitorName && lstrcmpiA(ports[i].pMonitorName, monitor) == 0) ||
                  (ports[i].pDescription && lstrcmpiA(ports[i].pDescription, monitor) == 0);
        break;
    }
    LocalFree(ports);
    return belongs;
}

// Whether a port of that name (written the platform's way, without regard to case)
// exists: 0 with `present` set, -1 while error_flag is set, or the enumeration's error.
LONG WINAPI insIsPortPresent(LPCSTR portName, LPLONG present) {
    if (present) *present = 0;
    if (error_flag) return INS_ERROR_FLAG_SET;
    if (!portName || !present) return ERROR_INVALID_PARAMETER;
    char port[port_name_size];
    if (!normalize_port_name(portName, port)) return record_error(ERROR_INVALID_NAME, IDS_ENUMERATING_PORTS_1, portName, 0, 0);
    return find_listed_name(port, present, enumerate_ports_1, &PORT_INFO_1A::pName);
}

LONG WINAPI insAddPort(const INS_PORT_DEFINITION* definition) { return insAddPortEx(definition, nullptr); }

// Adds the port (or updates a product port's settings), and with a dialog source
// copies the dialog program and its modules to where the port's settings name it.
LONG WINAPI insAddPortEx(const INS_PORT_DEFINITION* definition, LPCSTR dialogSource) {
    if (error_flag) return INS_ERROR_FLAG_SET;
    if (!definition_usable(definition)) return ERROR_INVALID_PARAMETER;
    LONG present = 0;
    LONG result = insIsPortPresent(definition->pPortName, &present);
    if (result) return result;
    char port[port_name_size];
    normalize_port_name(definition->pPortName, port);
    result = os_is_nt5 ? add_port_through_channel(*definition, port, present)
                       : add_port_through_registry(*definition, port, present);
    // A port that is not there needs no dialog program.
    if (result) return result;
    if (dialogSource && !definition->nPlainPort && definition->pFaxDialogLoc && definition->pFaxDialogLoc[0] &&
        !copy_dialog_companions(dialogSource, definition->pFaxDialogLoc)) {
        record_warning(IDS_COMPANIONS_NOT_COPIED);
        return INS_COMPANIONS_NOT_COPIED;
    }
    return INS_OK;
}

LONG WINAPI insDeletePort(LPCSTR portName) { return insDeletePortEx(portName, 0, 0); }

// Deletes the port through its monitor: 0 deleted, or not there.
LONG WINAPI insDeletePortEx(LPCSTR portName, LONG, LONG) {
    if (error_flag) return INS_ERROR_FLAG_SET;
    if (!portName) return ERROR_INVALID_PARAMETER;
    LONG present = 0;
    LONG result = insIsPortPresent(portName, &present);
    if (result || !present) return result;
    return delete_listed_port(portName);
}

// Makes the port anew from the definition, under the printers that print to it: they
// are captured, deleted with the port, and made again on the new one. When a step fails
// after a printer was deleted, the port is put back and every deleted printer made
// again before the failure is returned.
LONG WINAPI insMovePort(const INS_PORT_DEFINITION* definition) {
    if (error_flag) return INS_ERROR_FLAG_SET;
    if (!definition_usable(definition)) return ERROR_INVALID_PARAMETER;
    LONG present = 0;
    LONG result = insIsPortPresent(definition->pPortName, &present);
    if (result) return result;
    if (!present) return insAddPortEx(definition, nullptr);
    char port[port_name_size];
    normalize_port_name(definition->pPortName, port);

    CapturedPrinters captured;
    result = capture_printers_on(port, captured);
    if (result) return result;
    char default_entry[default_entry_size];
    result = remember_default(captured, default_entry);
    if (result) return result;
    LONG deleted = 0;
    while (deleted < captured.count() && !(result = insDelPrinter(captured[deleted]->info->pPrinterName))) ++deleted;
    if (!result) {
        result = insDeletePort(definition->pPortName);
        if (!result) {
            result = insAddPortEx(definition, nullptr);
            // Once more, so that the printers have a port to come back to.
            if (result) insAddPortEx(definition, nullptr);
        }
    }
    LONG recreated = recreate_printers(captured, deleted);
    if (!result) result = recreated;
    if (deleted) {
        const LONG restored = restore_default_printer(default_entry);
        if (!result) result = restored;
    }
    return result;
}
