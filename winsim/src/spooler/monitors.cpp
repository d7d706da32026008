// Port monitors: listed from what the running spooler loaded, added only when their
// DLL is one the spooler could load and initialise, refused deletion while a printer
// prints to one of their ports.
#include "images/image_reader.h"
#include "spooler/spooler_internal.h"

#include <algorithm>

namespace {

using winsim::detail::fail;
using winsim::detail::state;
namespace reg = winsim::print_registry;

constexpr DWORD rpc_x_null_ref_pointer = 1780;  // RPC_X_NULL_REF_POINTER

using winsim::detail::is_nt;

// The initialisation exports the platform's spooler looks for, the first preferred.
std::vector<std::string_view> init_exports() {
    const winsim::PlatformInfo& platform = winsim::platform_info(state().platform);
    if (!is_nt()) return {"InitializeMonitorEx"};
    if (platform.major >= 5) return {"InitializePrintMonitor2", "InitializePrintMonitor"};
    return {"InitializePrintMonitor", "InitializeMonitorEx", "InitializeMonitor"};
}

// Whether the monitor's DLL would load in the spooler and initialise, or the error.
DWORD check_monitor_dll(std::string_view dll) {
    const DWORD missing = is_nt() ? ERROR_MOD_NOT_FOUND : ERROR_INVALID_PARAMETER;
    if (dll.empty()) return missing;
    winsim::detail::MachineState& machine = state();
    const std::string system(winsim::platform_info(machine.platform).system_directory);
    std::string path = winsim::detail::system_path(machine, dll);
    // The spooler loads monitors from the system directory only.
    auto slash = path.find_last_of("\\/");
    if (slash == std::string::npos || !winsim::detail::same_name(std::string_view(path).substr(0, slash), system)) return missing;
    DWORD error = 0;
    std::shared_ptr<winsim::FileNode> node = machine.files.find(path, error);
    if (!node || node->directory) return missing;
    std::optional<winsim::detail::Image> image = winsim::detail::Image::parse(node->data);
    if (!image || !winsim::detail::is_native_dll(machine, *image)) return is_nt() ? ERROR_BAD_EXE_FORMAT : ERROR_INVALID_PARAMETER;  // 95/98: unconfirmed
    for (std::string_view name : init_exports())
        if (image->has_export(name)) return 0;
    return is_nt() ? ERROR_PROC_NOT_FOUND : ERROR_INVALID_PARAMETER;
}

// NT refuses an environment that is not its own; 95/98's answer is unconfirmed, and
// taken to be the same.
bool environment_ok(LPCSTR environment) {
    return !environment || !*environment || winsim::detail::is_native_environment(state(), environment);
}

}  // namespace

BOOL WINAPI EnumMonitorsA(LPSTR pName, DWORD Level, LPBYTE pMonitor, DWORD cbBuf, LPDWORD pcbNeeded, LPDWORD pcReturned) {
    WINSIM_API("EnumMonitorsA", FALSE);
    if (!winsim::detail::spooler_answers()) return FALSE;
    if (pName && *pName) return winsim::detail::not_simulated("EnumMonitorsA of another server", FALSE);
    // 95/98 know level 1 only: level 2 is refused, a level they have never heard of
    // gives an empty list (Wine's test; the size they report then is unconfirmed).
    if (!is_nt() && Level == 2) return fail(ERROR_INVALID_LEVEL, FALSE);
    if (!pcbNeeded || !pcReturned) return fail(is_nt() ? rpc_x_null_ref_pointer : ERROR_INVALID_PARAMETER, FALSE);
    if (Level != 1 && Level != 2) {
        if (is_nt()) return fail(ERROR_INVALID_LEVEL, FALSE);
        *pcbNeeded = 0;
        *pcReturned = 0;
        return TRUE;
    }
    if (!pMonitor && cbBuf) return fail(is_nt() ? rpc_x_null_ref_pointer : ERROR_INVALID_PARAMETER, FALSE);
    winsim::detail::MachineState& machine = state();
    const std::vector<winsim::detail::LoadedMonitor>& monitors = machine.spooler.monitors;
    const std::size_t fixed = monitors.size() * (Level == 1 ? sizeof(MONITOR_INFO_1A) : sizeof(MONITOR_INFO_2A));
    const std::string environment = winsim::detail::native_environment(machine);
    auto pack = [&](LPBYTE base) {
        winsim::detail::Packer packer(base, fixed);
        for (std::size_t i = 0; i < monitors.size(); ++i) {
            const std::string dll =
                winsim::detail::read_string(machine, winsim::detail::monitors_key(machine) + "\\" + monitors[i].name, reg::monitor_driver);
            if (Level == 1) {
                char* name = packer.string(monitors[i].name);
                if (base) reinterpret_cast<MONITOR_INFO_1A*>(base)[i].pName = name;
            } else {
                MONITOR_INFO_2A info{packer.string(monitors[i].name), packer.string(environment), packer.string(dll)};
                if (base) reinterpret_cast<MONITOR_INFO_2A*>(base)[i] = info;
            }
        }
        return packer.size();
    };
    const DWORD needed = static_cast<DWORD>(pack(nullptr));
    *pcbNeeded = needed;
    *pcReturned = 0;
    if (cbBuf < needed) return fail(ERROR_INSUFFICIENT_BUFFER, FALSE);
    pack(pMonitor);
    *pcReturned = static_cast<DWORD>(monitors.size());
    return TRUE;
}

BOOL WINAPI AddMonitorA(LPSTR pName, DWORD Level, LPBYTE pMonitors) {
    WINSIM_API("AddMonitorA", FALSE);
    if (!winsim::detail::spooler_answers()) return FALSE;
    if (pName && *pName) return winsim::detail::not_simulated("AddMonitorA on another server", FALSE);
    if (Level != 2) return fail(ERROR_INVALID_LEVEL, FALSE);
    if (is_nt() && !state().options.administrator) return fail(ERROR_ACCESS_DENIED, FALSE);
    // NT fails without a word; 95/98 say the caller may not (Wine's test, in a part
    // it leaves out because some 95/98 machines crash on it).
    if (!pMonitors) return is_nt() ? FALSE : fail(ERROR_PRIVILEGE_NOT_HELD, FALSE);
    const MONITOR_INFO_2A& info = *reinterpret_cast<const MONITOR_INFO_2A*>(pMonitors);
    // 95/98 look at the environment first, and answer a missing name or DLL name with
    // 1314 where NT answers 87.
    if (!is_nt() && !info.pEnvironment) return fail(ERROR_INVALID_ENVIRONMENT, FALSE);
    const DWORD missing_name = is_nt() ? ERROR_INVALID_PARAMETER : ERROR_PRIVILEGE_NOT_HELD;
    if (!info.pName || !*info.pName) return fail(missing_name, FALSE);
    if (!environment_ok(info.pEnvironment)) return fail(ERROR_INVALID_ENVIRONMENT, FALSE);
    if (!info.pDLLName) return fail(missing_name, FALSE);
    if (!*info.pDLLName) return fail(ERROR_INVALID_PARAMETER, FALSE);
    winsim::detail::MachineState& machine = state();
    if (winsim::detail::find_subkey(machine, winsim::detail::monitors_key(machine), info.pName))
        return fail(is_nt() ? ERROR_PRINT_MONITOR_ALREADY_INSTALLED : ERROR_ALREADY_EXISTS, FALSE);
    if (DWORD error = check_monitor_dll(info.pDLLName)) return fail(error, FALSE);
    const std::string key = winsim::detail::monitors_key(machine) + "\\" + info.pName;
    machine.registry.set_string(key, reg::monitor_driver, info.pDLLName);
    machine.registry.create_key(key + "\\" + std::string(reg::monitor_ports));
    winsim::detail::hold_monitor(machine, info.pName);
    // Installers rely on it: Wine's spooler sets it for that reason.
    winsim::detail::set_last_error(ERROR_SUCCESS);
    return TRUE;
}

BOOL WINAPI DeleteMonitorA(LPSTR pName, LPSTR /*pEnvironment*/, LPSTR pMonitorName) {
    WINSIM_API("DeleteMonitorA", FALSE);
    if (!winsim::detail::spooler_answers()) return FALSE;
    if (pName && *pName) return winsim::detail::not_simulated("DeleteMonitorA on another server", FALSE);
    if (is_nt() && !state().options.administrator) return fail(ERROR_ACCESS_DENIED, FALSE);
    // The environment is not looked at for the local machine, an unknown one included.
    if (!pMonitorName || !*pMonitorName) return fail(is_nt() ? ERROR_INVALID_PARAMETER : ERROR_INVALID_NAME, FALSE);
    winsim::detail::MachineState& machine = state();
    std::optional<std::string> name = winsim::detail::find_subkey(machine, winsim::detail::monitors_key(machine), pMonitorName);
    if (!name) return fail(is_nt() ? ERROR_UNKNOWN_PRINT_MONITOR : ERROR_INVALID_PARAMETER, FALSE);
    const std::string key = winsim::detail::monitors_key(machine) + "\\" + *name;
    // In use while a printer prints to one of its ports (95/98: unconfirmed, the same).
    const std::string printers = winsim::detail::printers_key(machine);
    for (const std::string& printer : winsim::detail::printer_names(machine)) {
        const std::string list = winsim::detail::read_string(machine, printers + "\\" + printer, reg::printer_port);
        for (std::string_view port : winsim::detail::port_list(list)) {
            std::optional<std::string> owner = winsim::detail::monitor_of_port(machine, port);
            if (owner && winsim::detail::same_name(*owner, *name)) return fail(ERROR_PRINT_MONITOR_IN_USE, FALSE);
        }
    }
    auto& loaded = machine.spooler.monitors;
    for (auto it = loaded.begin(); it != loaded.end();) {
        if (!winsim::detail::same_name(it->name, *name)) {
            ++it;
            continue;
        }
        const std::string path = it->path;
        it = loaded.erase(it);
        const bool still_used = std::any_of(loaded.begin(), loaded.end(), [&](const auto& other) { return winsim::detail::same_name(other.path, path); });
        if (!path.empty() && !still_used) machine.files.release(path, winsim::detail::spooler_holder);
    }
    machine.registry.delete_key(key);
    return TRUE;
}
