// The runner as a setup author starts it: `orvsetup --machine DIR --from FILE.toml`.
#include "run_program.h"

#include <winsim/machine.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

namespace {

const std::filesystem::path samples = ORV_SAMPLE_MACHINES_DIR;

using RunnerOutput = testing_support::ProgramOutput;

RunnerOutput orvsetup(const std::string& arguments) {
    return testing_support::run_program(std::string(ORVSETUP_PATH) + " " + arguments);
}

class OrvsetupFrom : public testing::Test {
protected:
    void SetUp() override {
        folder = std::filesystem::temp_directory_path() /
                 ("orvsetup-from-" + std::string(testing::UnitTest::GetInstance()->current_test_info()->name()));
        std::filesystem::remove_all(folder);
    }
    void TearDown() override { std::filesystem::remove_all(folder); }
    std::filesystem::path folder;
};

TEST_F(OrvsetupFrom, MakesTheDescribedMachineInItsFolder) {
    RunnerOutput run = orvsetup("--machine " + folder.string() + " --from " + (samples / "office-nt4.toml").string());
    ASSERT_EQ(run.status, 0) << run.output;
    auto machine = winsim::Machine::open(folder);
    EXPECT_EQ(machine->platform(), winsim::Platform::nt4);
    EXPECT_EQ(machine->spooler().printers(), (std::vector<std::string>{"Kestrel LaserStar 600", "Kestrel Text to File"}));
    EXPECT_TRUE(machine->registry().value("HKEY_CURRENT_USER\\Software\\Microsoft\\Windows NT\\CurrentVersion\\Windows", "Device"));

    // A second --from would overwrite what the machine has lived through since.
    run = orvsetup("--machine " + folder.string() + " --from " + (samples / "win98-pc.toml").string());
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.output, "orvsetup: " + folder.string() + " holds a machine already; --from makes a new one\n");
    EXPECT_EQ(winsim::Machine::open(folder)->platform(), winsim::Platform::nt4);
}

TEST_F(OrvsetupFrom, RunsTheCommandOnTheDescribedMachine) {
    RunnerOutput run = orvsetup("--from " + (samples / "win98-pc.toml").string() + " call insIsPrinterPresent 'Kestrel InkJet 200' @long");
    EXPECT_EQ(run.status, 0) << run.output;
    EXPECT_EQ(run.output, "insIsPrinterPresent -> 0\n  out: 1\n") << "the library finds the described printer";
}

TEST_F(OrvsetupFrom, RefusesABadDescriptionAndLeavesNoMachine) {
    std::filesystem::create_directories(folder);
    const std::filesystem::path description = folder / "bad.toml";
    std::ofstream(description) << "platform = \"nt4\"\n[[printer]]\nname = \"P\"\nprot = \"LPT1:\"\n";
    RunnerOutput run = orvsetup("--machine " + (folder / "machine").string() + " --from " + description.string());
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.output, "orvsetup: " + description.string() + ":4: printer: unknown key 'prot'\n");
    EXPECT_FALSE(winsim::Machine::exists_in(folder / "machine"));
}

// The machines with the product laid out, before its first printer: the printers view
// shows the other maker's printers alone, and the spooler has the product's port and driver.
TEST_F(OrvsetupFrom, TheProductsSampleMachinesHaveItsPortAndDriverButNoPrinterOfIt) {
    struct Sample {
        const char* file;
        const char* driver;
        const char* monitor_path;
    };
    for (const Sample& sample : {Sample{"orvana-nt4.toml", "Orvana Print Driver", "C:\\WINNT\\system32\\ORVMON.DLL"},
                                 Sample{"orvana-win98.toml", "Orvana Win98 Docket Driver", "C:\\WINDOWS\\SYSTEM\\ORVMON.DLL"}}) {
        SCOPED_TRACE(sample.file);
        std::filesystem::remove_all(folder);
        RunnerOutput run = orvsetup("--machine " + folder.string() + " --from " + (samples / sample.file).string() + " --json show printers");
        ASSERT_EQ(run.status, 0) << run.output;
        EXPECT_EQ(run.output.find("Orvana"), std::string::npos) << "no printer of the product yet: " << run.output;
        EXPECT_NE(run.output.find("{\"default_printer\": \"Kestrel "), std::string::npos) << run.output;

        auto machine = winsim::Machine::open(folder);
        EXPECT_TRUE(machine->registry().key_exists(machine->spooler().driver_key(sample.driver)));
        const std::vector<std::string> ports = machine->spooler().ports();
        EXPECT_NE(std::find(ports.begin(), ports.end(), "ORVFAX1:"), ports.end());
        HMODULE monitor = LoadLibraryExA(sample.monitor_path, nullptr, LOAD_LIBRARY_AS_DATAFILE);
        ASSERT_NE(monitor, nullptr) << "the monitor is the product's image";
        char name[64] = {};
        LoadStringA(monitor, 300, name, sizeof name);
        EXPECT_STREQ(name, "Orvana Fax Port");
        FreeLibrary(monitor);
    }
}

TEST_F(OrvsetupFrom, TheDescriptionAloneNamesThePlatform) {
    RunnerOutput run = orvsetup("--from " + (samples / "win98-pc.toml").string() + " --platform nt4");
    EXPECT_NE(run.status, 0);
    EXPECT_NE(run.output.find("excludes"), std::string::npos) << run.output;
}

}  // namespace

// A setup author's first try on each family: a printer from a readable definition on a
// sample machine, made the default; a definition with a rejected selection afterwards
// leaves the machine's printers exactly as they were.
TEST_F(OrvsetupFrom, ASamplePrinterIsMadeAndARejectedDefinitionChangesNothing) {
    const std::filesystem::path definitions = samples.parent_path() / "printers";
    const std::string machine = "--machine " + folder.string();
    auto view = [&] { return orvsetup(machine + " show printers").output; };

    RunnerOutput run = orvsetup(machine + " --from " + (samples / "orvana-nt4.toml").string() +
                                " call insAddPrinter @printer:" + (definitions / "prism-fax.toml").string() +
                                " call insSetDefaultPrinter 'Orvana Prism Fax'");
    ASSERT_EQ(run.status, 0) << run.output;
    EXPECT_EQ(run.output, "insAddPrinter -> 0\n  seen: WM_WININICHANGE 'devices'\n"
                          "insSetDefaultPrinter -> 0\n  seen: WM_WININICHANGE null\n");
    const std::string before = view();
    EXPECT_NE(before.find("driver settings   31 in HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Control\\Print\\Printers\\"
                          "Orvana Prism Fax\\PrinterDriverData"),
              std::string::npos)
        << before;
    EXPECT_NE(before.find("    print quality   204\n    y resolution    196\n"), std::string::npos) << "resolution pair 2";
    EXPECT_NE(before.find("default printer: Orvana Prism Fax,winspool,Ne"), std::string::npos) << before;

    run = orvsetup(machine + " call insAddPrinter @printer:" + (definitions / "prism-fax-rejected.toml").string());
    EXPECT_EQ(run.output, "insAddPrinter -> -7\n  | Printer installer WARNING: Invalid file type specified for insAddPrinter\n");
    EXPECT_EQ(view(), before);

    std::filesystem::remove_all(folder);
    run = orvsetup(machine + " --from " + (samples / "orvana-win98.toml").string() + " call insAddPrinter @printer:" +
                   (definitions / "docket-98.toml").string() + " call insSetDefaultPrinter 'Orvana Docket'");
    ASSERT_EQ(run.status, 0) << run.output;
    const std::string docket = view();
    EXPECT_NE(docket.find("  WIN.INI [Orvana Docket,ORVFAX1]\n    Y Resolution=196\n    Paper Size=1\n    Orientation=1\n"),
              std::string::npos)
        << docket;
    EXPECT_NE(docket.find("  C:\\WINDOWS\\orvfxb.ini\n    [OWNER]\n"), std::string::npos) << docket;
    EXPECT_NE(docket.find("    [DOCKET]\n    LibraryName="), std::string::npos) << docket;
    EXPECT_NE(docket.find("default printer: Orvana Docket,ORVFAX16,ORVFAX1:"), std::string::npos) << docket;
}
