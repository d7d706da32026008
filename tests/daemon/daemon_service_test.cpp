#include "support/library.h"

#include "daemon/daemon_service.h"
#include "frame/error_state.h"

#include <cctype>
#include <string>

namespace {

using winsim::Platform;

constexpr const char* service_name = "OrvDaemon";
constexpr const char* source = "C:\\SETUP\\orvdaemon.exe";

bool has(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

class DaemonService : public testing_support::LibraryTest, public testing::WithParamInterface<Platform> {
protected:
    void SetUp() override {
        start(GetParam());
        machine->files().write_file(source, "MZ daemon, new");
        installed = std::string(machine->platform_info().system_directory) + "\\orvdaemon.exe";
    }
    winsim::Services services() { return machine->services(); }
    // The service as an earlier installation left it, its program in place.
    void install_earlier(bool running) {
        machine->files().write_file(installed, "MZ daemon, old");
        winsim::ServiceConfig config;
        config.type = SERVICE_WIN32_OWN_PROCESS | SERVICE_INTERACTIVE_PROCESS;
        config.start = SERVICE_AUTO_START;
        config.image_path = installed;
        config.display_name = service_name;
        services().add(service_name, config);
        if (running) services().set_running(service_name);
    }
    QUERY_SERVICE_CONFIGA* config_of(std::string& block) {
        SC_HANDLE manager = OpenSCManagerA(nullptr, nullptr, SC_MANAGER_CONNECT);
        SC_HANDLE service = OpenServiceA(manager, service_name, SERVICE_QUERY_CONFIG);
        DWORD needed = 0;
        QueryServiceConfigA(service, nullptr, 0, &needed);
        block.assign(needed, '\0');
        auto* config = reinterpret_cast<QUERY_SERVICE_CONFIGA*>(block.data());
        EXPECT_TRUE(QueryServiceConfigA(service, config, needed, &needed));
        CloseServiceHandle(service);
        CloseServiceHandle(manager);
        return config;
    }
    std::string installed;
};

INSTANTIATE_TEST_SUITE_P(Nt, DaemonService, testing::Values(Platform::nt351, Platform::nt4, Platform::win2000));

TEST_P(DaemonService, InstallsStartsAtTheRestartAndIsRemovedWithItsProgram) {
    ASSERT_EQ(insAddDaemonService(service_name, source, nullptr, nullptr), 0);
    EXPECT_EQ(machine->files().read_file(installed), "MZ daemon, new");
    std::string block;
    QUERY_SERVICE_CONFIGA* config = config_of(block);
    EXPECT_EQ(config->dwServiceType, 0x110u);
    EXPECT_EQ(config->dwStartType, static_cast<DWORD>(SERVICE_AUTO_START));
    EXPECT_EQ(config->dwErrorControl, static_cast<DWORD>(SERVICE_ERROR_NORMAL));
    EXPECT_EQ(std::string(config->lpBinaryPathName), installed);
    EXPECT_STREQ(config->lpDisplayName, service_name);
    EXPECT_STREQ(config->lpServiceStartName, "LocalSystem");
    EXPECT_EQ(services().state(service_name), static_cast<DWORD>(SERVICE_STOPPED)) << "installing does not start it";
    EXPECT_EQ(take_error_text(), "");
    EXPECT_EQ(machine->open_handles(), 0u);

    machine->reboot();
    library = LoadLibraryA("OrvInstl.dll");
    EXPECT_EQ(services().state(service_name), static_cast<DWORD>(SERVICE_RUNNING));
    EXPECT_EQ(insDeleteDaemonService(service_name), 0);
    EXPECT_FALSE(services().exists(service_name));
    EXPECT_FALSE(machine->files().exists(installed)) << "the stopped daemon let go of its program";
    EXPECT_EQ(take_error_text(), "");
    EXPECT_EQ(RebootRequired(), 0);
    EXPECT_EQ(machine->open_handles(), 0u);
    EXPECT_EQ(machine->live_heap_blocks(), 0u);
}

TEST_P(DaemonService, OverARunningServiceTheProgramWaitsForTheRestart) {
    install_earlier(true);
    EXPECT_EQ(insAddDaemonService(service_name, source, nullptr, nullptr), INS_DEFERRED_TO_RESTART);
    EXPECT_EQ(RebootRequired(), 1);
    EXPECT_EQ(take_error_text(), "Printer installer WARNING: Binary file for daemon service is locked; the service is already present.\n"
                                 "Rebooting will update the service.\n");
    EXPECT_EQ(machine->files().read_file(installed), "MZ daemon, old");
    EXPECT_EQ(services().state(service_name), static_cast<DWORD>(SERVICE_RUNNING));
    EXPECT_EQ(machine->open_handles(), 0u);
    machine->reboot();
    EXPECT_EQ(machine->files().read_file(installed), "MZ daemon, new");
    EXPECT_EQ(services().state(service_name), static_cast<DWORD>(SERVICE_RUNNING)) << "registration kept";
}

TEST_P(DaemonService, OverAStoppedServiceTheProgramIsCopiedAndTheServiceExists) {
    install_earlier(false);
    SetLastError(0xDEADBEEF);
    EXPECT_EQ(insAddDaemonService(service_name, source, nullptr, nullptr), ERROR_SERVICE_EXISTS);
    EXPECT_EQ(machine->files().read_file(installed), "MZ daemon, new");
    EXPECT_TRUE(has(take_error_text(), "(adding the daemon service): \nerror #1073."));
    EXPECT_EQ(machine->open_handles(), 0u);
}

TEST_P(DaemonService, RemovingAStoppedServiceFailsAndLeavesItInstalled) {
    install_earlier(false);
    EXPECT_EQ(insDeleteDaemonService(service_name), ERROR_SERVICE_NOT_ACTIVE);
    EXPECT_TRUE(services().exists(service_name));
    EXPECT_TRUE(machine->files().exists(installed));
    EXPECT_TRUE(has(take_error_text(), "(attempting to shut down daemon service): \nerror #1062."));
    EXPECT_EQ(machine->open_handles(), 0u);
    EXPECT_EQ(machine->live_heap_blocks(), 0u);
}

TEST_P(DaemonService, RemovingAMissingServiceRecordsNothing) {
    EXPECT_EQ(insDeleteDaemonService(service_name), 0);
    EXPECT_EQ(take_error_text(), "");
    EXPECT_EQ(machine->open_handles(), 0u);
}

TEST_P(DaemonService, AProgramSomeoneElseHoldsGoesAtTheRestartWithoutAskingForIt) {
    install_earlier(true);
    machine->files().hold(installed, FILE_SHARE_READ);
    EXPECT_EQ(insDeleteDaemonService(service_name), 0);
    EXPECT_FALSE(services().exists(service_name));
    EXPECT_TRUE(machine->files().exists(installed));
    EXPECT_EQ(RebootRequired(), 0);
    EXPECT_EQ(take_error_text(), "");
    machine->reboot();
    EXPECT_FALSE(machine->files().exists(installed));
}

TEST_P(DaemonService, AServiceThatNeverStopsIsGivenUpAfterTwoMinutes) {
    install_earlier(true);
    services().hang(service_name, winsim::ServiceHang::endless);
    const DWORD before = GetTickCount();
    EXPECT_EQ(insDeleteDaemonService(service_name), ERROR_SERVICE_REQUEST_TIMEOUT);
    const DWORD waited = GetTickCount() - before;
    EXPECT_GE(waited, 120000u);
    EXPECT_LT(waited, 121000u);
    EXPECT_EQ(RebootRequired(), 1) << "a restart ends it";
    EXPECT_TRUE(has(take_error_text(), "(attempting to shut down daemon service): \nerror #1053."));
    EXPECT_TRUE(services().exists(service_name));
    EXPECT_EQ(machine->open_handles(), 0u);
    EXPECT_EQ(machine->live_heap_blocks(), 0u);
}

TEST_P(DaemonService, AnInteractiveServiceUnderAnAccountIsRefused) {
    EXPECT_EQ(insAddDaemonService(service_name, source, ".\\Operator", "secret"), ERROR_INVALID_PARAMETER);
    EXPECT_TRUE(has(take_error_text(), "(adding the daemon service): \nerror #87."));
    EXPECT_FALSE(services().exists(service_name));
}

TEST_P(DaemonService, NullNamesAndPathsAreRefusedUnrecorded) {
    EXPECT_EQ(insAddDaemonService(nullptr, source, nullptr, nullptr), ERROR_INVALID_PARAMETER);
    EXPECT_EQ(insAddDaemonService(service_name, nullptr, nullptr, nullptr), ERROR_INVALID_PARAMETER);
    EXPECT_EQ(insDeleteDaemonService(nullptr), ERROR_INVALID_PARAMETER);
    EXPECT_EQ(take_error_text(), "");
    error_flag = 1;
    EXPECT_EQ(insAddDaemonService(service_name, source, nullptr, nullptr), 0) << "the error flag is not looked at";
}

// Every failure of the two operations, driven by fault injection: its message, its
// result, and what is left of the service and its program.
struct Failure {
    const char* what;
    bool removal;
    const char* api;
    unsigned nth;
    DWORD code;
    const char* recorded;  // the entry's beginning after the prefix; null: nothing
    LONG result;
    bool service_after;
    bool program_after;
};

class DaemonServiceFailures : public testing_support::LibraryTest, public testing::WithParamInterface<Failure> {};

TEST_P(DaemonServiceFailures, AreRecordedAndCloseEveryHandle) {
    const Failure& f = GetParam();
    start(Platform::win2000);
    const std::string installed = "C:\\WINNT\\system32\\orvdaemon.exe";
    machine->files().write_file(source, "MZ daemon");
    if (f.removal) {
        ASSERT_EQ(insAddDaemonService(service_name, source, nullptr, nullptr), 0);
        machine->services().set_running(service_name);
    }
    machine->faults().fail(f.api, f.code, f.nth);
    const LONG result = f.removal ? insDeleteDaemonService(service_name) : insAddDaemonService(service_name, source, nullptr, nullptr);
    EXPECT_EQ(result, f.result);
    const std::string text = take_error_text();
    if (f.recorded) EXPECT_TRUE(has(text, f.recorded)) << text;
    else EXPECT_EQ(text, "");
    EXPECT_EQ(machine->services().exists(service_name), f.service_after);
    EXPECT_EQ(machine->files().exists(installed), f.program_after);
    EXPECT_EQ(machine->open_handles(), 0u);
    EXPECT_EQ(machine->live_heap_blocks(), 0u);
}

INSTANTIATE_TEST_SUITE_P(
    Steps, DaemonServiceFailures,
    testing::Values(
        Failure{"open manager to install", false, "OpenSCManagerA", 1, ERROR_ACCESS_DENIED,
                "(opening service manager to install daemon service): \nerror #5.", 5, false, false},
        Failure{"copy", false, "CopyFileA", 1, ERROR_DISK_FULL, "(copying file [1]): \nerror #112", ERROR_DISK_FULL, false, false},
        Failure{"create", false, "CreateServiceA", 1, ERROR_ACCESS_DENIED, "(adding the daemon service): \nerror #5.", 5, false, true},
        Failure{"open manager to remove", true, "OpenSCManagerA", 1, ERROR_ACCESS_DENIED,
                "(opening service manager to shut down daemon): \nerror #5.", 5, true, true},
        Failure{"open service refused", true, "OpenServiceA", 1, ERROR_ACCESS_DENIED,
                "(attempting to delete daemon service): \nerror #5 for value 'OrvDaemon'.", 5, true, true},
        Failure{"size of the configuration", true, "QueryServiceConfigA", 1, ERROR_ACCESS_DENIED,
                "(getting fax daemon info): \nerror #5.", 0, false, true},
        Failure{"configuration unreadable", true, "QueryServiceConfigA", 2, ERROR_ACCESS_DENIED,
                "(getting fax daemon info): \nerror #5.", 0, false, true},
        Failure{"no block for the configuration", true, "HeapAlloc", 1, ERROR_NOT_ENOUGH_MEMORY,
                "(Memory allocation): \nerror #8 for value 'QueryServiceConfig'.", 0, false, true},
        Failure{"stop refused", true, "ControlService", 1, ERROR_ACCESS_DENIED,
                "(attempting to shut down daemon service): \nerror #5.", 5, true, true},
        Failure{"delete refused", true, "DeleteService", 1, ERROR_ACCESS_DENIED,
                "(attempting to delete daemon service): \nerror #5.", 5, true, true}),
    [](const testing::TestParamInfo<Failure>& param_info) {
        std::string name;
        for (const char* c = param_info.param.what; *c; ++c) name += std::isalnum(static_cast<unsigned char>(*c)) ? *c : '_';
        return name;
    });

TEST(ServiceProgramPath, TakesTheNameAfterTheLastBackslashAndAddsOneOnlyWhereNeeded) {
    char path[512];
    ASSERT_EQ(service_program_path("C:\\WINNT\\system32", "A:\\DISK1\\orvd.exe", path, sizeof path), 0);
    EXPECT_STREQ(path, "C:\\WINNT\\system32\\orvd.exe");
    ASSERT_EQ(service_program_path("C:\\", "orvd.exe", path, sizeof path), 0) << "a root keeps its one backslash";
    EXPECT_STREQ(path, "C:\\orvd.exe");
    EXPECT_EQ(service_program_path("C:\\WINNT\\system32", "x\\orvdaemon.exe", path, 27), ERROR_FILENAME_EXCED_RANGE);
    EXPECT_EQ(service_program_path("C:\\WINNT\\system32", "x\\orvdaemon.exe", path, 32), 0);
}

TEST(DaemonServiceOn9x, IsRefusedByThePlatform) {
    for (Platform platform : {Platform::win95, Platform::win98}) {
        auto machine = winsim::Machine::create(platform);
        ASSERT_NE(LoadLibraryA("OrvInstl.dll"), nullptr);
        machine->files().write_file(source, "MZ daemon");
        // 95/98's ADVAPI32 has no service control manager: OpenSCManagerA answers 120.
        EXPECT_EQ(insAddDaemonService(service_name, source, nullptr, nullptr), ERROR_CALL_NOT_IMPLEMENTED);
        EXPECT_EQ(insDeleteDaemonService(service_name), ERROR_CALL_NOT_IMPLEMENTED);
        LONG size = ErrorTextLen();
        std::string text(static_cast<std::size_t>(size), '\0');
        RetrieveErrorText(text.data());
        EXPECT_TRUE(has(text, "(opening service manager to install daemon service): \nerror #120."));
        EXPECT_TRUE(has(text, "(opening service manager to shut down daemon): \nerror #120."));
        EXPECT_FALSE(machine->files().exists(std::string(machine->platform_info().system_directory) + "\\orvdaemon.exe"));
    }
}

}  // namespace
