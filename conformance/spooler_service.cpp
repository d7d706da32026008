#include "spooler_service.h"

#ifdef _WIN32
#include <windows.h>

namespace conformance {

namespace {

struct ServiceHandle {
    SC_HANDLE handle = nullptr;
    ServiceHandle() = default;
    ServiceHandle(const ServiceHandle&) = delete;
    ServiceHandle& operator=(const ServiceHandle&) = delete;
    ~ServiceHandle() {
        if (handle) CloseServiceHandle(handle);
    }
};

}  // namespace

// A Wine session starts the service only when asked, where Windows starts it with the
// system: without it the library's stop of the spooler (on NT, around a copy or to
// make it read a new port) would meet a service that is not running.
unsigned long start_spooler_service() {
    ServiceHandle manager;
    manager.handle = OpenSCManagerA(nullptr, nullptr, SC_MANAGER_CONNECT);
    if (!manager.handle) return GetLastError();
    ServiceHandle spooler;
    spooler.handle = OpenServiceA(manager.handle, "Spooler", SERVICE_START | SERVICE_QUERY_STATUS);
    if (!spooler.handle) return GetLastError();
    if (!StartServiceA(spooler.handle, 0, nullptr) && GetLastError() != ERROR_SERVICE_ALREADY_RUNNING) return GetLastError();
    for (int tenth = 0; tenth < 300; ++tenth) {
        SERVICE_STATUS status{};
        if (!QueryServiceStatus(spooler.handle, &status)) return GetLastError();
        if (status.dwCurrentState == SERVICE_RUNNING) return 0;
        Sleep(100);
    }
    return ERROR_SERVICE_REQUEST_TIMEOUT;
}

}  // namespace conformance
#endif
