// The product's printer driver: whether the spooler has it, putting it in with the files
// it depends on, updating it under the printers that use it, and taking it out.
#include "printer_drivers.h"

#include "component_name.h"
#include "two_call_list.h"

#include "files/paths.h"
#include "frame/catalogue.h"
#include "frame/error_state.h"
#include "frame/memory.h"
#include "frame/platform_flags.h"
#include "orvinstl.h"
#include "printers/captured_printers.h"
#include "printers/enumeration.h"
#include "printers/printer_context.h"
#include "printers/printer_record.h"

namespace {

// A model name has this many characters at most, its terminator included.
constexpr int model_name_size = component_name_size;
// The installed name a presence test hands back.
constexpr int installed_name_size = 64;
constexpr UINT driver_model_string = 800;
constexpr UINT driver16_model_string = 1;
constexpr char thunk_module[] = "brg32res.dll";
constexpr char thunk_function[] = "LoadString32_16";
typedef int(WINAPI* LoadString32_16Function)(LPCSTR module_path, UINT id, LPSTR buffer, int buffer_size);

LONG fatal(LONG code) {
    error_flag = 1;
    return code;
}

// The version the spooler is told when the driver file says none: the graphics
// engine's own on NT, the one 95/98 drivers carry elsewhere.
DWORD starting_driver_version() {
    if (os_is_9x) return 0x400;
    if (os_is_nt351) return 1;
    if (os_is_nt4) return 2;
    return 3;
}

// The second number of the file's version is the graphics engine version the driver
// is built for. Failures are recorded and leave `version` as it was.
void read_driver_version(LPCSTR driver_file, DWORD* version) {
    DWORD handle = 0;
    const DWORD size = GetFileVersionInfoSizeA(driver_file, &handle);
    if (!size) {
        // A driver without a version resource keeps the platform's version; a file whose
        // resource could not be read is a failure like the reads below.
        const DWORD code = GetLastError();
        if (code != ERROR_SUCCESS && code != ERROR_RESOURCE_DATA_NOT_FOUND && code != ERROR_RESOURCE_TYPE_NOT_FOUND &&
            code != ERROR_RESOURCE_NAME_NOT_FOUND)
            record_last_error(IDS_READING_VERSION_INFO_FROM_FILE, driver_file, 0, 0);
        return;
    }
    void* block = heap_alloc(size);
    if (!block) {
        record_last_error(IDS_MEMORY_ALLOCATION, driver_file, 0, 0);
        return;
    }
    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT fixed_size = 0;
    if (!GetFileVersionInfoA(driver_file, 0, size, block))
        record_last_error(IDS_READING_VERSION_INFO_FROM_FILE, driver_file, 0, 0);
    else if (!VerQueryValueA(block, "\\", reinterpret_cast<LPVOID*>(&fixed), &fixed_size) || !fixed)
        record_last_error(IDS_READING_FIXED_VERSION_INFO_BLOCK_FROM, driver_file, 0, 0);
    else
        *version = LOWORD(fixed->dwFileVersionMS);
    heap_free(block);
}

// NT: string 800 of the 32-bit driver file, loaded as data. The length read (a full
// buffer means the name was cut), or -1 with the failure recorded and error_flag set.
int read_nt_model_name(LPCSTR driver_file, LPSTR text, int size, LONG* failure) {
    HMODULE module = LoadLibraryExA(driver_file, nullptr, LOAD_LIBRARY_AS_DATAFILE);
    if (!module) {
        *failure = fatal(record_last_error(IDS_LOADLIBRARY_PRINT_DRIVER_DLL, driver_file, 0, 0));
        return -1;
    }
    const int length = LoadStringA(module, driver_model_string, text, size);
    FreeLibrary(module);
    return length;
}

// 95/98: string 1 of the 16-bit driver through the resource thunk, else the library's
// own name for the platform's driver.
int read_9x_model_name(LPCSTR driver_file, LPSTR text, int size) {
    int length = 0;
    if (HMODULE thunk = LoadLibraryA(thunk_module)) {
        auto load = reinterpret_cast<LoadString32_16Function>(
            reinterpret_cast<void (*)()>(GetProcAddress(thunk, thunk_function)));
        if (load) length = load(driver_file, driver16_model_string, text, size);
        FreeLibrary(thunk);
    }
    if (length > 0) return length;
    return LoadStringA(module_handle, os_is_win98 ? IDS_ORVANA_WIN98_DRIVER : IDS_ORVANA_PRINT_DRIVER, text, size);
}

// The driver's identity and, on NT, the version its file gives: 0, or the failure
// recorded with error_flag set (-9 for a file without a model name, 123 for one too long:
// a cut name could be another driver's).
LONG read_model_name(LPCSTR driver_file, LPSTR model_name, DWORD* version) {
    char text[model_name_size + 1] = "";
    LONG failure = 0;
    const int length = os_is_nt ? read_nt_model_name(driver_file, text, model_name_size + 1, &failure)
                                : read_9x_model_name(driver_file, text, model_name_size + 1);
    if (length < 0) return failure;
    if (length == 0) {
        record_last_error(IDS_READING_PRINTER_DRIVER_ID_TEXT, driver_file, 0, 0);
        record_warning(IDS_INVALID_PRINTER_DRIVER_ID_STRING_THIS);
        return fatal(INS_NOT_PRODUCT_DRIVER);
    }
    if (length >= model_name_size)
        return fatal(record_error(ERROR_INVALID_NAME, IDS_READING_PRINTER_DRIVER_ID_TEXT, driver_file, 0, 0));
    lstrcpyA(model_name, text);
    if (os_is_nt) read_driver_version(driver_file, version);
    return 0;
}

// A driver file's name without its last extension.
void base_name(LPCSTR path, LPSTR base) {
    lstrcpynA(base, file_name_of(path), MAX_PATH);
    LPSTR dot = nullptr;
    for (LPSTR at = base; *at; ++at)
        if (*at == '.') dot = at;
    if (dot) *dot = '\0';
}

// 0 when both paths name the same driver file: equal base names, with their letter case
// (the spooler keeps the names as installed).
int same_driver_file(LPCSTR installed_path, LPCSTR driver_file) {
    if (!installed_path || !*installed_path || !driver_file || !*driver_file) return 1;
    char installed[MAX_PATH], given[MAX_PATH];
    base_name(installed_path, installed);
    base_name(driver_file, given);
    return lstrcmpA(installed, given);
}

// The copy of one driver file: 0 when it is done or waits for the restart (which is then
// asked for), else the safe copy's result.
LONG copy_driver_file(LPCSTR source, LPCSTR destination) {
    const LONG copied = insSafeFileCopy(source, destination, 0);
    if (copied == INS_DEFERRED_TO_RESTART) {
        reboot_flag = 1;
        return INS_OK;
    }
    return copied;
}

// Each dependent file is taken by its name from the driver file's directory, whatever
// directory the list names. Every entry is tried; the last failure is answered.
LONG copy_dependent_files(LPCSTR driver_file, LPCSTR driver_directory, LPCSTR dependent_files) {
    if (!dependent_files || !*dependent_files) return 0;
    PathParts source_parts, target_parts;
    split_path(driver_file, &source_parts);
    split_path(driver_directory, &target_parts);
    LONG result = 0;
    for (LPCSTR entry = dependent_files; *entry; entry += lstrlenA(entry) + 1) {
        PathParts entry_parts;
        split_path(entry, &entry_parts);
        char source[MAX_PATH], target[MAX_PATH];
        _makepath(source, source_parts.drive, source_parts.directory, entry_parts.name, entry_parts.extension);
        _makepath(target, target_parts.drive, target_parts.directory, entry_parts.name, entry_parts.extension);
        const LONG copied = copy_driver_file(source, target);
        if (copied) result = copied;
    }
    return result;
}

// The six things a driver is registered with.
struct DriverFiles {
    LPCSTR driver_path;
    LPCSTR config_path;
    LPCSTR help_file;
    LPCSTR dependent_files;
    DWORD version;
    LPCSTR model_name;
};

// NT 3.51's spooler knows no level 3: its drivers are registered without help and
// dependent files.
DWORD registration_level() { return os_is_nt351 ? 2 : 3; }

LONG register_printer_driver(const DriverFiles& files) {
    DRIVER_INFO_3A info{};
    info.cVersion = files.version;
    info.pName = const_cast<LPSTR>(files.model_name);
    info.pEnvironment = const_cast<LPSTR>(print_environment());
    info.pDriverPath = const_cast<LPSTR>(files.driver_path);
    info.pDataFile = const_cast<LPSTR>(files.config_path);
    info.pConfigFile = const_cast<LPSTR>(files.config_path);
    info.pHelpFile = const_cast<LPSTR>(files.help_file);
    info.pDependentFiles = const_cast<LPSTR>(files.dependent_files);
    info.pDefaultDataType = const_cast<LPSTR>("RAW");
    if (!AddPrinterDriverA(nullptr, registration_level(), reinterpret_cast<LPBYTE>(&info)))
        return record_last_error(IDS_ADDPRINTDRIVER, files.model_name, 0, 0);
    return INS_OK;
}

bool same_name(LPCSTR a, LPCSTR b) { return a && b && lstrcmpiA(a, b) == 0; }

// The printers of the old driver, each captured and deleted. A printer that cannot be
// opened, captured or deleted stays where it is, on its old driver.
LONG capture_printers(LPCSTR model_name, LPCSTR installed_name, CapturedPrinters& captured) {
    LONG count = 0, result = 0;
    PRINTER_INFO_2A* printers = enumerate_printers(&count, &result);
    if (!printers && result) return result;
    auto of_driver = [&](const PRINTER_INFO_2A& printer) {
        return same_name(printer.pDriverName, model_name) || same_name(printer.pDriverName, installed_name);
    };
    LONG affected = 0;
    for (LONG i = 0; i < count; ++i)
        if (of_driver(printers[i])) ++affected;
    if (!captured.reserve(affected)) {
        result = record_last_error(IDS_MEMORY_ALLOCATION, nullptr, 0, 0);
        if (printers) LocalFree(printers);
        return result;
    }
    for (LONG i = 0; i < count; ++i) {
        if (!of_driver(printers[i])) continue;
        LPSTR name = printers[i].pPrinterName;
        PRINTER_DEFAULTSA defaults{nullptr, nullptr, PRINTER_ALL_ACCESS};
        HANDLE printer = nullptr;
        if (!OpenPrinterA(name, &printer, &defaults)) {
            record_last_error(IDS_OPENPRINTER, name, 0, 0);
            continue;
        }
        LONG capture = 0;
        PrinterContext* context = printer_context_from_handle(printer, &capture);
        if (!context) {
            result = capture;
        } else if (!DeletePrinter(printer)) {
            result = record_last_error(IDS_DELETING_PRINTER, name, 0, 0);
            free_printer_context(context);
        } else {
            captured.add(context);
        }
        close_printer(printer);
    }
    if (printers) LocalFree(printers);
    return result;
}

// Creates every captured printer again: on `driver_name` when given, else on the driver
// it had. The codes of the failures, OR-ed.
LONG recreate_printers(const CapturedPrinters& captured, LPCSTR driver_name) {
    LONG result = 0;
    for (LONG i = 0; i < captured.count(); ++i) {
        PrinterContext* context = captured[i];
        // The new driver makes the DEVMODE from the settings the printer keeps in its key;
        // what the user chose in the old one's public part is carried into it.
        const DEVMODEA* chosen = context->info->pDevMode;
        context->info->pDevMode = nullptr;
        if (driver_name) context->info->pDriverName = const_cast<LPSTR>(driver_name);
        LONG made = recreate_printer(context);
        if (!made) made = twice([context, chosen] { return carry_devmode_choices(context->info->pPrinterName, chosen); });
        result |= made;
    }
    return result;
}

void delete_driver_if_present(LPCSTR name) {
    LONG present = 0;
    if (insIsPrintDriverPresent(name, &present) == 0 && present)
        DeletePrinterDriverA(nullptr, nullptr, const_cast<LPSTR>(name));
}

// Registers again, as they were, the old drivers of these names (kept before they were
// deleted). The first failure's code.
LONG restore_old_drivers(LPBYTE kept, LONG kept_count, LPCSTR model_name, LPCSTR installed_name) {
    LONG result = 0;
    const DWORD level = registration_level();
    const SIZE_T stride = level == 3 ? sizeof(DRIVER_INFO_3A) : sizeof(DRIVER_INFO_2A);
    for (LONG i = 0; i < kept_count; ++i) {
        LPBYTE entry = kept + i * stride;
        LPCSTR name = reinterpret_cast<DRIVER_INFO_2A*>(entry)->pName;
        if (!same_name(name, model_name) && !same_name(name, installed_name)) continue;
        const LONG registered = twice([level, entry, name] {
            return AddPrinterDriverA(nullptr, level, entry) ? INS_OK : record_last_error(IDS_ADDPRINTDRIVER, name, 0, 0);
        });
        if (!result) result = registered;
    }
    return result;
}

// Replaces the registered driver under the printers that use it: each is captured,
// deleted and made again on the new driver, and the default printer is set again. When
// the new driver cannot be registered, the old one is, and the printers come back on it;
// the failure is still answered. Nothing is deleted while the default printer or the old
// driver's description cannot be read, as neither could be put back. Always asks for a
// restart.
LONG update_printer_driver(const DriverFiles& files) {
    LONG present = 0;
    char installed_name[installed_name_size];
    LONG result = insIsPrintDriverPresentEx(files.model_name, files.driver_path, &present, installed_name);
    if (result) return result;
    if (!present) return register_printer_driver(files);
    reboot_flag = 1;

    char default_entry[default_entry_size];
    if ((result = remember_default_printer(default_entry)) != 0) return result;
    LONG kept_count = 0;
    LPBYTE kept = enumerate_printer_drivers(registration_level(), &kept_count, &result);
    if (!kept) return result;

    CapturedPrinters captured;
    result = capture_printers(files.model_name, installed_name, captured);
    delete_driver_if_present(files.model_name);
    if (!same_name(installed_name, files.model_name)) delete_driver_if_present(installed_name);

    const LONG registration = register_printer_driver(files);
    if (registration == 0) {
        result |= recreate_printers(captured, files.model_name);
    } else if (restore_old_drivers(kept, kept_count, files.model_name, installed_name) == 0) {
        result |= recreate_printers(captured, nullptr);
    }
    LocalFree(kept);
    result |= restore_default_printer(default_entry);
    return registration ? registration : result;
}

// The spooler's driver directory, ending in "\": 0, or the failure recorded.
LONG driver_directory(LPSTR directory) {
    DWORD needed = 0;
    directory[0] = '\0';
    if (!GetPrinterDriverDirectoryA(nullptr, nullptr, 1, reinterpret_cast<LPBYTE>(directory), MAX_PATH, &needed))
        return record_last_error(IDS_GETPRINTERDRIVERDIRECTORY, nullptr, 0, 0);
    const int length = lstrlenA(directory);
    if (length == 0 || directory[length - 1] != '\\') {
        if (length + 1 >= MAX_PATH)
            return record_error(ERROR_FILENAME_EXCED_RANGE, IDS_GETPRINTERDRIVERDIRECTORY, directory, 0, 0);
        lstrcatA(directory, "\\");
    }
    return 0;
}

}  // namespace

LONG path_in_directory(LPCSTR directory, LPCSTR file, LPSTR path) {
    LPCSTR name = file_name_of(file);
    if (lstrlenA(directory) + lstrlenA(name) >= MAX_PATH)
        return record_error(ERROR_FILENAME_EXCED_RANGE, IDS_GETPRINTERDRIVERDIRECTORY, file, 0, 0);
    lstrcpyA(path, directory);
    lstrcatA(path, name);
    return 0;
}

LPBYTE enumerate_printer_drivers(DWORD level, LONG* count, LONG* error) {
    auto call = [level](LPBYTE buffer, DWORD size, LPDWORD needed, LPDWORD returned) {
        return EnumPrinterDriversA(nullptr, const_cast<LPSTR>(print_environment()), level, buffer, size, needed,
                                   returned);
    };
    return read_two_call_list(call, IDS_ENUMERATING_PRINTER_DRIVERS_1, IDS_ENUMERATING_PRINTER_DRIVERS_2, count, error);
}

LONG mark_shared_dependent_files(LPSTR dependent_files) {
    LONG count = 0, error = 0;
    auto* drivers = reinterpret_cast<DRIVER_INFO_3A*>(enumerate_printer_drivers(3, &count, &error));
    if (!drivers) return error;
    for (LPSTR file = dependent_files; file && *file; file += lstrlenA(file) + 1) {
        for (LONG i = 0; i < count && *file != '*'; ++i)
            for (LPCSTR entry = drivers[i].pDependentFiles; entry && *entry; entry += lstrlenA(entry) + 1)
                if (lstrcmpiA(entry, file) == 0) {
                    *file = '*';
                    break;
                }
    }
    LocalFree(drivers);
    return 0;
}

LONG WINAPI insIsPrintDriverPresent(LPCSTR driverName, LPLONG present) {
    return insIsPrintDriverPresentEx(driverName, nullptr, present, nullptr);
}

LONG WINAPI insIsPrintDriverPresentEx(LPCSTR driverName, LPCSTR driverFile, LPLONG present, LPSTR installedName) {
    if (present) *present = 0;
    if (installedName) installedName[0] = '\0';
    if (error_flag) return INS_ERROR_FLAG_SET;
    if (!driverName || !present) return ERROR_INVALID_PARAMETER;
    LONG count = 0, error = 0;
    auto* drivers = reinterpret_cast<DRIVER_INFO_2A*>(enumerate_printer_drivers(2, &count, &error));
    if (!drivers) return error;
    for (LONG i = 0; i < count; ++i) {
        if (lstrcmpiA(drivers[i].pName, driverName) != 0 && same_driver_file(drivers[i].pDriverPath, driverFile) != 0)
            continue;
        if (installedName) lstrcpynA(installedName, drivers[i].pName, installed_name_size);
        *present = 1;
        break;
    }
    LocalFree(drivers);
    return 0;
}

LONG WINAPI insAddPrintDriver(LPCSTR driverFile, LPCSTR configFile, LPSTR modelName) {
    return insAddPrintDriverEx(driverFile, configFile, nullptr, nullptr, modelName);
}

LONG WINAPI insAddPrintDriverEx(LPCSTR driverFile, LPCSTR configFile, LPCSTR helpFile, LPCSTR dependentFiles,
                                LPSTR modelName) {
    if (error_flag) return INS_ERROR_FLAG_SET;
    if (!driverFile || (os_is_nt && !configFile)) return ERROR_INVALID_PARAMETER;
    if (!os_is_nt && !os_is_9x) return INS_PLATFORM_UNSUPPORTED;
    DWORD version = starting_driver_version();
    char model_name[model_name_size];
    LONG result = read_model_name(driverFile, model_name, &version);
    if (result) return result;
    if (modelName) lstrcpyA(modelName, model_name);

    LONG present = 0;
    char installed_name[installed_name_size];
    result = insIsPrintDriverPresentEx(model_name, driverFile, &present, installed_name);
    if (result) return result;

    char directory[MAX_PATH], driver_path[MAX_PATH], config_path[MAX_PATH];
    if ((result = driver_directory(directory)) != 0) return result;
    if ((result = path_in_directory(directory, driverFile, driver_path)) != 0) return result;
    // 95/98 drivers are their own configuration file.
    if ((result = path_in_directory(directory, os_is_nt ? configFile : driverFile, config_path)) != 0) return result;

    copy_dependent_files(driverFile, directory, dependentFiles);
    // On 95/98 the file of a driver installed under another name is that driver's: it is
    // kept and registered under the new name.
    const bool file_of_other_name = os_is_9x && present && !same_name(installed_name, model_name);
    if (!file_of_other_name && (result = copy_driver_file(driverFile, driver_path)) != 0) return result;
    if (os_is_nt && (result = copy_driver_file(configFile, config_path)) != 0) return result;

    const DriverFiles files{driver_path, config_path, helpFile, dependentFiles, version, model_name};
    return present ? update_printer_driver(files) : register_printer_driver(files);
}

LONG WINAPI insDelPrintDriver(LPCSTR driverName) {
    if (error_flag) return INS_ERROR_FLAG_SET;
    if (!driverName) return ERROR_INVALID_PARAMETER;
    LONG present = 0;
    LONG result = insIsPrintDriverPresent(driverName, &present);
    if (result || !present) return result;

    LONG count = 0;
    PRINTER_INFO_2A* printers = enumerate_printers(&count, &result);
    if (!printers && result) return result;
    for (LONG i = 0; i < count && !result; ++i)
        if (same_name(printers[i].pDriverName, driverName)) result = insDelPrinter(printers[i].pPrinterName);
    if (printers) LocalFree(printers);
    if (result) return result;

    if (!DeletePrinterDriverA(nullptr, nullptr, const_cast<LPSTR>(driverName)))
        return record_last_error(IDS_DELETEPRINTDRIVER, driverName, 0, 0);
    return INS_OK;
}
