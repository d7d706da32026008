// The "Devices" and "PrinterPorts" entries of WIN.INI, by which programs written for
// the 16-bit world find the printers. 95/98 name the printer's driver module and port;
// NT routes every printer through winspool and gives each a port of its own, NeNN:.
#include "kernel/profiles.h"
#include "spooler/spooler_internal.h"

#include <cstdio>
#include <set>

namespace winsim::detail {

namespace {

constexpr std::string_view devices = "Devices";
constexpr std::string_view printer_ports = "PrinterPorts";
constexpr std::string_view windows = "Windows";
constexpr std::string_view device_key = "Device";
// The timeouts a new entry gets, in seconds: device not selected, transmission retry.
constexpr std::string_view timeouts = ",15,45";

// The lowest NeNN: no other printer's entry uses (unconfirmed: NT's numbering is taken
// to fill gaps first).
std::string free_network_port(const MachineState& machine, const std::string& printer) {
    std::set<unsigned> used;
    for (const auto& [other, value] : win_ini_entries(machine, devices)) {
        if (same_name(other, printer)) continue;
        unsigned number = 0;
        if (std::sscanf(value.c_str(), "winspool,Ne%u:", &number) == 1) used.insert(number);
    }
    unsigned number = 0;
    while (used.count(number)) ++number;
    char port[16];
    std::snprintf(port, sizeof port, "Ne%02u:", number);
    return port;
}

// 95/98 name the driver by its module, the file name without extension; a driver
// whose file is not known is named as it is.
std::string driver_module(const MachineState& machine, const std::string& driver) {
    std::string file = read_string(machine, drivers_key(machine) + "\\" + driver, print_registry::driver_file);
    if (file.empty()) return driver;
    return file.substr(0, file.rfind('.'));
}

}  // namespace

void publish_printer_entries(MachineState& machine, const std::string& printer, const std::string& driver,
                             const std::string& port) {
    const std::string device =
        is_nt(machine) ? "winspool," + free_network_port(machine, printer) : driver_module(machine, driver) + "," + port;
    write_win_ini(machine, devices, printer, device);
    write_win_ini(machine, printer_ports, printer, device + std::string(timeouts));
}

void republish_printer_entries(MachineState& machine, const std::string& printer, const std::string& driver,
                               const std::string& port) {
    if (!is_nt(machine)) publish_printer_entries(machine, printer, driver, port);
}

// Wine takes the default printer's entry out with the printer (platform-facts.md);
// Windows is taken to do the same on every version (unconfirmed).
void withdraw_printer_entries(MachineState& machine, const std::string& printer) {
    write_win_ini(machine, devices, printer, std::nullopt);
    write_win_ini(machine, printer_ports, printer, std::nullopt);
    std::optional<std::string> device = win_ini_value(machine, windows, device_key);
    if (device && same_name(device->substr(0, device->find(',')), printer))
        write_win_ini(machine, windows, device_key, std::nullopt);
}

}  // namespace winsim::detail
