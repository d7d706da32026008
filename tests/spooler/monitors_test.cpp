#include "support/library.h"

#include "frame/error_state.h"

#include <filesystem>
#include <fstream>

namespace {

using winsim::Platform;

// The sample components as the build wrote them.
std::string component(const char* name) {
    std::ifstream in(std::filesystem::path(ORV_SAMPLE_COMPONENTS_DIR) / "x86" / name, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

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

TEST_P(Monitors, AMonitorNameTooLongForItsFileNameIsRefused) {
    std::string path = "C:\\SETUP\\" + std::string(60, 'm') + ".dll";
    machine->files().write_file(path, component("orvmon.dll"));
    EXPECT_EQ(insAddMonitor(path.c_str(), nullptr), ERROR_INVALID_NAME);
    EXPECT_NE(take_error_text().find("error #123"), std::string::npos);
}

INSTANTIATE_TEST_SUITE_P(Platforms, Monitors, testing::Values(Platform::win95, Platform::win98, Platform::nt4, Platform::win2000),
                         [](const auto& param_info) { return std::string(winsim::platform_info(param_info.param).name); });

}  // namespace
