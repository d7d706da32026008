// A new printer made as a copy of an existing one, on another port.
#include "printer_context.h"
#include "settings_catalogue.h"

#include "orvinstl.h"

// Copies the printer with its driver, processor, DEVMODE and driver settings to a new
// printer of the new name on the port; the copy is never shared, offline or
// bidirectional. 0 made; -10 no such printer; -14 the new name is taken; else the code
// of the failing step.
LONG WINAPI insReplicatePrinter(LPCSTR existingPrinter, LPCSTR newPrinter, LPCSTR portName) {
    if (!existingPrinter || !newPrinter || !portName) return ERROR_INVALID_PARAMETER;
    LONG present = 0;
    LONG result = insIsPrinterPresent(existingPrinter, &present);
    if (result) return result;
    if (!present) return INS_NO_SUCH_PRINTER;
    if ((result = insIsPrinterPresent(newPrinter, &present)) != 0) return result;
    if (present) return INS_TARGET_PRINTER_EXISTS;
    PrinterContext* context = open_printer_context(existingPrinter, &result);
    if (!context) return result;
    PRINTER_INFO_2A& info = *context->info;
    info.pPrinterName = const_cast<LPSTR>(newPrinter);
    info.pPortName = const_cast<LPSTR>(portName);
    info.pShareName = nullptr;
    info.Attributes &= ~static_cast<DWORD>(PRINTER_ATTRIBUTE_SHARED | PRINTER_ATTRIBUTE_WORK_OFFLINE | PRINTER_ATTRIBUTE_ENABLE_BIDI);
    // The settings go to the new printer's key; the existing printer's stay as they are.
    char path[printer_key_path_size];
    result = printer_settings_path(newPrinter, path);
    if (!result) result = cache_move_key(context->settings, path);
    if (!result) result = add_printer_from_context(context);
    free_printer_context(context);
    return result;
}
