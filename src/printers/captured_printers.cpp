#include "captured_printers.h"

#include "frame/memory.h"

CapturedPrinters::~CapturedPrinters() {
    for (LONG i = 0; i < count_; ++i) free_printer_context(contexts_[i]);
    heap_free(contexts_);
}

bool CapturedPrinters::reserve(LONG count) {
    contexts_ = static_cast<PrinterContext**>(heap_alloc(sizeof(PrinterContext*) * static_cast<SIZE_T>(count ? count : 1)));
    return contexts_ != nullptr;
}

LONG recreate_printer(PrinterContext* context) {
    return twice([context] {
        LONG present = 0;
        LONG result = insIsPrinterPresent(context->info->pPrinterName, &present);
        if (result) return result;
        return present ? update_printer_from_context(context) : add_printer_from_context(context);
    });
}

LONG remember_default_printer(LPSTR entry) {
    const LONG read = insGetDefaultPrinter(entry, default_entry_size);
    if (read == INS_NO_SUCH_PRINTER) {
        entry[0] = '\0';
        return INS_OK;
    }
    return read;
}

LONG restore_default_printer(LPCSTR entry) {
    if (!entry[0]) return INS_OK;
    // A printer just made again is not yet in the spooler's lists at once.
    Sleep(2000);
    return twice([entry] { return insSetDefaultPrinter(entry); });
}
