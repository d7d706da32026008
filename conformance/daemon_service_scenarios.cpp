// The daemon as a service: installed from a program the scenario writes, installed
// again over itself, looked at through the service control manager, and removed. The
// system keeps services across runs, so the service and its program are cleared
// before and after with plain Win32.
#include "scenarios.h"
#include "scratch_files.h"
#include "session.h"

#include <mkimage/tagged_images.h>

#include <cctype>
#include <string>

namespace conformance {

namespace {

constexpr const char service_name[] = "OrvConfDaemon";
constexpr const char program_source[] = "C:\\ORVCONF\\ORVCDMN.EXE";
constexpr const char program_name[] = "ORVCDMN.EXE";

std::string system_directory() {
    char directory[MAX_PATH] = "";
    GetSystemDirectoryA(directory, MAX_PATH);
    return directory;
}

std::string installed_program() { return system_directory() + "\\" + program_name; }

bool exists(const std::string& path) { return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

// The system directory differs between systems; in a path it stands as %SYSTEM%.
std::string with_system_named(std::string path) {
    const std::string directory = system_directory();
    auto lower = [](char c) { return static_cast<char>(std::tolower(static_cast<unsigned char>(c))); };
    bool starts = !directory.empty() && path.size() >= directory.size();
    for (std::size_t i = 0; starts && i < directory.size(); ++i) starts = lower(path[i]) == lower(directory[i]);
    if (starts) path.replace(0, directory.size(), "%SYSTEM%");
    return path;
}

// Takes the service away whatever state an earlier run left it in; a service that was
// marked for deletion already goes when the last handle closes.
void remove_service_directly() {
    SC_HANDLE manager = OpenSCManagerA(nullptr, nullptr, SC_MANAGER_ALL_ACCESS);
    if (!manager) return;
    if (SC_HANDLE service = OpenServiceA(manager, service_name, SERVICE_ALL_ACCESS)) {
        SERVICE_STATUS status{};
        ControlService(service, SERVICE_CONTROL_STOP, &status);
        DeleteService(service);
        CloseServiceHandle(service);
    }
    CloseServiceHandle(manager);
}

void clear() {
    remove_service_directly();
    remove_scratch_file(installed_program().c_str());
    remove_scratch_file(program_source);
}

// What the service control manager holds of the service, or that it has none.
Facts registration() {
    Facts facts;
    SC_HANDLE manager = OpenSCManagerA(nullptr, nullptr, SC_MANAGER_CONNECT);
    if (!manager) return facts.number("manager_error", static_cast<long long>(GetLastError()));
    SC_HANDLE service = OpenServiceA(manager, service_name, SERVICE_QUERY_CONFIG | SERVICE_QUERY_STATUS);
    if (!service) {
        facts.number("open_error", static_cast<long long>(GetLastError()));
        CloseServiceHandle(manager);
        return facts;
    }
    DWORD needed = 0;
    SetLastError(0xDEADBEEF);
    const BOOL sized = QueryServiceConfigA(service, nullptr, 0, &needed);
    facts.number("sizing", sized).number("sizing_error", static_cast<long long>(GetLastError()));
    std::string block(needed, '\0');
    auto* config = reinterpret_cast<QUERY_SERVICE_CONFIGA*>(block.data());
    if (needed && QueryServiceConfigA(service, config, needed, &needed)) {
        facts.hex("type", config->dwServiceType)
            .number("start", config->dwStartType)
            .number("error_control", config->dwErrorControl)
            .text("program", with_system_named(config->lpBinaryPathName ? config->lpBinaryPathName : ""))
            .text("display", config->lpDisplayName ? config->lpDisplayName : "")
            .text("account", config->lpServiceStartName ? config->lpServiceStartName : "");
    } else {
        facts.number("config_error", static_cast<long long>(GetLastError()));
    }
    SERVICE_STATUS status{};
    if (QueryServiceStatus(service, &status)) facts.number("state", status.dwCurrentState);
    CloseServiceHandle(service);
    CloseServiceHandle(manager);
    return facts;
}

Facts program_facts() {
    return Facts().number("program_installed", exists(installed_program()) ? 1 : 0);
}

void daemon_service(Session& s) {
    clear();
    make_scratch_directory(scratch_directory);
    write_scratch_file(program_source, mkimage::unversioned_dll("daemon service"));

    LONG result = s.x.add_daemon_service(service_name, program_source, nullptr, nullptr);
    s.result("installed", result, program_facts().append(registration()));
    result = s.x.add_daemon_service(service_name, program_source, nullptr, nullptr);
    s.result("installed again", result, program_facts());
    s.report("restart asked", Facts().number("reboot_required", s.x.reboot_required()));

    // Nothing started the service: its removal is refused and leaves it in place.
    result = s.x.delete_daemon_service(service_name);
    s.result("removed while stopped", result, program_facts().append(registration()));
    remove_service_directly();
    result = s.x.delete_daemon_service(service_name);
    s.result("removed when not installed", result, program_facts().append(registration()));

    s.result("installed with no name", s.x.add_daemon_service(nullptr, program_source, nullptr, nullptr));
    s.result("removed with no name", s.x.delete_daemon_service(nullptr));
    clear();
}

}  // namespace

std::vector<Scenario> daemon_service_scenarios() {
    return {
        {"DaemonService", {"insAddDaemonService", "insDeleteDaemonService", "RebootRequired"}, daemon_service},
    };
}

}  // namespace conformance
