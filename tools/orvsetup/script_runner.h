// Performs a setup script's steps as a setup program does, in one process: InstallAllowed
// first, then each step meant for the platform, until one that stops the script fails.
// Win32 only: it runs on Windows or winsim.
#pragma once

#include "call_engine.h"
#include "setup_script.h"

#include <cstdio>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace orvsetup {

enum class StepState {
    done,
    not_for_platform,
    not_run,  // an earlier failure stopped the script
};

struct StepOutcome {
    std::string title;
    std::string export_name;
    StepState state = StepState::done;
    LONG result = 0;
    bool accepted = false;
    std::vector<std::string> out;
    std::string error_text;
    DWORD last_error = 0;  // the thread's last error as the export left it
    LONG reboot_required = 0;
    std::vector<std::string> seen;
    // Why the answer is Wine's and not Windows' (a step played under Wine that Wine cannot
    // play as Windows does); such a step's result is shown but not held against the run.
    std::string wine_cannot_play;

    // A result that counts against the run.
    bool refused() const { return state == StepState::done && !accepted && wine_cannot_play.empty(); }
};

struct ScriptRun {
    std::string platform;
    std::vector<StepOutcome> steps;
    bool restart_required = false;
    // The pictures of the test pages the run printed, where the machine keeps them.
    std::vector<std::string> test_pages;
    // Set when the library could not be used at all.
    std::string problem;

    bool all_accepted() const;
};

// What the machine around the setup program offers the run.
struct RunHost {
    CallObserver observe;
    // Where the picture of the test page last printed on a printer lies, once the
    // machine can show one.
    std::function<std::optional<std::string>(const std::string& printer)> test_page_picture;
    // Told of each step as it ends, so a person sees it before the next begins.
    std::function<void(const StepOutcome&)> step_ended;
    // Why the system under the program cannot play an export on the platform as Windows
    // does ("" where it can); a failure of such a step does not stop the script.
    std::function<std::string(std::string_view export_name, std::string_view platform)> cannot_play;
};

ScriptRun perform_steps(const std::vector<ScriptStep>& steps, const std::string& platform, const RunHost& host);

// A person's lines: each step with its result in words, its out values, error text and
// what was seen, then whether a restart is required and where the test pages are. With
// `json`, one object a step and one for the end.
void print_step(std::FILE* out, const StepOutcome& step, bool json);
void print_run_end(std::FILE* out, const ScriptRun& run, bool json);

}  // namespace orvsetup
