// Setup scripts performed on simulated machines: the standard installation and its
// removal on every generation, a second run converging, the table of every platform,
// and what a CI job sees of a run (its lines and exit status).
#include "support/temp_path.h"
#include "machine_commands.h"
#include "platform_table.h"
#include "run_command.h"
#include "run_program.h"
#include "script_machine.h"
#include "setup_script.h"

#include <winsim/machine.h>
#include <winsim/snapshot.h>

#include <gtest/gtest.h>


#include <algorithm>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace {

const std::string samples = std::string(ORV_SOURCE_DIR) + "/samples/setups/";

orvsetup::SetupScript standard_script() {
    std::vector<std::string> platforms;
    for (const winsim::PlatformInfo& info : winsim::all_platforms()) platforms.emplace_back(info.name);
    return orvsetup::read_setup_script(samples + "standard.toml", platforms);
}

std::unique_ptr<winsim::Machine> machine_with_sources(winsim::Platform platform, const orvsetup::SetupScript& script) {
    auto machine = winsim::Machine::create(platform);
    orvsetup::lay_out_sources(*machine, script, orvsetup::sample_sources_for(*machine));
    return machine;
}

// The steps a platform performed, "title result", in order.
std::vector<std::string> performed(const orvsetup::ScriptRun& run) {
    std::vector<std::string> steps;
    for (const orvsetup::StepOutcome& step : run.steps)
        if (step.state != orvsetup::StepState::not_for_platform)
            steps.push_back(step.title + " " + std::to_string(step.result) + (step.accepted ? "" : " refused"));
    return steps;
}

struct PlatformCase {
    winsim::Platform platform;
    std::vector<std::string> install;  // beyond the steps every platform shares
    std::vector<std::string> left_behind;
};

// What stays after the removal, by design of the library: the monitor's companion
// modules and 95/98's WIN.INI and driver settings file, which other programs share; on
// NT 3.51 the driver's dependent files in the driver directory; on 2000 the folder of
// NT 4.0 drivers and the key of the printers' settings.
const std::vector<std::string> installed_on_9x = {"insSafeFileCopy C:\\SETUP\\brg32res.dll 0",
                                                  "insAddPrintDriverEx orvfax.drv 0", "insAddPrinter Orvana Fax (95/98) 0"};
const std::vector<std::string> left_on_9x = {"+ file C:\\WINDOWS\\SYSTEM\\AUD16.DLL (608 bytes, attributes 0x00000020)",
                                             "+ file C:\\WINDOWS\\SYSTEM\\BRG16AUD.DLL (640 bytes, attributes 0x00000020)",
                                             "+ file C:\\WINDOWS\\SYSTEM\\BRG32AUD.DLL (2048 bytes, attributes 0x00000020)",
                                             "+ file C:\\WINDOWS\\SYSTEM\\BRG32RES.DLL (2560 bytes, attributes 0x00000020)",
                                             "+ file C:\\WINDOWS\\WIN.INI (38 bytes, attributes 0x00000020)",
                                             "+ file C:\\WINDOWS\\orvlotus.ini (275 bytes, attributes 0x00000020)"};
const PlatformCase platform_cases[] = {
    {winsim::Platform::win95, installed_on_9x, left_on_9x},
    {winsim::Platform::win98, installed_on_9x, left_on_9x},
    {winsim::Platform::nt351,
     {"insAddPrintDriverEx orvdrv351.dll 0", "insAddPrinter Orvana Fax (NT 3.51) 0"},
     {"+ file C:\\WINNT\\system32\\spool\\drivers\\w32x86\\ORVCOVER.DLL (2048 bytes, attributes 0x00000020)",
      "+ file C:\\WINNT\\system32\\spool\\drivers\\w32x86\\ORVDRV.HLP (26 bytes, attributes 0x00000020)",
      "+ file C:\\WINNT\\system32\\spool\\drivers\\w32x86\\ORVFONT.DAT (18 bytes, attributes 0x00000020)"}},
    {winsim::Platform::nt4, {"insAddPrintDriverEx orvdrv.dll 0", "insAddPrinter Orvana Fax (NT 4.0, 2000) 0"}, {}},
    {winsim::Platform::win2000,
     {"insAddPrintDriverEx orvdrv.dll 0", "insAddPrinter Orvana Fax (NT 4.0, 2000) 0"},
     {"+ directory C:\\WINNT\\system32\\spool\\drivers\\w32x86\\2",
      "+ key HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Print (null DACL)",
      "+ key HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Print\\Printers (null DACL)"}},
};

class StandardSetup : public testing::TestWithParam<PlatformCase> {};

TEST_P(StandardSetup, InstallsEveryPartAndItsRemovalLeavesOnlyWhatIsLeftByDesign) {
    const orvsetup::SetupScript script = standard_script();
    auto machine = machine_with_sources(GetParam().platform, script);
    const bool nt2000 = GetParam().platform == winsim::Platform::win2000;
    const orvsetup::MachineRun run = orvsetup::install_and_remove(*machine, script, {}, true, nullptr, false);

    std::vector<std::string> expected = {"InstallAllowed 0", "insAddMonitorEx C:\\SETUP\\orvmon.dll 0", "insAddPort ORVFAX2: 0",
                                         "insAddPrintProc C:\\SETUP\\orvproc.dll 0"};
    expected.insert(expected.end(), GetParam().install.begin(), GetParam().install.end());
    expected.push_back("insSetDefaultPrinter Orvana Fax 0");
    expected.push_back("insPrintTestPage Orvana Fax 0");
    expected.push_back("insSafeFileCopy C:\\SETUP\\orvdaemon.exe 0");
    expected.push_back(nt2000 ? "insAddDaemonService OrvanaDaemon 0" : "insAddDaemonProcess Orvana Daemon 0");
    EXPECT_EQ(performed(run.install), expected);
    EXPECT_FALSE(run.install.restart_required);
    ASSERT_TRUE(run.uninstall);
    EXPECT_EQ(performed(*run.uninstall),
              (std::vector<std::string>{"InstallAllowed 0",
                                        nt2000 ? "insDeleteDaemonService OrvanaDaemon 0" : "insDeleteDaemonProcess Orvana Daemon 0",
                                        "insNukePrinter Orvana Fax 0", "insFileDelete C:\\ORVANA\\orvdaemon.exe 0"}));
    EXPECT_TRUE(run.all_accepted());
    EXPECT_EQ(run.left_behind, GetParam().left_behind);
}

// A setup author reruns a script without fear: after the restart the first run asked
// for, a second run leaves the machine as the first did.
TEST_P(StandardSetup, ASecondRunConverges) {
    const orvsetup::SetupScript script = standard_script();
    auto machine = machine_with_sources(GetParam().platform, script);
    const orvsetup::ScriptRun first = orvsetup::perform_on(*machine, script.install, {}, nullptr, false);
    ASSERT_TRUE(first.all_accepted());
    machine->reboot();
    const winsim::Snapshot after_first = winsim::take_snapshot(*machine);
    const orvsetup::ScriptRun second = orvsetup::perform_on(*machine, script.install, {}, nullptr, false);
    EXPECT_TRUE(second.all_accepted()) << testing::PrintToString(performed(second));
    machine->reboot();
    // What a second run changes by design: the daemon's Startup link is written again and
    // carries the program's times as they are then; 95/98 keep the WININIT.INI they carried
    // out at the restart as WININIT.BAK, and the second run's monitor waited for one.
    const std::vector<std::string> by_design = {"~ file C:\\WINDOWS\\Start Menu\\Programs\\StartUp\\Orvana Daemon.lnk ",
                                                "~ file C:\\WINNT\\Profiles\\All Users\\Start Menu\\Programs\\Startup\\Orvana Daemon.lnk ",
                                                "+ file C:\\WINDOWS\\WININIT.BAK "};
    std::vector<std::string> unexpected;
    for (const std::string& line : winsim::differences(after_first, winsim::take_snapshot(*machine)))
        if (std::none_of(by_design.begin(), by_design.end(), [&](const std::string& known) { return line.rfind(known, 0) == 0; }))
            unexpected.push_back(line);
    EXPECT_EQ(unexpected, std::vector<std::string>{});
}

INSTANTIATE_TEST_SUITE_P(Platforms, StandardSetup, testing::ValuesIn(platform_cases),
                         [](const testing::TestParamInfo<PlatformCase>& platform_case) {
                             return std::string(winsim::platform_info(platform_case.param.platform).name);
                         });

TEST(SetupRun, AFailureStopsTheScriptUnlessTheStepSaysOtherwise) {
    std::vector<std::string> platforms = {"win98", "nt4"};
    const orvsetup::SetupScript script = orvsetup::parse_setup_script(R"(
[[step]]
export = "insSetDefaultPrinter"
args = ["Nobody's Printer"]
stop = false
[[step]]
export = "insDeleteMonitor"
args = ["No Such Monitor"]
accept = [3000]
[[step]]
export = "ClearErrorFlag"
)",
                                                                      "stops.toml", platforms);
    auto machine = winsim::Machine::create(winsim::Platform::nt4);
    const orvsetup::ScriptRun run = orvsetup::perform_on(*machine, script.install, {}, nullptr, false);
    ASSERT_EQ(run.steps.size(), 4u);
    EXPECT_EQ(run.steps[1].state, orvsetup::StepState::done);
    EXPECT_FALSE(run.steps[1].accepted);
    EXPECT_NE(run.steps[1].result, 0);
    EXPECT_EQ(run.steps[2].state, orvsetup::StepState::done) << "the first failure did not stop the script";
    EXPECT_FALSE(run.steps[2].accepted);
    EXPECT_EQ(run.steps[3].state, orvsetup::StepState::not_run);
    EXPECT_FALSE(run.all_accepted());
}

TEST(SetupRun, MessageBoxesAreSeenWithTheirAnswer) {
    auto machine = winsim::Machine::create(winsim::Platform::win98);
    orvsetup::CallObserver watch = orvsetup::watch_machine(*machine);
    machine->desktop().answer_next(IDNO);
    EXPECT_EQ(MessageBoxA(nullptr, "Replace the driver?\r\nIt is in use.", "Orvana Setup", MB_YESNO), IDNO);
    EXPECT_EQ(watch(), std::vector<std::string>{"message box 'Orvana Setup': Replace the driver?  It is in use. -> no"});
    EXPECT_EQ(watch(), std::vector<std::string>{}) << "a box is told once";
}

// The runner as a CI job runs it.
testing_support::ProgramOutput orvsetup_run(const std::string& words) {
    return testing_support::run_program(std::string(ORVSETUP_PATH) + " " + words);
}

TEST(SetupRunCommand, TheExitStatusTellsWhetherEveryStepWasAccepted) {
    const std::filesystem::path folder = testing_support::temp_path("orvsetup-run-status");
    std::filesystem::create_directories(folder);
    std::ofstream(folder / "refused.toml") << "[[step]]\nexport = \"insSetDefaultPrinter\"\nargs = [\"Nobody\"]\n"
                                              "[[step]]\nexport = \"ClearErrorFlag\"\n";
    const testing_support::ProgramOutput refused = orvsetup_run("--platform nt4 run " + (folder / "refused.toml").string());
    EXPECT_EQ(refused.status, 1);
    EXPECT_NE(refused.output.find("insSetDefaultPrinter Nobody -> -10 no such printer   (not accepted)\n"), std::string::npos)
        << refused.output;
    EXPECT_NE(refused.output.find("ClearErrorFlag: not run, the script stopped\n"), std::string::npos) << refused.output;

    const testing_support::ProgramOutput json = orvsetup_run("--platform nt4 --json run " + (folder / "refused.toml").string());
    EXPECT_NE(json.output.find("{\"step\": \"insSetDefaultPrinter Nobody\", \"export\": \"insSetDefaultPrinter\", \"result\": -10, "
                               "\"result_words\": \"-10 no such printer\", \"accepted\": false"),
              std::string::npos)
        << json.output;
    EXPECT_NE(json.output.find("{\"platform\": \"nt4\", \"restart_required\": false, \"all_accepted\": false"), std::string::npos);

    const testing_support::ProgramOutput missing = orvsetup_run("run " + (folder / "none.toml").string());
    EXPECT_EQ(missing.status, 105);
    EXPECT_EQ(missing.output, "orvsetup: cannot read " + (folder / "none.toml").string() + "\n");

    const testing_support::ProgramOutput standard = orvsetup_run("--platform win98 run " + samples + "standard.toml --uninstall");
    EXPECT_EQ(standard.status, 0) << standard.output;
    EXPECT_NE(standard.output.find("insAddDaemonProcess Orvana Daemon -> 0 done\n  seen: started C:\\ORVANA\\orvdaemon.exe\n"),
              std::string::npos)
        << standard.output;
    EXPECT_NE(standard.output.find("left behind (what the machine holds that it did not before the installation):\n"),
              std::string::npos);
    const testing_support::ProgramOutput nt4 = orvsetup_run("--json --platform nt4 run " + samples + "standard.toml --uninstall");
    EXPECT_EQ(nt4.status, 0);
    EXPECT_NE(nt4.output.find("{\"platform\": \"nt4\", \"restart_required\": false, \"all_accepted\": true, \"test_pages\": []}\n"
                              "{\"left_behind\": []}\n"),
              std::string::npos)
        << nt4.output;
    std::filesystem::remove_all(folder);
}

TEST(SetupRunCommand, AKeptMachineIsRemovedLaterAndComparedWithItselfBeforeTheInstallation) {
    const std::filesystem::path machine = testing_support::temp_path("orvsetup-run-kept");
    std::filesystem::remove_all(machine);
    EXPECT_EQ(orvsetup_run("--machine " + machine.string() + " run " + samples + "standard.toml --uninstall").status, 1)
        << "nothing was installed there yet";
    std::filesystem::remove_all(machine);
    ASSERT_EQ(orvsetup_run("--machine " + machine.string() + " --platform nt4 run " + samples + "standard.toml").status, 0);
    const testing_support::ProgramOutput printers = orvsetup_run("--machine " + machine.string() + " show default");
    EXPECT_EQ(printers.output, "Orvana Fax,winspool,Ne00:\n");
    const testing_support::ProgramOutput removal =
        orvsetup_run("--machine " + machine.string() + " run " + samples + "standard.toml --uninstall");
    EXPECT_EQ(removal.status, 0) << removal.output;
    EXPECT_NE(removal.output.find("nothing left behind: the machine is as it was before the installation\n"), std::string::npos)
        << removal.output;
    std::filesystem::remove_all(machine);
}

TEST(SetupRunCommand, EveryPlatformGetsAColumn) {
    const testing_support::ProgramOutput run = orvsetup_run("run " + samples + "standard.toml --all-platforms");
    EXPECT_EQ(run.status, 0) << run.output;
    EXPECT_NE(run.output.find("step                                     win95     win98     nt351     nt4       win2000\n"),
              std::string::npos)
        << run.output;
    EXPECT_NE(run.output.find("insAddPrintDriverEx orvdrv351.dll        -         -         0         -         -\n"),
              std::string::npos)
        << run.output;
    EXPECT_NE(run.output.find("insAddDaemonService OrvanaDaemon         -         -         -         -         0\n"),
              std::string::npos);
    EXPECT_NE(run.output.find("restart required                         no        no        no        no        no\n"),
              std::string::npos);

    const testing_support::ProgramOutput server = orvsetup_run("run " + samples + "print-server.toml --all-platforms");
    EXPECT_EQ(server.status, 0) << server.output;
    EXPECT_NE(server.output.find("insAddPrinter Management Fax"), std::string::npos);
}

TEST(SetupRunCommand, ItsWordsAreCheckedBeforeAnythingRuns) {
    auto refusal = [](const std::vector<std::string>& words) {
        std::FILE* err = std::tmpfile();
        orvsetup::RunOptions options;
        const int status = orvsetup::parse_run_options(words, false, options, err);
        std::string text;
        std::rewind(err);
        for (int c; (c = std::fgetc(err)) != EOF;) text += static_cast<char>(c);
        std::fclose(err);
        return std::to_string(status) + " " + text;
    };
    EXPECT_EQ(refusal({"run"}), "2 orvsetup: run: run takes a setup script\n");
    EXPECT_EQ(refusal({"run", "a.toml", "--answer", "maybe"}), "2 orvsetup: run: --answer is yes, no, ok or cancel\n");
    EXPECT_EQ(refusal({"run", "a.toml", "--answer"}), "2 orvsetup: run: --answer needs a value\n");
    EXPECT_EQ(refusal({"run", "a.toml", "--report", "out"}), "2 orvsetup: run: --report goes with --all-platforms\n");
    EXPECT_EQ(refusal({"run", "a.toml", "--from", "m.toml"}), "2 orvsetup: run: --from after run goes with --all-platforms\n");
    EXPECT_EQ(refusal({"run", "a.toml", "b.toml"}), "2 orvsetup: run: unknown word b.toml\n");

    orvsetup::RunOptions options;
    ASSERT_EQ(orvsetup::parse_run_options({"run", "a.toml", "--answer", "yes", "--answer", "no", "--all-platforms", "--from",
                                           "m.toml", "--uninstall", "--report", "out"},
                                          false, options, stderr),
              0);
    EXPECT_EQ(options.script, "a.toml");
    EXPECT_EQ(options.answers, (std::vector<int>{IDYES, IDNO}));
    EXPECT_EQ(options.descriptions, std::vector<std::string>{"m.toml"});
    EXPECT_TRUE(options.uninstall && options.all_platforms);
    EXPECT_EQ(options.report_folder, "out");
}

TEST(SetupRunTable, ACellShowsTheResultAndWhetherTheStepAcceptsIt) {
    orvsetup::StepOutcome cell;
    cell.result = -13;
    cell.accepted = true;
    EXPECT_EQ(orvsetup::cell_text(cell), "-13");
    cell.accepted = false;
    EXPECT_EQ(orvsetup::cell_text(cell), "-13*");
    cell.state = orvsetup::StepState::not_for_platform;
    EXPECT_EQ(orvsetup::cell_text(cell), "-");
    cell.state = orvsetup::StepState::not_run;
    EXPECT_EQ(orvsetup::cell_text(cell), "stopped");
}

}  // namespace
