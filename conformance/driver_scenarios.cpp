// The product's driver as the spooler holds it, with no library call: a printer added
// without a DEVMODE, the DEVMODE its driver makes, and one a program hands back. What
// the library does with a printer's DEVMODE rests on these answers.
#include "printer_facts.h"
#include "scenarios.h"

#include <cstddef>
#include <memory>

namespace conformance {

namespace {

const char probe_printer[] = "OrvConformance Driver";

// The DEVMODE's layout: its version, sizes and the private byte the library uses.
Facts devmode_layout(const DEVMODEA* mode) {
    if (!mode) return Facts().word("devmode", "none");
    Facts facts;
    facts.hex("devmode_version", mode->dmSpecVersion).number("size", mode->dmSize).number("driver_extra", mode->dmDriverExtra);
    if (reaches_intensity(*mode))
        facts.number("intensity", reinterpret_cast<const BYTE*>(mode)[intensity_offset]);
    return facts.number("paper", mode->dmPaperSize).hex("fields", mode->dmFields);
}

void product_driver(Session& s) {
    remove_printer(probe_printer);
    s.report("printer added", add_plain_printer(probe_printer));

    PrinterHandle printer;
    PRINTER_DEFAULTSA defaults{nullptr, nullptr, PRINTER_ALL_ACCESS};
    OpenPrinterA(const_cast<char*>(probe_printer), &printer.handle, &defaults);
    std::unique_ptr<BYTE[]> block;
    s.report("its DEVMODE before a device context", devmode_layout(read_record(printer.handle, block)));

    SetLastError(0xDEADBEEF);
    HDC context = CreateDCA("WINSPOOL", probe_printer, nullptr, nullptr);
    Facts made = Facts().number("made", context ? 1 : 0);
    if (!context) made.number("error", GetLastError());
    s.report("a device context", made.number("deleted", context ? DeleteDC(context) : 0));
    DEVMODEA* mode = read_record(printer.handle, block);
    s.report("its DEVMODE after it", devmode_layout(mode));

    if (mode) {
        // A program's change of the public part and of the private byte, handed back whole.
        mode->dmPaperSize = DMPAPER_A4;
        mode->dmFields |= DM_PAPERSIZE;
        if (reaches_intensity(*mode))
            reinterpret_cast<BYTE*>(mode)[intensity_offset] = 200;
        SetLastError(0xDEADBEEF);
        BOOL set = SetPrinterA(printer.handle, 2, block.get(), 0);
        Facts facts = Facts().number("set", set);
        if (!set) facts.number("error", GetLastError());
        s.report("a changed DEVMODE set", facts);
        std::unique_ptr<BYTE[]> again;
        s.report("its DEVMODE then", devmode_layout(read_record(printer.handle, again)));
    }
    ClosePrinter(printer.handle);
    printer.handle = nullptr;
    remove_printer(probe_printer);
}

}  // namespace

std::vector<Scenario> driver_scenarios() {
    return {
        {"ProductDriver", {}, product_driver},
    };
}

}  // namespace conformance
