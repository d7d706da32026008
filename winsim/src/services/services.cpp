// The service control manager of NT: services registered under Services\<name>, their
// processes moving through the pending states on the machine's clock, and the
// handles of the manager and of services. 95/98 have no SCM: every call fails with
// ERROR_CALL_NOT_IMPLEMENTED, as their ADVAPI32 stubs do.
#include "core/api.h"
#include "registry/machine_registry.h"
#include "services/service_persistence.h"

#include <winsim/spooler/print_registry.h>

#include <algorithm>
#include <cstring>
#include <stdexcept>

namespace winsim::detail {

namespace {

constexpr DWORD error_service_never_started = 1077;  // ERROR_SERVICE_NEVER_STARTED

struct ScObject : KernelObject {
    bool manager = false;
    std::string service;  // as its key spells it
    DWORD access = 0;
};

std::string services_root(const MachineState& machine) { return print_registry::services_root(is_nt(machine)); }

std::string service_path(const MachineState& machine, std::string_view name) {
    return services_root(machine) + "\\" + std::string(name);
}

// The service's name as its key spells it, or nothing when there is no such service.
std::optional<std::string> find_service(const MachineState& machine, std::string_view name) {
    return find_subkey(machine, services_root(machine), name);
}

bool marked(const MachineState& machine, std::string_view name) {
    return read_dword(machine, service_path(machine, name), print_registry::service_delete_flag, 0) != 0;
}

std::size_t open_service_handles(const MachineState& machine, std::string_view name) {
    std::size_t count = 0;
    for (const auto& [value, object] : machine.handles)
        if (auto sc = std::dynamic_pointer_cast<ScObject>(object); sc && !sc->manager && same_name(sc->service, name)) ++count;
    return count;
}

// A service marked for deletion goes once it is stopped and nobody holds it.
void delete_if_due(MachineState& machine, const std::string& name) {
    if (!marked(machine, name) || open_service_handles(machine, name) != 0) return;
    auto run = machine.services.find(name);
    if (run != machine.services.end() && run->second.state != SERVICE_STOPPED) return;
    machine.registry.delete_key(service_path(machine, name));
    if (run != machine.services.end()) machine.services.erase(run);
}

// The program file a service's process runs: its image path with %SystemRoot%
// expanded, without the quotes around it or the arguments after it.
std::string service_program(const MachineState& machine, const std::string& name) {
    std::string image = read_string(machine, service_path(machine, name), print_registry::service_image_path);
    if (!image.empty() && image.front() == '"') {
        const std::size_t end = image.find('"', 1);
        image = image.substr(1, end == std::string::npos ? std::string::npos : end - 1);
    } else if (!machine.files.exists(image) && image.find(' ') != std::string::npos) {
        image.resize(image.find(' '));
    }
    constexpr std::string_view system_root = "%SystemRoot%";
    if (image.size() >= system_root.size() && same_name(std::string_view(image).substr(0, system_root.size()), system_root))
        image = std::string(platform_info(machine.platform).windows_directory) + image.substr(system_root.size());
    return image;
}

std::string program_holder(const std::string& name) { return "service " + name; }

// A service's process keeps its program file open while it lives, so that the file can
// be read but not replaced or deleted; a copy over it has to wait for the restart.
void hold_program(MachineState& machine, const std::string& name, bool alive) {
    const std::string program = service_program(machine, name);
    const std::string holder = program_holder(name);
    if (program.empty() || !machine.files.exists(program)) return;
    if (!alive) {
        machine.files.release(program, holder);
        return;
    }
    const bool held = std::any_of(machine.files.holds().begin(), machine.files.holds().end(),
                                  [&](const FileHold& hold) { return hold.holder == holder; });
    if (!held) machine.files.hold(program, FILE_SHARE_READ, GENERIC_READ, holder);
}

void enter(MachineState& machine, const std::string& name, ServiceRun& run, DWORD new_state, std::uint64_t at) {
    const DWORD old_state = run.state;
    run.state = new_state;
    run.since_ms = at;
    if (new_state != old_state) machine.service_events.push_back({at, name, new_state});
    if (!same_name(name, print_registry::spooler_service)) hold_program(machine, name, new_state != SERVICE_STOPPED);
    if (!same_name(name, print_registry::spooler_service) || !is_nt(machine)) return;
    if (new_state == SERVICE_RUNNING && old_state == SERVICE_START_PENDING) spooler_started(machine);
    if (new_state == SERVICE_STOPPED && old_state != SERVICE_STOPPED) spooler_stopped(machine);
}

void settle(MachineState& machine, const std::string& name, ServiceRun& run) {
    const std::uint64_t now = machine.clock.uptime_ms();
    for (;;) {
        const std::uint64_t since = run.since_ms;
        if (run.state == SERVICE_START_PENDING && run.hang == ServiceHang::none && now >= since + run.timing.start_ms) {
            if (run.exit_on_start) {
                run.exit_code = run.exit_on_start;
                run.specific_exit_code = run.exit_on_start_specific;
                enter(machine, name, run, SERVICE_STOPPED, since + run.timing.start_ms);
            } else {
                enter(machine, name, run, SERVICE_RUNNING, since + run.timing.start_ms);
            }
        } else if (run.state == SERVICE_STOP_PENDING && run.hang == ServiceHang::none && now >= since + run.timing.stop_ms) {
            enter(machine, name, run, SERVICE_STOPPED, since + run.timing.stop_ms);
        } else if ((run.state == SERVICE_RUNNING || run.state == SERVICE_PAUSED) && run.stops_on_its_own && now >= run.stop_at_ms) {
            run.stops_on_its_own = false;
            run.exit_code = run.stop_at_exit_code;
            run.specific_exit_code = 0;
            enter(machine, name, run, SERVICE_STOPPED, std::max(run.stop_at_ms, since));
        } else {
            return;
        }
    }
}

SERVICE_STATUS status_of(const MachineState& machine, const std::string& name, const ServiceRun& run) {
    SERVICE_STATUS status{};
    status.dwServiceType = read_dword(machine, service_path(machine, name), print_registry::service_type, SERVICE_WIN32_OWN_PROCESS);
    status.dwCurrentState = run.state;
    if (run.state == SERVICE_RUNNING || run.state == SERVICE_PAUSED) {
        status.dwControlsAccepted = SERVICE_ACCEPT_SHUTDOWN;
        if (run.refuse_stop != ERROR_INVALID_SERVICE_CONTROL) status.dwControlsAccepted |= SERVICE_ACCEPT_STOP;
    }
    if (run.state == SERVICE_STOPPED) {
        status.dwWin32ExitCode = run.ever_started ? run.exit_code : error_service_never_started;
        status.dwServiceSpecificExitCode = run.ever_started ? run.specific_exit_code : 0;
    }
    if (run.state == SERVICE_START_PENDING || run.state == SERVICE_STOP_PENDING) {
        const std::uint64_t elapsed = machine.clock.uptime_ms() - run.since_ms;
        const std::uint32_t every = std::max<std::uint32_t>(run.timing.check_point_every_ms, 1);
        status.dwCheckPoint = run.hang == ServiceHang::frozen ? 1 : static_cast<DWORD>(1 + elapsed / every);
        status.dwWaitHint = run.timing.wait_hint_ms;
    }
    return status;
}

ServiceRun& run_of(MachineState& machine, const std::string& name) { return machine.services[name]; }

std::string required_service(const MachineState& machine, std::string_view name) {
    std::optional<std::string> found = find_service(machine, name);
    if (!found) throw std::invalid_argument("no service named " + std::string(name));
    return *found;
}

// ---- the Win32 calls ----------------------------------------------------------------

bool scm_present() {
    if (is_nt(state())) return true;
    set_last_error(ERROR_CALL_NOT_IMPLEMENTED);
    return false;
}

std::shared_ptr<ScObject> sc_object(SC_HANDLE handle) { return handle_object<ScObject>(reinterpret_cast<HANDLE>(handle)); }

DWORD map_service_generic(DWORD access) {
    if (access & GENERIC_READ)
        access |= READ_CONTROL | SERVICE_QUERY_CONFIG | SERVICE_QUERY_STATUS | SERVICE_INTERROGATE | SERVICE_ENUMERATE_DEPENDENTS;
    if (access & GENERIC_WRITE) access |= READ_CONTROL | SERVICE_CHANGE_CONFIG;
    if (access & GENERIC_EXECUTE)
        access |= READ_CONTROL | SERVICE_START | SERVICE_STOP | SERVICE_PAUSE_CONTINUE | SERVICE_USER_DEFINED_CONTROL;
    if (access & GENERIC_ALL) access |= SERVICE_ALL_ACCESS;
    return access & ~(GENERIC_READ | GENERIC_WRITE | GENERIC_EXECUTE | GENERIC_ALL);
}

DWORD map_manager_generic(DWORD access) {
    if (access & GENERIC_READ) access |= READ_CONTROL | SC_MANAGER_ENUMERATE_SERVICE | SC_MANAGER_QUERY_LOCK_STATUS;
    if (access & GENERIC_WRITE) access |= READ_CONTROL | SC_MANAGER_CREATE_SERVICE | SC_MANAGER_MODIFY_BOOT_CONFIG;
    if (access & GENERIC_EXECUTE) access |= READ_CONTROL | SC_MANAGER_CONNECT | SC_MANAGER_LOCK;
    if (access & GENERIC_ALL) access |= SC_MANAGER_ALL_ACCESS;
    return (access & ~(GENERIC_READ | GENERIC_WRITE | GENERIC_EXECUTE | GENERIC_ALL)) | SC_MANAGER_CONNECT;
}

// What the default security of the SCM and of a service gives a user who is not an
// administrator: looking, never changing.
constexpr DWORD user_manager_rights = READ_CONTROL | SC_MANAGER_CONNECT | SC_MANAGER_ENUMERATE_SERVICE | SC_MANAGER_QUERY_LOCK_STATUS;
constexpr DWORD user_service_rights = READ_CONTROL | SERVICE_QUERY_CONFIG | SERVICE_QUERY_STATUS | SERVICE_ENUMERATE_DEPENDENTS |
                                      SERVICE_INTERROGATE | SERVICE_USER_DEFINED_CONTROL;

SC_HANDLE add_sc_handle(std::shared_ptr<ScObject> object) { return reinterpret_cast<SC_HANDLE>(add_handle(std::move(object))); }

// The service behind a handle with the access a call needs, after bringing it up to now.
struct ServiceAccess {
    std::shared_ptr<ScObject> object;
    ServiceRun* run = nullptr;
};

std::optional<ServiceAccess> service_for(SC_HANDLE handle, DWORD needed) {
    std::shared_ptr<ScObject> object = sc_object(handle);
    if (!object || object->manager) return fail(ERROR_INVALID_HANDLE, std::optional<ServiceAccess>{});
    if ((object->access & needed) != needed) return fail(ERROR_ACCESS_DENIED, std::optional<ServiceAccess>{});
    settle_services(state());
    return ServiceAccess{object, &run_of(state(), object->service)};
}

// The type is one kind of service (an interactive one runs its own or a shared process);
// the start type is one value, and boot or system start is for drivers only; an
// interactive service runs as LocalSystem, for no other account may reach the desktop.
bool valid_registration(DWORD type, DWORD start, const char* account) {
    const bool interactive = (type & SERVICE_INTERACTIVE_PROCESS) != 0;
    const DWORD kind = type & ~static_cast<DWORD>(SERVICE_INTERACTIVE_PROCESS);
    const bool process = kind == SERVICE_WIN32_OWN_PROCESS || kind == SERVICE_WIN32_SHARE_PROCESS;
    const bool driver = kind == SERVICE_KERNEL_DRIVER || kind == SERVICE_FILE_SYSTEM_DRIVER;
    if (!process && !(driver && !interactive)) return false;
    if (start > SERVICE_DISABLED || (process && (start == SERVICE_BOOT_START || start == SERVICE_SYSTEM_START))) return false;
    return !interactive || !account || same_name(account, "LocalSystem") || same_name(account, ".\\LocalSystem");
}

void write_multi_sz(std::string& out, const char* list) {
    if (!list) return;
    while (*list) {
        std::size_t length = std::strlen(list);
        out.append(list, length + 1);
        list += length + 1;
    }
}

}  // namespace

void settle_services(MachineState& machine) {
    for (auto& [name, run] : machine.services) settle(machine, name, run);
    std::vector<std::string> names;
    for (const auto& [name, run] : machine.services) names.push_back(name);
    for (const std::string& name : names) delete_if_due(machine, name);
}

// The values every service key starts with, in the order Windows writes them.
void write_service_key(MachineState& machine, const std::string& path, DWORD type, DWORD start, DWORD error_control,
                       std::string image, std::string_view display) {
    machine.registry.set_dword(path, print_registry::service_type, type);
    machine.registry.set_dword(path, print_registry::service_start, start);
    machine.registry.set_dword(path, print_registry::service_error_control, error_control);
    image.push_back('\0');
    machine.registry.set_value(path, print_registry::service_image_path, REG_EXPAND_SZ, image);
    machine.registry.set_string(path, print_registry::service_display_name, display);
}

void lay_out_services(MachineState& machine) {
    if (!is_nt(machine)) return;
    const PlatformInfo& platform = platform_info(machine.platform);
    const bool spoolsv = platform.major >= 5;
    const std::string path = service_path(machine, print_registry::spooler_service);
    write_service_key(machine, path, SERVICE_WIN32_OWN_PROCESS | SERVICE_INTERACTIVE_PROCESS, SERVICE_AUTO_START,
                      SERVICE_ERROR_NORMAL,
                      spoolsv ? "%SystemRoot%\\system32\\spoolsv.exe" : "%SystemRoot%\\system32\\spoolss.exe",
                      spoolsv ? "Print Spooler" : "Spooler");
    machine.registry.set_string(path, print_registry::service_object_name, "LocalSystem");
    machine.registry.set_string(path, print_registry::service_group, "SpoolerGroup");
    ServiceRun& run = machine.services[std::string(print_registry::spooler_service)];
    run.state = SERVICE_RUNNING;
    run.ever_started = true;
}

void restart_services(MachineState& machine) {
    for (auto& [name, run] : machine.services) {
        run.state = SERVICE_STOPPED;
        run.since_ms = 0;
        run.ever_started = false;
        run.exit_code = run.specific_exit_code = 0;
        run.stops_on_its_own = false;
    }
    machine.spooler.loaded = false;
    machine.spooler.monitors.clear();
    if (!is_nt(machine)) {
        spooler_started(machine);
        return;
    }
    // Services marked for deletion go at the restart, whoever held them.
    for (const std::string& key : machine.registry.subkeys(services_root(machine)))
        if (marked(machine, key)) {
            machine.registry.delete_key(service_path(machine, key));
            machine.services.erase(key);
        }
    for (const std::string& key : machine.registry.subkeys(services_root(machine))) {
        const std::string path = service_path(machine, key);
        if (read_dword(machine, path, print_registry::service_start, SERVICE_DEMAND_START) != SERVICE_AUTO_START) continue;
        if (!(read_dword(machine, path, print_registry::service_type, 0) & (SERVICE_WIN32_OWN_PROCESS | SERVICE_WIN32_SHARE_PROCESS)))
            continue;
        ServiceRun& run = machine.services[key];
        run.ever_started = true;
        if (run.fail_start || run.exit_on_start) {
            run.exit_code = run.fail_start ? run.fail_start : run.exit_on_start;
            run.specific_exit_code = run.fail_start ? 0 : run.exit_on_start_specific;
            continue;
        }
        run.state = SERVICE_START_PENDING;
        enter(machine, key, run, SERVICE_RUNNING, 0);
    }
}

void write_services(const MachineState& machine, toml::table& table) {
    toml::array services;
    auto number = [](std::uint64_t value) { return static_cast<std::int64_t>(value); };
    for (const auto& [name, run] : machine.services) {
        services.push_back(toml::table{
            {"name", name},
            {"state", number(run.state)},
            {"since_ms", number(run.since_ms)},
            {"ever_started", run.ever_started},
            {"exit_code", number(run.exit_code)},
            {"specific_exit_code", number(run.specific_exit_code)},
            {"start_ms", number(run.timing.start_ms)},
            {"stop_ms", number(run.timing.stop_ms)},
            {"wait_hint_ms", number(run.timing.wait_hint_ms)},
            {"check_point_every_ms", number(run.timing.check_point_every_ms)},
            {"hang", number(static_cast<std::uint64_t>(run.hang))},
            {"refuse_stop", number(run.refuse_stop)},
            {"fail_start", number(run.fail_start)},
            {"exit_on_start", number(run.exit_on_start)},
            {"exit_on_start_specific", number(run.exit_on_start_specific)},
            {"stops_on_its_own", run.stops_on_its_own},
            {"stop_at_ms", number(run.stop_at_ms)},
            {"stop_at_exit_code", number(run.stop_at_exit_code)},
        });
    }
    table.insert("service", std::move(services));
}

void read_services(MachineState& machine, const toml::table& table) {
    const toml::array* services = table["service"].as_array();
    if (!services) return;  // saved before winsim had services: the new machine's stand
    machine.services.clear();
    for (const toml::node& entry : *services) {
        const toml::table* saved = entry.as_table();
        if (!saved) continue;
        auto get = [&](const char* key, std::int64_t fallback) { return (*saved)[key].value_or(fallback); };
        auto dword = [&](const char* key, std::int64_t fallback = 0) { return static_cast<DWORD>(get(key, fallback)); };
        ServiceRun run;
        run.state = dword("state", SERVICE_STOPPED);
        run.since_ms = static_cast<std::uint64_t>(get("since_ms", 0));
        run.ever_started = (*saved)["ever_started"].value_or(false);
        run.exit_code = dword("exit_code");
        run.specific_exit_code = dword("specific_exit_code");
        run.timing.start_ms = dword("start_ms", 1500);
        run.timing.stop_ms = dword("stop_ms", 1500);
        run.timing.wait_hint_ms = dword("wait_hint_ms", 3000);
        run.timing.check_point_every_ms = dword("check_point_every_ms", 500);
        run.hang = static_cast<ServiceHang>(std::clamp<std::int64_t>(get("hang", 0), 0, 2));
        run.refuse_stop = dword("refuse_stop");
        run.fail_start = dword("fail_start");
        run.exit_on_start = dword("exit_on_start");
        run.exit_on_start_specific = dword("exit_on_start_specific");
        run.stops_on_its_own = (*saved)["stops_on_its_own"].value_or(false);
        run.stop_at_ms = static_cast<std::uint64_t>(get("stop_at_ms", 0));
        run.stop_at_exit_code = dword("stop_at_exit_code");
        machine.services[(*saved)["name"].value_or(std::string{})] = run;
    }
}

}  // namespace winsim::detail

// ---- control API ----------------------------------------------------------------------

namespace winsim {

using detail::ServiceRun;

bool Services::exists(std::string_view name) const { return detail::find_service(machine_, name).has_value(); }

std::vector<std::string> Services::names() const {
    if (!detail::is_nt(machine_)) return {};
    detail::settle_services(machine_);
    return machine_.registry.subkeys(detail::services_root(machine_));
}

ServiceConfig Services::config(std::string_view name) const {
    const std::string path = detail::service_path(machine_, detail::required_service(machine_, name));
    ServiceConfig config;
    config.type = detail::read_dword(machine_, path, print_registry::service_type, 0);
    config.start = detail::read_dword(machine_, path, print_registry::service_start, SERVICE_DEMAND_START);
    config.error_control = detail::read_dword(machine_, path, print_registry::service_error_control, SERVICE_ERROR_NORMAL);
    config.image_path = detail::read_string(machine_, path, print_registry::service_image_path);
    config.display_name = detail::read_string(machine_, path, print_registry::service_display_name);
    config.object_name = detail::read_string(machine_, path, print_registry::service_object_name);
    return config;
}

void Services::add(std::string_view name, const ServiceConfig& config) {
    if (!detail::is_nt(machine_)) throw std::logic_error("95/98 have no services");
    if (exists(name) || name.empty()) throw std::invalid_argument("cannot add service " + std::string(name));
    const std::string path = detail::service_path(machine_, name);
    detail::write_service_key(machine_, path, config.type, config.start, config.error_control, config.image_path,
                              config.display_name.empty() ? name : std::string_view(config.display_name));
    machine_.registry.set_string(path, print_registry::service_object_name, config.object_name);
    machine_.services[std::string(name)];
}

SERVICE_STATUS Services::status(std::string_view name) const {
    std::string key = detail::required_service(machine_, name);
    detail::settle_services(machine_);
    return detail::status_of(machine_, key, detail::run_of(machine_, key));
}

void Services::set_running(std::string_view name) {
    std::string key = detail::required_service(machine_, name);
    ServiceRun& run = detail::run_of(machine_, key);
    run.ever_started = true;
    if (run.state == SERVICE_RUNNING) return;
    run.state = SERVICE_START_PENDING;
    detail::enter(machine_, key, run, SERVICE_RUNNING, machine_.clock.uptime_ms());
}

void Services::set_stopped(std::string_view name) {
    std::string key = detail::required_service(machine_, name);
    ServiceRun& run = detail::run_of(machine_, key);
    run.exit_code = run.specific_exit_code = 0;
    detail::enter(machine_, key, run, SERVICE_STOPPED, machine_.clock.uptime_ms());
    detail::delete_if_due(machine_, key);
}

void Services::set_timing(std::string_view name, const ServiceTiming& timing) {
    detail::run_of(machine_, detail::required_service(machine_, name)).timing = timing;
}

void Services::refuse_stop(std::string_view name, DWORD code) {
    detail::run_of(machine_, detail::required_service(machine_, name)).refuse_stop = code;
}

void Services::hang(std::string_view name, ServiceHang hang) {
    detail::settle_services(machine_);
    detail::run_of(machine_, detail::required_service(machine_, name)).hang = hang;
}

void Services::fail_start(std::string_view name, DWORD code) {
    detail::run_of(machine_, detail::required_service(machine_, name)).fail_start = code;
}

void Services::exit_on_start(std::string_view name, DWORD win32_exit_code, DWORD specific) {
    ServiceRun& run = detail::run_of(machine_, detail::required_service(machine_, name));
    run.exit_on_start = win32_exit_code;
    run.exit_on_start_specific = specific;
}

void Services::stop_at(std::string_view name, std::uint64_t uptime_ms, DWORD win32_exit_code) {
    ServiceRun& run = detail::run_of(machine_, detail::required_service(machine_, name));
    run.stops_on_its_own = true;
    run.stop_at_ms = uptime_ms;
    run.stop_at_exit_code = win32_exit_code;
    detail::settle_services(machine_);
}

void Services::pause(std::string_view name) {
    std::string key = detail::required_service(machine_, name);
    detail::settle_services(machine_);
    ServiceRun& run = detail::run_of(machine_, key);
    if (run.state != SERVICE_RUNNING) throw std::logic_error("only a running service can be paused");
    detail::enter(machine_, key, run, SERVICE_PAUSED, machine_.clock.uptime_ms());
}

void Services::resume(std::string_view name) {
    std::string key = detail::required_service(machine_, name);
    detail::settle_services(machine_);
    ServiceRun& run = detail::run_of(machine_, key);
    if (run.state != SERVICE_PAUSED) throw std::logic_error("only a paused service can be continued");
    detail::enter(machine_, key, run, SERVICE_RUNNING, machine_.clock.uptime_ms());
}

const char* service_state_name(DWORD state) {
    switch (state) {
    case SERVICE_STOPPED: return "stopped";
    case SERVICE_START_PENDING: return "start pending";
    case SERVICE_STOP_PENDING: return "stop pending";
    case SERVICE_RUNNING: return "running";
    case SERVICE_CONTINUE_PENDING: return "continue pending";
    case SERVICE_PAUSE_PENDING: return "pause pending";
    case SERVICE_PAUSED: return "paused";
    default: return "unknown state";
    }
}

const std::vector<ServiceEvent>& Services::events() const {
    detail::settle_services(machine_);
    return machine_.service_events;
}

}  // namespace winsim

// ---- Win32 ----------------------------------------------------------------------------

using winsim::detail::fail;
using winsim::detail::ScObject;
using winsim::detail::state;

SC_HANDLE WINAPI OpenSCManagerA(LPCSTR lpMachineName, LPCSTR lpDatabaseName, DWORD dwDesiredAccess) {
    WINSIM_API("OpenSCManagerA", nullptr);
    if (!winsim::detail::scm_present()) return nullptr;
    if (lpMachineName && *lpMachineName) return winsim::detail::not_simulated("OpenSCManagerA of another machine", static_cast<SC_HANDLE>(nullptr));
    if (lpDatabaseName && !winsim::detail::same_name(lpDatabaseName, "ServicesActive")) {
        // ERROR_DATABASE_DOES_NOT_EXIST
        return fail<SC_HANDLE>(1065, nullptr);
    }
    DWORD access = winsim::detail::map_manager_generic(dwDesiredAccess);
    if (!state().options.administrator && (access & ~winsim::detail::user_manager_rights))
        return fail<SC_HANDLE>(ERROR_ACCESS_DENIED, nullptr);
    auto object = std::make_shared<ScObject>();
    object->manager = true;
    object->access = access;
    return winsim::detail::add_sc_handle(std::move(object));
}

SC_HANDLE WINAPI OpenServiceA(SC_HANDLE hSCManager, LPCSTR lpServiceName, DWORD dwDesiredAccess) {
    WINSIM_API("OpenServiceA", nullptr);
    if (!winsim::detail::scm_present()) return nullptr;
    std::shared_ptr<ScObject> manager = winsim::detail::sc_object(hSCManager);
    if (!manager || !manager->manager) return fail<SC_HANDLE>(ERROR_INVALID_HANDLE, nullptr);
    if (!lpServiceName) return fail<SC_HANDLE>(ERROR_INVALID_ADDRESS, nullptr);
    winsim::detail::settle_services(state());
    std::optional<std::string> key = winsim::detail::find_service(state(), lpServiceName);
    if (!key) return fail<SC_HANDLE>(ERROR_SERVICE_DOES_NOT_EXIST, nullptr);
    DWORD access = winsim::detail::map_service_generic(dwDesiredAccess);
    if (!state().options.administrator && (access & ~winsim::detail::user_service_rights))
        return fail<SC_HANDLE>(ERROR_ACCESS_DENIED, nullptr);
    auto object = std::make_shared<ScObject>();
    object->service = *key;
    object->access = access;
    return winsim::detail::add_sc_handle(std::move(object));
}

SC_HANDLE WINAPI CreateServiceA(SC_HANDLE hSCManager, LPCSTR lpServiceName, LPCSTR lpDisplayName, DWORD dwDesiredAccess,
                                DWORD dwServiceType, DWORD dwStartType, DWORD dwErrorControl, LPCSTR lpBinaryPathName,
                                LPCSTR lpLoadOrderGroup, LPDWORD lpdwTagId, LPCSTR lpDependencies,
                                LPCSTR lpServiceStartName, LPCSTR lpPassword) {
    WINSIM_API("CreateServiceA", nullptr);
    (void)lpPassword;
    if (!winsim::detail::scm_present()) return nullptr;
    std::shared_ptr<ScObject> manager = winsim::detail::sc_object(hSCManager);
    if (!manager || !manager->manager) return fail<SC_HANDLE>(ERROR_INVALID_HANDLE, nullptr);
    // A missing name or program is refused before the rights are looked at: 2000 calls
    // it a bad address, NT 4.0 a bad parameter.
    if (!lpServiceName || !lpBinaryPathName)
        return fail<SC_HANDLE>(winsim::platform_info(state().platform).major >= 5 ? ERROR_INVALID_ADDRESS : ERROR_INVALID_PARAMETER,
                               nullptr);
    if (!(manager->access & SC_MANAGER_CREATE_SERVICE)) return fail<SC_HANDLE>(ERROR_ACCESS_DENIED, nullptr);
    if (!*lpServiceName || std::strpbrk(lpServiceName, "\\/")) return fail<SC_HANDLE>(ERROR_INVALID_NAME, nullptr);
    if (!*lpBinaryPathName || !winsim::detail::valid_registration(dwServiceType, dwStartType, lpServiceStartName))
        return fail<SC_HANDLE>(ERROR_INVALID_PARAMETER, nullptr);
    if (lpdwTagId) return winsim::detail::not_simulated("CreateServiceA with a load-order tag", static_cast<SC_HANDLE>(nullptr));
    winsim::detail::MachineState& machine = state();
    winsim::detail::settle_services(machine);
    if (std::optional<std::string> existing = winsim::detail::find_service(machine, lpServiceName))
        return fail<SC_HANDLE>(winsim::detail::marked(machine, *existing) ? ERROR_SERVICE_MARKED_FOR_DELETE : ERROR_SERVICE_EXISTS,
                               nullptr);
    const std::string display = lpDisplayName && *lpDisplayName ? lpDisplayName : lpServiceName;
    for (const std::string& key : machine.registry.subkeys(winsim::detail::services_root(machine))) {
        const std::string path = winsim::detail::service_path(machine, key);
        if (winsim::detail::same_name(winsim::detail::read_string(machine, path, winsim::print_registry::service_display_name), display))
            return fail<SC_HANDLE>(ERROR_DUPLICATE_SERVICE_NAME, nullptr);
    }
    namespace reg = winsim::print_registry;
    const std::string path = winsim::detail::service_path(machine, lpServiceName);
    winsim::detail::write_service_key(machine, path, dwServiceType, dwStartType, dwErrorControl, lpBinaryPathName, display);
    if (dwServiceType & (SERVICE_WIN32_OWN_PROCESS | SERVICE_WIN32_SHARE_PROCESS))
        machine.registry.set_string(path, reg::service_object_name, lpServiceStartName ? lpServiceStartName : "LocalSystem");
    if (lpLoadOrderGroup && *lpLoadOrderGroup) machine.registry.set_string(path, reg::service_group, lpLoadOrderGroup);
    if (lpDependencies && *lpDependencies) {
        std::string list;
        winsim::detail::write_multi_sz(list, lpDependencies);
        list.push_back('\0');
        machine.registry.set_value(path, reg::service_dependencies, REG_MULTI_SZ, list);
    }
    machine.services[lpServiceName];
    auto object = std::make_shared<ScObject>();
    object->service = lpServiceName;
    object->access = winsim::detail::map_service_generic(dwDesiredAccess);
    return winsim::detail::add_sc_handle(std::move(object));
}

BOOL WINAPI DeleteService(SC_HANDLE hService) {
    WINSIM_API("DeleteService", FALSE);
    if (!winsim::detail::scm_present()) return FALSE;
    auto service = winsim::detail::service_for(hService, DELETE);
    if (!service) return FALSE;
    winsim::detail::MachineState& machine = state();
    if (winsim::detail::marked(machine, service->object->service)) return fail(ERROR_SERVICE_MARKED_FOR_DELETE, FALSE);
    machine.registry.set_dword(winsim::detail::service_path(machine, service->object->service),
                               winsim::print_registry::service_delete_flag, 1);
    return TRUE;
}

BOOL WINAPI ControlService(SC_HANDLE hService, DWORD dwControl, LPSERVICE_STATUS lpServiceStatus) {
    WINSIM_API("ControlService", FALSE);
    if (!winsim::detail::scm_present()) return FALSE;
    if (dwControl != SERVICE_CONTROL_STOP && dwControl != SERVICE_CONTROL_INTERROGATE)
        return winsim::detail::not_simulated("ControlService with a control other than STOP or INTERROGATE", FALSE);
    auto service = winsim::detail::service_for(hService, dwControl == SERVICE_CONTROL_STOP ? SERVICE_STOP : SERVICE_INTERROGATE);
    if (!service) return FALSE;
    if (!lpServiceStatus) return fail(ERROR_INVALID_ADDRESS, FALSE);
    winsim::detail::MachineState& machine = state();
    const std::string& name = service->object->service;
    winsim::detail::ServiceRun& run = *service->run;
    // The status is filled in for these refusals too, so that a caller can see why.
    auto refuse = [&](DWORD code) {
        *lpServiceStatus = winsim::detail::status_of(machine, name, run);
        return fail(code, FALSE);
    };
    if (run.state == SERVICE_STOPPED) return refuse(ERROR_SERVICE_NOT_ACTIVE);
    if (run.state == SERVICE_START_PENDING || run.state == SERVICE_STOP_PENDING) return refuse(ERROR_SERVICE_CANNOT_ACCEPT_CTRL);
    if (dwControl == SERVICE_CONTROL_STOP) {
        if (run.refuse_stop) return refuse(run.refuse_stop);
        run.exit_code = run.specific_exit_code = 0;
        winsim::detail::enter(machine, name, run, SERVICE_STOP_PENDING, machine.clock.uptime_ms());
        winsim::detail::settle_services(machine);  // a stop that takes no time is over at once
    }
    *lpServiceStatus = winsim::detail::status_of(machine, name, run);
    return TRUE;
}

BOOL WINAPI QueryServiceStatus(SC_HANDLE hService, LPSERVICE_STATUS lpServiceStatus) {
    WINSIM_API("QueryServiceStatus", FALSE);
    if (!winsim::detail::scm_present()) return FALSE;
    auto service = winsim::detail::service_for(hService, SERVICE_QUERY_STATUS);
    if (!service) return FALSE;
    if (!lpServiceStatus) return fail(ERROR_INVALID_ADDRESS, FALSE);
    *lpServiceStatus = winsim::detail::status_of(state(), service->object->service, *service->run);
    return TRUE;
}

BOOL WINAPI StartServiceA(SC_HANDLE hService, DWORD dwNumServiceArgs, LPCSTR* lpServiceArgVectors) {
    WINSIM_API("StartServiceA", FALSE);
    (void)dwNumServiceArgs;
    (void)lpServiceArgVectors;
    if (!winsim::detail::scm_present()) return FALSE;
    auto service = winsim::detail::service_for(hService, SERVICE_START);
    if (!service) return FALSE;
    winsim::detail::MachineState& machine = state();
    const std::string& name = service->object->service;
    winsim::detail::ServiceRun& run = *service->run;
    const std::string path = winsim::detail::service_path(machine, name);
    if (winsim::detail::marked(machine, name)) return fail(ERROR_SERVICE_MARKED_FOR_DELETE, FALSE);
    if (winsim::detail::read_dword(machine, path, winsim::print_registry::service_start, SERVICE_DEMAND_START) == SERVICE_DISABLED)
        return fail(ERROR_SERVICE_DISABLED, FALSE);
    if (run.state != SERVICE_STOPPED) return fail(ERROR_SERVICE_ALREADY_RUNNING, FALSE);
    if (run.fail_start) {
        // The SCM waits its 30 seconds for a service process that never reports.
        if (run.fail_start == ERROR_SERVICE_REQUEST_TIMEOUT) machine.clock.advance(30000);
        run.ever_started = true;
        run.exit_code = run.fail_start;
        run.specific_exit_code = 0;
        return fail(run.fail_start, FALSE);
    }
    run.ever_started = true;
    run.exit_code = run.specific_exit_code = 0;
    winsim::detail::enter(machine, name, run, SERVICE_START_PENDING, machine.clock.uptime_ms());
    winsim::detail::settle_services(machine);
    return TRUE;
}

BOOL WINAPI QueryServiceConfigA(SC_HANDLE hService, LPQUERY_SERVICE_CONFIGA lpServiceConfig, DWORD cbBufSize,
                                LPDWORD pcbBytesNeeded) {
    WINSIM_API("QueryServiceConfigA", FALSE);
    if (!winsim::detail::scm_present()) return FALSE;
    auto service = winsim::detail::service_for(hService, SERVICE_QUERY_CONFIG);
    if (!service) return FALSE;
    if (!pcbBytesNeeded) return fail(ERROR_INVALID_ADDRESS, FALSE);
    namespace reg = winsim::print_registry;
    winsim::detail::MachineState& machine = state();
    const std::string path = winsim::detail::service_path(machine, service->object->service);
    std::string image = winsim::detail::read_string(machine, path, reg::service_image_path);
    std::string group = winsim::detail::read_string(machine, path, reg::service_group);
    std::string start_name = winsim::detail::read_string(machine, path, reg::service_object_name);
    std::string display = winsim::detail::read_string(machine, path, reg::service_display_name);
    std::string dependencies;
    if (std::optional<winsim::RegistryValue> value = machine.registry.value(path, reg::service_dependencies)) {
        dependencies = value->bytes;
        while (!dependencies.empty() && dependencies.back() == '\0') dependencies.pop_back();
        dependencies.push_back('\0');
    }
    dependencies.push_back('\0');  // the list's own end
    const DWORD needed = static_cast<DWORD>(sizeof(QUERY_SERVICE_CONFIGA) + image.size() + 1 + group.size() + 1 +
                                            dependencies.size() + start_name.size() + 1 + display.size() + 1);
    *pcbBytesNeeded = needed;
    if (!lpServiceConfig || cbBufSize < needed) return fail(ERROR_INSUFFICIENT_BUFFER, FALSE);
    char* out = reinterpret_cast<char*>(lpServiceConfig) + sizeof(QUERY_SERVICE_CONFIGA);
    auto put = [&](const std::string& text, std::size_t size) {
        char* at = out;
        std::memcpy(at, text.data(), text.size());
        if (size > text.size()) at[text.size()] = '\0';
        out += size;
        return at;
    };
    lpServiceConfig->dwServiceType = winsim::detail::read_dword(machine, path, reg::service_type, 0);
    lpServiceConfig->dwStartType = winsim::detail::read_dword(machine, path, reg::service_start, SERVICE_DEMAND_START);
    lpServiceConfig->dwErrorControl = winsim::detail::read_dword(machine, path, reg::service_error_control, SERVICE_ERROR_NORMAL);
    lpServiceConfig->dwTagId = winsim::detail::read_dword(machine, path, reg::service_tag, 0);
    lpServiceConfig->lpBinaryPathName = put(image, image.size() + 1);
    lpServiceConfig->lpLoadOrderGroup = put(group, group.size() + 1);
    lpServiceConfig->lpDependencies = put(dependencies, dependencies.size());
    lpServiceConfig->lpServiceStartName = put(start_name, start_name.size() + 1);
    lpServiceConfig->lpDisplayName = put(display, display.size() + 1);
    return TRUE;
}

BOOL WINAPI CloseServiceHandle(SC_HANDLE hSCObject) {
    WINSIM_API("CloseServiceHandle", FALSE);
    if (!winsim::detail::scm_present()) return FALSE;
    std::shared_ptr<ScObject> object = winsim::detail::sc_object(hSCObject);
    if (!object) return fail(ERROR_INVALID_HANDLE, FALSE);
    state().handles.erase(reinterpret_cast<std::uintptr_t>(hSCObject));
    if (!object->manager) winsim::detail::delete_if_due(state(), object->service);
    return TRUE;
}
