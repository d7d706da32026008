#include <winsim/machine.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace {

using winsim::Machine;
using winsim::Platform;

struct Scm {
    SC_HANDLE manager = nullptr;
    SC_HANDLE service = nullptr;
    explicit Scm(const char* name = "Spooler") {
        manager = OpenSCManagerA(nullptr, nullptr, SC_MANAGER_ALL_ACCESS);
        if (manager) service = OpenServiceA(manager, name, SERVICE_ALL_ACCESS);
    }
    ~Scm() {
        if (service) CloseServiceHandle(service);
        if (manager) CloseServiceHandle(manager);
    }
    SERVICE_STATUS status() const {
        SERVICE_STATUS s{};
        EXPECT_TRUE(QueryServiceStatus(service, &s));
        return s;
    }
};

class NtServices : public testing::TestWithParam<Platform> {};
INSTANTIATE_TEST_SUITE_P(Nt, NtServices, testing::Values(Platform::nt351, Platform::nt4, Platform::win2000));

TEST_P(NtServices, StopPassesThroughStopPendingOnTheClock) {
    auto machine = Machine::create(GetParam());
    Scm scm;
    ASSERT_NE(scm.service, nullptr);
    EXPECT_EQ(scm.status().dwCurrentState, static_cast<DWORD>(SERVICE_RUNNING));
    EXPECT_TRUE(scm.status().dwControlsAccepted & SERVICE_ACCEPT_STOP);
    SERVICE_STATUS s{};
    ASSERT_TRUE(ControlService(scm.service, SERVICE_CONTROL_STOP, &s));
    EXPECT_EQ(s.dwCurrentState, static_cast<DWORD>(SERVICE_STOP_PENDING));
    EXPECT_EQ(s.dwCheckPoint, 1u);
    EXPECT_GT(s.dwWaitHint, 0u);
    Sleep(600);
    EXPECT_EQ(scm.status().dwCurrentState, static_cast<DWORD>(SERVICE_STOP_PENDING));
    EXPECT_EQ(scm.status().dwCheckPoint, 2u);
    Sleep(900);
    EXPECT_EQ(scm.status().dwCurrentState, static_cast<DWORD>(SERVICE_STOPPED));
    EXPECT_EQ(scm.status().dwWin32ExitCode, 0u);
    // A stopped service cannot be stopped again, and says so with its status.
    SetLastError(0);
    s = {};
    EXPECT_FALSE(ControlService(scm.service, SERVICE_CONTROL_STOP, &s));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SERVICE_NOT_ACTIVE));
    EXPECT_EQ(s.dwCurrentState, static_cast<DWORD>(SERVICE_STOPPED));
}

TEST_P(NtServices, EachStateChangeIsKeptWithTheTimeItHappened) {
    auto machine = Machine::create(GetParam());
    std::size_t before = machine->services().events().size();
    Scm scm;
    SERVICE_STATUS s{};
    Sleep(1000);
    ASSERT_TRUE(ControlService(scm.service, SERVICE_CONTROL_STOP, &s));
    Sleep(5000);  // nobody asks in between: the stop still ends when its time says
    ASSERT_TRUE(StartServiceA(scm.service, 0, nullptr));
    Sleep(5000);
    std::vector<std::pair<std::string, std::uint64_t>> seen;
    const std::vector<winsim::ServiceEvent>& events = machine->services().events();
    for (std::size_t i = before; i < events.size(); ++i) {
        EXPECT_EQ(events[i].service, "Spooler");
        seen.emplace_back(winsim::service_state_name(events[i].state), events[i].uptime_ms - events[before].uptime_ms);
    }
    EXPECT_EQ(seen, (std::vector<std::pair<std::string, std::uint64_t>>{
                        {"stop pending", 0}, {"stopped", 1500}, {"start pending", 5000}, {"running", 6500}}));
}

TEST_P(NtServices, StartPassesThroughStartPendingAndRefusesASecondStart) {
    auto machine = Machine::create(GetParam());
    machine->services().set_stopped("Spooler");
    Scm scm;
    ASSERT_TRUE(StartServiceA(scm.service, 0, nullptr));
    EXPECT_EQ(scm.status().dwCurrentState, static_cast<DWORD>(SERVICE_START_PENDING));
    SetLastError(0);
    EXPECT_FALSE(StartServiceA(scm.service, 0, nullptr));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SERVICE_ALREADY_RUNNING));
    // A pending service takes no control.
    SERVICE_STATUS s{};
    EXPECT_FALSE(ControlService(scm.service, SERVICE_CONTROL_STOP, &s));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SERVICE_CANNOT_ACCEPT_CTRL));
    Sleep(1500);
    EXPECT_EQ(scm.status().dwCurrentState, static_cast<DWORD>(SERVICE_RUNNING));
    EXPECT_FALSE(StartServiceA(scm.service, 0, nullptr));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SERVICE_ALREADY_RUNNING));
}

TEST(Services, HangingPendingStatesMoveOrFreezeTheirCheckPoint) {
    struct Case {
        winsim::ServiceHang hang;
        DWORD check_point_later;
    } cases[] = {{winsim::ServiceHang::frozen, 1}, {winsim::ServiceHang::endless, 21}};
    for (const Case& c : cases) {
        auto machine = Machine::create(Platform::nt4);
        machine->services().hang("Spooler", c.hang);
        Scm scm;
        SERVICE_STATUS s{};
        ASSERT_TRUE(ControlService(scm.service, SERVICE_CONTROL_STOP, &s));
        Sleep(10000);
        EXPECT_EQ(scm.status().dwCurrentState, static_cast<DWORD>(SERVICE_STOP_PENDING));
        EXPECT_EQ(scm.status().dwCheckPoint, c.check_point_later);
        // Let go, and it ends.
        machine->services().hang("Spooler", winsim::ServiceHang::none);
        Sleep(1);
        EXPECT_EQ(scm.status().dwCurrentState, static_cast<DWORD>(SERVICE_STOPPED));
    }
}

TEST(Services, ARefusedStopLeavesTheServiceRunning) {
    for (DWORD code : {DWORD{ERROR_SERVICE_CANNOT_ACCEPT_CTRL}, DWORD{ERROR_INVALID_SERVICE_CONTROL}, DWORD{ERROR_DEPENDENT_SERVICES_RUNNING}}) {
        auto machine = Machine::create(Platform::win2000);
        machine->services().refuse_stop("Spooler", code);
        Scm scm;
        SERVICE_STATUS s{};
        SetLastError(0);
        EXPECT_FALSE(ControlService(scm.service, SERVICE_CONTROL_STOP, &s));
        EXPECT_EQ(GetLastError(), code);
        EXPECT_EQ(s.dwCurrentState, static_cast<DWORD>(SERVICE_RUNNING));
        EXPECT_EQ((s.dwControlsAccepted & SERVICE_ACCEPT_STOP) != 0, code != ERROR_INVALID_SERVICE_CONTROL);
        EXPECT_TRUE(machine->spooler().running());
    }
}

TEST(Services, FailingStarts) {
    auto machine = Machine::create(Platform::nt4);
    machine->services().set_stopped("Spooler");
    machine->services().fail_start("Spooler", ERROR_SERVICE_REQUEST_TIMEOUT);
    Scm scm;
    const std::uint64_t before = machine->clock().uptime_ms();
    EXPECT_FALSE(StartServiceA(scm.service, 0, nullptr));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SERVICE_REQUEST_TIMEOUT));
    EXPECT_EQ(machine->clock().uptime_ms() - before, 30000u);
    EXPECT_EQ(scm.status().dwCurrentState, static_cast<DWORD>(SERVICE_STOPPED));

    // Starts, then ends its start stopped with a code of its own.
    machine->services().fail_start("Spooler", 0);
    machine->services().exit_on_start("Spooler", ERROR_SERVICE_SPECIFIC_ERROR, 42);
    ASSERT_TRUE(StartServiceA(scm.service, 0, nullptr));
    EXPECT_EQ(scm.status().dwCurrentState, static_cast<DWORD>(SERVICE_START_PENDING));
    Sleep(2000);
    SERVICE_STATUS s = scm.status();
    EXPECT_EQ(s.dwCurrentState, static_cast<DWORD>(SERVICE_STOPPED));
    EXPECT_EQ(s.dwWin32ExitCode, static_cast<DWORD>(ERROR_SERVICE_SPECIFIC_ERROR));
    EXPECT_EQ(s.dwServiceSpecificExitCode, 42u);
    EXPECT_FALSE(machine->spooler().running());
}

TEST(Services, StopsOnItsOwnAtTheGivenTimeAndMayBePaused) {
    auto machine = Machine::create(Platform::nt4);
    Scm scm;
    machine->services().pause("Spooler");
    EXPECT_EQ(scm.status().dwCurrentState, static_cast<DWORD>(SERVICE_PAUSED));
    machine->services().resume("Spooler");
    machine->services().stop_at("Spooler", machine->clock().uptime_ms() + 5000, ERROR_PROCESS_ABORTED);
    Sleep(4999);
    EXPECT_EQ(scm.status().dwCurrentState, static_cast<DWORD>(SERVICE_RUNNING));
    Sleep(1);
    EXPECT_EQ(scm.status().dwCurrentState, static_cast<DWORD>(SERVICE_STOPPED));
    EXPECT_EQ(scm.status().dwWin32ExitCode, static_cast<DWORD>(ERROR_PROCESS_ABORTED));
}

TEST(Services, AccessAndHandles) {
    winsim::MachineOptions user;
    user.administrator = false;
    auto machine = Machine::create(Platform::win2000, user);
    EXPECT_EQ(OpenSCManagerA(nullptr, nullptr, SC_MANAGER_ALL_ACCESS), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
    SC_HANDLE manager = OpenSCManagerA(nullptr, nullptr, SC_MANAGER_CONNECT);
    ASSERT_NE(manager, nullptr);
    EXPECT_EQ(OpenServiceA(manager, "Spooler", SERVICE_STOP), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
    EXPECT_EQ(OpenServiceA(manager, "NoSuchService", SERVICE_QUERY_STATUS), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SERVICE_DOES_NOT_EXIST));
    SC_HANDLE query = OpenServiceA(manager, "spooler", SERVICE_QUERY_STATUS);
    ASSERT_NE(query, nullptr);
    SERVICE_STATUS s{};
    EXPECT_FALSE(ControlService(query, SERVICE_CONTROL_STOP, &s));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
    EXPECT_TRUE(CloseServiceHandle(query));
    EXPECT_FALSE(CloseServiceHandle(query));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
    EXPECT_TRUE(CloseServiceHandle(manager));
    EXPECT_EQ(machine->open_handles(), 0u);
}

TEST(Services, NineXHasNoServiceControlManager) {
    for (Platform platform : {Platform::win95, Platform::win98}) {
        auto machine = Machine::create(platform);
        SetLastError(0);
        EXPECT_EQ(OpenSCManagerA(nullptr, nullptr, SC_MANAGER_CONNECT), nullptr);
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_CALL_NOT_IMPLEMENTED));
        SERVICE_STATUS s{};
        EXPECT_FALSE(QueryServiceStatus(nullptr, &s));
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_CALL_NOT_IMPLEMENTED));
        EXPECT_TRUE(machine->spooler().running());
    }
}

TEST(Services, CreateQueryConfigAndDeleteWhenTheLastHandleCloses) {
    auto machine = Machine::create(Platform::nt4);
    SC_HANDLE manager = OpenSCManagerA(nullptr, nullptr, SC_MANAGER_ALL_ACCESS);
    SC_HANDLE created = CreateServiceA(manager, "OrvHelper", "Orvana Helper", SERVICE_ALL_ACCESS, SERVICE_WIN32_OWN_PROCESS,
                                       SERVICE_DEMAND_START, SERVICE_ERROR_NORMAL, "C:\\ORV\\helper.exe", nullptr, nullptr,
                                       nullptr, nullptr, nullptr);
    ASSERT_NE(created, nullptr);
    EXPECT_EQ(CreateServiceA(manager, "orvhelper", nullptr, SERVICE_ALL_ACCESS, SERVICE_WIN32_OWN_PROCESS, SERVICE_DEMAND_START,
                             SERVICE_ERROR_NORMAL, "x.exe", nullptr, nullptr, nullptr, nullptr, nullptr),
              nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SERVICE_EXISTS));
    EXPECT_EQ(machine->services().state("OrvHelper"), static_cast<DWORD>(SERVICE_STOPPED));

    DWORD needed = 0;
    EXPECT_FALSE(QueryServiceConfigA(created, nullptr, 0, &needed));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
    std::vector<BYTE> buffer(needed);
    auto* config = reinterpret_cast<QUERY_SERVICE_CONFIGA*>(buffer.data());
    DWORD again = 0;
    EXPECT_FALSE(QueryServiceConfigA(created, config, needed - 1, &again));
    EXPECT_EQ(again, needed);
    ASSERT_TRUE(QueryServiceConfigA(created, config, needed, &again));
    EXPECT_STREQ(config->lpBinaryPathName, "C:\\ORV\\helper.exe");
    EXPECT_STREQ(config->lpDisplayName, "Orvana Helper");
    EXPECT_STREQ(config->lpServiceStartName, "LocalSystem");
    EXPECT_EQ(config->dwStartType, static_cast<DWORD>(SERVICE_DEMAND_START));

    SC_HANDLE other = OpenServiceA(manager, "OrvHelper", SERVICE_ALL_ACCESS);
    ASSERT_TRUE(DeleteService(created));
    EXPECT_FALSE(DeleteService(other));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SERVICE_MARKED_FOR_DELETE));
    EXPECT_FALSE(StartServiceA(other, 0, nullptr));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SERVICE_MARKED_FOR_DELETE));
    CloseServiceHandle(created);
    EXPECT_TRUE(machine->services().exists("OrvHelper"));
    CloseServiceHandle(other);
    EXPECT_FALSE(machine->services().exists("OrvHelper"));
    CloseServiceHandle(manager);
}

// The arguments CreateServiceA refuses before it registers anything, with their codes
// (advapi32 service.c, test_create_delete_svc: 487 on 2000, 87 on NT 4.0 for a missing
// name or program; NT 3.51 taken as NT 4.0).
TEST_P(NtServices, CreateServiceRefusesBadRegistrations) {
    auto machine = Machine::create(GetParam());
    SC_HANDLE manager = OpenSCManagerA(nullptr, nullptr, SC_MANAGER_ALL_ACCESS);
    ASSERT_NE(manager, nullptr);
    const DWORD missing = GetParam() == Platform::win2000 ? ERROR_INVALID_ADDRESS : ERROR_INVALID_PARAMETER;
    struct Case {
        const char* what;
        const char* name;
        const char* program;
        DWORD type;
        DWORD start;
        const char* account;
        DWORD expected;
    } cases[] = {
        {"no name", nullptr, "d.exe", 0x110, SERVICE_AUTO_START, nullptr, missing},
        {"no program", "Daemon", nullptr, 0x110, SERVICE_AUTO_START, nullptr, missing},
        {"empty name", "", "d.exe", 0x110, SERVICE_AUTO_START, nullptr, ERROR_INVALID_NAME},
        {"empty program", "Daemon", "", 0x110, SERVICE_AUTO_START, nullptr, ERROR_INVALID_PARAMETER},
        {"interactive under an account", "Daemon", "d.exe", 0x110, SERVICE_AUTO_START, ".\\Operator", ERROR_INVALID_PARAMETER},
        {"two kinds at once", "Daemon", "d.exe", SERVICE_WIN32_OWN_PROCESS | SERVICE_WIN32_SHARE_PROCESS, SERVICE_AUTO_START,
         nullptr, ERROR_INVALID_PARAMETER},
        {"interactive driver", "Daemon", "d.sys", SERVICE_KERNEL_DRIVER | SERVICE_INTERACTIVE_PROCESS, SERVICE_DEMAND_START,
         nullptr, ERROR_INVALID_PARAMETER},
        {"boot start of a program", "Daemon", "d.exe", SERVICE_WIN32_OWN_PROCESS, SERVICE_BOOT_START, nullptr,
         ERROR_INVALID_PARAMETER},
        {"start types or-ed", "Daemon", "d.exe", SERVICE_WIN32_OWN_PROCESS, SERVICE_AUTO_START | SERVICE_DISABLED, nullptr,
         ERROR_INVALID_PARAMETER},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        SetLastError(0xDEADBEEF);
        EXPECT_EQ(CreateServiceA(manager, c.name, nullptr, SERVICE_ALL_ACCESS, c.type, c.start, SERVICE_ERROR_NORMAL, c.program,
                                 nullptr, nullptr, nullptr, c.account, nullptr),
                  nullptr);
        EXPECT_EQ(GetLastError(), c.expected);
        EXPECT_FALSE(machine->services().exists("Daemon"));
    }
    SC_HANDLE system = CreateServiceA(manager, "Daemon", nullptr, SERVICE_ALL_ACCESS, 0x110, SERVICE_AUTO_START,
                                      SERVICE_ERROR_NORMAL, "d.exe", nullptr, nullptr, nullptr, "LocalSystem", nullptr);
    EXPECT_NE(system, nullptr) << "an interactive service may name LocalSystem itself";
    CloseServiceHandle(system);
    CloseServiceHandle(manager);
    EXPECT_EQ(machine->open_handles(), 0u);
}

// The key a created service gets, value by value as regedit shows it on NT.
TEST_P(NtServices, CreateServiceWritesItsKeyAsWindowsDoes) {
    auto machine = Machine::create(GetParam());
    SC_HANDLE manager = OpenSCManagerA(nullptr, nullptr, SC_MANAGER_ALL_ACCESS);
    SC_HANDLE created = CreateServiceA(manager, "OrvDaemon", "OrvDaemon", SERVICE_ALL_ACCESS, 0x110, SERVICE_AUTO_START,
                                       SERVICE_ERROR_NORMAL, "C:\\WINNT\\system32\\orvd.exe", nullptr, nullptr, nullptr,
                                       nullptr, nullptr);
    ASSERT_NE(created, nullptr);
    const std::string key = "HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Services\\OrvDaemon";
    auto value = [&](const char* name) { return machine->registry().value(key, name); };
    ASSERT_TRUE(value("ImagePath"));
    EXPECT_EQ(value("ImagePath")->type, static_cast<DWORD>(REG_EXPAND_SZ));
    EXPECT_EQ(value("ImagePath")->bytes, std::string("C:\\WINNT\\system32\\orvd.exe") + '\0');
    auto dword = [&](const char* name) {
        std::optional<winsim::RegistryValue> v = value(name);
        DWORD out = 0xDEADBEEF;
        if (v && v->type == REG_DWORD && v->bytes.size() == 4) std::memcpy(&out, v->bytes.data(), 4);
        return out;
    };
    EXPECT_EQ(dword("Type"), 0x110u);
    EXPECT_EQ(dword("Start"), static_cast<DWORD>(SERVICE_AUTO_START));
    EXPECT_EQ(dword("ErrorControl"), static_cast<DWORD>(SERVICE_ERROR_NORMAL));
    ASSERT_TRUE(value("ObjectName"));
    EXPECT_EQ(value("ObjectName")->bytes, std::string("LocalSystem") + '\0');
    ASSERT_TRUE(value("DisplayName"));
    EXPECT_EQ(value("DisplayName")->bytes, std::string("OrvDaemon") + '\0');
    CloseServiceHandle(created);
    CloseServiceHandle(manager);
}

// A running service's process holds its program file: it can be read, not replaced or
// deleted, until the service stops. An auto-start service runs again after a restart.
TEST_P(NtServices, ARunningServiceHoldsItsProgramUntilItStops) {
    auto machine = Machine::create(GetParam());
    const std::string program = std::string(machine->platform_info().system_directory) + "\\orvd.exe";
    machine->files().write_file(program, "MZ program");
    machine->files().write_file("C:\\new.exe", "MZ newer");
    winsim::ServiceConfig config;
    config.type = 0x110;
    config.start = SERVICE_AUTO_START;
    config.image_path = "%SystemRoot%\\system32\\orvd.exe";
    machine->services().add("OrvDaemon", config);
    EXPECT_TRUE(CopyFileA("C:\\new.exe", program.c_str(), FALSE)) << "a stopped service holds nothing";

    machine->reboot();
    EXPECT_EQ(machine->services().state("OrvDaemon"), static_cast<DWORD>(SERVICE_RUNNING));
    SetLastError(0xDEADBEEF);
    EXPECT_FALSE(CopyFileA("C:\\new.exe", program.c_str(), FALSE));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SHARING_VIOLATION));
    SetLastError(0xDEADBEEF);
    EXPECT_FALSE(DeleteFileA(program.c_str()));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SHARING_VIOLATION));
    EXPECT_TRUE(CopyFileA(program.c_str(), "C:\\copy.exe", FALSE)) << "reading it is shared";

    Scm scm("OrvDaemon");
    SERVICE_STATUS status{};
    ASSERT_TRUE(ControlService(scm.service, SERVICE_CONTROL_STOP, &status));
    Sleep(2000);
    EXPECT_EQ(scm.status().dwCurrentState, static_cast<DWORD>(SERVICE_STOPPED));
    SetLastError(0xDEADBEEF);
    EXPECT_FALSE(ControlService(scm.service, SERVICE_CONTROL_STOP, &status));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SERVICE_NOT_ACTIVE));
    EXPECT_TRUE(DeleteFileA(program.c_str())) << "the stopped process let go of its file";
}

TEST(Services, AServiceThatNeverStopsKeepsItsProgram) {
    auto machine = Machine::create(Platform::win2000);
    machine->files().write_file("C:\\WINNT\\system32\\orvd.exe", "MZ");
    winsim::ServiceConfig config;
    config.start = SERVICE_AUTO_START;
    config.image_path = "\"C:\\WINNT\\system32\\orvd.exe\" -service";
    machine->services().add("OrvDaemon", config);
    machine->services().set_running("OrvDaemon");
    machine->services().hang("OrvDaemon", winsim::ServiceHang::frozen);
    Scm scm("OrvDaemon");
    SERVICE_STATUS status{};
    ASSERT_TRUE(ControlService(scm.service, SERVICE_CONTROL_STOP, &status));
    Sleep(600000);
    EXPECT_EQ(scm.status().dwCurrentState, static_cast<DWORD>(SERVICE_STOP_PENDING));
    EXPECT_FALSE(DeleteFileA("C:\\WINNT\\system32\\orvd.exe")) << "the quoted program with its argument is held";
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SHARING_VIOLATION));
}

TEST(Services, RebootStartsTheAutoStartServicesAgain) {
    auto machine = Machine::create(Platform::win2000);
    machine->services().set_stopped("Spooler");
    ASSERT_FALSE(machine->spooler().running());
    machine->reboot();
    EXPECT_EQ(machine->services().state("Spooler"), static_cast<DWORD>(SERVICE_RUNNING));
    EXPECT_TRUE(machine->spooler().running());
}

}  // namespace
