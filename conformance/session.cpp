#include "session.h"

namespace conformance {

namespace {

template <typename F>
void find_export(HMODULE library, const char* name, F& function) {
    function = reinterpret_cast<F>(reinterpret_cast<void (*)()>(GetProcAddress(library, name)));
}

}  // namespace

Exports find_exports(HMODULE library) {
    Exports x;
    find_export(library, "InstallAllowed", x.install_allowed);
    find_export(library, "ExeFileBitness", x.exe_file_bitness);
    find_export(library, "ErrorTextLen", x.error_text_len);
    find_export(library, "RetrieveErrorText", x.retrieve_error_text);
    find_export(library, "ClearErrorFlag", x.clear_error_flag);
    find_export(library, "RebootRequired", x.reboot_required);
    find_export(library, "insFetchRegistryVal", x.fetch_registry_val);
    find_export(library, "insSetRegistryVal", x.set_registry_val);
    find_export(library, "insFetchPrinterVal", x.fetch_printer_val);
    find_export(library, "insSetPrinterVal", x.set_printer_val);
    find_export(library, "insAddPrinter", x.add_printer);
    find_export(library, "insAddPrinterEx", x.add_printer_ex);
    find_export(library, "insSafeFileCopy", x.safe_file_copy);
    find_export(library, "insFileDelete", x.file_delete);
    find_export(library, "insIsMonitorPresent", x.is_monitor_present);
    find_export(library, "insDeleteMonitor", x.delete_monitor);
    find_export(library, "insAddMonitor", x.add_monitor);
    find_export(library, "insIsPortPresent", x.is_port_present);
    find_export(library, "insAddPort", x.add_port);
    find_export(library, "insDeletePort", x.delete_port);
    find_export(library, "insMovePort", x.move_port);
    find_export(library, "insIsPrtProcPresent", x.is_prt_proc_present);
    find_export(library, "insAddPrintProc", x.add_print_proc);
    find_export(library, "insDelPrintProc", x.del_print_proc);
    find_export(library, "insIsPrintDriverPresentEx", x.is_print_driver_present_ex);
    find_export(library, "insAddPrintDriverEx", x.add_print_driver_ex);
    find_export(library, "insDelPrintDriver", x.del_print_driver);
    find_export(library, "insGetFirstPrinterName", x.get_first_printer_name);
    find_export(library, "insGetNextPrinterName", x.get_next_printer_name);
    find_export(library, "insFinishPrinterName", x.finish_printer_name);
    find_export(library, "insIsPrinterPresent", x.is_printer_present);
    find_export(library, "insDelPrinter", x.del_printer);
    find_export(library, "insNukePrinter", x.nuke_printer);
    find_export(library, "insReplicatePrinter", x.replicate_printer);
    find_export(library, "insGetDefaultPrinter", x.get_default_printer);
    find_export(library, "insSetDefaultPrinter", x.set_default_printer);
    find_export(library, "insAddDaemonProcess", x.add_daemon_process);
    find_export(library, "insDeleteDaemonProcess", x.delete_daemon_process);
    find_export(library, "insAddDaemonService", x.add_daemon_service);
    find_export(library, "insDeleteDaemonService", x.delete_daemon_service);
    find_export(library, "insPrintTestPage", x.print_test_page);
    return x;
}

void Session::report(std::string_view step, const Facts& facts) {
    std::string text = line(scenario_, step, facts);
    std::fputs(text.c_str(), out_);
}

std::string Session::take_error_text() {
    LONG size = x.error_text_len();
    if (size <= 0) return {};
    std::string buffer(static_cast<std::size_t>(size), '\0');
    x.retrieve_error_text(buffer.data());
    return buffer.substr(0, buffer.find('\0'));
}

void Session::result(std::string_view step, LONG result, const Facts& facts) {
    Facts all;
    all.number("result", result).append(facts).text("error_text", take_error_text());
    report(step, all);
}

}  // namespace conformance
