// The printer's default DEVMODE: made by its driver at the first device context, then
// given the intensity byte (95/98) and the caller's paper, orientation and resolution.
#include "printer_context.h"
#include "printer_record.h"

#include "frame/catalogue.h"
#include "frame/error_state.h"
#include "frame/platform_flags.h"

#include <cstddef>
#include <iterator>

namespace {

struct ResolutionPair {
    short print_quality;
    short y_resolution;
};

// Selections 1 to 6.
constexpr ResolutionPair resolution_pairs[] = {{204, 98}, {204, 196}, {200, 100}, {200, 200}, {300, 300}, {400, 400}};
constexpr LONG unchanged = -1;

// Opens the printer and reads its record, each failure recorded with the printer's name.
LONG open_printer_record(LPCSTR printer_name, PrinterHandle& printer, HeapBlock<PRINTER_INFO_2A>& record) {
    if (LONG code = open_printer_for_all_access(printer_name, IDS_OPENPRINTER, printer)) return code;
    return read_printer_record(printer.get(), printer_name, record);
}

LONG store_record(HANDLE printer, LPCSTR printer_name, PRINTER_INFO_2A* record) {
    if (SetPrinterA(printer, 2, reinterpret_cast<LPBYTE>(record), 0)) return 0;
    return record_last_error(IDS_SETTING_INTENSITY_IN_PRIVATE_DEVMODE, printer_name, 0, 0);
}

}  // namespace

LONG prime_printer_devmode(LPCSTR printer_name, LONG intensity) {
    HDC context = CreateDCA(os_is_9x ? nullptr : "WINSPOOL", printer_name, nullptr, nullptr);
    if (!context) {
        // The warning's own work must not change the code the entry reports.
        const DWORD code = GetLastError();
        record_warning(IDS_UNABLE_TO_GET_INITIAL_DC_FOR);
        record_error(code, IDS_UNABLE_TO_GET_INITIAL_DC_FOR, printer_name, 0, 0);
        return INS_NO_DEVICE_CONTEXT;
    }
    DeleteDC(context);
    if (!os_is_9x) return 0;
    PrinterHandle printer;
    HeapBlock<PRINTER_INFO_2A> record;
    if (LONG code = open_printer_record(printer_name, printer, record)) return code;
    // Another maker's DEVMODE has no room for the byte: it is left as its driver made it.
    BYTE* stored = intensity_byte(record->pDevMode);
    if (!stored) return 0;
    *stored = static_cast<BYTE>(intensity & 0xFF);
    return store_record(printer.get(), printer_name, record.get());
}

LONG set_devmode_defaults(LPCSTR printer_name, LONG resolution, LONG paper_size, LONG orientation) {
    PrinterHandle printer;
    HeapBlock<PRINTER_INFO_2A> record;
    if (LONG code = open_printer_record(printer_name, printer, record)) return code;
    DEVMODEA* devmode = record->pDevMode;
    if (!devmode) {
        record_warning(IDS_WARNING_ONLY_UNABLE_TO_RETRIEVE_DEFAULT);
        return 0;
    }
    if (paper_size != unchanged) {
        devmode->dmPaperSize = static_cast<short>(paper_size);
        devmode->dmFields |= DM_PAPERSIZE;
    }
    if (orientation != unchanged) {
        devmode->dmOrientation = orientation == 0 ? DMORIENT_PORTRAIT : DMORIENT_LANDSCAPE;
        devmode->dmFields |= DM_ORIENTATION;
    }
    if (resolution != 0) {
        // A selection beyond the pairs still marks the DEVMODE's resolution as set.
        if (resolution >= 1 && resolution <= static_cast<LONG>(std::size(resolution_pairs))) {
            devmode->dmPrintQuality = resolution_pairs[resolution - 1].print_quality;
            devmode->dmYResolution = resolution_pairs[resolution - 1].y_resolution;
        }
        devmode->dmFields |= DM_PRINTQUALITY | DM_YRESOLUTION;
    }
    return store_record(printer.get(), printer_name, record.get());
}

LONG carry_devmode_choices(LPCSTR printer_name, const DEVMODEA* chosen) {
    // The choices lie before the form name in every DEVMODE since Windows 3.1's.
    constexpr WORD choices_end = offsetof(DEVMODEA, dmFormName);
    if (!chosen || chosen->dmSize < choices_end) return 0;
    PrinterHandle printer;
    HeapBlock<PRINTER_INFO_2A> record;
    if (LONG code = open_printer_record(printer_name, printer, record)) return code;
    DEVMODEA* devmode = record->pDevMode;
    if (!devmode || devmode->dmSize < choices_end) return 0;
    const DWORD fields = chosen->dmFields;
    if (fields & DM_ORIENTATION) devmode->dmOrientation = chosen->dmOrientation;
    if (fields & DM_PAPERSIZE) devmode->dmPaperSize = chosen->dmPaperSize;
    if (fields & DM_PAPERLENGTH) devmode->dmPaperLength = chosen->dmPaperLength;
    if (fields & DM_PAPERWIDTH) devmode->dmPaperWidth = chosen->dmPaperWidth;
    if (fields & DM_SCALE) devmode->dmScale = chosen->dmScale;
    if (fields & DM_COPIES) devmode->dmCopies = chosen->dmCopies;
    if (fields & DM_DEFAULTSOURCE) devmode->dmDefaultSource = chosen->dmDefaultSource;
    if (fields & DM_PRINTQUALITY) devmode->dmPrintQuality = chosen->dmPrintQuality;
    if (fields & DM_COLOR) devmode->dmColor = chosen->dmColor;
    if (fields & DM_DUPLEX) devmode->dmDuplex = chosen->dmDuplex;
    if (fields & DM_YRESOLUTION) devmode->dmYResolution = chosen->dmYResolution;
    if (fields & DM_TTOPTION) devmode->dmTTOption = chosen->dmTTOption;
    if (fields & DM_COLLATE) devmode->dmCollate = chosen->dmCollate;
    constexpr DWORD carried = DM_ORIENTATION | DM_PAPERSIZE | DM_PAPERLENGTH | DM_PAPERWIDTH | DM_SCALE | DM_COPIES |
                              DM_DEFAULTSOURCE | DM_PRINTQUALITY | DM_COLOR | DM_DUPLEX | DM_YRESOLUTION | DM_TTOPTION |
                              DM_COLLATE;
    devmode->dmFields |= fields & carried;
    return store_record(printer.get(), printer_name, record.get());
}
