// Removing a printer with everything that was installed for it alone: its driver and the
// driver's files, its print processor and the processor's file, its ports and the
// monitors that served only those ports.
#include "removal.h"

#include "enumeration.h"
#include "printer_context.h"
#include "printer_record.h"
#include "settings_catalogue.h"

#include "frame/catalogue.h"
#include "frame/error_state.h"
#include "frame/platform_flags.h"
#include "frame/text_builder.h"
#include "orvinstl.h"
#include "registry/registry_path.h"
#include "spooler/component_name.h"
#include "spooler/monitors.h"
#include "spooler/port_owners.h"
#include "spooler/ports.h"
#include "spooler/printer_drivers.h"

#include <algorithm>
#include <memory>

namespace {

const char local_port_monitor[] = "Local Port";
const char builtin_processor[] = "winprint";
const char processor_key_format[] = "HKLM/System/CurrentControlSet/Control/Print/Environments/%s/Print Processors/%s";

struct LocalRelease {
    void operator()(void* block) const { LocalFree(block); }
};
template <typename T>
using LocalList = std::unique_ptr<T, LocalRelease>;

LPSTR environment() { return const_cast<LPSTR>(print_environment()); }

bool same_text(LPCSTR a, LPCSTR b) { return a && b && lstrcmpA(a, b) == 0; }

// A printer the spooler still lists only until its last handle goes counts as gone.
bool still_exists(const PRINTER_INFO_2A& printer) { return (printer.Status & PRINTER_STATUS_PENDING_DELETION) == 0; }

// What is read of the printer before it is deleted.
struct RemovedPrinter {
    HeapBlock<PRINTER_INFO_2A> printer;
    HeapBlock<DRIVER_INFO_2A> driver;
    // Its help and dependent files: none on NT 3.51, or when they could not be read.
    HeapBlock<DRIVER_INFO_3A> dependents;
};

LONG read_removed_printer(LPCSTR name, RemovedPrinter& removed) {
    PrinterHandle printer;
    if (LONG code = open_printer_for_all_access(name, IDS_OPENPRINTER, printer)) return code;
    if (LONG code = read_printer_record(printer.get(), name, removed.printer)) return code;
    auto driver_level = [&printer](DWORD level) {
        return [&printer, level](LPBYTE buffer, DWORD size, LPDWORD needed) {
            return GetPrinterDriverA(printer.get(), environment(), level, buffer, size, needed);
        };
    };
    if (LONG code = read_sized_record(driver_level(2), IDS_GETPRINTERDATA_2, IDS_GETPRINTERDATA_2, name, removed.driver))
        return code;
    if (os_is_nt351) return 0;
    RecordStep failed = RecordStep::none;
    const LONG code = read_sized_record(driver_level(3), IDS_GETPRINTERDATA_2, IDS_WARNING_ONLY_UNABLE_TO_RETRIEVE_NAMES, name,
                                        removed.dependents, &failed);
    if (failed == RecordStep::allocation) return code;
    // Without the list the driver's other files stay where they are; the removal goes on.
    if (failed == RecordStep::sizing) record_last_error(IDS_WARNING_ONLY_UNABLE_TO_RETRIEVE_NAMES, name, 0, 0);
    return 0;
}

// A file of the removal deleted: 0 when it is gone, or will be at the next start of
// Windows (which is asked for); else insFileDelete's code.
LONG delete_file(LPCSTR path) {
    if (!path || !*path) return 0;
    const LONG result = insFileDelete(path);
    if (result != INS_DEFERRED_TO_RESTART) return result;
    reboot_flag = 1;
    return 0;
}

// The file of that name (after its last "\") in the directory, deleted as above.
LONG delete_file_in(LPCSTR directory, LPCSTR file) {
    if (!file || !*file) return 0;
    char path[MAX_PATH];
    if (LONG code = path_in_directory(directory, file, path)) return code;
    return delete_file(path);
}

// The directory a spooler call gave, ending in "\"; false when it gave none.
bool with_backslash(BOOL given, LPSTR directory) {
    if (!given) return false;
    const int length = lstrlenA(directory);
    if (length > 0 && directory[length - 1] == '\\') return true;
    if (length + 1 >= MAX_PATH) return false;
    lstrcatA(directory, "\\");
    return true;
}

// The driver, its three files where the spooler keeps them and (NT) where they were
// copied, and its dependent files that no other driver lists.
LONG remove_driver(RemovedPrinter& removed) {
    LONG result = insDelPrintDriver(removed.printer->pDriverName);
    if (result) return result;
    const DRIVER_INFO_2A& driver = *removed.driver.get();
    const LPCSTR files[] = {driver.pDriverPath, driver.pDataFile, driver.pConfigFile};
    for (LPCSTR file : files)
        if ((result = delete_file(file)) != 0) return result;
    char directory[MAX_PATH] = "";
    DWORD needed = 0;
    // Without the driver directory no file can be found by its name.
    if (!with_backslash(GetPrinterDriverDirectoryA(nullptr, environment(), 1, reinterpret_cast<LPBYTE>(directory), MAX_PATH,
                                                   &needed),
                        directory))
        return 0;
    if (os_is_nt)
        for (LPCSTR file : files)
            if ((result = delete_file_in(directory, file)) != 0) return result;
    LPSTR dependents = removed.dependents.get() ? removed.dependents->pDependentFiles : nullptr;
    if (!dependents) return 0;
    if ((result = mark_shared_dependent_files(dependents)) != 0) return result;
    // The NT spooler reports them where it keeps them, which is not where they were
    // copied: both places are cleared, as for the driver's own files.
    for (LPSTR entry = dependents; *entry; entry += lstrlenA(entry) + 1) {
        if (*entry == '*') continue;
        if (file_name_of(entry) != entry && (result = delete_file(entry)) != 0) return result;
        if ((result = delete_file_in(directory, entry)) != 0) return result;
    }
    return 0;
}

// The processor and its file, which its registration names.
LONG remove_processor(LPCSTR processor) {
    const TextArgument arguments[] = {text_argument(print_environment()), text_argument(processor)};
    BuiltText key(processor_key_format, arguments, 2);
    char file[100] = "";
    LONG type = 0, size = 0;
    if (!key.get() || insFetchRegistryVal(key.get(), "Driver", reinterpret_cast<LPBYTE>(file), &type, sizeof file, &size) != 0)
        file[0] = '\0';
    file[sizeof file - 1] = '\0';
    LONG result = insDelPrintProc(processor);
    if (result || !file[0]) return result;
    char directory[MAX_PATH] = "";
    DWORD needed = 0;
    if (!with_backslash(GetPrintProcessorDirectoryA(nullptr, environment(), 1, reinterpret_cast<LPBYTE>(directory), MAX_PATH,
                                                    &needed),
                        directory))
        return 0;
    return delete_file_in(directory, file);
}

// The ports the remaining printers print to, sorted for lookup: every port is looked up
// once, so the work grows with the ports and printers, not their product.
class UsedPorts {
public:
    ~UsedPorts() {
        heap_free(text_);
        heap_free(entries_);
    }
    // 0, or the code recorded for memory.
    LONG collect(const PRINTER_INFO_2A* printers, LONG count) {
        SIZE_T length = 1, entries = 0;
        for (LONG i = 0; i < count; ++i) {
            if (!still_exists(printers[i]) || !printers[i].pPortName) continue;
            length += static_cast<SIZE_T>(lstrlenA(printers[i].pPortName)) + 1;
            for (LPCSTR c = printers[i].pPortName;; ++c) {
                if (*c == ',' || !*c) ++entries;
                if (!*c) break;
            }
        }
        text_ = static_cast<LPSTR>(heap_alloc(length));
        entries_ = static_cast<LPSTR*>(heap_alloc(sizeof(LPSTR) * (entries ? entries : 1)));
        if (!text_ || !entries_) return record_last_error(IDS_MEMORY_ALLOCATION, nullptr, 0, 0);
        LPSTR at = text_;
        for (LONG i = 0; i < count; ++i) {
            if (!still_exists(printers[i]) || !printers[i].pPortName) continue;
            lstrcpyA(at, printers[i].pPortName);
            entries_[count_++] = at;
            for (; *at; ++at)
                if (*at == ',') {
                    *at = '\0';
                    entries_[count_++] = at + 1;
                }
            ++at;
        }
        std::sort(entries_, entries_ + count_, [](LPCSTR a, LPCSTR b) { return lstrcmpiA(a, b) < 0; });
        return 0;
    }
    bool contains(LPCSTR port) const {
        return std::binary_search(entries_, entries_ + count_, port, [](LPCSTR a, LPCSTR b) { return lstrcmpiA(a, b) < 0; });
    }

private:
    LPSTR text_ = nullptr;
    LPSTR* entries_ = nullptr;
    LONG count_ = 0;
};

bool is_local_port_monitor(LPCSTR monitor) { return lstrcmpiA(monitor, local_port_monitor) == 0; }

struct MonitorUse {
    bool serves_removed;  // owns a port of the removed printer
    bool serves_others;   // owns a port that another printer prints to
};

// The ports only the removed printer printed to, and the monitors that served only it
// (with their other, unused ports), but never "Local Port" nor a port without a monitor.
LONG remove_ports_and_monitors(LPSTR removed_ports, const PRINTER_INFO_2A* printers, LONG printer_count) {
    LONG monitor_count = 0, result = 0;
    LocalList<MONITOR_INFO_1A> monitors(enumerate_monitors(&monitor_count, &result));
    if (!monitors && result) return result;
    OwnedPorts ports;
    if ((result = ports.read(monitors.get(), monitor_count)) != 0) return result;
    HeapBlock<MonitorUse> uses(static_cast<MonitorUse*>(heap_alloc(sizeof(MonitorUse) * static_cast<SIZE_T>(monitor_count + 1))));
    HeapBlock<bool> removed_uses(static_cast<bool*>(heap_alloc(sizeof(bool) * static_cast<SIZE_T>(ports.count() + 1))));
    if (!uses.get() || !removed_uses.get()) return record_last_error(IDS_MEMORY_ALLOCATION, nullptr, 0, 0);
    UsedPorts used;
    if ((result = used.collect(printers, printer_count)) != 0) return result;

    HeapBlock<bool> others_use(static_cast<bool*>(heap_alloc(sizeof(bool) * static_cast<SIZE_T>(ports.count() + 1))));
    if (!others_use.get()) return record_last_error(IDS_MEMORY_ALLOCATION, nullptr, 0, 0);
    for (LONG i = 0; i < ports.count(); ++i) {
        removed_uses.get()[i] = port_list_contains(removed_ports, ports.name(i)) == 1;
        others_use.get()[i] = used.contains(ports.name(i));
        const LONG owner = ports.owner(i);
        if (owner < 0) continue;
        if (removed_uses.get()[i]) uses.get()[owner].serves_removed = true;
        if (others_use.get()[i]) uses.get()[owner].serves_others = true;
    }
    for (LONG i = 0; i < ports.count(); ++i) {
        const LONG owner = ports.owner(i);
        if (owner < 0 || is_local_port_monitor(monitors.get()[owner].pName)) continue;
        if (!removed_uses.get()[i] || others_use.get()[i]) continue;
        if ((result = delete_listed_port(ports.name(i))) != 0) return result;
    }
    for (LONG m = 0; m < monitor_count; ++m) {
        LPCSTR monitor = monitors.get()[m].pName;
        if (is_local_port_monitor(monitor) || !uses.get()[m].serves_removed || uses.get()[m].serves_others) continue;
        // A monitor goes with its ports; those no printer used are asked to go first.
        for (LONG i = 0; i < ports.count(); ++i)
            if (ports.owner(i) == m && !removed_uses.get()[i]) delete_listed_port(ports.name(i));
        if ((result = delete_monitor(monitor, 1)) != 0) return result;
    }
    return 0;
}

// Windows 2000 keeps a printer's settings in a tree its spooler leaves when the printer
// goes: the removal takes the printer's key there, so that nothing of it stays and a
// later printer of the name starts anew. What cannot be deleted stays.
void remove_settings_tree(LPCSTR printer_name) {
    if (!os_is_nt5) return;
    char path[printer_key_path_size];
    if (printer_settings_path(printer_name, path) != 0) return;
    // ".../Printers/NAME/PrinterDriverData": the printer's key and the one above it.
    LPSTR settings = path + lstrlenA(path);
    while (settings > path && *settings != '/') --settings;
    *settings = '\0';
    if (ConfirmRegValueExists(path, nullptr) != 1) return;
    LONG error = 0;
    HKEY printer = traverse_path(path, &error);
    if (error) return;
    RegDeleteKeyA(printer, settings + 1);
    RegCloseKey(printer);
    LPSTR name = settings;
    while (name > path && *name != '/') --name;
    *name = '\0';
    HKEY printers = traverse_path(path, &error);
    if (error) return;
    RegDeleteKeyA(printers, name + 1);
    RegCloseKey(printers);
}

}  // namespace

LONG port_list_contains(LPSTR port_list, LPCSTR port) {
    if (!port_list || !*port_list) return 0;
    LPSTR entry = port_list;
    for (;;) {
        LPSTR comma = entry;
        while (*comma && *comma != ',') ++comma;
        const bool cut = *comma == ',';
        if (cut) *comma = '\0';
        const bool same = lstrcmpiA(entry, port) == 0;
        if (cut) *comma = ',';
        if (same) return 1;
        if (!cut) return 0;
        entry = comma + 1;
    }
}

// Removes the printer and what no other printer still uses: its driver with the driver's
// files, its print processor, its ports and the monitors that served only them. 0 when
// done or when there was no such printer; else the first failing step's code, the steps
// after it not done.
LONG WINAPI insNukePrinter(LPCSTR printerName) {
    if (error_flag) return INS_ERROR_FLAG_SET;
    if (!printerName) return ERROR_INVALID_PARAMETER;
    LONG present = 0;
    LONG result = insIsPrinterPresent(printerName, &present);
    if (result || !present) return result;
    RemovedPrinter removed;
    if ((result = read_removed_printer(printerName, removed)) != 0) return result;
    if ((result = insDelPrinter(printerName)) != 0) return result;
    remove_settings_tree(printerName);
    if (os_is_9x) remove_device_section(printerName, removed.printer->pPortName);

    LONG count = 0;
    LocalList<PRINTER_INFO_2A> printers(enumerate_printers(&count, &result));
    if (!printers && result) return result;
    const PRINTER_INFO_2A& printer = *removed.printer.get();
    bool driver_used = false, processor_used = false;
    for (LONG i = 0; i < count; ++i) {
        const PRINTER_INFO_2A& other = printers.get()[i];
        if (!still_exists(other)) continue;
        driver_used = driver_used || same_text(other.pDriverName, printer.pDriverName);
        processor_used = processor_used || same_text(other.pPrintProcessor, printer.pPrintProcessor);
    }
    if (!driver_used && (result = remove_driver(removed)) != 0) return result;
    LPCSTR processor = printer.pPrintProcessor;
    if (!processor_used && processor && *processor && lstrcmpiA(processor, builtin_processor) != 0 &&
        (result = remove_processor(processor)) != 0)
        return result;
    return remove_ports_and_monitors(printer.pPortName, printers.get(), count);
}
