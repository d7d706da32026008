// Where the spooler and the service control manager keep their state in the
// registry, shared by winsim and the tests that look at what the library left there.
// Paths are full registry paths as winsim's Registry takes them.
#pragma once

#include <string>
#include <string_view>

namespace winsim::print_registry {

// 95/98 spell the control set's keys with lower-case letters where NT uses capitals;
// the registry finds either, but a key winsim makes is spelt as the platform spells it.
inline std::string print_root(bool nt) {
    return nt ? "HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Control\\Print"
              : "HKEY_LOCAL_MACHINE\\System\\CurrentControlSet\\control\\Print";
}
inline std::string services_root(bool nt) {
    return nt ? "HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Services"
              : "HKEY_LOCAL_MACHINE\\System\\CurrentControlSet\\Services";
}

inline constexpr std::string_view monitors = "Monitors";
inline constexpr std::string_view environments = "Environments";
inline constexpr std::string_view drivers = "Drivers";
inline constexpr std::string_view print_processors = "Print Processors";
inline constexpr std::string_view printers = "Printers";

// Monitors\<name>: the DLL's file name, and a subkey whose value names are the ports.
inline constexpr std::string_view monitor_driver = "Driver";
inline constexpr std::string_view monitor_ports = "Ports";
// Monitors\<name>\PortList\<port>: a port a monitor keeps with settings of its own.
inline constexpr std::string_view monitor_port_list = "PortList";
// Where NT 3.51's "Local Port" monitor keeps its ports: the system's own list.
inline constexpr std::string_view nt351_local_ports = "HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Ports";

// The computer's name, which GetComputerNameA answers.
inline constexpr std::string_view computer_name_key = "HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Control\\ComputerName\\ComputerName";
inline constexpr std::string_view computer_name = "ComputerName";

// Environments\<env>\Drivers\Version-<n>\<driver> on NT; 95/98 have no version level.
inline constexpr std::string_view driver_file = "Driver";
inline constexpr std::string_view driver_data_file = "Data File";
inline constexpr std::string_view driver_config_file = "Configuration File";
inline constexpr std::string_view driver_help_file = "Help File";
inline constexpr std::string_view driver_dependent_files = "Dependent Files";  // REG_MULTI_SZ
inline constexpr std::string_view driver_version = "Version";                  // REG_DWORD
inline constexpr std::string_view driver_monitor = "Monitor";
inline constexpr std::string_view driver_datatype = "Datatype";

// Environments\<env>\Print Processors\<name>.
inline constexpr std::string_view processor_driver = "Driver";
// winsim's own: the data types the processor takes (REG_MULTI_SZ). Windows asks the
// processor's DLL instead, which winsim cannot run.
inline constexpr std::string_view processor_datatypes = "Datatypes";

// Printers\<name>.
inline constexpr std::string_view printer_name = "Name";
inline constexpr std::string_view printer_share_name = "Share Name";
inline constexpr std::string_view printer_port = "Port";
inline constexpr std::string_view printer_driver = "Printer Driver";
inline constexpr std::string_view printer_comment = "Description";
inline constexpr std::string_view printer_location = "Location";
inline constexpr std::string_view printer_separator_file = "Separator File";
inline constexpr std::string_view printer_print_processor = "Print Processor";
inline constexpr std::string_view printer_datatype = "Datatype";
inline constexpr std::string_view printer_parameters = "Parameters";
inline constexpr std::string_view printer_attributes = "Attributes";          // REG_DWORD
inline constexpr std::string_view printer_priority = "Priority";              // REG_DWORD
inline constexpr std::string_view printer_default_priority = "Default Priority";
inline constexpr std::string_view printer_start_time = "StartTime";
inline constexpr std::string_view printer_until_time = "UntilTime";
inline constexpr std::string_view printer_status = "Status";                  // REG_DWORD
inline constexpr std::string_view printer_devmode = "Default DevMode";        // REG_BINARY
inline constexpr std::string_view printer_driver_data = "PrinterDriverData";  // subkey

// What the spooler reads a printer from when it starts: a key under Printers without
// one of these texts (a key a registry write made for a name no printer bears) is no
// printer, and stays a key.
inline constexpr std::string_view printer_entry[] = {printer_name, printer_port, printer_driver, printer_print_processor};

// Services\<name>.
inline constexpr std::string_view service_type = "Type";
inline constexpr std::string_view service_start = "Start";
inline constexpr std::string_view service_error_control = "ErrorControl";
inline constexpr std::string_view service_image_path = "ImagePath";  // REG_EXPAND_SZ
inline constexpr std::string_view service_display_name = "DisplayName";
inline constexpr std::string_view service_object_name = "ObjectName";
inline constexpr std::string_view service_group = "Group";
inline constexpr std::string_view service_dependencies = "DependOnService";  // REG_MULTI_SZ
inline constexpr std::string_view service_tag = "Tag";
// Set by DeleteService until the service can really go, as the SCM marks it.
inline constexpr std::string_view service_delete_flag = "DeleteFlag";

inline constexpr std::string_view spooler_service = "Spooler";

}  // namespace winsim::print_registry
