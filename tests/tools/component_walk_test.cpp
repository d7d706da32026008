// The components' walk-through a new user runs first (scripts/component-walk): every
// spooler component of the product put into a fresh machine by orvsetup, three printers
// on its port, the port moved and the driver updated under them, and the printers as
// they were.
#include "run_program.h"

#include "support/temp_path.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <vector>

namespace {

std::vector<std::string> lines_of_file(const std::filesystem::path& path) {
    std::vector<std::string> lines;
    std::ifstream in(path);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

bool contains(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

// The walk-through is run once a platform; each test looks at a part of what it did.
class ComponentWalk : public testing::TestWithParam<const char*> {
protected:
    // Of this process alone: both tests of a platform run the walk-through, each in a
    // process of its own.
    static std::filesystem::path folder_of(const std::string& platform) {
        return testing_support::temp_path("component-walk-" + platform);
    }
    static void TearDownTestSuite() {
        for (const auto& [platform, run] : runs()) {
            std::filesystem::remove_all(folder_of(platform));
            std::filesystem::remove_all(folder_of(platform).string() + ".before");
        }
        runs().clear();
    }
    void SetUp() override { folder = folder_of(GetParam()); }
    const testing_support::ProgramOutput& walk() {
        auto [run, made] = runs().try_emplace(GetParam());
        if (made)
            run->second = testing_support::run_program("ORVSETUP=" ORVSETUP_PATH " COMPONENTS=" ORV_SAMPLE_COMPONENTS_DIR
                                                       "/x86 " ORV_SOURCE_DIR "/scripts/component-walk " +
                                                       std::string(GetParam()) + " " + folder.string());
        return run->second;
    }
    std::filesystem::path folder;

private:
    static std::map<std::string, testing_support::ProgramOutput>& runs() {
        static std::map<std::string, testing_support::ProgramOutput> done;
        return done;
    }
};

TEST_P(ComponentWalk, EveryComponentGoesInAndThePrintersOutliveTheMoveAndTheUpdate) {
    const testing_support::ProgramOutput& run = walk();
    ASSERT_EQ(run.status, 0) << run.output;
    for (const char* step : {"insAddMonitorEx -> 0", "insAddPort -> 0", "insAddPrintProc -> 0", "insAddPrintDriverEx -> 0",
                             "insSetDefaultPrinter -> 0", "insMovePort -> 0", "RebootRequired -> 1"})
        EXPECT_TRUE(contains(run.output, step)) << step << " not in\n" << run.output;

    // What the printers view showed after the update; the walk-through has compared it
    // with the view before the move, whole.
    const std::vector<std::string> printers = lines_of_file(folder / "printers-after.json");
    ASSERT_EQ(printers.size(), 4u);
    const std::string model = std::string(GetParam()) == "win98" ? "Orvana Win98 Driver" : "Orvana Print Driver";
    const char* names[] = {"Reception Fax", "Sales Fax", "Archive Fax"};
    for (int i = 0; i < 3; ++i) {
        SCOPED_TRACE(names[i]);
        EXPECT_TRUE(contains(printers[i], std::string("{\"printer\": \"") + names[i] + "\", \"port\": \"ORVFAX2:\", \"driver\": \"" +
                                              model + "\""))
            << printers[i];
    }
    EXPECT_TRUE(contains(printers[0], "\"print_processor\": \"Orvana Print Processor\""));
    EXPECT_TRUE(contains(printers[0], "\"print_quality\": 204, \"y_resolution\": 196")) << printers[0];
    EXPECT_TRUE(contains(printers[1], "\"paper_size\": 9, \"orientation\": 2")) << printers[1];
    EXPECT_TRUE(contains(printers[2], "{\"name\": \"JPEG Quality\", \"type\": \"REG_DWORD\", \"value\": 95}")) << printers[2];
    EXPECT_EQ(printers[3].rfind("{\"default_printer\": \"Sales Fax,", 0), 0u) << printers[3];
}

// After the removal and the restart it asks for, the machine holds only what the README
// lists as left behind, and why.
TEST_P(ComponentWalk, RemovalLeavesOnlyWhatIsListed) {
    const testing_support::ProgramOutput& run = walk();
    ASSERT_EQ(run.status, 0) << run.output;
    const std::string left = run.output.substr(run.output.rfind("restarted\n") + 10);
    const std::string expected =
        std::string(GetParam()) == "win98"
            ? "+ file C:\\WINDOWS\\SYSTEM\\AUD16.DLL (608 bytes, attributes 0x00000020)\n"
              "+ file C:\\WINDOWS\\SYSTEM\\BRG16AUD.DLL (640 bytes, attributes 0x00000020)\n"
              "+ file C:\\WINDOWS\\SYSTEM\\BRG32AUD.DLL (2048 bytes, attributes 0x00000020)\n"
              "+ file C:\\WINDOWS\\WIN.INI (38 bytes, attributes 0x00000020)\n"
              "+ file C:\\WINDOWS\\WININIT.BAK (45 bytes, attributes 0x00000020)\n"
              "+ file C:\\WINDOWS\\orvlotus.ini (295 bytes, attributes 0x00000020)\n"
            : "+ directory C:\\WINNT\\system32\\spool\\drivers\\w32x86\\2\n"
              "+ key HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Print (null DACL)\n"
              "+ key HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Print\\Printers (null DACL)\n";
    EXPECT_EQ(left, expected);
}

INSTANTIATE_TEST_SUITE_P(Platforms, ComponentWalk, testing::Values("win98", "win2000"),
                         [](const auto& param_info) { return std::string(param_info.param); });

}  // namespace
