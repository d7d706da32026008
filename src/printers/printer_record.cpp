#include "printer_record.h"

#include "frame/catalogue.h"
#include "frame/error_state.h"

LONG open_printer_for_all_access(LPCSTR printer_name, UINT message_id, PrinterHandle& printer) {
    PRINTER_DEFAULTSA defaults{nullptr, nullptr, PRINTER_ALL_ACCESS};
    if (OpenPrinterA(const_cast<LPSTR>(printer_name), printer.put(), &defaults)) return 0;
    return record_last_error(message_id, printer_name, 0, 0);
}

LONG read_printer_record(HANDLE printer, LPCSTR value_name, HeapBlock<PRINTER_INFO_2A>& record) {
    auto read = [printer](LPBYTE buffer, DWORD size, LPDWORD needed) { return GetPrinterA(printer, 2, buffer, size, needed); };
    return read_sized_record(read, IDS_GETPRINTERDATA_2, IDS_GETPRINTERDATA_2, value_name, record);
}

BYTE* intensity_byte(DEVMODEA* devmode) {
    if (!devmode) return nullptr;
    if (static_cast<DWORD>(devmode->dmSize) + devmode->dmDriverExtra <= intensity_byte_offset) return nullptr;
    return reinterpret_cast<BYTE*>(devmode) + intensity_byte_offset;
}
