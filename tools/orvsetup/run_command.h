// `orvsetup run SCRIPT`: a setup script performed on simulated machines, as a setup
// program performs it, with what each step answered and what the machine saw.
#pragma once

#include <winsim/machine.h>

#include <cstdio>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace orvsetup {

struct RunOptions {
    std::string script;
    bool uninstall = false;
    bool all_platforms = false;
    bool json = false;
    std::vector<std::string> descriptions;  // --from: further machines for --all-platforms
    std::vector<int> answers;               // IDYES, IDNO, ... for the message boxes, in order
    std::string report_folder;
    std::string sources_folder;  // where the product's files are on this computer; empty: the samples
    std::string engine = "winsim";  // or "wine": the real DLL under Wine
    std::string platform;           // --platform, given before or after run; empty: not given
};

extern const char* run_command_help;

// Reads the words after "run" (`json` is the global flag); answers the exit status with
// what is wrong said on `err`, or 0.
int parse_run_options(const std::vector<std::string>& words, bool json, RunOptions& options, std::FILE* err);

// Performs the run. `machine_for` gives the machine of a run on one platform (opened
// from --machine, made from --from, or fresh); every platform gets a fresh one. The
// status is 0 when every step gave a result it accepts, 1 when one did not, 105 when
// the script is refused before anything runs.
int run_script(const RunOptions& options, const std::function<std::unique_ptr<winsim::Machine>()>& machine_for,
               std::FILE* out, std::FILE* err);

}  // namespace orvsetup
