// Printer drivers: registered from files the caller laid into the driver directory,
// which NT's spooler moves into the subdirectory of the driver's version, listed and
// answered with full paths, and deleted only while no printer uses them. The files
// stay where they are when a driver goes.
#include "kernel/file_rules.h"
#include "spooler/spooler_internal.h"

#include <algorithm>
#include <cstring>

namespace {

using winsim::detail::fail;
using winsim::detail::is_nt;
using winsim::detail::state;
namespace reg = winsim::print_registry;


winsim::detail::Directories directories() {
    return winsim::detail::platform_directories(state().platform, state().options.administrator);
}

// The directory a registered driver's files lie in and are reported from: on NT the
// subdirectory of the driver's version.
std::string installed_directory(DWORD version) {
    const winsim::detail::Directories where = directories();
    return where.driver_version.empty() ? where.driver : where.driver + "\\" + std::to_string(version);
}

// The driver version NT's spooler takes: the one of its own graphics engine. 95/98 do
// not look at it.
DWORD platform_driver_version() {
    const std::string version = directories().driver_version;
    return version.empty() ? 0 : static_cast<DWORD>(std::stoul(version));
}

std::string file_name(std::string_view path) {
    const std::size_t slash = path.find_last_of("\\/");
    return std::string(slash == std::string_view::npos ? path : path.substr(slash + 1));
}

// The environment a call names: the native one (null or empty names it too) is
// served; NT also knows the 95/98 one, which it keeps for clients, and 2000 "all"
// (Wine's spooler test), which winsim does not simulate; any other is unknown.
enum class Environment { native, other_known, unknown };

Environment classify_environment(LPCSTR environment) {
    if (!environment || !*environment || winsim::detail::is_native_environment(state(), environment)) return Environment::native;
    if (is_nt() && winsim::detail::same_name(environment, "Windows 4.0")) return Environment::other_known;
    if (is_nt() && winsim::platform_info(state().platform).major >= 5 && winsim::detail::same_name(environment, "all"))
        return Environment::other_known;
    return Environment::unknown;
}

// Whether the call may go on with this environment; fails it otherwise.
bool environment_served(LPCSTR environment, std::string_view call) {
    switch (classify_environment(environment)) {
        case Environment::native: return true;
        case Environment::other_known:
            return winsim::detail::not_simulated(std::string(call) + " for another environment than the platform's", false);
        case Environment::unknown: return fail(ERROR_INVALID_ENVIRONMENT, false);
    }
    return false;
}

// A MULTI_SZ block's entries.
std::vector<std::string> split_list(const char* list) {
    std::vector<std::string> entries;
    for (const char* at = list; at && *at; at += std::strlen(at) + 1) entries.emplace_back(at);
    return entries;
}

std::string join_list(const std::vector<std::string>& entries) {
    std::string list;
    for (const std::string& entry : entries) list += entry + '\0';
    list.push_back('\0');
    return list;
}

// One file the caller names: where it lies now and the name it is registered by.
struct DriverFile {
    std::string name;
    std::string staged;  // in the driver directory, waiting to be moved; empty when already in place
};

// Finds a file the caller named, by its name, in the driver directory (a file laid
// there for this call) or where it was registered before (the same driver again).
std::optional<DriverFile> locate(std::string_view given, DWORD version) {
    winsim::detail::MachineState& machine = state();
    DriverFile file{file_name(given), {}};
    if (file.name.empty()) return std::nullopt;
    const std::string staged = directories().driver + "\\" + file.name;
    if (machine.files.exists(staged)) {
        file.staged = staged;
        return file;
    }
    if (machine.files.exists(installed_directory(version) + "\\" + file.name)) return file;
    return std::nullopt;
}

bool held(const std::string& path) {
    const std::vector<winsim::FileHold>& holds = state().files.holds();
    return std::any_of(holds.begin(), holds.end(),
                       [&](const winsim::FileHold& hold) { return winsim::detail::same_name(hold.path, path); });
}

// Moves a file from the driver directory into the version subdirectory, replacing
// what lay there under its name.
void move_into_place(const DriverFile& file, DWORD version) {
    winsim::FileSystem& files = state().files;
    const std::string directory = installed_directory(version);
    const std::string target = directory + "\\" + file.name;
    files.make_directories(directory);
    if (files.exists(target)) files.remove(target);
    std::shared_ptr<winsim::FileNode> node = files.node(file.staged);
    files.unlink(node);
    files.link(*files.node(directory), node, file.name);
}

void write_registration(const std::string& key, const DRIVER_INFO_3A& info, const std::vector<DriverFile>& named,
                        const std::vector<DriverFile>& dependents) {
    std::vector<std::string> dependent_names;
    for (const DriverFile& file : dependents) dependent_names.push_back(file.name);
    winsim::Registry& registry = state().registry;
    registry.set_string(key, reg::driver_file, named[0].name);
    registry.set_string(key, reg::driver_data_file, named[1].name);
    registry.set_string(key, reg::driver_config_file, named[2].name);
    registry.set_string(key, reg::driver_help_file, named.size() > 3 ? named[3].name : std::string{});
    registry.set_value(key, reg::driver_dependent_files, REG_MULTI_SZ, join_list(dependent_names));
    registry.set_string(key, reg::driver_monitor, info.pMonitorName ? info.pMonitorName : "");
    registry.set_string(key, reg::driver_datatype, info.pDefaultDataType ? info.pDefaultDataType : "");
    registry.set_dword(key, reg::driver_version, info.cVersion);
}

// Lays one registered driver out as a DRIVER_INFO_2A or 3A (level 3 begins with
// level 2's fields), strings behind the structures.
void pack_driver(winsim::detail::Packer& packer, const std::string& name, DWORD level, LPBYTE slot) {
    winsim::detail::MachineState& machine = state();
    const std::string key = winsim::detail::drivers_key(machine) + "\\" + name;
    auto text = [&](std::string_view value) { return winsim::detail::read_string(machine, key, value); };
    DRIVER_INFO_3A info{};
    info.cVersion = winsim::detail::read_dword(machine, key, reg::driver_version, platform_driver_version());
    auto path = [&](const std::string& file) {
        return winsim::detail::names_a_path(file) ? file : installed_directory(info.cVersion) + "\\" + file;
    };
    auto optional = [&](const std::string& value) { return value.empty() ? nullptr : packer.string(value); };
    info.pName = packer.string(name);
    info.pEnvironment = packer.string(winsim::detail::native_environment(machine));
    info.pDriverPath = packer.string(path(text(reg::driver_file)));
    info.pDataFile = packer.string(path(text(reg::driver_data_file)));
    info.pConfigFile = packer.string(path(text(reg::driver_config_file)));
    if (level == 3) {
        const std::string help = text(reg::driver_help_file);
        info.pHelpFile = help.empty() ? nullptr : packer.string(path(help));
        std::optional<winsim::RegistryValue> list = machine.registry.value(key, reg::driver_dependent_files);
        std::vector<std::string> dependents = list ? split_list(list->bytes.c_str()) : std::vector<std::string>{};
        for (std::string& entry : dependents) entry = path(entry);
        info.pDependentFiles = dependents.empty() ? nullptr : static_cast<LPSTR>(packer.bytes(join_list(dependents), 1));
        info.pMonitorName = optional(text(reg::driver_monitor));
        info.pDefaultDataType = optional(text(reg::driver_datatype));
    }
    if (!slot) return;
    if (level == 3) std::memcpy(slot, &info, sizeof info);
    else std::memcpy(slot, &info, sizeof(DRIVER_INFO_2A));
}

std::size_t structure_size(DWORD level) { return level == 3 ? sizeof(DRIVER_INFO_3A) : sizeof(DRIVER_INFO_2A); }

DWORD pack_drivers(const std::vector<std::string>& names, DWORD level, LPBYTE buffer) {
    winsim::detail::Packer packer(buffer, names.size() * structure_size(level));
    for (std::size_t i = 0; i < names.size(); ++i)
        pack_driver(packer, names[i], level, buffer ? buffer + i * structure_size(level) : nullptr);
    return static_cast<DWORD>(packer.size());
}

// Levels 2 and 3 are served. NT refuses a level it does not know with 124: 95/98 and
// NT up to 4.0 know 1 to 3, 2000 1 to 6; 95/98's answer to another level is unknown.
bool level_served(DWORD level, std::string_view call) {
    if (level == 2 || level == 3) return true;
    const DWORD highest_known = winsim::platform_info(state().platform).major >= 5 ? 6 : 3;
    if (is_nt() && (level == 0 || level > highest_known)) return fail(ERROR_INVALID_LEVEL, false);
    return winsim::detail::not_simulated(std::string(call) + " at a level other than 2 and 3", false);
}

// NT takes the drivers of its own graphics engine's version; 2000 also runs NT 4.0's
// version-2 drivers, from their own subdirectory (Windows also keeps them under a key of
// their own, so that one name may have both versions: winsim keeps one registration a
// name). Whether NT 4.0 and 3.51 take the version before theirs, and the code for a
// version refused, are unconfirmed.
bool version_taken(DWORD version) {
    const DWORD own = platform_driver_version();
    if (!is_nt() || version == own) return true;
    if (own == 3 && version == 2) return true;
    if (version + 1 == own) return winsim::detail::not_simulated("AddPrinterDriverA of an earlier NT version's driver", false);
    return fail(ERROR_INVALID_PARAMETER, false);
}

bool printer_uses(std::string_view driver) {
    winsim::detail::MachineState& machine = state();
    for (const std::string& printer : winsim::detail::printer_names(machine))
        if (winsim::detail::same_name(
                winsim::detail::read_string(machine, winsim::detail::printers_key(machine) + "\\" + printer, reg::printer_driver),
                driver))
            return true;
    return false;
}

}  // namespace

namespace winsim::detail {

std::string loaded_driver_file(const MachineState& machine, std::string_view file) {
    if (file.empty()) return {};
    const Directories where = platform_directories(machine.platform, machine.options.administrator);
    const std::string name = file_name(file);
    if (!where.driver_version.empty()) {
        // The platform's own version first, then on 2000 NT 4.0's drivers.
        std::vector<std::string> versions{where.driver_version};
        if (where.driver_version == "3") versions.emplace_back("2");
        for (const std::string& version : versions) {
            const std::string in_place = where.driver + "\\" + version + "\\" + name;
            if (machine.files.exists(in_place)) return in_place;
        }
    }
    const std::string in_directory = where.driver + "\\" + name;
    return machine.files.exists(in_directory) ? in_directory : std::string{};
}

std::vector<std::string> loaded_driver_modules(const MachineState& machine, std::string_view driver) {
    std::optional<std::string> name = find_subkey(machine, drivers_key(machine), driver);
    if (!name) return {};
    const std::string key = drivers_key(machine) + "\\" + *name;
    std::vector<std::string> modules;
    for (std::string_view value : {reg::driver_file, reg::driver_config_file}) {
        const std::string path = loaded_driver_file(machine, read_string(machine, key, value));
        if (!path.empty() && std::none_of(modules.begin(), modules.end(), [&](const std::string& m) { return same_name(m, path); }))
            modules.push_back(path);
    }
    return modules;
}

}  // namespace winsim::detail

BOOL WINAPI AddPrinterDriverA(LPSTR pName, DWORD Level, LPBYTE pDriverInfo) {
    WINSIM_API("AddPrinterDriverA", FALSE);
    if (!winsim::detail::spooler_answers()) return FALSE;
    if (pName && *pName) return winsim::detail::not_simulated("AddPrinterDriverA on another server", FALSE);
    if (!level_served(Level, "AddPrinterDriverA")) return FALSE;
    if (!pDriverInfo) return fail(ERROR_INVALID_PARAMETER, FALSE);
    if (is_nt() && !state().options.administrator) return fail(ERROR_ACCESS_DENIED, FALSE);
    DRIVER_INFO_3A info{};
    std::memcpy(&info, pDriverInfo, Level == 3 ? sizeof(DRIVER_INFO_3A) : sizeof(DRIVER_INFO_2A));
    // A driver needs its name and its three files (unconfirmed: the code for a missing one).
    if (!info.pName || !*info.pName || !info.pDriverPath || !info.pDataFile || !info.pConfigFile)
        return fail(ERROR_INVALID_PARAMETER, FALSE);
    if (!environment_served(info.pEnvironment, "AddPrinterDriverA")) return FALSE;
    if (!version_taken(info.cVersion)) return FALSE;

    std::vector<std::string> given = {info.pDriverPath, info.pDataFile, info.pConfigFile};
    if (info.pHelpFile && *info.pHelpFile) given.emplace_back(info.pHelpFile);
    std::vector<DriverFile> main_files, dependents;
    for (const std::string& path : given) main_files.push_back(locate(path, info.cVersion).value_or(DriverFile{}));
    for (const std::string& path : split_list(info.pDependentFiles))
        dependents.push_back(locate(path, info.cVersion).value_or(DriverFile{}));
    std::vector<DriverFile> every_file = main_files;
    every_file.insert(every_file.end(), dependents.begin(), dependents.end());
    if (std::any_of(every_file.begin(), every_file.end(), [](const DriverFile& file) { return file.name.empty(); }))
        return fail(ERROR_FILE_NOT_FOUND, FALSE);
    // Nothing moves unless everything can: a loaded module in the way refuses the call
    // (unconfirmed: Windows sets a file in use aside and takes the new one at the next
    // load).
    winsim::detail::MachineState& machine = state();
    if (is_nt()) {
        for (const DriverFile& file : every_file)
            if (!file.staged.empty() && held(installed_directory(info.cVersion) + "\\" + file.name)) return fail(ERROR_SHARING_VIOLATION, FALSE);
        // A file named twice (data and configuration file alike) moves once.
        for (const DriverFile& file : every_file)
            if (!file.staged.empty() && machine.files.exists(file.staged)) move_into_place(file, info.cVersion);
    }
    // A driver of the same name is replaced whole: its key takes the new registration.
    const std::string parent = winsim::detail::drivers_key(machine);
    if (std::optional<std::string> old = winsim::detail::find_subkey(machine, parent, info.pName))
        machine.registry.delete_key(parent + "\\" + *old);
    write_registration(parent + "\\" + info.pName, info, main_files, dependents);
    return TRUE;
}

BOOL WINAPI EnumPrinterDriversA(LPSTR pName, LPSTR pEnvironment, DWORD Level, LPBYTE pDriverInfo, DWORD cbBuf,
                                LPDWORD pcbNeeded, LPDWORD pcReturned) {
    WINSIM_API("EnumPrinterDriversA", FALSE);
    if (!winsim::detail::spooler_answers()) return FALSE;
    if (pName && *pName) return winsim::detail::not_simulated("EnumPrinterDriversA of another server", FALSE);
    if (!environment_served(pEnvironment, "EnumPrinterDriversA")) return FALSE;
    if (!level_served(Level, "EnumPrinterDriversA")) return FALSE;
    if (!pcbNeeded || !pcReturned) return fail(is_nt() ? RPC_X_NULL_REF_POINTER : ERROR_INVALID_PARAMETER, FALSE);
    winsim::detail::MachineState& machine = state();
    const std::string parent = winsim::detail::drivers_key(machine);
    const std::vector<std::string> names = machine.registry.key_exists(parent) ? machine.registry.subkeys(parent) : std::vector<std::string>{};
    const DWORD needed = pack_drivers(names, Level, nullptr);
    *pcbNeeded = needed;
    *pcReturned = 0;
    if (cbBuf < needed) return fail(ERROR_INSUFFICIENT_BUFFER, FALSE);
    // Wine's spooler test: NT refuses a missing buffer of a size that would do; 95/98 hang.
    if (!pDriverInfo && needed)
        return is_nt() ? fail(ERROR_INVALID_USER_BUFFER, FALSE)
                       : winsim::detail::not_simulated("EnumPrinterDriversA into a missing buffer", FALSE);
    pack_drivers(names, Level, pDriverInfo);
    *pcReturned = static_cast<DWORD>(names.size());
    return TRUE;
}

BOOL WINAPI GetPrinterDriverA(HANDLE hPrinter, LPSTR pEnvironment, DWORD Level, LPBYTE pDriverInfo, DWORD cbBuf,
                              LPDWORD pcbNeeded) {
    WINSIM_API("GetPrinterDriverA", FALSE);
    if (!winsim::detail::spooler_answers()) return FALSE;
    std::shared_ptr<winsim::detail::PrinterObject> object = winsim::detail::printer_handle(hPrinter);
    if (!object) return FALSE;
    if (object->server) return fail(ERROR_INVALID_HANDLE, FALSE);  // (unconfirmed)
    if (!environment_served(pEnvironment, "GetPrinterDriverA")) return FALSE;
    if (!level_served(Level, "GetPrinterDriverA")) return FALSE;
    if (!pcbNeeded) return fail(is_nt() ? RPC_X_NULL_REF_POINTER : ERROR_INVALID_PARAMETER, FALSE);
    winsim::detail::MachineState& machine = state();
    const std::string driver =
        winsim::detail::read_string(machine, winsim::detail::printers_key(machine) + "\\" + object->printer, reg::printer_driver);
    std::optional<std::string> name = winsim::detail::find_subkey(machine, winsim::detail::drivers_key(machine), driver);
    if (!name) return fail(ERROR_UNKNOWN_PRINTER_DRIVER, FALSE);  // (unconfirmed)
    const std::vector<std::string> one{*name};
    const DWORD needed = pack_drivers(one, Level, nullptr);
    *pcbNeeded = needed;
    if (!pDriverInfo || cbBuf < needed) return fail(ERROR_INSUFFICIENT_BUFFER, FALSE);
    pack_drivers(one, Level, pDriverInfo);
    return TRUE;
}

BOOL WINAPI DeletePrinterDriverA(LPSTR pName, LPSTR pEnvironment, LPSTR pDriverName) {
    WINSIM_API("DeletePrinterDriverA", FALSE);
    if (!winsim::detail::spooler_answers()) return FALSE;
    if (pName && *pName) return winsim::detail::not_simulated("DeletePrinterDriverA on another server", FALSE);
    if (!environment_served(pEnvironment, "DeletePrinterDriverA")) return FALSE;
    if (is_nt() && !state().options.administrator) return fail(ERROR_ACCESS_DENIED, FALSE);
    winsim::detail::MachineState& machine = state();
    std::optional<std::string> name =
        pDriverName ? winsim::detail::find_subkey(machine, winsim::detail::drivers_key(machine), pDriverName) : std::nullopt;
    if (!name) return fail(ERROR_UNKNOWN_PRINTER_DRIVER, FALSE);
    // A printer waiting for its deletion still uses its driver.
    if (printer_uses(*name)) return fail(ERROR_PRINTER_DRIVER_IN_USE, FALSE);
    machine.registry.delete_key(winsim::detail::drivers_key(machine) + "\\" + *name);
    return TRUE;
}
