#include "enumeration.h"

#include "orvinstl.h"
#include "spooler/two_call_list.h"

#include "frame/memory.h"

struct INS_PRINTER_CURSOR {
    LONG count;
    LONG next;
    PRINTER_INFO_2A* printers;
};

namespace {

// Copies a name into the caller's buffer, cut to fit; a buffer of no characters gets nothing.
void hand_out(LPSTR buffer, LONG size, LPCSTR name) {
    if (!buffer || size <= 0) return;
    lstrcpynA(buffer, name ? name : "", size);
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
    auto* cursor = static_cast<INS_PRINTER_CURSOR*>(heap_alloc(sizeof(INS_PRINTER_CURSOR)));
    if (!cursor) {
        LONG code = record_last_error(IDS_MEMORY_ALLOCATION, nullptr, 0, 0);
        if (result) *result = code;
        return nullptr;
    }
    LONG error = 0;
    cursor->printers = enumerate_printers(&cursor->count, &error);
    if (result) *result = error;
    cursor->next = cursor->count > 0 ? 1 : 0;
    hand_out(buffer, bufferSize, cursor->count > 0 ? cursor->printers[0].pPrinterName : "");
    return cursor;
}

// The next name, or an empty one after the last. Always 0.
LONG WINAPI insGetNextPrinterName(INS_PRINTER_CURSOR_HANDLE cursor, LPSTR buffer, LONG bufferSize) {
    if (!cursor || cursor->next >= cursor->count) {
        hand_out(buffer, bufferSize, "");
        return 0;
    }
    hand_out(buffer, bufferSize, cursor->printers[cursor->next++].pPrinterName);
    return 0;
}

// Ends the walk and frees the cursor with its list. Always 0.
LONG WINAPI insFinishPrinterName(INS_PRINTER_CURSOR_HANDLE cursor) {
    if (!cursor) return 0;
    if (cursor->printers) LocalFree(cursor->printers);
    heap_free(cursor);
    return 0;
}

// Whether a local printer bears the name (without regard to case): 0 with `present`
// set, -1 while error_flag is set, or the enumeration's error.
LONG WINAPI insIsPrinterPresent(LPCSTR printerName, LPLONG present) {
    return find_listed_name(printerName, present, enumerate_printers, &PRINTER_INFO_2A::pPrinterName);
}
