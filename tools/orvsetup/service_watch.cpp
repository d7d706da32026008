#include "service_watch.h"

#include <windows.h>

#include <map>
#include <memory>
#include <string>
#include <vector>

namespace orvsetup {

namespace {

using ServiceStates = std::map<std::string, DWORD>;

const char* state_name(DWORD state) {
    switch (state) {
    case SERVICE_STOPPED: return "stopped";
    case SERVICE_START_PENDING: return "starting";
    case SERVICE_STOP_PENDING: return "stopping";
    case SERVICE_RUNNING: return "running";
    case SERVICE_CONTINUE_PENDING: return "continuing";
    case SERVICE_PAUSE_PENDING: return "pausing";
    case SERVICE_PAUSED: return "paused";
    }
    return "in an unknown state";
}

// None where there is no service manager (Windows 95 and 98).
ServiceStates service_states() {
    ServiceStates states;
    SC_HANDLE manager = OpenSCManagerA(nullptr, nullptr, SC_MANAGER_ENUMERATE_SERVICE);
    if (!manager) return states;
    DWORD needed = 0;
    DWORD count = 0;
    DWORD resume = 0;
    EnumServicesStatusA(manager, SERVICE_WIN32, SERVICE_STATE_ALL, nullptr, 0, &needed, &count, &resume);
    std::vector<BYTE> buffer(needed);
    resume = 0;
    if (needed && EnumServicesStatusA(manager, SERVICE_WIN32, SERVICE_STATE_ALL,
                                      reinterpret_cast<LPENUM_SERVICE_STATUSA>(buffer.data()), needed, &needed, &count,
                                      &resume)) {
        const auto* services = reinterpret_cast<const ENUM_SERVICE_STATUSA*>(buffer.data());
        for (DWORD i = 0; i < count; ++i) states[services[i].lpServiceName] = services[i].ServiceStatus.dwCurrentState;
    }
    CloseServiceHandle(manager);
    return states;
}

}  // namespace

CallObserver watch_services() {
    auto known = std::make_shared<ServiceStates>(service_states());
    return [known] {
        ServiceStates now = service_states();
        std::vector<std::string> lines;
        for (const auto& [name, state] : now) {
            auto before = known->find(name);
            if (before == known->end()) lines.push_back("service " + name + " added, " + state_name(state));
            else if (before->second != state) lines.push_back("service " + name + " " + state_name(state));
        }
        for (const auto& [name, state] : *known)
            if (!now.count(name)) lines.push_back("service " + name + " removed");
        *known = std::move(now);
        return lines;
    };
}

}  // namespace orvsetup
