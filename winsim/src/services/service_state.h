// What the machine's services and spooler keep outside the registry: the run state
// of each service process, how a test asked it to misbehave, the monitors the
// running spooler loaded, and the queued jobs.
#pragma once

#include "core/names.h"

#include <winsim/services/services.h>
#include <winsim/spooler/spooler.h>

#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace winsim::detail {

struct MachineState;

struct ServiceRun {
    DWORD state = SERVICE_STOPPED;
    std::uint64_t since_ms = 0;  // uptime at which the current state began
    bool ever_started = false;
    DWORD exit_code = 0;
    DWORD specific_exit_code = 0;
    // Misbehaviour asked for by a test.
    ServiceTiming timing;
    ServiceHang hang = ServiceHang::none;
    DWORD refuse_stop = 0;
    DWORD fail_start = 0;
    DWORD exit_on_start = 0;
    DWORD exit_on_start_specific = 0;
    bool stops_on_its_own = false;
    std::uint64_t stop_at_ms = 0;
    DWORD stop_at_exit_code = 0;
};

struct LoadedMonitor {
    std::string name;
    std::string path;  // the DLL's full path, held while loaded; empty when not on disk
    std::vector<std::string> ports;  // as it read them from its registry when it last looked
};

struct SpoolerRun {
    // The spooler's process has loaded its monitors (NT: its service is running).
    bool loaded = false;
    // Counts the spooler's starts, so that a handle from before a restart is stale.
    std::uint32_t generation = 0;
    std::vector<LoadedMonitor> monitors;
    std::vector<std::string> processors;  // the full paths of the processor DLLs it holds
    std::map<std::string, std::vector<PrintJob>, LessNoCase> jobs;
    DWORD next_job_id = 1;
};


// Services: brings every service to where the clock says it is now.
void settle_services(MachineState& machine);
void lay_out_services(MachineState& machine);
// After a restart: every process is gone; marked services go, auto-start ones run.
void restart_services(MachineState& machine);

// The spooler.
void lay_out_spooler(MachineState& machine);
// The name the spooler holds its loaded monitors under.
inline constexpr const char* spooler_holder = "spooler";
void spooler_started(MachineState& machine);
void spooler_stopped(MachineState& machine);
// Whether a spooler call may go on; sets 1722 when it may not.
bool spooler_answers();

}  // namespace winsim::detail
