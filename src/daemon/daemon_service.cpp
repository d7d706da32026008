#include "daemon_service.h"

#include "files/paths.h"

#include "orvinstl.h"

#include "frame/catalogue.h"
#include "frame/error_state.h"
#include "frame/memory.h"
#include "frame/service_handle.h"
#include "spooler/service_control.h"

#include <memory>

namespace {

// The daemon shows its window on the desktop, so it runs as an interactive service of
// its own process, started by Windows at every system start.
constexpr DWORD daemon_service_type = SERVICE_WIN32_OWN_PROCESS | SERVICE_INTERACTIVE_PROCESS;
constexpr DWORD system_directory_size = 512;

struct HeapBlockRelease {
    void operator()(void* block) const { heap_free(block); }
};
using ServiceConfig = std::unique_ptr<QUERY_SERVICE_CONFIGA, HeapBlockRelease>;

// The service's configuration by the two calls, or null when it cannot be read; the
// removal goes on without it, and so leaves the program file where it is.
ServiceConfig read_service_config(SC_HANDLE service) {
    DWORD needed = 0;
    if (!QueryServiceConfigA(service, nullptr, 0, &needed) && GetLastError() != ERROR_INSUFFICIENT_BUFFER) {
        record_last_error(IDS_GETTING_FAX_DAEMON_INFO, nullptr, 0, 0);
        return nullptr;
    }
    ServiceConfig config(static_cast<QUERY_SERVICE_CONFIGA*>(heap_alloc(needed)));
    if (!config) {
        record_error(ERROR_NOT_ENOUGH_MEMORY, IDS_MEMORY_ALLOCATION, "QueryServiceConfig", 0, 0);
        return nullptr;
    }
    if (!QueryServiceConfigA(service, config.get(), needed, &needed)) {
        record_last_error(IDS_GETTING_FAX_DAEMON_INFO, nullptr, 0, 0);
        return nullptr;
    }
    return config;
}

}  // namespace

LONG service_program_path(LPCSTR system_directory, LPCSTR program, LPSTR path, DWORD size) {
    LPCSTR name = file_name_part(program);
    const int directory_length = lstrlenA(system_directory);
    const bool ends_in_backslash = directory_length > 0 && system_directory[directory_length - 1] == '\\';
    const DWORD length = static_cast<DWORD>(directory_length + (ends_in_backslash ? 0 : 1) + lstrlenA(name));
    if (length >= size) return ERROR_FILENAME_EXCED_RANGE;
    lstrcpyA(path, system_directory);
    if (!ends_in_backslash) lstrcatA(path, "\\");
    lstrcatA(path, name);
    return ERROR_SUCCESS;
}

// Copies the daemon's program into the system directory and registers it as an
// auto-start service; the service is not started. 0 registered; -13 the program of the
// service that is there already is in use and is replaced at the next restart; else
// the copy's result or the Windows error code.
LONG WINAPI insAddDaemonService(LPCSTR serviceName, LPCSTR programPath, LPCSTR accountName, LPCSTR password) {
    if (!serviceName || !programPath) return ERROR_INVALID_PARAMETER;
    ServiceHandle manager(OpenSCManagerA(nullptr, nullptr, SC_MANAGER_ALL_ACCESS));
    if (!manager.get()) return record_last_error(IDS_OPENING_SERVICE_MANAGER_TO_INSTALL_DAEMON, nullptr, 0, 0);

    char system_directory[system_directory_size];
    const UINT length = GetSystemDirectoryA(system_directory, system_directory_size);
    if (!length) return record_last_error(IDS_ADDING_THE_DAEMON_SERVICE, nullptr, 0, 0);
    char program[system_directory_size];
    if (length >= system_directory_size ||
        service_program_path(system_directory, programPath, program, system_directory_size))
        return record_error(ERROR_FILENAME_EXCED_RANGE, IDS_ADDING_THE_DAEMON_SERVICE, programPath, 0, 0);

    const LONG copied = insSafeFileCopy(programPath, program, 1);
    if (copied == INS_DEFERRED_TO_RESTART) {
        // Only a running service holds its program: the service is there already and
        // takes the new program when Windows starts again.
        reboot_flag = 1;
        record_warning(IDS_BINARY_FILE_FOR_DAEMON_SERVICE_IS);
        return INS_DEFERRED_TO_RESTART;
    }
    if (copied != INS_OK) return copied;

    ServiceHandle service(CreateServiceA(manager.get(), serviceName, serviceName, SERVICE_ALL_ACCESS, daemon_service_type,
                                         SERVICE_AUTO_START, SERVICE_ERROR_NORMAL, program, nullptr, nullptr, nullptr,
                                         accountName, password));
    if (!service.get()) return record_last_error(IDS_ADDING_THE_DAEMON_SERVICE, nullptr, 0, 0);
    return INS_OK;
}

// Stops the daemon's service, deletes it and deletes its program file (at the next
// restart when the file is still in use). 0 removed, or not installed; else the
// Windows error code of the step that failed, with the service left installed.
LONG WINAPI insDeleteDaemonService(LPCSTR serviceName) {
    if (!serviceName) return ERROR_INVALID_PARAMETER;
    ServiceHandle manager(OpenSCManagerA(nullptr, nullptr, SC_MANAGER_ALL_ACCESS));
    if (!manager.get()) return record_last_error(IDS_OPENING_SERVICE_MANAGER_TO_SHUT_DOWN, nullptr, 0, 0);
    ServiceConfig config;
    {
        ServiceHandle service(OpenServiceA(manager.get(), serviceName, SERVICE_ALL_ACCESS));
        // A service that is not there is removed already; any other refusal is a
        // failure, not a removal.
        if (!service.get()) {
            if (GetLastError() == ERROR_SERVICE_DOES_NOT_EXIST) return INS_OK;
            return record_last_error(IDS_ATTEMPTING_TO_DELETE_DAEMON_SERVICE, serviceName, 0, 0);
        }
        config = read_service_config(service.get());
        if (LONG code = stop_service_and_wait(service.get(), IDS_ATTEMPTING_TO_SHUT_DOWN_DAEMON_SERVICE)) return code;
        if (!DeleteService(service.get())) return record_last_error(IDS_ATTEMPTING_TO_DELETE_DAEMON_SERVICE, nullptr, 0, 0);
    }
    // The service went with its last handle. Its program goes too; should something
    // still hold the file, it goes at the next restart, which is not asked for: the
    // stopped service no longer runs it.
    if (config) insFileDelete(config->lpBinaryPathName);
    return INS_OK;
}
