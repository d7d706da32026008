// A machine with the product's drivers laid out as their installation leaves them (their
// files in the driver directory, so that a printer's driver loads), one driver of
// another maker, and printer definitions that leave every setting as it is.
#pragma once

#include "support/library.h"
#include "winsim/gdi/printer_layout.h"

#include <winsim/spooler/print_registry.h>

#include <algorithm>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

namespace testing_support {

inline constexpr const char* product_driver = "Orvana Print Driver";
inline constexpr const char* docket_driver = "Orvana Docket Driver";
inline constexpr const char* other_driver = "Office Laser 5";

// The definition of a plain printer "Fax" on LPT1: whose fields all leave their
// settings unchanged, in the layout of the newest version.
inline INS_PRINTER_DEFINITION unchanged_definition(DWORD version = 4, LONG kind = 0) {
    INS_PRINTER_DEFINITION d = INS_PRINTER_DEFINITION_UNCHANGED;
    d.dwVersion = version;
    d.dwKind = kind;
    d.pPrinterName = "Fax";
    d.pPortName = "LPT1:";
    d.pDriverName = kind == 1 ? docket_driver : product_driver;
    return d;
}

class ProductPrinters : public LibraryTest {
protected:
    void lay_out(winsim::Platform platform) {
        start(platform);
        machine->spooler().add_driver(product_driver, "ORVDRV.DLL");
        machine->spooler().add_driver(docket_driver, "ORVDRV.DLL");
        machine->spooler().add_driver(other_driver, "OFFLAS.DLL");
        machine->files().write_file(winsim_test::driver_directory() + "\\ORVDRV.DLL", "MZ");
        machine->files().write_file(winsim_test::driver_directory() + "\\OFFLAS.DLL", "MZ");
    }

    // Where the library keeps a printer's driver settings on this platform.
    std::string settings_key(const std::string& printer) const {
        const char* tree = machine->platform() == winsim::Platform::win2000
                               ? "HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Print\\Printers\\"
                               : "HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Control\\Print\\Printers\\";
        return tree + printer + "\\PrinterDriverData";
    }
    std::vector<std::string> setting_names(const std::string& printer = "Fax") const {
        const std::string key = settings_key(printer);
        return machine->registry().key_exists(key) ? machine->registry().values(key) : std::vector<std::string>{};
    }
    std::optional<winsim::RegistryValue> setting(const char* name, const std::string& printer = "Fax") const {
        return machine->registry().value(settings_key(printer), name);
    }

    // The printer's DEVMODE as a program reads it; empty when it has none.
    std::string devmode(const char* printer = "Fax") const {
        const std::vector<BYTE> record = winsim_test::printer_record(printer);
        if (record.empty() || !winsim_test::devmode_of(record)) return {};
        const DEVMODEA* mode = winsim_test::devmode_of(record);
        return std::string(reinterpret_cast<const char*>(mode), std::size_t{mode->dmSize} + mode->dmDriverExtra);
    }
    static DEVMODEA public_part(const std::string& devmode) {
        DEVMODEA mode{};
        std::memcpy(&mode, devmode.data(), std::min(devmode.size(), sizeof mode));
        return mode;
    }

    // No block or handle of the library's outlives the call.
    void expect_nothing_left() const {
        EXPECT_EQ(machine->live_heap_blocks(), 0u);
        EXPECT_EQ(machine->live_local_blocks(), 0u);
        EXPECT_EQ(machine->open_handles(), 0u);
    }
};

inline winsim::RegistryValue text_value(const char* text) { return {REG_SZ, std::string(text) + '\0'}; }
inline winsim::RegistryValue number_value(DWORD number) {
    return {REG_DWORD, std::string(reinterpret_cast<const char*>(&number), sizeof number)};
}

}  // namespace testing_support
