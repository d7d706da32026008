#include "orvinstl.h"

#include "frame/catalogue.h"
#include "frame/error_state.h"
#include "printer_record.h"

// Deletes a local printer after discarding its jobs: 0 deleted or never there, -1 while
// error_flag is set, else the code of the step that failed (the printer then stays).
// The spooler may go on listing it, pending deletion, until its last handle closes.
LONG WINAPI insDelPrinter(LPCSTR printerName) {
    if (error_flag) return INS_ERROR_FLAG_SET;
    if (!printerName) return ERROR_INVALID_PARAMETER;
    LONG present = 0;
    LONG result = insIsPrinterPresent(printerName, &present);
    if (result || !present) return result;
    PRINTER_DEFAULTSA defaults{nullptr, nullptr, PRINTER_ALL_ACCESS};
    HANDLE printer = nullptr;
    if (!OpenPrinterA(const_cast<LPSTR>(printerName), &printer, &defaults))
        return record_last_error(IDS_OPENPRINTER, printerName, 0, 0);
    if (!SetPrinterA(printer, 0, nullptr, PRINTER_CONTROL_PURGE)) {
        result = record_last_error(IDS_PURGING_JOBS, printerName, 0, 0);
        close_printer(printer);
        return result;
    }
    result = DeletePrinter(printer) ? INS_OK : record_last_error(IDS_DELETING_PRINTER, printerName, 0, 0);
    close_printer(printer);
    return result;
}
