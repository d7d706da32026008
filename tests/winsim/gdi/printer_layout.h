// A machine with one printer of the product's driver on LPT1: and one of another
// maker's driver on FILE:, the driver files in the spooler's driver directory.
#pragma once

#include <winsim/machine.h>

#include <memory>
#include <string>
#include <vector>

namespace winsim_test {

inline constexpr const char* product_printer = "Orvana Fax";
inline constexpr const char* other_printer = "Office Laser";

inline std::string driver_directory() {
    char directory[MAX_PATH] = {};
    DWORD needed = 0;
    GetPrinterDriverDirectoryA(nullptr, nullptr, 1, reinterpret_cast<LPBYTE>(directory), sizeof directory, &needed);
    return directory;
}

inline std::unique_ptr<winsim::Machine> machine_with_printers(winsim::Platform platform) {
    auto machine = winsim::Machine::create(platform);
    machine->spooler().add_driver("Orvana Print Driver", "ORVDRV.DLL");
    machine->spooler().add_driver("Office Laser 5", "OFFLAS.DLL");
    machine->spooler().add_printer(product_printer, "LPT1:", "Orvana Print Driver");
    machine->spooler().add_printer(other_printer, "FILE:", "Office Laser 5");
    machine->files().write_file(driver_directory() + "\\ORVDRV.DLL", "MZ");
    machine->files().write_file(driver_directory() + "\\OFFLAS.DLL", "MZ");
    return machine;
}

// The printer's level 2 record, fetched with the two calls a program makes.
inline std::vector<BYTE> printer_record(const char* name) {
    HANDLE printer = nullptr;
    std::vector<BYTE> buffer;
    if (!OpenPrinterA(const_cast<char*>(name), &printer, nullptr)) return buffer;
    DWORD needed = 0;
    GetPrinterA(printer, 2, nullptr, 0, &needed);
    buffer.resize(needed);
    if (!GetPrinterA(printer, 2, buffer.data(), needed, &needed)) buffer.clear();
    ClosePrinter(printer);
    return buffer;
}

inline const DEVMODEA* devmode_of(const std::vector<BYTE>& record) {
    return reinterpret_cast<const PRINTER_INFO_2A*>(record.data())->pDevMode;
}

// The public DEVMODE of each platform: (version, size).
inline std::pair<WORD, WORD> public_devmode(winsim::Platform platform) {
    switch (platform) {
    case winsim::Platform::nt351: return {0x0320, 124};  // unconfirmed
    case winsim::Platform::win2000: return {0x0401, 156};
    default: return {0x0400, 148};
    }
}

}  // namespace winsim_test
