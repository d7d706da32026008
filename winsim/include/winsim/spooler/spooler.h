// Control API of the machine's print spooler: laying out monitors, ports, drivers,
// print processors and printers as a test needs them, queuing jobs, and looking at
// what the library did. Everything but the jobs and the list of loaded monitors is in
// the registry, where Windows keeps it (see print_registry.h); like the registry's
// control API, nothing here is counted or failed, and none of it needs the spooler
// to run.
#pragma once

#include <winsim/windows.h>

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace winsim {

namespace detail {
struct MachineState;
}

struct PrintJob {
    DWORD id = 0;
    std::string document;
};

class Spooler {
public:
    explicit Spooler(detail::MachineState& machine) : machine_(machine) {}

    // Whether the spooler answers calls: on NT while its service runs, on 95/98 always.
    bool running() const;
    // The environment of the platform's own drivers and monitors ("Windows NT x86").
    std::string environment() const;
    // The registry key of the print tree, and the one of a printer.
    std::string root() const;
    std::string printer_key(std::string_view printer) const;
    std::string driver_key(std::string_view driver) const;
    std::string processor_key(std::string_view processor) const;

    // Registers a monitor (and loads it when the spooler runs, holding its DLL).
    void add_monitor(std::string_view name, std::string_view dll);
    // A plain port of the monitor (a value of its ports key), known to a running
    // spooler at once.
    void add_port(std::string_view monitor, std::string_view port);
    // A registered driver whose files are file names in the directory the spooler keeps
    // them in (see AddPrinterDriverA); the configuration and data file are the driver
    // file unless named.
    struct DriverFiles {
        std::string config_file;
        std::string help_file;
        std::vector<std::string> dependent_files;
    };
    void add_driver(std::string_view name, std::string_view driver_file = "ORVDRV.DLL", const DriverFiles& more = {});
    // Registers a print processor (and loads it when the spooler runs and its DLL lies in
    // the processor directory, holding the DLL).
    void add_print_processor(std::string_view name, std::string_view dll, std::vector<std::string> datatypes);
    // A printer with a default DEVMODE of the platform's size, idle.
    void add_printer(std::string_view name, std::string_view port, std::string_view driver,
                     std::string_view processor = "WinPrint", std::string_view datatype = "RAW");

    // The registered monitors.
    std::vector<std::string> monitors() const;
    // The ports the monitors' registry keys hold (what the spooler lists is what the
    // monitors read of them when they last looked: EnumPortsA).
    std::vector<std::string> ports() const;
    // The printers, pending deletions included.
    std::vector<std::string> printers() const;
    bool has_printer(std::string_view name) const;
    DWORD printer_status(std::string_view name) const;

    // A job on the printer's queue; its id. Throws for an unknown printer.
    DWORD queue_job(std::string_view printer, std::string_view document = "Document");
    std::vector<PrintJob> jobs(std::string_view printer) const;
    // The job printed (or was cancelled): it leaves the queue, and a printer waiting
    // for its deletion may go.
    void finish_job(std::string_view printer, DWORD id);

private:
    detail::MachineState& machine_;
};

}  // namespace winsim
