// Ports: the spooler lists what each loaded monitor read of its ports from its
// registry when it last looked (at the spooler's start, at AddPortA, at its channel's
// "AddPort"), and adds and deletes them through the monitor that owns them. From
// Windows 2000 on a monitor also answers on its configuration channel.
#include "spooler/spooler_internal.h"

#include <algorithm>
#include <cstring>
#include <set>

namespace {

using winsim::detail::fail;
using winsim::detail::is_nt;
using winsim::detail::LoadedMonitor;
using winsim::detail::same_name;
using winsim::detail::state;
namespace reg = winsim::print_registry;

constexpr std::string_view local_monitor = "Local Port";
// What a machine is called when its registry names no computer.
constexpr std::string_view unnamed_computer = "ORVTEST";

std::uint32_t major_version() { return winsim::platform_info(state().platform).major; }

// An unknown monitor or port: NT 3.51 and 95/98 answer 87, later NT 50 (Wine's
// spooler test, which names XP; NT 4.0 and 2000 unconfirmed, taken as XP).
DWORD unknown_to_monitors() { return is_nt() && major_version() > 3 ? ERROR_NOT_SUPPORTED : ERROR_INVALID_PARAMETER; }

// A null string the call marshals to the spooler: NT's RPC layer refuses it.
DWORD null_argument() { return is_nt() ? RPC_X_NULL_REF_POINTER : ERROR_INVALID_PARAMETER; }

LoadedMonitor* loaded_monitor(std::string_view name) {
    for (LoadedMonitor& monitor : state().spooler.monitors)
        if (same_name(monitor.name, name)) return &monitor;
    return nullptr;
}

bool knows(const LoadedMonitor& monitor, std::string_view port) {
    return std::any_of(monitor.ports.begin(), monitor.ports.end(), [&](const std::string& known) { return same_name(known, port); });
}

LoadedMonitor* owner_of(std::string_view port) {
    for (LoadedMonitor& monitor : state().spooler.monitors)
        if (knows(monitor, port)) return &monitor;
    return nullptr;
}

// A printer prints to the port, alone or among the ports it pools (one waiting for its
// deletion too).
bool printer_on(std::string_view port) {
    winsim::detail::MachineState& machine = state();
    for (const std::string& printer : winsim::detail::printer_names(machine)) {
        const std::string list = winsim::detail::read_string(machine, winsim::detail::printers_key(machine) + "\\" + printer, reg::printer_port);
        for (std::string_view entry : winsim::detail::port_list(list))
            if (same_name(entry, port)) return true;
    }
    return false;
}

std::string computer_name() {
    const std::string name = winsim::detail::read_string(state(), reg::computer_name_key, reg::computer_name);
    return name.empty() ? std::string(unnamed_computer) : name;
}

// The monitor's registry entry for a port: a plain port's value, or the key of a port
// with settings.
void forget_port(const LoadedMonitor& monitor, std::string_view port) {
    winsim::detail::MachineState& machine = state();
    const std::string plain = winsim::detail::plain_ports_key(machine, monitor.name);
    if (machine.registry.key_exists(plain))
        for (const std::string& name : machine.registry.values(plain))
            if (same_name(name, port)) machine.registry.delete_value(plain, name);
    const std::string list = winsim::detail::monitors_key(machine) + "\\" + monitor.name + "\\" + std::string(reg::monitor_port_list);
    if (std::optional<std::string> key = winsim::detail::find_subkey(machine, list, port)) machine.registry.delete_key(list + "\\" + *key);
}

// A monitor's configuration channel, opened on the server.
struct MonitorChannel : winsim::detail::PrinterObject {
    std::string monitor;
};

// The name of a channel: "\\COMPUTER\,XcvMonitor NAME" or, on this computer,
// ",XcvMonitor NAME"; the server part (empty for none) and the monitor.
std::optional<std::pair<std::string, std::string>> channel_name(std::string_view name) {
    std::string server;
    if (name.substr(0, 2) == "\\\\") {
        const std::size_t slash = name.find('\\', 2);
        if (slash == std::string_view::npos) return std::nullopt;
        server = std::string(name.substr(2, slash - 2));
        name.remove_prefix(slash + 1);
    }
    if (name.empty() || name.front() != ',') return std::nullopt;
    name.remove_prefix(1);
    while (!name.empty() && name.front() == ' ') name.remove_prefix(1);
    constexpr std::string_view word = "XcvMonitor ";
    if (name.size() <= word.size() || !same_name(name.substr(0, word.size()), word)) return std::nullopt;
    return std::make_pair(server, std::string(name.substr(word.size())));
}

std::string narrow(const WCHAR* text, std::size_t most) {
    std::string out;
    for (std::size_t i = 0; text && i < most && text[i]; ++i) out.push_back(text[i] < 0x100 ? static_cast<char>(text[i]) : '?');
    return out;
}

// The port a channel command names: a wide string within the input.
std::string port_of(const BYTE* input, DWORD size) {
    return narrow(reinterpret_cast<const WCHAR*>(input), input ? size / sizeof(WCHAR) : 0);
}

// "PortExists": whether the spooler knows the port, as a BOOL in the output.
DWORD port_exists(const std::string& port, PBYTE output, DWORD output_size, PDWORD needed) {
    *needed = sizeof(BOOL);
    if (port.empty()) return ERROR_INVALID_PARAMETER;  // (unconfirmed)
    if (!output || output_size < sizeof(BOOL)) return ERROR_INSUFFICIENT_BUFFER;
    const BOOL exists = owner_of(port) ? TRUE : FALSE;
    std::memcpy(output, &exists, sizeof exists);
    return ERROR_SUCCESS;
}

// "AddPort": the monitor records the port in its registry and reads its ports again.
// The local monitor keeps it as a plain port; another as a key of its own, whose
// settings the monitor then takes at their defaults (what the product's monitor writes
// there is unconfirmed).
DWORD add_port(LoadedMonitor& monitor, const std::string& port, PDWORD needed) {
    *needed = 0;
    if (port.empty()) return ERROR_INVALID_PARAMETER;  // (unconfirmed)
    if (owner_of(port)) return ERROR_ALREADY_EXISTS;    // Wine's spooler: 183
    winsim::detail::MachineState& machine = state();
    if (same_name(monitor.name, local_monitor))
        machine.registry.set_value(winsim::detail::plain_ports_key(machine, monitor.name), port, REG_SZ, std::string(1, '\0'));
    else
        machine.registry.create_key(winsim::detail::monitors_key(machine) + "\\" + monitor.name + "\\" +
                                    std::string(reg::monitor_port_list) + "\\" + port);
    winsim::detail::reread_ports(machine, monitor.name);
    return ERROR_SUCCESS;
}

}  // namespace

namespace winsim::detail {

std::string plain_ports_key(const MachineState& machine, std::string_view monitor) {
    if (platform_info(machine.platform).major == 3 && is_nt(machine) && same_name(monitor, local_monitor))
        return std::string(print_registry::nt351_local_ports);
    return monitors_key(machine) + "\\" + std::string(monitor) + "\\" + std::string(print_registry::monitor_ports);
}

std::vector<std::string> registered_ports(const MachineState& machine, std::string_view monitor) {
    // A print server's monitor has thousands of ports: no pairwise comparison.
    std::vector<std::string> ports;
    std::set<std::string, LessNoCase> seen;
    auto add = [&](const std::vector<std::string>& names) {
        for (const std::string& name : names)
            if (seen.insert(name).second) ports.push_back(name);
    };
    const std::string plain = plain_ports_key(machine, monitor);
    if (machine.registry.key_exists(plain)) add(machine.registry.values(plain));
    const std::string list = monitors_key(machine) + "\\" + std::string(monitor) + "\\" + std::string(print_registry::monitor_port_list);
    if (machine.registry.key_exists(list)) add(machine.registry.subkeys(list));
    return ports;
}

bool holds_port(const MachineState& machine, std::string_view monitor, std::string_view port) {
    if (machine.registry.value(plain_ports_key(machine, monitor), port)) return true;
    const std::string list = monitors_key(machine) + "\\" + std::string(monitor) + "\\" + std::string(print_registry::monitor_port_list);
    return find_subkey(machine, list, port).has_value();
}

void learn_port(MachineState& machine, std::string_view monitor, std::string_view port) {
    for (LoadedMonitor& loaded : machine.spooler.monitors)
        if (same_name(loaded.name, monitor) && !knows(loaded, port)) loaded.ports.emplace_back(port);
}

void reread_ports(MachineState& machine, std::string_view monitor) {
    for (LoadedMonitor& loaded : machine.spooler.monitors)
        if (same_name(loaded.name, monitor)) loaded.ports = registered_ports(machine, loaded.name);
}

std::optional<BOOL> open_monitor_channel(std::string_view name, DWORD access, LPHANDLE handle) {
    std::optional<std::pair<std::string, std::string>> channel = channel_name(name);
    if (!channel) return std::nullopt;
    // Before 2000 no monitor has a channel, and the name is no printer's (unconfirmed).
    if (!is_nt() || major_version() < 5) return fail(ERROR_INVALID_PRINTER_NAME, FALSE);
    if (!channel->first.empty() && !same_name(channel->first, computer_name())) return std::nullopt;
    LoadedMonitor* monitor = loaded_monitor(channel->second);
    if (!monitor) return fail(ERROR_INVALID_PRINTER_NAME, FALSE);  // (unconfirmed)
    if (!state().options.administrator && (access & SERVER_ACCESS_ADMINISTER)) return fail(ERROR_ACCESS_DENIED, FALSE);
    auto object = std::make_shared<MonitorChannel>();
    object->server = true;
    object->access = access;
    object->generation = state().spooler.generation;
    object->monitor = monitor->name;
    *handle = add_handle(std::move(object));
    return TRUE;
}

}  // namespace winsim::detail

BOOL WINAPI GetComputerNameA(LPSTR lpBuffer, LPDWORD nSize) {
    WINSIM_API("GetComputerNameA", FALSE);
    if (!nSize) return fail(ERROR_INVALID_PARAMETER, FALSE);  // (unconfirmed)
    const std::string name = computer_name();
    // Microsoft's GetComputerName page: 111, and the size the name needs with its end.
    if (!lpBuffer || *nSize < name.size() + 1) {
        *nSize = static_cast<DWORD>(name.size() + 1);
        return fail(ERROR_BUFFER_OVERFLOW, FALSE);
    }
    std::memcpy(lpBuffer, name.c_str(), name.size() + 1);
    *nSize = static_cast<DWORD>(name.size());
    return TRUE;
}

BOOL WINAPI EnumPortsA(LPSTR pName, DWORD Level, LPBYTE pPorts, DWORD cbBuf, LPDWORD pcbNeeded, LPDWORD pcReturned) {
    WINSIM_API("EnumPortsA", FALSE);
    if (!winsim::detail::spooler_answers()) return FALSE;
    if (pName && *pName) return winsim::detail::not_simulated("EnumPortsA of another server", FALSE);
    if (Level != 1 && Level != 2) return fail(ERROR_INVALID_LEVEL, FALSE);  // 95/98 unconfirmed
    if (!pcbNeeded || !pcReturned) return fail(null_argument(), FALSE);
    std::vector<std::pair<std::string, std::string>> ports;  // port and monitor
    for (const LoadedMonitor& monitor : state().spooler.monitors)
        for (const std::string& port : monitor.ports) ports.emplace_back(port, monitor.name);
    const std::size_t fixed = ports.size() * (Level == 1 ? sizeof(PORT_INFO_1A) : sizeof(PORT_INFO_2A));
    auto pack = [&](LPBYTE base) {
        winsim::detail::Packer packer(base, fixed);
        for (std::size_t i = 0; i < ports.size(); ++i) {
            const auto& [port, monitor] = ports[i];
            if (Level == 1) {
                PORT_INFO_1A info{packer.string(port)};
                if (base) reinterpret_cast<PORT_INFO_1A*>(base)[i] = info;
                continue;
            }
            // The monitor describes its ports by its own name (unconfirmed for other
            // monitors than the local one; Wine's local monitor says "Local Port").
            PORT_INFO_2A info{packer.string(port), packer.string(monitor), packer.string(monitor), PORT_TYPE_WRITE, 0};
            if (base) reinterpret_cast<PORT_INFO_2A*>(base)[i] = info;
        }
        return static_cast<DWORD>(packer.size());
    };
    const DWORD needed = pack(nullptr);
    *pcbNeeded = needed;
    *pcReturned = 0;
    if (cbBuf < needed) return fail(ERROR_INSUFFICIENT_BUFFER, FALSE);
    // A missing buffer said to be big enough, as for the other enumerations (unconfirmed).
    if (!pPorts && needed) return fail(is_nt() ? ERROR_INVALID_USER_BUFFER : ERROR_INVALID_PARAMETER, FALSE);
    pack(pPorts);
    *pcReturned = static_cast<DWORD>(ports.size());
    return TRUE;
}

BOOL WINAPI AddPortA(LPSTR pName, HWND /*hWnd*/, LPSTR pMonitorName) {
    WINSIM_API("AddPortA", FALSE);
    if (!winsim::detail::spooler_answers()) return FALSE;
    if (pName && *pName) return winsim::detail::not_simulated("AddPortA on another server", FALSE);
    // Wine's spooler test: 1780 (95/98: 87) for no monitor; 5 without the right.
    if (!pMonitorName) return fail(null_argument(), FALSE);
    if (is_nt() && !state().options.administrator) return fail(ERROR_ACCESS_DENIED, FALSE);
    LoadedMonitor* monitor = loaded_monitor(pMonitorName);
    if (!monitor) return fail(unknown_to_monitors(), FALSE);
    if (same_name(monitor->name, local_monitor))
        return winsim::detail::not_simulated("AddPortA of the local monitor, which asks for the port in a dialog", FALSE);
    // Any other monitor takes the ports its registry holds now.
    winsim::detail::reread_ports(state(), monitor->name);
    return TRUE;
}

BOOL WINAPI DeletePortA(LPSTR pName, HWND /*hWnd*/, LPSTR pPortName) {
    WINSIM_API("DeletePortA", FALSE);
    if (!winsim::detail::spooler_answers()) return FALSE;
    if (pName && *pName) return winsim::detail::not_simulated("DeletePortA on another server", FALSE);
    if (!pPortName) return fail(null_argument(), FALSE);  // (unconfirmed, as AddPortA)
    if (is_nt() && !state().options.administrator) return fail(ERROR_ACCESS_DENIED, FALSE);
    LoadedMonitor* monitor = owner_of(pPortName);
    if (!monitor) return fail(unknown_to_monitors(), FALSE);
    // Microsoft's DeletePort page: an error while a printer is connected to the port
    // (unconfirmed: which one).
    if (printer_on(pPortName)) return fail(ERROR_BUSY, FALSE);
    // The monitor forgets it in its registry and in its list.
    forget_port(*monitor, pPortName);
    std::erase_if(monitor->ports, [&](const std::string& port) { return same_name(port, pPortName); });
    return TRUE;
}

BOOL WINAPI XcvDataW(HANDLE hXcv, PCWSTR pszDataName, PBYTE pInputData, DWORD cbInputData, PBYTE pOutputData,
                     DWORD cbOutputData, PDWORD pcbOutputNeeded, PDWORD pdwStatus) {
    WINSIM_API("XcvDataW", FALSE);
    if (!winsim::detail::spooler_answers()) return FALSE;
    std::shared_ptr<winsim::detail::PrinterObject> object = winsim::detail::printer_handle(hXcv);
    if (!object) return FALSE;
    auto channel = std::dynamic_pointer_cast<MonitorChannel>(object);
    if (!channel) return fail(ERROR_INVALID_HANDLE, FALSE);
    if (!pszDataName || !pcbOutputNeeded || !pdwStatus) return fail(RPC_X_NULL_REF_POINTER, FALSE);  // (unconfirmed)
    LoadedMonitor* monitor = loaded_monitor(channel->monitor);
    if (!monitor) return fail(ERROR_INVALID_HANDLE, FALSE);
    const std::string command = narrow(pszDataName, std::string::npos);
    const std::string port = port_of(pInputData, cbInputData);
    // The call succeeds when it reached the monitor; the monitor's answer is the status.
    if (command == "PortExists") {
        *pdwStatus = port_exists(port, pOutputData, cbOutputData, pcbOutputNeeded);
        return TRUE;
    }
    if (command == "AddPort") {
        *pdwStatus = add_port(*monitor, port, pcbOutputNeeded);
        return TRUE;
    }
    return winsim::detail::not_simulated("XcvDataW command " + command, FALSE);
}
