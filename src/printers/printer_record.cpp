#include "printer_record.h"

#include "frame/catalogue.h"
#include "frame/error_state.h"

LONG open_printer_for_all_access(LPCSTR printer_name, UINT message_id, PrinterHandle& printer) {
    PRINTER_DEFAULTSA defaults{nullptr, nullptr, PRINTER_ALL_ACCESS};
    if (OpenPrinterA(const_cast<LPSTR>(printer_name), printer.put(), &defaults)) return 0;
    return record_last_error(message_id, printer_name, 0, 0);
}

LONG read_printer_record(HANDLE printer, LPCSTR value_name, HeapBlock<PRINTER_INFO_2A>& record) {
    DWORD needed = 0;
    GetPrinterA(printer, 2, nullptr, 0, &needed);
    LONG code = record_last_error(IDS_GETPRINTERDATA_2, value_name, ERROR_INSUFFICIENT_BUFFER, 0);
    if (code != ERROR_INSUFFICIENT_BUFFER) return code;
    record.reset(static_cast<PRINTER_INFO_2A*>(heap_alloc(needed)));
    if (!record.get()) return record_last_error(IDS_MEMORY_ALLOCATION, nullptr, 0, 0);
    if (!GetPrinterA(printer, 2, reinterpret_cast<LPBYTE>(record.get()), needed, &needed)) {
        record.reset(nullptr);
        return record_last_error(IDS_GETPRINTERDATA_2, value_name, 0, 0);
    }
    return 0;
}

BYTE* intensity_byte(DEVMODEA* devmode) {
    if (!devmode) return nullptr;
    if (static_cast<DWORD>(devmode->dmSize) + devmode->dmDriverExtra <= intensity_byte_offset) return nullptr;
    return reinterpret_cast<BYTE*>(devmode) + intensity_byte_offset;
}
