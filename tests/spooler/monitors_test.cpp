#include "support/components.h"
#include "support/library.h"

#include "frame/error_state.h"
#include "spooler/monitors.h"

#include <mkimage/image.h>

#include <cstring>

namespace {

using winsim::Platform;

std::string component(const char* name) { return testing_support::sample_component(name); }

class Monitors : public testing_support::LibraryTest, public testing::WithParamInterface<Platform> {
protected:
    void SetUp() override {
        start(GetParam());
        for (const char* name : {"orvmon.dll", "orvmon_nostr.dll", "brg16aud.dll", "brg32aud.dll", "aud16.dll"})
            machine->files().write_file(std::string("C:\\SETUP\\") + name, component(name));
        system_directory = machine->platform_info().system_directory;
    }
    std::string system_directory;
};

TEST_P(Monitors, TheSampleMonitorIsInstalledFoundAndRemoved) {
    char id[80] = "";
    EXPECT_EQ(insAddMonitorEx("C:\\SETUP\\orvmon.dll", id, 0), 0);
    EXPECT_STREQ(id, "Orvana Fax Port");
    EXPECT_EQ(take_error_text(), "");
    LONG present = -1;
    EXPECT_EQ(insIsMonitorPresent("orvana fax port", &present), 0);
    EXPECT_EQ(present, 1) << "names are compared without regard to case";
    EXPECT_TRUE(machine->files().exists(system_directory + "\\ORVMON.DLL"));
    // The monitor's companions come with it on 95/98 only.
    EXPECT_EQ(machine->files().exists(system_directory + "\\BRG16AUD.DLL"), machine->is_9x());
    EXPECT_EQ(insDeleteMonitor("Orvana Fax Port"), 0);
    EXPECT_EQ(insIsMonitorPresent("Orvana Fax Port", &present), 0);
    EXPECT_EQ(present, 0);
    EXPECT_TRUE(machine->files().exists(system_directory + "\\ORVMON.DLL")) << "insDeleteMonitor keeps the file";
    EXPECT_EQ(insDeleteMonitor("Orvana Fax Port"), 0) << "a monitor that is not there is no failure";
    EXPECT_EQ(take_error_text(), "");
}

TEST_P(Monitors, AMonitorWithoutItsNameIsRefusedAndBlocksUntilCleared) {
    EXPECT_EQ(insAddMonitor("C:\\SETUP\\orvmon_nostr.dll", nullptr), -2);
    EXPECT_NE(take_error_text().find("Printer installer WARNING: Invalid monitor ID string -- This is not an Orvana port monitor\n"),
              std::string::npos);
    LONG present = -1;
    EXPECT_EQ(insIsMonitorPresent("Local Port", &present), -1);
    EXPECT_EQ(present, 0);
    EXPECT_EQ(ClearErrorFlag(), 1);
    EXPECT_EQ(insIsMonitorPresent("Local Port", &present), 0);
    EXPECT_EQ(present, 1);
}

TEST_P(Monitors, ASecondInstallationReplacesTheFile) {
    ASSERT_EQ(insAddMonitor("C:\\SETUP\\orvmon.dll", nullptr), 0);
    Sleep(5000);
    machine->files().write_file("C:\\SETUP\\orvmon.dll", component("orvmon.dll"));
    LONG result = insAddMonitorEx("C:\\SETUP\\orvmon.dll", nullptr, 2);
    EXPECT_EQ(result, 0);
    if (machine->is_nt()) {
        EXPECT_EQ(RebootRequired(), 0) << "the spooler was stopped and started around the copy";
        EXPECT_EQ(machine->services().state("Spooler"), static_cast<DWORD>(SERVICE_RUNNING));
    } else {
        EXPECT_EQ(RebootRequired(), 1) << "the spooler holds its monitor: the copy waits for the next restart";
    }
    EXPECT_EQ(take_error_text(), "");
}

TEST_P(Monitors, ACompanionThatFailsToCopyIsReported) {
    if (!machine->is_9x()) GTEST_SKIP() << "the NT family's monitor has no companions";
    machine->files().remove("C:\\SETUP\\aud16.dll");
    EXPECT_EQ(insAddMonitorEx("C:\\SETUP\\orvmon.dll", nullptr, 0), -17);
    EXPECT_NE(take_error_text().find("Extra files required for operation of this driver failed to copy."), std::string::npos);
    LONG present = 0;
    EXPECT_EQ(insIsMonitorPresent("Orvana Fax Port", &present), 0);
    EXPECT_EQ(present, 1) << "the monitor itself is installed";
}

TEST_P(Monitors, OnlyTheExtendedInstallationWithZeroCopiesTheCompanions) {
    ASSERT_EQ(insAddMonitor("C:\\SETUP\\orvmon.dll", nullptr), 0);
    ASSERT_EQ(insDeleteMonitor("Orvana Fax Port"), 0);
    ASSERT_EQ(insAddMonitorEx("C:\\SETUP\\orvmon.dll", nullptr, 1), 0);
    EXPECT_FALSE(machine->files().exists(system_directory + "\\BRG16AUD.DLL"));
    ASSERT_EQ(insAddMonitorEx("C:\\SETUP\\orvmon.dll", nullptr, 0), 0);
    EXPECT_EQ(machine->files().exists(system_directory + "\\AUD16.DLL"), machine->is_9x());
}

TEST_P(Monitors, DeletionWithItsFileRemovesBothOrDefersTheFile) {
    ASSERT_EQ(insAddMonitor("C:\\SETUP\\orvmon.dll", nullptr), 0);
    EXPECT_EQ(delete_monitor("ORVANA FAX PORT", 1), 0);
    LONG present = 1;
    EXPECT_EQ(insIsMonitorPresent("Orvana Fax Port", &present), 0);
    EXPECT_EQ(present, 0);
    EXPECT_FALSE(machine->files().exists(system_directory + "\\ORVMON.DLL"));
    EXPECT_EQ(reboot_flag, 0);

    ASSERT_EQ(insAddMonitor("C:\\SETUP\\orvmon.dll", nullptr), 0);
    machine->files().hold(system_directory + "\\ORVMON.DLL", FILE_SHARE_READ);
    EXPECT_EQ(delete_monitor("Orvana Fax Port", 1), 0) << "a file in use goes at the next restart";
    EXPECT_EQ(reboot_flag, 1);
    EXPECT_EQ(take_error_text(), "");
    EXPECT_EQ(delete_monitor(std::string(60, 'n').c_str(), 1), 0) << "a name no monitor has is left alone";
}

TEST_P(Monitors, AMonitorNameTooLongForItsFileNameIsRefused) {
    std::string path = "C:\\SETUP\\" + std::string(60, 'm') + ".dll";
    machine->files().write_file(path, component("orvmon.dll"));
    EXPECT_EQ(insAddMonitor(path.c_str(), nullptr), ERROR_INVALID_NAME);
    EXPECT_NE(take_error_text().find("error #123"), std::string::npos);
}

// A monitor whose name does not fit its 80 characters is refused whole: cut to fit, it
// could name another monitor, whose file would then be replaced by this one.
TEST_P(Monitors, AMonitorNameTooLongForItsBufferIsRefusedNotCut) {
    auto monitor_named = [](const std::string& name) {
        mkimage::ImageRecipe recipe;
        recipe.module_name = "ORVMON";
        recipe.exports = {"InitializeMonitorEx", "InitializePrintMonitor", "InitializePrintMonitor2"};
        recipe.strings[300] = name;
        return mkimage::build_image(recipe);
    };
    const std::string longest(79, 'M');
    machine->files().write_file("C:\\SETUP\\mon79.dll", monitor_named(longest));
    machine->files().write_file("C:\\SETUP\\mon80.dll", monitor_named(longest + "N"));
    machine->files().write_file("C:\\SETUP\\mon100.dll", monitor_named(longest + std::string(21, 'N')));
    char id[80] = "";
    ASSERT_EQ(insAddMonitor("C:\\SETUP\\mon79.dll", id), 0) << "79 characters and the terminator fit";
    EXPECT_EQ(std::string(id), longest);
    for (const char* path : {"C:\\SETUP\\mon80.dll", "C:\\SETUP\\mon100.dll"}) {
        std::memset(id, '#', sizeof id);
        EXPECT_EQ(insAddMonitor(path, id), ERROR_INVALID_NAME) << path;
        EXPECT_EQ(id[0], '#') << "nothing is handed out for a refused name";
        EXPECT_EQ(take_error_text().rfind(std::string("Printer installer WARNING (reading monitor ID text): \nerror #123 for value '") +
                                              path + "'.\n",
                                          0),
                  0u);
        EXPECT_EQ(ClearErrorFlag(), 1) << "a name that does not fit is as fatal as a missing one";
    }
    EXPECT_FALSE(machine->files().exists(system_directory + "\\MON80.DLL"));
    EXPECT_FALSE(machine->files().exists(system_directory + "\\MON100.DLL"));
}

// The flag is tested before anything else: a null pointer while it is set is still -1,
// and a presence test says 0 whatever it answers.
TEST_P(Monitors, TheFlagComesBeforeTheArgumentChecks) {
    LONG present = 7;
    EXPECT_EQ(insIsMonitorPresent(nullptr, &present), ERROR_INVALID_PARAMETER);
    EXPECT_EQ(present, 0);
    EXPECT_EQ(insIsMonitorPresent("Local Port", nullptr), ERROR_INVALID_PARAMETER);
    error_flag = 1;
    present = 7;
    EXPECT_EQ(insIsMonitorPresent(nullptr, &present), -1);
    EXPECT_EQ(present, 0);
    EXPECT_EQ(insIsMonitorPresent("Local Port", nullptr), -1);
    EXPECT_EQ(insAddMonitorEx(nullptr, nullptr, 0), -1);
    EXPECT_EQ(insAddMonitor(nullptr, nullptr), -1);
    EXPECT_EQ(insDeleteMonitor(nullptr), -1);
    EXPECT_EQ(insIsPrinterPresent(nullptr, nullptr), -1);
    EXPECT_EQ(insDelPrinter(nullptr), -1);
    EXPECT_EQ(ClearErrorFlag(), 1);
    EXPECT_EQ(insAddMonitorEx(nullptr, nullptr, 0), ERROR_INVALID_PARAMETER);
    EXPECT_EQ(insDeleteMonitor(nullptr), ERROR_INVALID_PARAMETER);
    EXPECT_EQ(insDelPrinter(nullptr), ERROR_INVALID_PARAMETER);
    EXPECT_EQ(take_error_text(), "");
}

INSTANTIATE_TEST_SUITE_P(Platforms, Monitors, testing::Values(Platform::win95, Platform::win98, Platform::nt4, Platform::win2000),
                         [](const auto& param_info) { return std::string(winsim::platform_info(param_info.param).name); });

}  // namespace

namespace {

class MonitorSteps : public testing_support::LibraryTest {
protected:
    void lay_out(Platform platform) {
        start(platform);
        machine->files().write_file("C:\\SETUP\\orvmon.dll", component("orvmon.dll"));
    }
};

TEST_F(MonitorSteps, OnNtTheSpoolerIsStoppedAndStartedEvenWhenTheInstalledFileIsNewer) {
    lay_out(Platform::nt4);
    ASSERT_EQ(insAddMonitor("C:\\SETUP\\orvmon.dll", nullptr), 0);
    Sleep(5000);
    machine->files().write_file("C:\\WINNT\\system32\\ORVMON.DLL", component("orvmon.dll"));  // later than the source
    unsigned stops_before = machine->faults().calls("ControlService");
    EXPECT_EQ(insAddMonitor("C:\\SETUP\\orvmon.dll", nullptr), 0);
    EXPECT_EQ(machine->faults().calls("ControlService"), stops_before + 1);
    EXPECT_EQ(machine->faults().calls("AddMonitorA"), 1u) << "a registered monitor is not added again";
    EXPECT_EQ(machine->services().state("Spooler"), static_cast<DWORD>(SERVICE_RUNNING));
}

TEST_F(MonitorSteps, APathWithoutBackslashIsTakenFromTheCurrentDirectory) {
    lay_out(Platform::win2000);
    machine->files().set_current_directory("C:\\SETUP");
    EXPECT_EQ(insAddMonitor("orvmon.dll", nullptr), 0);
    EXPECT_TRUE(machine->files().exists("C:\\WINNT\\system32\\orvmon.dll"));
}

TEST_F(MonitorSteps, EachFailingStepIsRecordedWithItsResult) {
    // A copy fails with a code that does not mean "in use", so nothing is deferred.
    constexpr LONG disk_full = ERROR_DISK_FULL;
    struct Case {
        Platform platform;
        bool registered;
        const char* api;
        unsigned nth;
        std::string entry;  // the heading of the entry the step records
        LONG result;
        bool sets_flag;
    } cases[] = {
        {Platform::nt4, false, "LoadLibraryA", 1, "(LoadLibrary (monitor DLL)): \nerror #5 for value 'C:\\SETUP\\orvmon.dll'.",
         ERROR_ACCESS_DENIED, true},
        {Platform::nt4, false, "EnumMonitorsA", 1, "(Enumerating monitors [1]): \nerror #5.", ERROR_ACCESS_DENIED, false},
        {Platform::nt4, false, "EnumMonitorsA", 2, "(Enumerating monitors [2]): \nerror #5.", ERROR_ACCESS_DENIED, false},
        {Platform::nt4, false, "LocalAlloc", 1, "(Memory allocation): \nerror #5.", ERROR_ACCESS_DENIED, false},
        {Platform::nt4, false, "CopyFileA", 1, "(copying file): \nerror #112 for value 'C:\\SETUP\\orvmon.dll'.", disk_full,
         false},
        {Platform::win98, true, "CopyFileA", 1, "(copying file): \nerror #112 for value 'C:\\SETUP\\orvmon.dll'.", disk_full,
         false},
        {Platform::nt4, false, "AddMonitorA", 1, "(AddMonitor): \nerror #5 for value 'orvmon.dll'.", ERROR_ACCESS_DENIED, true},
        {Platform::nt4, true, "OpenSCManagerA", 1, "(shut_down_spooler_service - OpenSCManager): \nerror #5.",
         ERROR_ACCESS_DENIED, true},
        {Platform::nt4, true, "OpenServiceA", 1, "(shut_down_spooler_service - OpenService): \nerror #5 for value 'Spooler'.",
         ERROR_ACCESS_DENIED, true},
        {Platform::nt4, true, "ControlService", 1, "(shut_down_spooler_service - ControlService): \nerror #5.",
         ERROR_ACCESS_DENIED, true},
        {Platform::nt4, true, "OpenSCManagerA", 2, "(restart_spooler_service - OpenSCManager): \nerror #5.", ERROR_ACCESS_DENIED,
         true},
        {Platform::nt4, true, "OpenServiceA", 2, "(restart_spooler_service - OpenService): \nerror #5.", ERROR_ACCESS_DENIED,
         true},
        {Platform::nt4, true, "StartServiceA", 1, "(restart_spooler_service - StartService): \nerror #5.", ERROR_ACCESS_DENIED,
         true},
        {Platform::nt4, true, "CopyFileA", 1, "(copying file): \nerror #112 for value 'C:\\SETUP\\orvmon.dll'.", disk_full,
         false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.api) + " " + std::to_string(c.nth) + " on " + std::string(winsim::platform_info(c.platform).name));
        lay_out(c.platform);
        if (c.registered) {
            ASSERT_EQ(insAddMonitor("C:\\SETUP\\orvmon.dll", nullptr), 0);
            Sleep(5000);
            machine->files().write_file("C:\\SETUP\\orvmon.dll", component("orvmon.dll"));
        }
        machine->faults().fail(c.api, static_cast<DWORD>(std::string(c.api) == "CopyFileA" ? disk_full : ERROR_ACCESS_DENIED), c.nth);
        EXPECT_EQ(insAddMonitor("C:\\SETUP\\orvmon.dll", nullptr), c.result);
        std::string text = take_error_text();
        EXPECT_NE(text.find("Printer installer WARNING " + c.entry), std::string::npos) << text;
        EXPECT_EQ(ClearErrorFlag(), c.sets_flag ? 1 : 0);
        bool start_failed = c.entry.find("restart_spooler_service") != std::string::npos;
        if (machine->is_nt() && !start_failed) {
            EXPECT_EQ(machine->services().state("Spooler"), static_cast<DWORD>(SERVICE_RUNNING)) << "left running";
        }
        EXPECT_EQ(machine->live_local_blocks(), 0u);
    }
}

TEST_F(MonitorSteps, AFailedCopyBetweenStopAndStartStillStartsTheSpooler) {
    lay_out(Platform::win2000);
    ASSERT_EQ(insAddMonitor("C:\\SETUP\\orvmon.dll", nullptr), 0);
    Sleep(5000);
    machine->files().write_file("C:\\SETUP\\orvmon.dll", component("orvmon.dll"));
    machine->faults().fail("CopyFileA", ERROR_DISK_FULL);
    EXPECT_EQ(insAddMonitor("C:\\SETUP\\orvmon.dll", nullptr), ERROR_DISK_FULL);
    EXPECT_EQ(machine->services().state("Spooler"), static_cast<DWORD>(SERVICE_RUNNING));
}

TEST_F(MonitorSteps, AFailedEnumerationEndsPresenceAndDeletion) {
    lay_out(Platform::nt4);
    ASSERT_EQ(insAddMonitor("C:\\SETUP\\orvmon.dll", nullptr), 0);
    machine->faults().fail("EnumMonitorsA", ERROR_NOT_ENOUGH_MEMORY);
    LONG present = 1;
    EXPECT_EQ(insIsMonitorPresent("Orvana Fax Port", &present), ERROR_NOT_ENOUGH_MEMORY);
    EXPECT_EQ(present, 0);
    EXPECT_NE(take_error_text().find("(Enumerating monitors [1]): \nerror #8."), std::string::npos);
    machine->faults().fail("EnumMonitorsA", ERROR_NOT_ENOUGH_MEMORY, 2);
    EXPECT_EQ(insDeleteMonitor("Orvana Fax Port"), ERROR_NOT_ENOUGH_MEMORY);
    EXPECT_NE(take_error_text().find("(Enumerating monitors [2]): \nerror #8."), std::string::npos);
    EXPECT_EQ(ClearErrorFlag(), 0);
    EXPECT_EQ(insIsMonitorPresent("Orvana Fax Port", &present), 0);
    EXPECT_EQ(present, 1) << "a failed enumeration removes nothing";
}

TEST_F(MonitorSteps, DeletionFailuresAreRecordedWithTheName) {
    lay_out(Platform::win2000);
    ASSERT_EQ(insAddMonitor("C:\\SETUP\\orvmon.dll", nullptr), 0);
    machine->faults().fail("DeleteMonitorA", ERROR_ACCESS_DENIED);
    EXPECT_EQ(insDeleteMonitor("Orvana Fax Port"), ERROR_ACCESS_DENIED);
    EXPECT_EQ(take_error_text(), "Printer installer WARNING (DeleteMonitor): \nerror #5 for value 'Orvana Fax Port'.\n"
                                 "Access is denied. \n");
}

class DialogCompanions : public testing_support::LibraryTest {
protected:
    void lay_out(Platform platform) {
        start(platform);
        for (const char* name : {"orv32dlg.exe", "orv16dlg.exe", "orv16flt.dll", "orvpipe.dll", "orv32flt.dll", "brg16flt.dll",
                                 "brg32flt.dll"})
            machine->files().write_file(std::string("C:\\SETUP\\") + name, component(name));
    }
    std::vector<std::string> installed() { return machine->files().list("C:\\Orvana\\Dialog"); }
};

TEST_F(DialogCompanions, TheProgramsTypeChoosesItsModulesOnNt) {
    lay_out(Platform::nt4);
    EXPECT_EQ(copy_dialog_companions("C:\\SETUP\\orv32dlg.exe", "C:\\Orvana\\Dialog\\orv32dlg.exe"), 1);
    EXPECT_EQ(installed(), (std::vector<std::string>{"ORV32DLG.EXE", "ORV32FLT.DLL"}));
    lay_out(Platform::nt4);
    EXPECT_EQ(copy_dialog_companions("C:\\SETUP\\orv16dlg.exe", "C:\\Orvana\\Dialog\\orv16dlg.exe"), 1);
    EXPECT_EQ(installed(), (std::vector<std::string>{"ORV16DLG.EXE", "ORV16FLT.DLL", "ORVPIPE.DLL"}));
    lay_out(Platform::win98);
    EXPECT_EQ(copy_dialog_companions("C:\\SETUP\\orv32dlg.exe", "C:\\Orvana\\Dialog\\orv32dlg.exe"), 1);
    EXPECT_EQ(installed(),
              (std::vector<std::string>{"ORV32DLG.EXE", "ORV16FLT.DLL", "ORV32FLT.DLL", "BRG16FLT.DLL", "BRG32FLT.DLL"}));
}

TEST_F(DialogCompanions, NothingIsCopiedOntoItselfAndADirectoryIsNoProgram) {
    lay_out(Platform::nt4);
    EXPECT_EQ(copy_dialog_companions("c:\\setup\\orv32dlg.exe", "C:\\SETUP\\orv32dlg.exe"), 1);
    EXPECT_EQ(machine->files().list("C:\\SETUP").size(), 7u);
    EXPECT_EQ(copy_dialog_companions("C:\\SETUP", "C:\\Orvana\\Dialog\\orv32dlg.exe"), 0);
    machine->files().remove("C:\\SETUP\\orv32flt.dll");
    EXPECT_EQ(copy_dialog_companions("C:\\SETUP\\orv32dlg.exe", "C:\\Orvana\\Dialog\\orv32dlg.exe"), 0) << "a module that fails";
}

}  // namespace
