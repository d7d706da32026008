// What the printer scenarios look at, through plain Win32: a printer's spooler record
// and DEVMODE, its driver settings in the registry, and its removal before and after a
// scenario, so that a printer left by an earlier run (Wine's prefix outlives the runs)
// cannot change what a run sees.
#pragma once

#include "session.h"

#include <cstddef>
#include <memory>
#include <string>
#include <vector>

namespace conformance {

// The offset of the private intensity byte in the product's driver's DEVMODE.
inline constexpr std::size_t intensity_offset = 206;

inline bool reaches_intensity(const DEVMODEA& mode) {
    return std::size_t{mode.dmSize} + mode.dmDriverExtra > intensity_offset;
}

struct PrinterHandle {
    HANDLE handle = nullptr;
    PrinterHandle() = default;
    PrinterHandle(const PrinterHandle&) = delete;
    PrinterHandle& operator=(const PrinterHandle&) = delete;
    ~PrinterHandle() {
        if (handle) ClosePrinter(handle);
    }
};

// Reads the printer's level 2 record into the block; the record's DEVMODE, or null when
// it has none or cannot be read (the block then stays empty).
DEVMODEA* read_record(HANDLE printer, std::unique_ptr<BYTE[]>& block);

enum Kind : LONG_PTR { plain = 0, docket = 1, prism = 2 };

// A version 3 definition that leaves every setting as it is (or at its default for a
// new printer): a printer of the product's driver of that kind, on LPT1: unless a port
// is given.
INS_PRINTER_DEFINITION unchanged_definition(const char* name, Kind kind, const char* port = "LPT1:");

// Deletes the printer with the spooler, its driver-settings key where the library
// keeps it apart from the spooler's own key (Windows 2000's SOFTWARE tree, which Wine's
// spooler does not know), and the WIN.INI device section 95/98 creation gives it.
void remove_printer(const char* name, const char* port = "LPT1:");

// The 95/98 driver's private ini file of a printer kind, in the Windows directory.
std::string driver_ini_path(const char* file);
inline constexpr char plain_ini[] = "orvlotus.ini";
inline constexpr char docket_ini[] = "orvfxb.ini";
// Removes both, which every 95/98 creation writes.
void remove_driver_ini_files();

// The WIN.INI section of a printer's 95/98 driver settings: "name,port" without the
// port's colon.
std::string device_section(const char* name, const char* port);

// Adds a printer of the product's driver on LPT1: (or the port given) with the spooler
// alone, as a machine that had it already; TRUE or FALSE with the last error in the facts.
Facts add_plain_printer(const char* name, const char* port = "LPT1:");

// The spooler's record (port, driver, processor, datatype, attributes) and whether the
// printer is there at all.
Facts printer_record(const char* name);

// The public DEVMODE settings the library sets (paper size, orientation, print quality,
// Y resolution, fields), and on 95/98 the private intensity byte; "devmode=none" when the
// printer has none.
Facts printer_devmode(const char* name);

// The printer's driver settings, one line each, sorted by name so that the order in
// which a registry enumerates them does not show, after a line with their count.
void report_settings(Session& s, const std::string& step, const char* name);

// The driver-settings key path of a printer as the library chooses it.
std::string settings_key(const char* name);

}  // namespace conformance
