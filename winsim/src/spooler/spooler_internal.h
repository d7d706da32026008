// What the spooler's calls share: where things are in the registry for this
// platform, how a printer's handle looks, and the packing of answers into the
// caller's buffer.
#pragma once

#include "core/api.h"
#include "registry/machine_registry.h"

#include <winsim/spooler/print_registry.h>

#include <cstring>
#include <optional>
#include <string>
#include <vector>

namespace winsim::detail {

class Image;

std::string print_root(const MachineState& machine);
std::string native_environment(const MachineState& machine);
bool is_native_environment(const MachineState& machine, std::string_view environment);
std::string environment_key(const MachineState& machine);
std::string drivers_key(const MachineState& machine);
std::string processors_key(const MachineState& machine);
std::string monitors_key(const MachineState& machine);
std::string printers_key(const MachineState& machine);
// The monitor a port belongs to, by its key's spelling.
std::optional<std::string> monitor_of_port(const MachineState& machine, std::string_view port);
// The entries of a printer's port list: NT pools a printer's jobs over the ports its
// list names, separated by commas ("ORVFAX1:,ORVFAX2:").
std::vector<std::string_view> port_list(std::string_view list);
// The printers the spooler knows: the keys under Printers that hold a whole entry.
std::vector<std::shared_ptr<const RegKey>> printer_keys(const MachineState& machine);
std::vector<std::string> printer_names(const MachineState& machine);
// The printer of that name the spooler knows, as its key spells it.
std::optional<std::string> find_printer(const MachineState& machine, std::string_view name);
std::string default_devmode(const MachineState& machine, std::string_view printer);
void hold_monitor(MachineState& machine, const std::string& name);
// Where a monitor keeps its plain ports, values named after them: its Ports key, or
// for NT 3.51's "Local Port" the system's own list.
std::string plain_ports_key(const MachineState& machine, std::string_view monitor);
// The ports a monitor's registry holds: its plain ports, then its PortList keys.
std::vector<std::string> registered_ports(const MachineState& machine, std::string_view monitor);
bool holds_port(const MachineState& machine, std::string_view monitor, std::string_view port);
// A loaded monitor reads its ports from its registry again, or learns one port.
void reread_ports(MachineState& machine, std::string_view monitor);
void learn_port(MachineState& machine, std::string_view monitor, std::string_view port);
// OpenPrinterA of "\\COMPUTER\,XcvMonitor NAME", a monitor's configuration channel;
// nothing when the name is not a channel's.
std::optional<BOOL> open_monitor_channel(std::string_view name, DWORD access, LPHANDLE handle);
std::string system_path(const MachineState& machine, std::string_view dll);
// Whether the image is a DLL of the machine's own architecture, as the spooler loads.
bool is_native_dll(const MachineState& machine, const Image& image);

// The holds the running spooler keeps on the DLLs of the registered print processors.
void hold_print_processor(MachineState& machine, const std::string& name);
void load_print_processors(MachineState& machine);
void unload_print_processors(MachineState& machine);

struct PrinterObject : KernelObject {
    bool server = false;
    std::string printer;  // as its key spells it
    DWORD access = 0;
    std::uint32_t generation = 0;
};

// The printer (or server) behind a handle that the running spooler still knows;
// fails with 6 otherwise.
std::shared_ptr<PrinterObject> printer_handle(HANDLE handle);

// Where a registered driver's file lies as the spooler and the graphics engine load
// it: on NT in the subdirectory of the platform's driver version, else in the driver
// directory itself (where 95/98 keep every driver file, and where a driver laid out by
// hand may have left it). Empty when it is in neither.
std::string loaded_driver_file(const MachineState& machine, std::string_view file);
// The files a loaded driver keeps open: its driver and configuration modules.
std::vector<std::string> loaded_driver_modules(const MachineState& machine, std::string_view driver);

std::size_t open_printer_handles(const MachineState& machine, std::string_view printer);
// A printer pending deletion goes when its last job and its handles are gone; the
// handles kept are those that do not hold it (the one deleting it).
void delete_printer_if_due(MachineState& machine, const std::string& printer, std::size_t handles_kept = 0);
// Writes the printer's "Devices" and "PrinterPorts" entries of WIN.INI as the platform
// keeps them, and takes them out again when the printer goes.
void publish_printer_entries(MachineState& machine, const std::string& printer, const std::string& driver,
                             const std::string& port);
// A printer given another driver or port by SetPrinter: 95/98 name both in its entries
// and rewrite them; NT's name only winspool and the printer's own NeNN: port, which stay.
void republish_printer_entries(MachineState& machine, const std::string& printer, const std::string& driver,
                               const std::string& port);
// The printer's entries go, and so does the default printer's "Device" entry when it
// names this printer.
void withdraw_printer_entries(MachineState& machine, const std::string& printer);
// Whether NT's spooler service runs (paused, it still serves).
bool spooler_service_up(MachineState& machine);

// Lays answers out in the caller's buffer: the fixed structures first, what they
// point to behind them. A pass without a buffer measures.
class Packer {
public:
    Packer(LPBYTE base, std::size_t fixed) : base_(base), at_(fixed) {}
    char* string(const std::string& text) {
        char* out = base_ ? reinterpret_cast<char*>(base_) + at_ : nullptr;
        if (out) std::memcpy(out, text.c_str(), text.size() + 1);
        at_ += text.size() + 1;
        return out;
    }
    void* bytes(const std::string& data, std::size_t alignment) {
        at_ = (at_ + alignment - 1) / alignment * alignment;
        void* out = base_ ? base_ + at_ : nullptr;
        if (out) std::memcpy(out, data.data(), data.size());
        at_ += data.size();
        return out;
    }
    std::size_t size() const { return at_; }

private:
    LPBYTE base_;
    std::size_t at_;
};

}  // namespace winsim::detail
