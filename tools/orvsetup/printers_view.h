// The printers of a machine as the setup author checks them after an installation:
// each printer's spooler entry, DEVMODE and driver settings, on 95/98 the settings files
// the product's 16-bit driver reads, and the default printer.
#pragma once

#include <winsim/machine.h>

#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace orvsetup {

struct DevmodeView {
    unsigned size = 0;          // dmSize
    unsigned driver_extra = 0;  // dmDriverExtra
    int paper_size = 0;
    int orientation = 0;
    int print_quality = 0;
    int y_resolution = 0;
    // The product driver's private intensity byte at offset 206, on 95/98 where the
    // DEVMODE reaches it.
    std::optional<int> intensity;
};

struct SettingView {
    std::string name;
    std::string type;                    // "REG_SZ", "REG_DWORD", ...
    std::optional<std::int32_t> number;  // a REG_DWORD, signed as the driver reads it
    std::string text;                    // a text without its terminator, other data in hex
};

struct PrivateIniView {
    std::string path;
    std::string text;  // the file whole, as it is on the drive
};

struct PrinterView {
    std::string name;
    std::string port;
    std::string driver;
    std::string print_processor;
    std::string datatype;
    std::uint32_t attributes = 0;
    std::uint32_t status = 0;
    std::optional<DevmodeView> devmode;
    std::string settings_key;
    std::vector<SettingView> settings;
    // 95/98 only: the printer's WIN.INI device section and the private ini file.
    std::optional<std::string> device_section;
    std::vector<std::pair<std::string, std::string>> device_entries;
    std::optional<PrivateIniView> private_ini;
};

struct PrintersView {
    std::vector<PrinterView> printers;
    // The "Device" entry of WIN.INI's [windows] section, as the platform keeps it.
    std::optional<std::string> default_printer;
};

PrintersView view_printers(winsim::Machine& machine);

// Aligned and readable, for a person.
void print_printers(std::FILE* out, const PrintersView& view);
// One JSON object a line: one a printer, then {"default_printer": ...}.
void print_printers_json(std::FILE* out, const PrintersView& view);

}  // namespace orvsetup
