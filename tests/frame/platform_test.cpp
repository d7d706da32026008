#include "support/library.h"

#include "frame/error_state.h"
#include "frame/platform_flags.h"

namespace {

using testing_support::LibraryTest;
using winsim::Platform;

const char unsupported[] =
    "Printer installer WARNING: This driver installation utility does not support this operating system.\n";
const char not_administrator[] = "Printer installer WARNING: You must have Administrative privileges to install printer drivers.\n";

struct Expected {
    Platform platform;
    LONG nt, nine_x, win95, win98, nt351, nt4, nt5;
    LONG install_allowed;
};

void PrintTo(const Expected& expected, std::ostream* out) { *out << winsim::platform_info(expected.platform).name; }

class EveryPlatform : public LibraryTest, public testing::WithParamInterface<Expected> {};

TEST_P(EveryPlatform, FlagsAndPermissionFollowTheVersion) {
    const Expected& e = GetParam();
    start(e.platform);
    EXPECT_EQ(os_is_nt, e.nt);
    EXPECT_EQ(os_is_9x, e.nine_x);
    EXPECT_EQ(os_is_win95, e.win95);
    EXPECT_EQ(os_is_win98, e.win98);
    EXPECT_EQ(os_is_nt351, e.nt351);
    EXPECT_EQ(os_is_nt4, e.nt4);
    EXPECT_EQ(os_is_nt5, e.nt5);
    EXPECT_EQ(os_is_terminal_server, 0);
    EXPECT_EQ(module_handle, reinterpret_cast<HINSTANCE>(library));
    EXPECT_STREQ(print_environment(), e.nine_x ? "Windows 4.0" : "Windows NT x86");

    EXPECT_EQ(InstallAllowed(), e.install_allowed);
    EXPECT_EQ(take_error_text(), e.install_allowed ? unsupported : "");
    EXPECT_EQ(ClearErrorFlag(), e.install_allowed ? 1 : 0);
}

INSTANTIATE_TEST_SUITE_P(Platforms, EveryPlatform,
                         testing::Values(Expected{Platform::win95, 0, 1, 1, 0, 0, 0, 0, 0},
                                         Expected{Platform::win98, 0, 1, 0, 1, 0, 0, 0, 0},
                                         Expected{Platform::win98se, 0, 1, 0, 1, 0, 0, 0, 0},
                                         Expected{Platform::winme, 0, 1, 0, 0, 0, 0, 0, -3},
                                         Expected{Platform::nt31, 1, 0, 0, 0, 0, 0, 0, -3},
                                         Expected{Platform::nt35, 1, 0, 0, 0, 0, 0, 0, -3},
                                         Expected{Platform::nt351, 1, 0, 0, 0, 1, 0, 0, 0},
                                         Expected{Platform::nt4, 1, 0, 0, 0, 0, 1, 0, 0},
                                         Expected{Platform::win2000, 1, 0, 0, 0, 0, 0, 1, 0},
                                         Expected{Platform::winxp, 1, 0, 0, 0, 0, 0, 1, 0},
                                         Expected{Platform::win7, 1, 0, 0, 0, 0, 0, 0, -3},
                                         Expected{Platform::win32s, 0, 0, 0, 0, 0, 0, 0, -3}),
                         [](const auto& param_info) { return std::string(winsim::platform_info(param_info.param.platform).name); });

class Attach : public LibraryTest {};

TEST_F(Attach, TerminalServicesShowThroughTheKernelExportOnNtOnly) {
    winsim::MachineOptions options;
    options.terminal_services = true;
    start(Platform::nt4, options);
    EXPECT_EQ(os_is_terminal_server, 1);
    start(Platform::win98, options);
    EXPECT_EQ(os_is_terminal_server, 0) << "95/98 never ask";
    start(Platform::win2000);
    EXPECT_EQ(os_is_terminal_server, 0);
}

// The spooler is named the environment of the processor the library runs as: a 64-bit
// program has its own drivers and processors, apart from the 32-bit ones.
TEST_F(Attach, TheEnvironmentFollowsTheProcessorTheLibraryRunsAs) {
    winsim::MachineOptions x64;
    x64.arch = winsim::Arch::x64;
    start(Platform::win7, x64);
    EXPECT_EQ(runs_as_x64, 1);
    EXPECT_STREQ(print_environment(), "Windows x64");
    start(Platform::win2000);
    EXPECT_EQ(runs_as_x64, 0);
    EXPECT_STREQ(print_environment(), "Windows NT x86");
}

TEST_F(Attach, ANewProcessStartsWithACleanState) {
    start(Platform::winme);
    EXPECT_EQ(InstallAllowed(), -3);
    start(Platform::win98);
    EXPECT_EQ(ErrorTextLen(), 0);
    EXPECT_EQ(error_flag, 0);
    EXPECT_EQ(reboot_flag, 0);
    EXPECT_EQ(os_is_win98, 1);
}

TEST_F(Attach, AFailedVersionQueryIsRecordedAndBlocksUntilCleared) {
    machine = winsim::Machine::create(Platform::nt4);
    machine->faults().fail("GetVersionExA", ERROR_ACCESS_DENIED);
    library = LoadLibraryA("OrvInstl.dll");
    ASSERT_NE(library, nullptr) << "the library still loads";
    EXPECT_EQ(InstallAllowed(), -1);
    EXPECT_EQ(take_error_text(),
              "Printer installer WARNING (starting in (fetching OS version)): \nerror #5.\nAccess is denied. \n");
    EXPECT_EQ(os_is_nt, 0);
    EXPECT_EQ(ClearErrorFlag(), 1);
    EXPECT_EQ(InstallAllowed(), -3) << "with no flag set the platform counts as unsupported";
}

class Nt4Administrator : public LibraryTest {};

TEST_F(Nt4Administrator, OnlyNt4AsksSetupApi) {
    struct Case {
        Platform platform;
        bool administrator;
        winsim::SetupApi setupapi;
        LONG expected;
    } cases[] = {
        {Platform::nt4, true, winsim::SetupApi::present, 0},
        {Platform::nt4, false, winsim::SetupApi::present, -4},
        {Platform::nt4, false, winsim::SetupApi::absent, 0},
        {Platform::nt4, false, winsim::SetupApi::without_is_user_admin, 0},
        {Platform::nt351, false, winsim::SetupApi::present, 0},
        {Platform::win2000, false, winsim::SetupApi::present, 0},
        {Platform::win98, false, winsim::SetupApi::present, 0},
    };
    for (const Case& c : cases) {
        winsim::MachineOptions options;
        options.administrator = c.administrator;
        options.setupapi = c.setupapi;
        start(c.platform, options);
        SCOPED_TRACE(std::string(winsim::platform_info(c.platform).name) + " " + winsim::setupapi_name(c.setupapi));
        EXPECT_EQ(InstallAllowed(), c.expected);
        EXPECT_EQ(take_error_text(), c.expected ? not_administrator : "");
        EXPECT_EQ(machine->loaded_modules(), 1u) << "SETUPAPI.DLL is freed again";
    }
}

TEST_F(Nt4Administrator, ARefusalBlocksUntilClearedAndComesBackAfter) {
    winsim::MachineOptions options;
    options.administrator = false;
    start(Platform::nt4, options);
    EXPECT_EQ(InstallAllowed(), -4);
    EXPECT_EQ(InstallAllowed(), -1);
    EXPECT_EQ(take_error_text(), not_administrator) << "the blocked call records nothing";
    EXPECT_EQ(ClearErrorFlag(), 1);
    EXPECT_EQ(ClearErrorFlag(), 0);
    EXPECT_EQ(InstallAllowed(), -4);
}

}  // namespace
