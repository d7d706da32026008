#include "enumeration.h"
#include "cursor_table.h"

#include "orvinstl.h"
#include "spooler/two_call_list.h"

#include "frame/memory.h"

namespace {

// Copies a name into the caller's buffer, cut to fit; a buffer of no characters gets nothing.
void hand_out(LPSTR buffer, LONG size, LPCSTR name) {
    if (!buffer || size <= 0) return;
    lstrcpynA(buffer, name ? name : "", size);
}

void free_walk(PrinterWalk* walk) {
    if (walk->printers) LocalFree(walk->printers);
    heap_free(walk);
}

}  // namespace

PRINTER_INFO_2A* enumerate_printers(LONG* count, LONG* error) {
    auto call = [](LPBYTE buffer, DWORD size, LPDWORD needed, LPDWORD returned) {
        return EnumPrintersA(PRINTER_ENUM_LOCAL, nullptr, 2, buffer, size, needed, returned);
    };
    return reinterpret_cast<PRINTER_INFO_2A*>(
        read_two_call_list(call, IDS_ENUMERATING_PRINTERS_1, IDS_ENUMERATING_PRINTERS_2, count, error));
}

// Starts a walk over the printers' names: the first one (or an empty one) in the buffer,
// the cursor to pass on, and in `result` 0 or the error of the enumeration. The list is
// taken once, here. Null only when the cursor itself cannot be had (or the buffer is null).
INS_PRINTER_CURSOR_HANDLE WINAPI insGetFirstPrinterName(LPSTR buffer, LONG bufferSize, LPLONG result) {
    if (result) *result = 0;
    if (!buffer) {
        if (result) *result = ERROR_INVALID_PARAMETER;
        return nullptr;
    }
    auto* walk = static_cast<PrinterWalk*>(heap_alloc(sizeof(PrinterWalk)));
    if (!walk) {
        LONG code = record_last_error(IDS_MEMORY_ALLOCATION, nullptr, 0, 0);
        if (result) *result = code;
        return nullptr;
    }
    LONG error = 0;
    walk->printers = enumerate_printers(&walk->count, &error);
    walk->next = walk->count > 0 ? 1 : 0;
    INS_PRINTER_CURSOR_HANDLE cursor = open_cursor(walk);
    if (!cursor) {
        // A caller that never finishes its walks has taken every cursor there is.
        free_walk(walk);
        if (result) *result = ERROR_NO_MORE_SEARCH_HANDLES;
        hand_out(buffer, bufferSize, "");
        return nullptr;
    }
    if (result) *result = error;
    hand_out(buffer, bufferSize, walk->count > 0 ? walk->printers[0].pPrinterName : "");
    return cursor;
}

// The next name, or an empty one after the last and for a cursor that is not open.
// Always 0.
LONG WINAPI insGetNextPrinterName(INS_PRINTER_CURSOR_HANDLE cursor, LPSTR buffer, LONG bufferSize) {
    PrinterWalk* walk = find_cursor(cursor);
    if (!walk || walk->next >= walk->count) {
        hand_out(buffer, bufferSize, "");
        return 0;
    }
    hand_out(buffer, bufferSize, walk->printers[walk->next++].pPrinterName);
    return 0;
}

// Ends the walk and frees its list; a cursor that is not open is let be. Always 0.
LONG WINAPI insFinishPrinterName(INS_PRINTER_CURSOR_HANDLE cursor) {
    if (PrinterWalk* walk = close_cursor(cursor)) free_walk(walk);
    return 0;
}

// Whether a local printer bears the name (without regard to case): 0 with `present`
// set, -1 while error_flag is set, or the enumeration's error.
LONG WINAPI insIsPrinterPresent(LPCSTR printerName, LPLONG present) {
    return find_listed_name(printerName, present, enumerate_printers, &PRINTER_INFO_2A::pPrinterName);
}
