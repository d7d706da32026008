// Control API of the machine's services (NT only): how a test adds a service and makes
// it behave badly. A service's configuration lives in the registry under
// Services\<name>; what its process is doing, and how it is to misbehave, lives in
// the machine's state and is saved with it. Every state change that takes time runs
// on the machine's clock: Sleep moves a pending service on.
#pragma once

#include <winsim/windows.h>

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace winsim {

namespace detail {
struct MachineState;
}

// How a pending state ends.
enum class ServiceHang {
    none,     // it reaches its end after the state's duration
    frozen,   // the check point never moves and the state never ends
    endless,  // the check point keeps moving and the state never ends
};

struct ServiceTiming {
    std::uint32_t start_ms = 1500;  // START_PENDING before RUNNING
    std::uint32_t stop_ms = 1500;   // STOP_PENDING before STOPPED
    std::uint32_t wait_hint_ms = 3000;
    std::uint32_t check_point_every_ms = 500;
};

struct ServiceConfig {
    DWORD type = SERVICE_WIN32_OWN_PROCESS;
    DWORD start = SERVICE_DEMAND_START;
    DWORD error_control = SERVICE_ERROR_NORMAL;
    std::string image_path;
    std::string display_name;  // the name when empty
    std::string object_name = "LocalSystem";
};

// A service entering a state, at the machine's uptime; kept for this process only, so
// that a setup program can show what an operation did to the services.
struct ServiceEvent {
    std::uint64_t uptime_ms = 0;
    std::string service;
    DWORD state = SERVICE_STOPPED;
};

// The words for a service state, as the services console shows it ("stop pending").
const char* service_state_name(DWORD state);

class Services {
public:
    explicit Services(detail::MachineState& machine) : machine_(machine) {}

    bool exists(std::string_view name) const;
    // Every registered service, as its key spells it, and what its key holds.
    std::vector<std::string> names() const;
    ServiceConfig config(std::string_view name) const;
    // Registers a stopped service; throws std::invalid_argument when it exists.
    void add(std::string_view name, const ServiceConfig& config);
    // The status QueryServiceStatus would give now. Throws for an unknown service.
    SERVICE_STATUS status(std::string_view name) const;
    DWORD state(std::string_view name) const { return status(name).dwCurrentState; }

    // Puts the service straight into RUNNING or STOPPED, as if it had got there long ago.
    void set_running(std::string_view name);
    void set_stopped(std::string_view name);
    void set_timing(std::string_view name, const ServiceTiming& timing);
    // ControlService(STOP) fails with `code` while set (0 lets it stop again). With
    // ERROR_INVALID_SERVICE_CONTROL the running service also stops accepting STOP.
    void refuse_stop(std::string_view name, DWORD code = ERROR_SERVICE_CANNOT_ACCEPT_CTRL);
    // How its pending states end from now on.
    void hang(std::string_view name, ServiceHang hang);
    // StartServiceA fails with `code` (0 lets it start again); the service stays stopped.
    void fail_start(std::string_view name, DWORD code);
    // StartServiceA succeeds, but the service ends its start in STOPPED with this exit
    // code (ERROR_SERVICE_SPECIFIC_ERROR with `specific` for a code of its own).
    void exit_on_start(std::string_view name, DWORD win32_exit_code, DWORD specific = 0);
    // The running service stops on its own at that uptime, with that exit code.
    void stop_at(std::string_view name, std::uint64_t uptime_ms, DWORD win32_exit_code = 0);
    // A running service is paused or continued (the spooler keeps serving while paused).
    void pause(std::string_view name);
    void resume(std::string_view name);
    // Every state change since this process began, in the order they were seen.
    const std::vector<ServiceEvent>& events() const;

private:
    detail::MachineState& machine_;
};

}  // namespace winsim
