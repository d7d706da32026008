// `orvsetup run --engine wine` without Wine: its argument errors as a person meets them,
// and a whole run against a stand-in for wine64 that answers as the player would, so
// that the prefix, the sources, the pose and the reading back are checked here.
#include "child_process.h"
#include "run_command.h"
#include "run_program.h"
#include "setup_script.h"
#include "wine_engine.h"
#include "support/temp_path.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <tuple>
#include <vector>

namespace {

const std::string orvsetup_path = ORVSETUP_PATH;
const std::string standard = std::string(ORV_SOURCE_DIR) + "/samples/setups/standard.toml";
const std::vector<std::string> platforms = {"win95", "win98", "nt351", "nt4", "win2000"};

TEST(WineEngine, ArgumentsThatCannotMakeAWineRunAreRefusedBeforeAnythingRuns) {
    struct Case {
        std::string words;
        int status;
        std::string message;
    };
    const Case cases[] = {
        {"run " + standard + " --engine wine", 2,
         "orvsetup: run: --engine wine needs --platform NAME (win95, win98, win98se, winme, nt351, nt4, win2000, winxp, win7, win32s)"},
        {"run " + standard + " --engine bochs --platform nt4", 2, "orvsetup: run: --engine is winsim or wine, not bochs"},
        {"run " + standard + " --engine wine --all-platforms", 2,
         "orvsetup: run: --engine wine plays one platform: give --platform instead of --all-platforms"},
        {"run " + standard + " --engine wine --platform nt31", 2, "orvsetup: run: Wine cannot pose as nt31"},
        {"run " + standard + " --engine wine --platform os2", 2, "orvsetup: run: unknown platform os2"},
        {"--machine /tmp/never-made run " + standard + " --engine wine --platform nt4", 2,
         "orvsetup: run: --engine wine makes a Wine prefix of its own: no --machine, no --from"},
        {"run " + standard + " --engine wine --platform nt4 --answer yes", 2,
         "orvsetup: run: --answer goes with the simulated machine: nobody answers Wine's message boxes"},
        // The global --platform counts as well; a wine64 that is none is named.
        {"--platform nt4 run " + standard + " --engine wine", 2,
         "orvsetup: --engine wine: WINE64 names /nonexistent/wine64, which is not a program"},
    };
    for (const Case& c : cases) {
        const testing_support::ProgramOutput run =
            testing_support::run_program("WINE64=/nonexistent/wine64 " + orvsetup_path + " " + c.words);
        EXPECT_EQ(run.status, c.status) << c.words << "\n" << run.output;
        EXPECT_EQ(run.output, c.message + "\n") << c.words;
    }
}

TEST(WineEngine, TheDefaultEngineIsTheSimulatedMachineWhichTakesPlatformAfterRun) {
    const testing_support::ProgramOutput run =
        testing_support::run_program(orvsetup_path + " run " + standard + " --platform nt4 --json");
    EXPECT_EQ(run.status, 0) << run.output;
    EXPECT_NE(run.output.find("{\"platform\": \"nt4\", \"restart_required\""), std::string::npos) << run.output;
}

TEST(ChildProcess, LinesComeAsWrittenWithTheEnvironmentGivenAndTheStatusKept) {
    std::vector<std::string> lines;
    const int status = orvsetup::run_child(
        {{"/bin/sh", "-c", "echo \"$ORV_WORD\"; echo; printf unended; echo oops >&2; exit 3"}, {{"ORV_WORD", "given"}}, {}},
        [&lines](const std::string& line) { lines.push_back(line); });
    EXPECT_EQ(status, 3);
    EXPECT_EQ(lines, (std::vector<std::string>{"given", "", "unended"}));
    EXPECT_EQ(orvsetup::run_child({{"/nonexistent/program"}, {}, {}}, {}), -1);
}

// A Wine that is not there: wine64 answers as the player would, with the account in
// the file its environment names, and records the words it was given.
class WineStandIn : public ::testing::Test {
protected:
    void SetUp() override {
        std::filesystem::remove_all(root_);
        for (const char* folder : {"bin", "player/components", "samples", "template/drive_c/windows"})
            std::filesystem::create_directories(root_ / folder);
        write(root_ / "bin/wine64",
              "#!/bin/sh\n"
              "printf '%s\\n' \"$WINEPREFIX $*\" >>\"" + (root_ / "calls").string() + "\"\n"
              "[ \"$1\" = wineboot ] && exit 0\n"
              "grep -q Version \"$WINEPREFIX/user.reg\" && cp \"$WINEPREFIX/user.reg\" \"" + (root_ / "seen-user.reg").string() + "\"\n"
              "ls \"$WINEPREFIX/drive_c/ORVANA\" \"$WINEPREFIX/drive_c/SETUP\" >\"" + (root_ / "seen-files").string() + "\"\n"
              "cat \"" + (root_ / "account").string() + "\"\n"
              "exit ${ORV_STATUS:-0}\n");
        std::filesystem::permissions(root_ / "bin/wine64", std::filesystem::perms::owner_all);
        write(root_ / "player/orvplayer.exe", "");
        write(root_ / "player/components/orvmon.dll", "the real monitor");
        write(root_ / "samples/orvmon.dll", "an image");
        write(root_ / "samples/orvfont.dat", "a font");
        write(root_ / "template/system.reg", "WINE REGISTRY Version 2\n");
        write(root_ / "template/user.reg", "WINE REGISTRY Version 2\n");
        write(root_ / "script.toml",
              "[sources]\nfolder = 'C:\\SETUP'\nfiles = [\"orvmon.dll\", \"orvfont.dat\"]\nmake = ['C:\\ORVANA']\n"
              "[[step]]\nexport = \"insAddMonitorEx\"\nargs = ['C:\\SETUP\\orvmon.dll', \"@out:80\", 0]\n"
              "[[step]]\nexport = \"insNukePrinter\"\nargs = [\"Orvana Fax\"]\n");
        places_.player_folder = root_ / "player";
        places_.sample_components = root_ / "samples";
        places_.make_prefix = "/bin/false";
        places_.template_prefix = root_ / "template";
        places_.run_folder = root_ / "run";
        options_.script = (root_ / "script.toml").string();
        options_.engine = "wine";
        options_.platform = "nt4";
        setenv("WINE64", (root_ / "bin/wine64").c_str(), 1);
    }
    void TearDown() override {
        unsetenv("WINE64");
        unsetenv("ORV_STATUS");
        std::filesystem::remove_all(root_);
    }

    static void write(const std::filesystem::path& file, const std::string& text) { std::ofstream(file, std::ios::binary) << text; }
    std::string read(const std::string& name) const {
        std::ifstream in(root_ / name, std::ios::binary);
        return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    }

    // The run's output and status, with `account` as the player's lines.
    std::pair<int, std::string> run(const std::string& account) {
        write(root_ / "account", account);
        const orvsetup::SetupScript script = orvsetup::read_setup_script(options_.script, platforms);
        char* text = nullptr;
        std::size_t size = 0;
        std::FILE* out = open_memstream(&text, &size);
        const int status = orvsetup::run_on_wine(options_, script, platforms, "nt40", places_, out, out);
        std::fclose(out);
        std::string output(text, size);
        std::free(text);
        return {status, output};
    }

    const std::filesystem::path root_ = testing_support::temp_path("wine-stand-in");
    orvsetup::WinePlaces places_;
    orvsetup::RunOptions options_;
};

const std::string install_allowed_line =
    R"({"step": 0, "title": "InstallAllowed", "export": "InstallAllowed", "state": "done", "result": 0, "accepted": true, "out": [], "error_text": "", "last_error": 0, "reboot_required": 0, "seen": [], "wine_cannot_play": ""})";
const std::string monitor_line =
    R"({"step": 1, "title": "insAddMonitorEx C:\\SETUP\\orvmon.dll", "export": "insAddMonitorEx", "state": "done", "result": 0, "accepted": true, "out": ["Orvana Fax Port"], "error_text": "", "last_error": 0, "reboot_required": 1, "seen": [], "wine_cannot_play": ""})";
const std::string nuke_line =
    R"({"step": 2, "title": "insNukePrinter Orvana Fax", "export": "insNukePrinter", "state": "done", "result": 124, "accepted": false, "out": [], "error_text": "Printer installer WARNING\nerror #124.\n", "last_error": 124, "reboot_required": 1, "seen": [], "wine_cannot_play": "Wine refuses the purge"})";
const std::string end_line = R"({"end": true, "restart_required": true, "problem": ""})";

TEST_F(WineStandIn, ARunPlaysInAFreshPrefixPosingAsThePlatformAndPrintsAsTheSimulatedMachine) {
    const auto [status, output] = run(install_allowed_line + "\n" + monitor_line + "\n" + nuke_line + "\n" + end_line + "\n");
    EXPECT_EQ(status, 0) << output;
    EXPECT_EQ(output,
              "InstallAllowed -> 0 done\n"
              "insAddMonitorEx C:\\SETUP\\orvmon.dll -> 0 done\n"
              "  out: \"Orvana Fax Port\"\n"
              "insNukePrinter Orvana Fax -> 124 invalid level   (not accepted, Wine's answer)\n"
              "  Wine cannot play this step: Wine refuses the purge\n"
              "  | Printer installer WARNING\n"
              "  | error #124.\n"
              "restart required: yes\n"
              "every step gave an accepted result, apart from 1 that Wine cannot play as Windows does\n");
    const std::filesystem::path prefix = root_ / "run/prefix";
    // The real module wins over the image; the rest comes from the images.
    EXPECT_EQ(read("run/prefix/drive_c/SETUP/orvmon.dll"), "the real monitor");
    EXPECT_EQ(read("seen-files"), prefix.string() + "/drive_c/ORVANA:\n\n" + prefix.string() + "/drive_c/SETUP:\norvfont.dat\norvmon.dll\n");
    EXPECT_NE(read("seen-user.reg").find("AppDefaults\\\\orvplayer.exe] 0\n\"Version\"=\"nt40\""), std::string::npos);
    EXPECT_EQ(read("calls"), prefix.string() + " " + (root_ / "player/orvplayer.exe").string() +
                                 " --platform nt4 --platforms win95,win98,nt351,nt4,win2000 Z:" +
                                 [&] {
                                     std::string path = options_.script;
                                     for (char& c : path) c = c == '/' ? '\\' : c;
                                     return path;
                                 }() + "\n");
    // Each run starts from the template again.
    write(prefix / "drive_c/left-over", "x");
    run(install_allowed_line + "\n" + end_line + "\n");
    EXPECT_FALSE(std::filesystem::exists(prefix / "drive_c/left-over"));
}

TEST_F(WineStandIn, TheRemovalIsPlayedAfterARestartOfTheSamePrefix) {
    options_.uninstall = true;
    options_.json = true;
    const auto [status, output] = run(install_allowed_line + "\n" + end_line + "\n");
    EXPECT_EQ(status, 0) << output;
    const std::string end = "{\"platform\": \"nt4\", \"restart_required\": true, \"all_accepted\": true, \"test_pages\": []}\n";
    const std::string step = "{\"step\": \"InstallAllowed\", \"export\": \"InstallAllowed\", \"result\": 0, \"result_words\": "
                             "\"0 done\", \"accepted\": true, \"out\": [], \"error_text\": \"\", \"reboot_required\": 0, "
                             "\"seen\": []}\n";
    EXPECT_EQ(output, step + end + step + end);
    // The player, Wine's restart, the player for the removal; all in the one prefix.
    std::istringstream calls(read("calls"));
    std::vector<std::string> lines;
    for (std::string line; std::getline(calls, line);) lines.push_back(line);
    ASSERT_EQ(lines.size(), 3u) << read("calls");
    const std::string prefix = (root_ / "run/prefix").string() + " ";
    EXPECT_EQ(lines[0].find(prefix + (root_ / "player/orvplayer.exe").string() + " --platform nt4 "), 0u) << lines[0];
    EXPECT_EQ(lines[0].find("--uninstall"), std::string::npos) << lines[0];
    EXPECT_EQ(lines[1], prefix + "wineboot -r");
    EXPECT_EQ(lines[2].find(prefix + (root_ / "player/orvplayer.exe").string() + " --platform nt4 "), 0u) << lines[2];
    EXPECT_NE(lines[2].find(" --uninstall Z:"), std::string::npos) << lines[2];
}

TEST_F(WineStandIn, APlayerThatDiesOrWritesNonsenseEndsTheRunWithWhatWasPlayed) {
    ::setenv("ORV_STATUS", "134", 1);
    auto [status, output] = run(install_allowed_line + "\n" + monitor_line.substr(0, 45));
    EXPECT_EQ(status, 1);
    EXPECT_EQ(output.substr(0, output.find('\n') + 1), "InstallAllowed -> 0 done\n");
    EXPECT_NE(output.find("the run ended: orvplayer.exe wrote a line orvsetup cannot read (unterminated text"),
              std::string::npos)
        << output;

    std::tie(status, output) = run(install_allowed_line + "\n");
    EXPECT_EQ(status, 1);
    EXPECT_NE(output.find("the run ended: orvplayer.exe ended with status 134 before the end of its account; its errors are in " +
                          (root_ / "run/install.player.err").string()),
              std::string::npos)
        << output;
}

TEST_F(WineStandIn, WhatCannotBeMadeIsSaidAndNothingIsPlayed) {
    std::filesystem::remove(root_ / "template/system.reg");
    auto [status, output] = run(end_line + "\n");
    EXPECT_EQ(status, 2);
    EXPECT_NE(output.find("orvsetup: --engine wine: the Wine prefix could not be made; see "), std::string::npos) << output;
    EXPECT_FALSE(std::filesystem::exists(root_ / "calls"));

    write(root_ / "template/system.reg", "");
    std::filesystem::remove(root_ / "samples/orvfont.dat");
    std::tie(status, output) = run(end_line + "\n");
    EXPECT_EQ(status, 2);
    EXPECT_EQ(output, "orvsetup: --engine wine: cannot read " + (root_ / "samples/orvfont.dat").string() + " for the setup source\n");

    std::filesystem::remove(root_ / "player/orvplayer.exe");
    std::tie(status, output) = run(end_line + "\n");
    EXPECT_EQ(status, 2);
    EXPECT_EQ(output, "orvsetup: --engine wine: " + (root_ / "player/orvplayer.exe").string() +
                          " is not built (scripts/build mingw-x64)\n");
    EXPECT_FALSE(std::filesystem::exists(root_ / "calls"));
}

}  // namespace
