// Creating a printer of the product's driver, or reconfiguring one that exists, in one
// call: the spooler's record, the driver's settings, the default DEVMODE, the news to
// running programs and the dialog program's companions.
#include "printer_context.h"
#include "settings_catalogue.h"

#include "frame/catalogue.h"
#include "frame/error_state.h"
#include "frame/platform_flags.h"
#include "spooler/monitors.h"

#include <iterator>

namespace {

// Spool modes 1 to 3; each replaces every other attribute the printer had.
constexpr DWORD spool_mode_attributes[] = {
    PRINTER_ATTRIBUTE_LOCAL,
    PRINTER_ATTRIBUTE_LOCAL | PRINTER_ATTRIBUTE_QUEUED,
    PRINTER_ATTRIBUTE_LOCAL | PRINTER_ATTRIBUTE_DIRECT,
};

constexpr UINT broadcast_timeout_ms = 1000;

// The definition's record fields and the driver's settings of the platform: 0, or
// INS_SELECTION_REJECTED with the rejection's warning recorded.
LONG configure_printer(const INS_PRINTER_DEFINITION& definition, PrinterContext* context) {
    PRINTER_INFO_2A& record = *context->info;
    if (definition.pDatatype) record.pDatatype = const_cast<LPSTR>(definition.pDatatype);
    const LONG spool_mode = static_cast<LONG>(definition.nSpoolMode);
    if (spool_mode < 0 || spool_mode > static_cast<LONG>(std::size(spool_mode_attributes))) {
        record_warning(IDS_INVALID_SPOOL_MODE);
        return INS_SELECTION_REJECTED;
    }
    if (spool_mode > 0) record.Attributes = spool_mode_attributes[spool_mode - 1];
    record.pPortName = const_cast<LPSTR>(definition.pPortName);
    record.pDriverName = const_cast<LPSTR>(definition.pDriverName);
    if (definition.pPrintProcessor && *definition.pPrintProcessor)
        record.pPrintProcessor = const_cast<LPSTR>(definition.pPrintProcessor);
    // 95/98's driver reads its settings from ini files; its key keeps what it has.
    if (os_is_9x) return write_9x_driver_settings(definition, context);
    return apply_selection_rules(definition, context->settings);
}

// Tells every top-level window that the printer list changed; nobody's answer matters.
void broadcast_printer_change() {
    DWORD_PTR answer = 0;
    static const char devices_section[] = "devices";
    SendMessageTimeoutA(reinterpret_cast<HWND>(static_cast<LONG_PTR>(-1)), WM_WININICHANGE, 0,
                        reinterpret_cast<LPARAM>(devices_section), SMTO_BLOCK, broadcast_timeout_ms, &answer);
}

}  // namespace

// insAddPrinterEx without the dialog program's companions.
LONG WINAPI insAddPrinter(const INS_PRINTER_DEFINITION* definition) { return insAddPrinterEx(definition, nullptr); }

// Creates the printer the definition describes, or reconfigures the one of that name:
// 0, -1 while error_flag is set, 87 for a null definition or printer name, -6 for a
// version other than 1 to 4 (nothing recorded), 123 for a name too long for its
// settings key, -7 for a rejected selection (nothing changed but, on 95/98, the ini
// files), -15 without a device context, -17 when the companions were not copied
// (the printer stays), else the recorded code of the failed step.
LONG WINAPI insAddPrinterEx(const INS_PRINTER_DEFINITION* definition, LPCSTR sourcePath) {
    if (error_flag) return INS_ERROR_FLAG_SET;
    if (!definition) return ERROR_INVALID_PARAMETER;
    INS_PRINTER_DEFINITION full;
    if (!read_printer_definition(definition, &full)) return INS_BAD_DEFINITION_VERSION;
    if (!full.pPrinterName) return ERROR_INVALID_PARAMETER;
    // A name that does not fit its settings key is refused before anything is looked at.
    char path[printer_key_path_size];
    LONG result = printer_settings_path(full.pPrinterName, path);
    if (result) return result;

    LONG present = 0;
    result = insIsPrinterPresent(full.pPrinterName, &present);
    if (result) return result;
    PrinterContext* context =
        present ? open_printer_context(full.pPrinterName, &result) : new_printer_context(full, &result);
    if (!context) return result;
    result = configure_printer(full, context);
    if (result) {
        free_printer_context(context);
        return result;
    }
    result = present ? update_printer_from_context(context) : add_printer_from_context(context);
    broadcast_printer_change();
    if (result == 0)
        result = set_devmode_defaults(full.pPrinterName, static_cast<LONG>(full.nResolution),
                                      static_cast<LONG>(full.nPaperSize), static_cast<LONG>(full.nOrientation));
    free_printer_context(context);

    const bool dialog_given = full.pFaxDialogLoc && *full.pFaxDialogLoc;
    if (sourcePath && dialog_given && !copy_dialog_companions(sourcePath, full.pFaxDialogLoc)) {
        record_warning(IDS_COMPANIONS_NOT_COPIED);
        return INS_COMPANIONS_NOT_COPIED;
    }
    return result;
}
