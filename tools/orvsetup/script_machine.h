// A setup script performed on one simulated machine: the setup source laid out, the
// installation, and with the uninstall part the removal and what it left behind.
#pragma once

#include "script_runner.h"
#include "setup_script.h"

#include <winsim/machine.h>

#include <cstdio>
#include <optional>
#include <string>
#include <vector>

namespace orvsetup {

struct MachineRun {
    std::string platform;  // the platform's name, or the description's file for --from
    ScriptRun install;
    std::optional<ScriptRun> uninstall;
    // What the machine holds after the removal (and the restart it asked for) that it
    // did not before the installation, one line each; set with the uninstall part.
    std::vector<std::string> left_behind;

    bool all_accepted() const { return install.all_accepted() && (!uninstall || uninstall->all_accepted()); }
};

// Copies the script's files from `sources_folder` of this computer into its setup
// source on the machine, and makes the folders the setup program makes itself. Throws std::runtime_error for a file that cannot be read.
void lay_out_sources(winsim::Machine& machine, const SetupScript& script, const std::string& sources_folder);

// The components the build made for the machine's architecture.
std::string sample_sources_for(const winsim::Machine& machine);

// Performs `steps`, queuing `answers` for the message boxes, and prints each step as it
// ends when `out` is given.
ScriptRun perform_on(winsim::Machine& machine, const std::vector<ScriptStep>& steps, const std::vector<int>& answers,
                     std::FILE* out, bool json);

// Installs, restarts, removes, restarts, and compares with the
// machine as it was after the sources were laid out; each step printed as it ends
// when `out` is given.
MachineRun install_and_remove(winsim::Machine& machine, const SetupScript& script, const std::vector<int>& answers,
                              bool uninstall, std::FILE* out, bool json);

}  // namespace orvsetup
