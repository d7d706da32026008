// The spooler's process and its object model in the registry: what a new machine
// has, what starting and stopping the spooler do, and the control API.
#include "gdi/printer_devmodes.h"
#include "images/image_reader.h"
#include "services/service_persistence.h"
#include "spooler/spooler_internal.h"

#include <algorithm>
#include <iterator>
#include <stdexcept>

namespace winsim::detail {

namespace reg = print_registry;

std::string print_root(const MachineState& machine) { return reg::print_root(is_nt(machine)); }

std::string native_environment(const MachineState& machine) {
    if (!is_nt(machine)) return "Windows 4.0";
    return machine.options.arch == Arch::x64 ? "Windows x64" : "Windows NT x86";
}

bool is_native_environment(const MachineState& machine, std::string_view environment) {
    return same_name(environment, native_environment(machine));
}

std::string environment_key(const MachineState& machine) {
    return print_root(machine) + "\\" + std::string(reg::environments) + "\\" + native_environment(machine);
}

std::string drivers_key(const MachineState& machine) {
    std::string key = environment_key(machine) + "\\" + std::string(reg::drivers);
    if (!is_nt(machine)) return key;  // 95/98 keep no version level (unconfirmed)
    const PlatformInfo& platform = platform_info(machine.platform);
    int version = platform.major >= 5 ? 3 : platform.major == 4 ? 2 : platform.minor >= 51 ? 1 : 0;
    return key + "\\Version-" + std::to_string(version);
}

std::string processors_key(const MachineState& machine) {
    return environment_key(machine) + "\\" + std::string(reg::print_processors);
}
std::string monitors_key(const MachineState& machine) { return print_root(machine) + "\\" + std::string(reg::monitors); }
std::string printers_key(const MachineState& machine) { return print_root(machine) + "\\" + std::string(reg::printers); }


std::vector<std::string_view> port_list(std::string_view list) {
    std::vector<std::string_view> entries;
    while (!list.empty()) {
        const std::size_t comma = list.find(',');
        entries.push_back(list.substr(0, comma));
        list = comma == std::string_view::npos ? std::string_view{} : list.substr(comma + 1);
    }
    return entries;
}

std::optional<std::string> monitor_of_port(const MachineState& machine, std::string_view port) {
    for (const std::string& monitor : machine.registry.subkeys(monitors_key(machine)))
        if (holds_port(machine, monitor, port)) return monitor;
    return std::nullopt;
}

namespace {

bool holds_printer_entry(const RegKey& key) {
    return std::all_of(std::begin(reg::printer_entry), std::end(reg::printer_entry), [&key](std::string_view name) {
        const RegValue* value = key.value(name);
        return value && value->type == REG_SZ;
    });
}

}  // namespace

std::vector<std::shared_ptr<const RegKey>> printer_keys(const MachineState& machine) {
    const std::shared_ptr<RegKey> parent = machine.registry.store().find(printers_key(machine));
    if (!parent) return {};
    std::vector<std::shared_ptr<const RegKey>> keys;
    for (const std::shared_ptr<RegKey>& key : parent->subkeys)
        if (holds_printer_entry(*key)) keys.push_back(key);
    return keys;
}

std::vector<std::string> printer_names(const MachineState& machine) {
    std::vector<std::string> names;
    for (const std::shared_ptr<const RegKey>& key : printer_keys(machine)) names.push_back(key->name);
    return names;
}

std::optional<std::string> find_printer(const MachineState& machine, std::string_view name) {
    const std::shared_ptr<RegKey> key = subkey_of(machine, printers_key(machine), name);
    if (!key || !holds_printer_entry(*key)) return std::nullopt;
    return key->name;
}

std::string default_devmode(const MachineState& machine, std::string_view printer) {
    const PlatformInfo& platform = platform_info(machine.platform);
    DEVMODEA mode{};
    std::memcpy(mode.dmDeviceName, printer.data(), std::min<std::size_t>(printer.size(), CCHDEVICENAME - 1));
    if (!is_nt(machine) || platform.major == 4) {
        mode.dmSpecVersion = 0x0400;
        mode.dmSize = 148;
    } else if (platform.major >= 5) {
        mode.dmSpecVersion = 0x0401;
        mode.dmSize = 156;
    } else {
        mode.dmSpecVersion = 0x0320;  // NT 3.51 (unconfirmed)
        mode.dmSize = 124;
    }
    mode.dmDriverVersion = 0x0100;
    mode.dmFields = DM_ORIENTATION | DM_PAPERSIZE | DM_SCALE | DM_COPIES | DM_PRINTQUALITY;
    mode.dmOrientation = DMORIENT_PORTRAIT;
    mode.dmPaperSize = DMPAPER_LETTER;
    mode.dmScale = 100;
    mode.dmCopies = 1;
    mode.dmPrintQuality = 300;
    return std::string(reinterpret_cast<const char*>(&mode), mode.dmSize);
}

std::string system_path(const MachineState& machine, std::string_view dll) {
    if (names_a_path(dll)) return std::string(dll);
    return std::string(platform_info(machine.platform).system_directory) + "\\" + std::string(dll);
}

bool is_native_dll(const MachineState& machine, const Image& image) {
    if (!image.is_dll()) return false;
    if (machine.options.arch == Arch::x64)
        return image.format() == ImageFormat::pe32_plus && image.machine() == image_machine_amd64;
    return image.format() == ImageFormat::pe32 && image.machine() == image_machine_i386;
}

// The running spooler keeps the DLL of every monitor it loaded open for reading.
void hold_monitor(MachineState& machine, const std::string& name) {
    const std::string dll = read_string(machine, monitors_key(machine) + "\\" + name, reg::monitor_driver);
    LoadedMonitor loaded{name, {}, registered_ports(machine, name)};
    const std::string path = system_path(machine, dll);
    if (!dll.empty() && machine.files.exists(path)) {
        loaded.path = path;
        bool held = false;
        for (const FileHold& hold : machine.files.holds())
            held = held || (hold.holder == spooler_holder && same_name(hold.path, path));
        if (!held) machine.files.hold(path, FILE_SHARE_READ, GENERIC_READ, spooler_holder);
    }
    machine.spooler.monitors.push_back(std::move(loaded));
}

std::size_t open_printer_handles(const MachineState& machine, std::string_view printer) {
    std::size_t count = 0;
    for (const auto& [value, object] : machine.handles)
        if (auto handle = std::dynamic_pointer_cast<PrinterObject>(object);
            handle && !handle->server && handle->generation == machine.spooler.generation && same_name(handle->printer, printer))
            ++count;
    return count;
}

void delete_printer_if_due(MachineState& machine, const std::string& printer, std::size_t handles_kept) {
    const std::string key = printers_key(machine) + "\\" + printer;
    if (!machine.registry.key_exists(key)) return;
    if (!(read_dword(machine, key, reg::printer_status) & PRINTER_STATUS_PENDING_DELETION)) return;
    auto jobs = machine.spooler.jobs.find(printer);
    if (jobs != machine.spooler.jobs.end() && !jobs->second.empty()) return;
    if (open_printer_handles(machine, printer) > handles_kept) return;
    machine.registry.delete_key(key);
    withdraw_printer_entries(machine, printer);
    if (jobs != machine.spooler.jobs.end()) machine.spooler.jobs.erase(jobs);
}

void lay_out_spooler(MachineState& machine) {
    const bool nt = is_nt(machine);
    const std::string local = monitors_key(machine) + "\\Local Port";
    // 95/98's local monitor DLL is unconfirmed.
    machine.registry.set_string(local, reg::monitor_driver, nt ? "localspl.dll" : "localmon.dll");
    for (const char* port : {"LPT1:", "COM1:", "FILE:"})
        machine.registry.set_value(plain_ports_key(machine, "Local Port"), port, REG_SZ, std::string(1, '\0'));
    machine.registry.create_key(drivers_key(machine));
    const std::string winprint = processors_key(machine) + "\\WinPrint";
    machine.registry.set_string(winprint, reg::processor_driver, "winprint.dll");
    const PlatformInfo& platform = platform_info(machine.platform);
    std::vector<std::string> datatypes = {"RAW"};
    if (!nt) datatypes.push_back("EMF");
    if (nt) {
        datatypes.insert(datatypes.end(), {"RAW [FF appended]", "RAW [FF auto]", "NT EMF 1.003", "TEXT"});
        if (platform.major >= 5) datatypes.insert(datatypes.end(), {"NT EMF 1.006", "NT EMF 1.007", "NT EMF 1.008"});
    }
    std::string list;
    for (const std::string& type : datatypes) list += type + '\0';
    list.push_back('\0');
    machine.registry.set_value(winprint, reg::processor_datatypes, REG_MULTI_SZ, list);
    spooler_started(machine);
}

void spooler_started(MachineState& machine) {
    if (machine.spooler.loaded) spooler_stopped(machine);
    machine.spooler.loaded = true;
    ++machine.spooler.generation;
    // It reads what it serves from the registry afresh, so a monitor registered while
    // it was stopped is loaded now.
    for (const std::string& name : machine.registry.subkeys(monitors_key(machine))) hold_monitor(machine, name);
    load_print_processors(machine);
    // Handles from before the start are gone: a printer waiting for them goes now.
    for (const std::string& printer : printer_names(machine)) delete_printer_if_due(machine, printer);
}

void spooler_stopped(MachineState& machine) {
    for (const LoadedMonitor& monitor : machine.spooler.monitors)
        if (!monitor.path.empty()) machine.files.release(monitor.path, spooler_holder);
    machine.spooler.monitors.clear();
    unload_print_processors(machine);
    machine.spooler.loaded = false;
}

bool spooler_answers() {
    MachineState& machine = state();
    const Family family = platform_info(machine.platform).family;
    if (family == Family::win32s) return fail(ERROR_CALL_NOT_IMPLEMENTED, false);
    if (family == Family::win9x) return true;
    return spooler_service_up(machine) ? true : fail(RPC_S_SERVER_UNAVAILABLE, false);
}

bool spooler_service_up(MachineState& machine) {
    settle_services(machine);
    auto run = machine.services.find(reg::spooler_service);
    return run != machine.services.end() && (run->second.state == SERVICE_RUNNING || run->second.state == SERVICE_PAUSED);
}

void write_spooler(const MachineState& machine, toml::table& table) {
    toml::array monitors;
    for (const LoadedMonitor& monitor : machine.spooler.monitors) {
        toml::array ports;
        for (const std::string& port : monitor.ports) ports.push_back(port);
        monitors.push_back(toml::table{{"name", monitor.name}, {"path", monitor.path}, {"ports", std::move(ports)}});
    }
    toml::array jobs;
    for (const auto& [printer, queue] : machine.spooler.jobs)
        for (const PrintJob& job : queue)
            jobs.push_back(toml::table{{"printer", printer}, {"id", static_cast<std::int64_t>(job.id)}, {"document", job.document}});
    table.insert("spooler", toml::table{{"loaded", machine.spooler.loaded},
                                        {"generation", static_cast<std::int64_t>(machine.spooler.generation)},
                                        {"next_job_id", static_cast<std::int64_t>(machine.spooler.next_job_id)},
                                        {"monitor", std::move(monitors)},
                                        {"job", std::move(jobs)}});
}

void read_spooler(MachineState& machine, const toml::table& table) {
    const toml::table* saved = table["spooler"].as_table();
    if (!saved) return;
    SpoolerRun run;
    run.loaded = (*saved)["loaded"].value_or(false);
    run.generation = static_cast<std::uint32_t>((*saved)["generation"].value_or(std::int64_t{0}));
    run.next_job_id = static_cast<DWORD>((*saved)["next_job_id"].value_or(std::int64_t{1}));
    if (const toml::array* monitors = (*saved)["monitor"].as_array())
        for (const toml::node& entry : *monitors)
            if (const toml::table* monitor = entry.as_table()) {
                LoadedMonitor loaded{(*monitor)["name"].value_or(std::string{}), (*monitor)["path"].value_or(std::string{}), {}};
                // A machine saved before monitors kept their ports: they read them now.
                if (const toml::array* ports = (*monitor)["ports"].as_array())
                    for (const toml::node& port : *ports) loaded.ports.push_back(port.value_or(std::string{}));
                else
                    loaded.ports = registered_ports(machine, loaded.name);
                run.monitors.push_back(std::move(loaded));
            }
    if (const toml::array* jobs = (*saved)["job"].as_array())
        for (const toml::node& entry : *jobs)
            if (const toml::table* job = entry.as_table())
                run.jobs[(*job)["printer"].value_or(std::string{})].push_back(
                    {static_cast<DWORD>((*job)["id"].value_or(std::int64_t{0})), (*job)["document"].value_or(std::string{})});
    machine.spooler = std::move(run);
}

}  // namespace winsim::detail

// ---- control API ----------------------------------------------------------------------

namespace winsim {

namespace reg = print_registry;

bool Spooler::running() const {
    return !detail::is_nt(machine_) || detail::spooler_service_up(machine_);
}

std::string Spooler::environment() const { return detail::native_environment(machine_); }
std::string Spooler::root() const { return detail::print_root(machine_); }

std::string Spooler::printer_key(std::string_view printer) const {
    std::optional<std::string> key = detail::find_subkey(machine_, detail::printers_key(machine_), printer);
    return detail::printers_key(machine_) + "\\" + (key ? *key : std::string(printer));
}

std::string Spooler::driver_key(std::string_view driver) const { return detail::drivers_key(machine_) + "\\" + std::string(driver); }
std::string Spooler::processor_key(std::string_view processor) const {
    return detail::processors_key(machine_) + "\\" + std::string(processor);
}

void Spooler::add_monitor(std::string_view name, std::string_view dll) {
    const std::string key = detail::monitors_key(machine_) + "\\" + std::string(name);
    machine_.registry.set_string(key, reg::monitor_driver, dll);
    machine_.registry.create_key(key + "\\" + std::string(reg::monitor_ports));
    if (machine_.spooler.loaded) detail::hold_monitor(machine_, std::string(name));
}

void Spooler::add_port(std::string_view monitor, std::string_view port) {
    std::optional<std::string> key = detail::find_subkey(machine_, detail::monitors_key(machine_), monitor);
    if (!key) throw std::invalid_argument("no monitor named " + std::string(monitor));
    machine_.registry.set_value(detail::plain_ports_key(machine_, *key), port, REG_SZ, std::string(1, '\0'));
    detail::learn_port(machine_, *key, port);
}

void Spooler::add_driver(std::string_view name, std::string_view driver_file, const DriverFiles& more) {
    const std::string key = driver_key(name);
    const std::string_view config = more.config_file.empty() ? driver_file : std::string_view(more.config_file);
    machine_.registry.set_string(key, reg::driver_file, driver_file);
    machine_.registry.set_string(key, reg::driver_data_file, config);
    machine_.registry.set_string(key, reg::driver_config_file, config);
    machine_.registry.set_string(key, reg::driver_help_file, more.help_file);
    std::string list;
    for (const std::string& file : more.dependent_files) list += file + '\0';
    list.push_back('\0');
    machine_.registry.set_value(key, reg::driver_dependent_files, REG_MULTI_SZ, list);
}

void Spooler::add_print_processor(std::string_view name, std::string_view dll, std::vector<std::string> datatypes) {
    const std::string key = detail::processors_key(machine_) + "\\" + std::string(name);
    machine_.registry.set_string(key, reg::processor_driver, dll);
    std::string list;
    for (const std::string& type : datatypes) list += type + '\0';
    list.push_back('\0');
    machine_.registry.set_value(key, reg::processor_datatypes, REG_MULTI_SZ, list);
    if (machine_.spooler.loaded) detail::hold_print_processor(machine_, std::string(name));
}

void Spooler::add_printer(std::string_view name, std::string_view port, std::string_view driver, std::string_view processor,
                          std::string_view datatype) {
    if (has_printer(name)) throw std::invalid_argument("printer exists: " + std::string(name));
    const std::string key = detail::printers_key(machine_) + "\\" + std::string(name);
    machine_.registry.set_string(key, reg::printer_name, name);
    machine_.registry.set_string(key, reg::printer_share_name, "");
    machine_.registry.set_string(key, reg::printer_port, port);
    machine_.registry.set_string(key, reg::printer_driver, driver);
    machine_.registry.set_string(key, reg::printer_comment, "");
    machine_.registry.set_string(key, reg::printer_location, "");
    machine_.registry.set_string(key, reg::printer_separator_file, "");
    machine_.registry.set_string(key, reg::printer_print_processor, processor);
    machine_.registry.set_string(key, reg::printer_datatype, datatype);
    machine_.registry.set_string(key, reg::printer_parameters, "");
    machine_.registry.set_dword(key, reg::printer_attributes, detail::is_nt(machine_) ? PRINTER_ATTRIBUTE_LOCAL : 0);
    machine_.registry.set_dword(key, reg::printer_priority, 1);
    machine_.registry.set_dword(key, reg::printer_default_priority, 0);
    machine_.registry.set_dword(key, reg::printer_start_time, 0);
    machine_.registry.set_dword(key, reg::printer_until_time, 0);
    machine_.registry.set_dword(key, reg::printer_status, 0);
    if (std::optional<std::string> mode = detail::initial_devmode(machine_, name, driver, nullptr)) detail::store_devmode(machine_, name, *mode);
    machine_.registry.create_key(key + "\\" + std::string(reg::printer_driver_data));
    detail::publish_printer_entries(machine_, std::string(name), std::string(driver), std::string(port));
}

std::vector<std::string> Spooler::monitors() const { return machine_.registry.subkeys(detail::monitors_key(machine_)); }

std::vector<std::string> Spooler::ports() const {
    std::vector<std::string> all;
    for (const std::string& monitor : monitors())
        for (const std::string& port : detail::registered_ports(machine_, monitor)) all.push_back(port);
    return all;
}

std::vector<std::string> Spooler::printers() const { return detail::printer_names(machine_); }

bool Spooler::has_printer(std::string_view name) const { return detail::find_printer(machine_, name).has_value(); }

DWORD Spooler::printer_status(std::string_view name) const {
    if (!has_printer(name)) throw std::invalid_argument("no printer named " + std::string(name));
    return detail::read_dword(machine_, printer_key(name), reg::printer_status);
}

DWORD Spooler::queue_job(std::string_view printer, std::string_view document) {
    std::optional<std::string> key = detail::find_printer(machine_, printer);
    if (!key) throw std::invalid_argument("no printer named " + std::string(printer));
    DWORD id = machine_.spooler.next_job_id++;
    machine_.spooler.jobs[*key].push_back(PrintJob{id, std::string(document)});
    return id;
}

std::vector<PrintJob> Spooler::jobs(std::string_view printer) const {
    auto it = machine_.spooler.jobs.find(printer);
    return it == machine_.spooler.jobs.end() ? std::vector<PrintJob>{} : it->second;
}

void Spooler::finish_job(std::string_view printer, DWORD id) {
    std::optional<std::string> key = detail::find_printer(machine_, printer);
    if (!key) throw std::invalid_argument("no printer named " + std::string(printer));
    std::erase_if(machine_.spooler.jobs[*key], [id](const PrintJob& job) { return job.id == id; });
    detail::delete_printer_if_due(machine_, *key);
}

}  // namespace winsim
