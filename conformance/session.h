// What a scenario works with: the exports of the OrvInstl.dll it loaded, found by
// name as a setup program finds them, and the lines it prints.
#pragma once

#include "observation.h"

#include "orvinstl.h"

#include <cstdio>
#include <string>
#include <string_view>

namespace conformance {

// Out values start as this, so that one the library leaves alone shows as such.
inline constexpr LONG untouched = -7;

struct Exports {
    decltype(&::InstallAllowed) install_allowed = nullptr;
    decltype(&::ExeFileBitness) exe_file_bitness = nullptr;
    decltype(&::ErrorTextLen) error_text_len = nullptr;
    decltype(&::RetrieveErrorText) retrieve_error_text = nullptr;
    decltype(&::ClearErrorFlag) clear_error_flag = nullptr;
    decltype(&::RebootRequired) reboot_required = nullptr;
    decltype(&::insFetchRegistryVal) fetch_registry_val = nullptr;
    decltype(&::insSetRegistryVal) set_registry_val = nullptr;
    decltype(&::insFetchPrinterVal) fetch_printer_val = nullptr;
    decltype(&::insSetPrinterVal) set_printer_val = nullptr;
    decltype(&::insAddPrinter) add_printer = nullptr;
    decltype(&::insAddPrinterEx) add_printer_ex = nullptr;
    decltype(&::insSafeFileCopy) safe_file_copy = nullptr;
    decltype(&::insFileDelete) file_delete = nullptr;
    decltype(&::insIsMonitorPresent) is_monitor_present = nullptr;
    decltype(&::insDeleteMonitor) delete_monitor = nullptr;
    decltype(&::insAddMonitor) add_monitor = nullptr;
    decltype(&::insIsPortPresent) is_port_present = nullptr;
    decltype(&::insAddPort) add_port = nullptr;
    decltype(&::insDeletePort) delete_port = nullptr;
    decltype(&::insMovePort) move_port = nullptr;
    decltype(&::insIsPrtProcPresent) is_prt_proc_present = nullptr;
    decltype(&::insAddPrintProc) add_print_proc = nullptr;
    decltype(&::insDelPrintProc) del_print_proc = nullptr;
    decltype(&::insIsPrintDriverPresentEx) is_print_driver_present_ex = nullptr;
    decltype(&::insAddPrintDriverEx) add_print_driver_ex = nullptr;
    decltype(&::insDelPrintDriver) del_print_driver = nullptr;
    decltype(&::insGetFirstPrinterName) get_first_printer_name = nullptr;
    decltype(&::insGetNextPrinterName) get_next_printer_name = nullptr;
    decltype(&::insFinishPrinterName) finish_printer_name = nullptr;
    decltype(&::insIsPrinterPresent) is_printer_present = nullptr;
    decltype(&::insDelPrinter) del_printer = nullptr;
    decltype(&::insNukePrinter) nuke_printer = nullptr;
    decltype(&::insReplicatePrinter) replicate_printer = nullptr;
    decltype(&::insGetDefaultPrinter) get_default_printer = nullptr;
    decltype(&::insSetDefaultPrinter) set_default_printer = nullptr;
    decltype(&::insAddDaemonProcess) add_daemon_process = nullptr;
    decltype(&::insDeleteDaemonProcess) delete_daemon_process = nullptr;
    decltype(&::insAddDaemonService) add_daemon_service = nullptr;
    decltype(&::insDeleteDaemonService) delete_daemon_service = nullptr;
    decltype(&::insPrintTestPage) print_test_page = nullptr;
};

// Every export the library has of these; the others stay null.
Exports find_exports(HMODULE library);

class Session {
public:
    Session(const char* scenario, const Exports& exports, std::FILE* out) : x(exports), scenario_(scenario), out_(out) {}

    const Exports x;

    void report(std::string_view step, const Facts& facts);
    // The error text as a setup program reads it after a call; reading it empties it.
    std::string take_error_text();
    // A call's result, the facts that go with it, and the error text it left. Make the
    // call before the facts that look at its effects: the order in which a function's
    // arguments are worked out is the compiler's.
    void result(std::string_view step, LONG result, const Facts& facts = {});

private:
    const char* scenario_;
    std::FILE* out_;
};

}  // namespace conformance
