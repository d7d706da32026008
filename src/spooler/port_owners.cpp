#include "port_owners.h"

#include "ports.h"

#include "frame/catalogue.h"
#include "frame/error_state.h"
#include "frame/memory.h"
#include "frame/platform_flags.h"

namespace {

// The first monitor of that name, or -1.
LONG monitor_index(LPCSTR name, const MONITOR_INFO_1A* monitors, LONG monitor_count) {
    if (!name) return -1;
    for (LONG i = 0; i < monitor_count; ++i)
        if (lstrcmpiA(monitors[i].pName, name) == 0) return i;
    return -1;
}

// NT 3.51 lists no monitors with its ports: only their keys tell.
bool described() { return !os_is_nt351; }

}  // namespace

OwnedPorts::~OwnedPorts() {
    if (list_) LocalFree(list_);
    heap_free(owners_);
}

LPCSTR OwnedPorts::name(LONG i) const {
    return described() ? reinterpret_cast<const PORT_INFO_2A*>(list_)[i].pPortName
                       : reinterpret_cast<const PORT_INFO_1A*>(list_)[i].pName;
}

LONG OwnedPorts::read(const MONITOR_INFO_1A* monitors, LONG monitor_count) {
    LONG error = 0;
    list_ = enumerate_ports(described() ? 2 : 1, &count_, &error);
    if (!list_) return error;
    owners_ = static_cast<LONG*>(heap_alloc(sizeof(LONG) * static_cast<SIZE_T>(count_)));
    if (!owners_) return record_last_error(IDS_MEMORY_ALLOCATION, nullptr, 0, 0);
    for (LONG i = 0; i < count_; ++i) {
        owners_[i] = -1;
        if (!described()) {
            for (LONG m = 0; m < monitor_count && owners_[i] < 0; ++m)
                if (port_belongs_to_monitor(name(i), monitors[m].pName, &error) == 1) owners_[i] = m;
            continue;
        }
        // A port belongs to the monitor its entry names, or whose name its description is.
        const PORT_INFO_2A& port = reinterpret_cast<const PORT_INFO_2A*>(list_)[i];
        const LONG by_monitor = monitor_index(port.pMonitorName, monitors, monitor_count);
        const LONG by_description = monitor_index(port.pDescription, monitors, monitor_count);
        owners_[i] = (by_monitor < 0 || (by_description >= 0 && by_description < by_monitor)) ? by_description : by_monitor;
    }
    return 0;
}
