// The Windows player's account read back: its lines, the steps Wine cannot play, and the
// places of a Wine prefix.
#include "json_fields.h"
#include "step_lines.h"
#include "wine_limits.h"
#include "wine_prefix.h"
#include "support/temp_path.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <iterator>
#include <sstream>
#include <string>

namespace {

std::string printed(const std::function<void(std::FILE*)>& print) {
    char* text = nullptr;
    std::size_t size = 0;
    std::FILE* out = open_memstream(&text, &size);
    print(out);
    std::fclose(out);
    std::string result(text, size);
    std::free(text);
    return result;
}

orvsetup::StepOutcome refused_port_step() {
    orvsetup::StepOutcome step;
    step.title = "insAddPort \"ORVFAX2:\"";
    step.export_name = "insAddPort";
    step.result = 1796;
    step.accepted = false;
    step.out = {"Orvana \\ Fax", "", "-12"};
    // CR LF, a tab, a quote and characters of the machine's code page above 0x7F.
    step.error_text = "Printer installer WARNING (AddPort): \r\n\terror #1796 for \"ORVFAX2:\" \xE9\xFF.\n";
    step.last_error = 0xDEADBEEF;
    step.reboot_required = 1;
    step.seen = {"Spooler stopped", "Spooler running"};
    step.wine_cannot_play = "Wine's monitor answers otherwise";
    return step;
}

TEST(StepLines, AStepAndTheEndComeBackAsThePlayerHadThem) {
    orvsetup::StepOutcome skipped;
    skipped.title = "insAddDaemonProcess";
    skipped.export_name = "insAddDaemonProcess";
    skipped.state = orvsetup::StepState::not_for_platform;
    orvsetup::ScriptRun ended;
    ended.restart_required = true;
    ended.problem = "OrvInstl.dll does not export insFoo";
    const std::string lines = printed([&](std::FILE* out) {
        orvsetup::write_step_line(out, 0, refused_port_step());
        orvsetup::write_step_line(out, 1, skipped);
        orvsetup::write_end_line(out, ended);
    });

    orvsetup::StepLineReader reader("nt4");
    std::istringstream in(lines);
    std::string problem;
    for (std::string line; std::getline(in, line);) ASSERT_TRUE(reader.take(line, problem)) << problem << "\n" << line;
    ASSERT_TRUE(reader.ended());
    const orvsetup::ScriptRun& run = reader.run();
    EXPECT_EQ(run.platform, "nt4");
    EXPECT_TRUE(run.restart_required);
    EXPECT_EQ(run.problem, ended.problem);
    ASSERT_EQ(run.steps.size(), 2u);
    const orvsetup::StepOutcome expected = refused_port_step();
    const orvsetup::StepOutcome& step = run.steps[0];
    EXPECT_EQ(step.title, expected.title);
    EXPECT_EQ(step.export_name, expected.export_name);
    EXPECT_EQ(step.state, orvsetup::StepState::done);
    EXPECT_EQ(step.result, 1796);
    EXPECT_FALSE(step.accepted);
    EXPECT_EQ(step.out, expected.out);
    EXPECT_EQ(step.error_text, expected.error_text);
    EXPECT_EQ(step.last_error, 0xDEADBEEFu);
    EXPECT_EQ(step.reboot_required, 1);
    EXPECT_EQ(step.seen, expected.seen);
    EXPECT_EQ(step.wine_cannot_play, expected.wine_cannot_play);
    EXPECT_EQ(run.steps[1].state, orvsetup::StepState::not_for_platform);
}

TEST(StepLines, ALineOutOfTurnOrCutShortIsRefusedWithWhatIsWrong) {
    const std::string first = printed([](std::FILE* out) { orvsetup::write_step_line(out, 0, refused_port_step()); });
    const std::string end = printed([](std::FILE* out) { orvsetup::write_end_line(out, orvsetup::ScriptRun{}); });
    struct Case {
        std::vector<std::string> lines;
        std::string problem;
    };
    const Case cases[] = {
        // A player that died in the middle of writing its line.
        {{first.substr(0, 40)}, "unterminated text"},
        {{"{\"step\": 1, \"state\": \"done\"}"}, "step 1 where step 0 was due"},
        {{"{\"step\": 0, \"state\": \"played\"}"}, "step 0 has no known state"},
        {{end, first}, "a line after the end line"},
        {{"{\"step\": 0} and more"}, "nothing may follow the object at column 13"},
        {{"{\"step\": 0, \"error_text\": \"\\u0100\"}"}, "\\u escape of a character above 0xFF"},
        {{"[1]"}, "an object starts with { at column 1"},
    };
    for (const Case& c : cases) {
        orvsetup::StepLineReader reader("win2000");
        std::string problem;
        bool taken = true;
        for (const std::string& line : c.lines) taken = reader.take(line.substr(0, line.find('\n')), problem) && taken;
        EXPECT_FALSE(taken) << c.lines.back();
        EXPECT_NE(problem.find(c.problem), std::string::npos) << problem;
    }
}

TEST(StepLines, AValueOfAnotherKindFallsBack) {
    std::string problem;
    const std::optional<orvsetup::JsonFields> fields =
        orvsetup::JsonFields::read(R"({"a": "x", "b": -13, "c": true, "d": ["p", "q"], "e": []})", problem);
    ASSERT_TRUE(fields) << problem;
    EXPECT_EQ(fields->number("b"), -13);
    EXPECT_EQ(fields->number("a", 7), 7);
    EXPECT_EQ(fields->text("b", "none"), "none");
    EXPECT_TRUE(fields->flag("c"));
    EXPECT_EQ(fields->texts("d"), (std::vector<std::string>{"p", "q"}));
    EXPECT_TRUE(fields->has("e"));
    EXPECT_TRUE(fields->texts("e").empty());
    EXPECT_FALSE(fields->has("f"));
}

TEST(WineLimits, AStepWineCannotPlayIsShownWithItsReasonAndNotHeldAgainstTheRun) {
    EXPECT_NE(orvsetup::wine_cannot_play("insNukePrinter", "win2000").find("124"), std::string::npos);
    EXPECT_EQ(orvsetup::wine_cannot_play("insAddPrinter", "win2000"), "");

    EXPECT_EQ(orvsetup::wine_cannot_play("insAddDaemonService", "win98"), orvsetup::wine_cannot_play("insAddDaemonService", "win95"));
    EXPECT_NE(orvsetup::wine_cannot_play("insAddDaemonService", "win98"), "");
    EXPECT_EQ(orvsetup::wine_cannot_play("insAddDaemonService", "nt4"), "");

    orvsetup::ScriptRun run;
    run.platform = "win2000";
    orvsetup::StepOutcome nuke;
    nuke.title = nuke.export_name = "insNukePrinter";
    nuke.result = 124;
    nuke.wine_cannot_play = orvsetup::wine_cannot_play(nuke.export_name, run.platform);
    run.steps.push_back(nuke);
    const orvsetup::StepOutcome& step = run.steps[0];
    ASSERT_FALSE(step.wine_cannot_play.empty());
    EXPECT_FALSE(step.refused());
    EXPECT_TRUE(run.all_accepted());

    const std::string text = printed([&](std::FILE* out) { orvsetup::print_step(out, step, false); });
    EXPECT_NE(text.find("insNukePrinter -> 124 invalid level   (not accepted, Wine's answer)\n  Wine cannot play this step: Wine's"),
              std::string::npos)
        << text;
    const std::string json = printed([&](std::FILE* out) { orvsetup::print_step(out, step, true); });
    EXPECT_NE(json.find("\"wine_cannot_play\": \"Wine's"), std::string::npos) << json;

    // The same result from a step Wine plays counts against the run.
    run.steps[0].wine_cannot_play.clear();
    EXPECT_TRUE(run.steps[0].refused());
    EXPECT_FALSE(run.all_accepted());
}

TEST(WinePrefix, PathsOfDriveCLieInThePrefixAndNoOtherDoes) {
    const std::filesystem::path prefix = "/p";
    EXPECT_EQ(orvsetup::prefix_path_of(prefix, "C:\\SETUP\\orvmon.dll"), std::filesystem::path("/p/drive_c/SETUP/orvmon.dll"));
    EXPECT_EQ(orvsetup::prefix_path_of(prefix, "c:\\ORVANA\\"), std::filesystem::path("/p/drive_c/ORVANA"));
    EXPECT_EQ(orvsetup::prefix_path_of(prefix, "C:\\"), std::filesystem::path("/p/drive_c"));
    EXPECT_FALSE(orvsetup::prefix_path_of(prefix, "D:\\SETUP"));
    EXPECT_FALSE(orvsetup::prefix_path_of(prefix, "SETUP\\orvmon.dll"));
    EXPECT_FALSE(orvsetup::prefix_path_of(prefix, "C:\\SETUP\\..\\..\\etc"));
    EXPECT_EQ(orvsetup::wine_path_of("/work/a/../s.toml"), "Z:\\work\\s.toml");
}

TEST(WinePrefix, Wine64IsTakenFromWine64ThenPathThenDebiansPlaces) {
    const std::filesystem::path folder = testing_support::temp_path("wine64-places");
    std::filesystem::remove_all(folder);
    std::filesystem::create_directories(folder / "bin");
    std::filesystem::create_directories(folder / "lib");
    auto program = [](const std::filesystem::path& file) {
        std::ofstream(file) << "#!/bin/sh\n";
        std::filesystem::permissions(file, std::filesystem::perms::owner_all);
    };
    program(folder / "bin/wine64");
    program(folder / "lib/wine64");
    std::ofstream(folder / "not-a-program") << "";
    const std::vector<std::filesystem::path> places = {folder / "none/wine64", folder / "lib/wine64"};
    const std::string path = "/nowhere:" + (folder / "bin").string();
    std::string problem;

    EXPECT_EQ(orvsetup::find_wine64((folder / "lib/wine64").c_str(), path.c_str(), places, problem), folder / "lib/wine64");
    EXPECT_EQ(orvsetup::find_wine64(nullptr, path.c_str(), places, problem), folder / "bin/wine64");
    EXPECT_EQ(orvsetup::find_wine64("", "/nowhere", places, problem), folder / "lib/wine64");

    EXPECT_FALSE(orvsetup::find_wine64((folder / "not-a-program").c_str(), path.c_str(), places, problem));
    EXPECT_EQ(problem, "WINE64 names " + (folder / "not-a-program").string() + ", which is not a program");
    EXPECT_FALSE(orvsetup::find_wine64(nullptr, "/nowhere", {folder / "none/wine64"}, problem));
    EXPECT_EQ(problem, "no wine64 found on PATH nor in " + (folder / "none/wine64").string() +
                           ": install Debian's wine and wine64, or set WINE64");
    std::filesystem::remove_all(folder);
}

TEST(WinePrefix, ThePoseIsWrittenForTheProgramBeforeWineStarts) {
    const std::filesystem::path prefix = testing_support::temp_path("wine-pose");
    std::filesystem::remove_all(prefix);
    std::filesystem::create_directories(prefix);
    EXPECT_FALSE(orvsetup::pose_as(prefix, "orvplayer.exe", "nt40"));
    std::ofstream(prefix / "user.reg") << "WINE REGISTRY Version 2\n";
    ASSERT_TRUE(orvsetup::pose_as(prefix, "orvplayer.exe", "nt40"));
    std::ifstream in(prefix / "user.reg");
    const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    EXPECT_EQ(text, "WINE REGISTRY Version 2\n\n[Software\\\\Wine\\\\AppDefaults\\\\orvplayer.exe] 0\n\"Version\"=\"nt40\"\n");
    std::filesystem::remove_all(prefix);
}

}  // namespace
