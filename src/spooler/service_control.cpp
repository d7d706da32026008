#include "service_control.h"

#include "frame/catalogue.h"
#include "frame/error_state.h"
#include "frame/service_handle.h"

namespace {

const char spooler_service[] = "Spooler";
constexpr DWORD stop_poll_ms = 100;
constexpr DWORD stop_wait_limit_ms = 120000;
constexpr DWORD start_settle_ms = 500;

// Why a service that was asked to start is stopped again.
DWORD stopped_service_code(const SERVICE_STATUS& status) {
    if (status.dwWin32ExitCode == ERROR_SERVICE_SPECIFIC_ERROR && status.dwServiceSpecificExitCode)
        return status.dwServiceSpecificExitCode;
    if (status.dwWin32ExitCode) return status.dwWin32ExitCode;
    return ERROR_SERVICE_NOT_ACTIVE;
}

}  // namespace

LONG shut_down_spooler_service() {
    ServiceHandle manager(OpenSCManagerA(nullptr, nullptr, SC_MANAGER_ALL_ACCESS));
    if (!manager.get()) return record_last_error(IDS_SHUT_DOWN_SPOOLER_SERVICE_OPENSCMANAGER, nullptr, 0, 0);
    ServiceHandle service(OpenServiceA(manager.get(), spooler_service, SERVICE_ALL_ACCESS));
    if (!service.get()) return record_last_error(IDS_SHUT_DOWN_SPOOLER_SERVICE_OPENSERVICE, spooler_service, 0, 0);
    if (LONG code = stop_service_and_wait(service.get(), IDS_SHUT_DOWN_SPOOLER_SERVICE_CONTROLSERVICE)) return code;
    spooler_restart_pending = 0;
    return ERROR_SUCCESS;
}

LONG stop_service_and_wait(SC_HANDLE service, UINT message) {
    SERVICE_STATUS status{};
    if (!ControlService(service, SERVICE_CONTROL_STOP, &status)) return record_last_error(message, nullptr, 0, 0);
    DWORD waited = 0;
    QueryServiceStatus(service, &status);
    while (status.dwCurrentState != SERVICE_STOPPED) {
        if (waited >= stop_wait_limit_ms) {
            // It may still stop later, or stay as it is until Windows starts again.
            reboot_flag = 1;
            return record_error(ERROR_SERVICE_REQUEST_TIMEOUT, message, nullptr, 0, 0);
        }
        Sleep(stop_poll_ms);
        waited += stop_poll_ms;
        QueryServiceStatus(service, &status);
    }
    return ERROR_SUCCESS;
}

LONG restart_spooler_service() {
    ServiceHandle manager(OpenSCManagerA(nullptr, nullptr, SC_MANAGER_ALL_ACCESS));
    if (!manager.get()) return record_last_error(IDS_RESTART_SPOOLER_SERVICE_OPENSCMANAGER, nullptr, 0, 0);
    ServiceHandle service(OpenServiceA(manager.get(), spooler_service, SERVICE_ALL_ACCESS));
    if (!service.get()) return record_last_error(IDS_RESTART_SPOOLER_SERVICE_OPENSERVICE, nullptr, 0, 0);
    DWORD code = ERROR_SUCCESS;
    bool first_pending = true;
    DWORD checkpoint = 0;
    bool start_requested = false;
    SERVICE_STATUS status{};
    for (;;) {
        // Without its state the spooler cannot be told stopped from running: it is
        // not taken for running.
        if (!QueryServiceStatus(service.get(), &status)) {
            code = GetLastError();
            break;
        }
        if (status.dwCurrentState == SERVICE_STOPPED) {
            if (start_requested) {
                // It took our start and ended again: asking once more would loop for as
                // long as it keeps failing, so its own exit code is the answer.
                code = stopped_service_code(status);
                break;
            }
            if (StartServiceA(service.get(), 0, nullptr)) {
                start_requested = true;
                Sleep(start_settle_ms);
                continue;
            }
            code = GetLastError();
            if (code == ERROR_SERVICE_ALREADY_RUNNING) code = ERROR_SUCCESS;
            break;
        }
        if (status.dwCurrentState == SERVICE_START_PENDING || status.dwCurrentState == SERVICE_STOP_PENDING) {
            // A pending state that makes no progress between two looks has hung.
            if (!first_pending && status.dwCheckPoint == checkpoint) {
                code = ERROR_SERVICE_REQUEST_TIMEOUT;
                break;
            }
            checkpoint = status.dwCheckPoint;
            first_pending = false;
            Sleep(status.dwWaitHint);
            continue;
        }
        break;  // running, paused, or on the way to one of those: left as it is
    }
    return record_error(code, IDS_RESTART_SPOOLER_SERVICE_STARTSERVICE, nullptr, 0, 0);
}
