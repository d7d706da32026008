// The product's print processor: whether the spooler has it, putting it in (or its new
// file in place of the old), and taking it out with the printers that print through it.
#include "component_name.h"
#include "service_control.h"
#include "two_call_list.h"

#include "files/component_copy.h"
#include "frame/platform_flags.h"
#include "orvinstl.h"
#include "printers/enumeration.h"

namespace {

constexpr ComponentNameSteps processor_name_steps = {700, IDS_LOADLIBRARY_PRINT_PROCESSOR_DLL,
                                                     IDS_READING_PRINT_PROCESSOR_ID_TEXT,
                                                     IDS_INVALID_PRINT_PROCESSOR_ID_STRING_THIS, INS_NOT_PRODUCT_PROCESSOR};

PRINTPROCESSOR_INFO_1A* enumerate_print_processors(LONG* count, LONG* error) {
    auto call = [](LPBYTE buffer, DWORD size, LPDWORD needed, LPDWORD returned) {
        return EnumPrintProcessorsA(nullptr, const_cast<LPSTR>(print_environment()), 1, buffer, size, needed,
                                    returned);
    };
    return reinterpret_cast<PRINTPROCESSOR_INFO_1A*>(
        read_two_call_list(call, IDS_ENUMERATING_PRINT_PROCESSORS_1, IDS_ENUMERATING_PRINT_PROCESSORS_2, count, error));
}

// Where the spooler loads the processor from: its directory, "\" and the file's name.
// 0, or the failure recorded with the copying message (the step that needs the path).
LONG installed_processor_path(LPCSTR dll_path, LPSTR installed_path) {
    DWORD needed = 0;
    installed_path[0] = '\0';
    // A directory the spooler does not give would make the copy land in the root of the
    // current drive, where nothing loads it.
    if (!GetPrintProcessorDirectoryA(nullptr, const_cast<LPSTR>(print_environment()), 1,
                                     reinterpret_cast<LPBYTE>(installed_path), MAX_PATH, &needed))
        return record_last_error(IDS_COPYING_FILE, dll_path, 0, 0);
    LPCSTR name = file_name_of(dll_path);
    if (lstrlenA(installed_path) + 1 + lstrlenA(name) >= MAX_PATH)
        return record_error(ERROR_FILENAME_EXCED_RANGE, IDS_COPYING_FILE, dll_path, 0, 0);
    lstrcatA(installed_path, "\\");
    lstrcatA(installed_path, name);
    return 0;
}

LONG fatal(LONG code) {
    error_flag = 1;
    return code;
}

// A registered processor gets its new file; the registration stays as it is. On NT the
// spooler holds the processor open, so the file is replaced while the spooler is down
// (on a terminal server the spooler serves others and stays up: the replacement then
// waits for the restart).
LONG replace_processor_file(LPCSTR dll_path, LPCSTR installed_path) {
    if (os_is_nt) {
        if (!os_is_terminal_server) {
            LONG stopped = shut_down_spooler_service();
            if (stopped) return fatal(stopped);
        }
        LONG copied = insSafeFileCopy(dll_path, installed_path, 0);
        if (!os_is_terminal_server) {
            LONG restarted = restart_spooler_service();
            if (restarted) return fatal(restarted);
        }
        if (copied == INS_DEFERRED_TO_RESTART) {
            reboot_flag = 1;
            return INS_OK;
        }
        // A newer file installed is the caller's to know of on NT: it answers -12.
        return copied;
    }
    if (os_is_9x) return install_component_file(dll_path, installed_path);
    record_warning(IDS_UNSUPPORTED_OS);
    return INS_PLATFORM_UNSUPPORTED;
}

}  // namespace

// Whether a print processor of that name (without regard to case) is installed for the
// platform's environment: 0 with `present` set, -1 while error_flag is set, or the
// enumeration's error.
LONG WINAPI insIsPrtProcPresent(LPCSTR processorName, LPLONG present) {
    return find_listed_name(processorName, present, enumerate_print_processors, &PRINTPROCESSOR_INFO_1A::pName);
}

// Installs the print processor DLL at `dllPath` under the name its string 700 gives, or
// replaces the file of a processor installed already.
LONG WINAPI insAddPrintProc(LPCSTR dllPath, LPSTR processorName) {
    if (error_flag) return INS_ERROR_FLAG_SET;
    if (!dllPath) return ERROR_INVALID_PARAMETER;
    char installed_path[MAX_PATH];
    LONG result = installed_processor_path(dllPath, installed_path);
    if (result) return result;

    char name[component_name_size];
    result = read_component_name(dllPath, processor_name_steps, name);
    if (result) return result;
    if (processorName) lstrcpyA(processorName, name);

    LONG present = 0;
    result = insIsPrtProcPresent(name, &present);
    if (result) return result;
    if (present) return replace_processor_file(dllPath, installed_path);

    result = install_component_file(dllPath, installed_path);
    if (result) return result;
    LPCSTR file_name = file_name_of(dllPath);
    if (!AddPrintProcessorA(nullptr, const_cast<LPSTR>(print_environment()), const_cast<LPSTR>(file_name), name))
        return fatal(record_last_error(IDS_ADDPRINTPROCESSOR, file_name, 0, 0));
    return INS_OK;
}

// Removes the print processor after the printers that print through it (a printer being
// deleted already is left to the spooler). 0 removed, or not installed; its file stays.
LONG WINAPI insDelPrintProc(LPCSTR processorName) {
    if (error_flag) return INS_ERROR_FLAG_SET;
    if (!processorName) return ERROR_INVALID_PARAMETER;
    LONG present = 0;
    LONG result = insIsPrtProcPresent(processorName, &present);
    if (result || !present) return result;

    LONG count = 0;
    PRINTER_INFO_2A* printers = enumerate_printers(&count, &result);
    if (!printers && result) return result;
    for (LONG i = 0; i < count && !result; ++i) {
        const PRINTER_INFO_2A& printer = printers[i];
        // The spooler keeps processor names as they were registered: only the exact name
        // is this processor's.
        if (printer.pPrintProcessor && lstrcmpA(printer.pPrintProcessor, processorName) == 0 &&
            !(printer.Status & PRINTER_STATUS_PENDING_DELETION))
            result = insDelPrinter(printer.pPrinterName);
    }
    if (printers) LocalFree(printers);
    if (result) return result;

    if (!DeletePrintProcessorA(nullptr, nullptr, const_cast<LPSTR>(processorName)))
        return record_last_error(IDS_DELETEPRINTPROCESSOR, processorName, 0, 0);
    return INS_OK;
}
