#include "script_machine.h"

#include "machine_commands.h"
#include "names.h"

#include <winsim/snapshot.h>

#include <fstream>
#include <sstream>
#include <stdexcept>

namespace orvsetup {

void lay_out_sources(winsim::Machine& machine, const SetupScript& script, const std::string& sources_folder) {
    for (const std::string& name : script.source_files) {
        std::string host = sources_folder + "/" + name;
        std::ifstream in(host, std::ios::binary);
        if (!in) throw std::runtime_error("cannot read " + host + " for the setup source");
        std::ostringstream bytes;
        bytes << in.rdbuf();
        machine.files().write_file(script.source_folder + "\\" + name, bytes.str());
    }
    for (const std::string& folder : script.made_folders) machine.files().make_directories(folder);
}

std::string sample_sources_for(const winsim::Machine& machine) {
    return std::string(ORV_SAMPLE_COMPONENTS_DIR) + "/" + winsim::arch_name(machine.options().arch);
}

ScriptRun perform_on(winsim::Machine& machine, const std::vector<ScriptStep>& steps, const std::vector<int>& answers,
                     std::FILE* out, bool json) {
    machine.make_current();
    for (int answer : answers) machine.desktop().answer_next(answer);
    RunHost host;
    host.observe = watch_machine(machine);
    if (out) host.step_ended = [out, json](const StepOutcome& step) {
        print_step(out, step, json);
        std::fflush(out);
    };
    // The picture of the page the printer printed last; none on a machine without a folder.
    host.test_page_picture = [&machine](const std::string& printer) -> std::optional<std::string> {
        const std::vector<winsim::PrintedJob>& jobs = machine.graphics().jobs();
        for (auto job = jobs.rbegin(); job != jobs.rend(); ++job)
            if (job->ended && !job->pages.empty() && !job->pages.front().png.empty() &&
                same_name(job->printer, printer))
                return job->pages.front().png.string();
        return std::nullopt;
    };
    return perform_steps(steps, std::string(machine.platform_info().name), host);
}

MachineRun install_and_remove(winsim::Machine& machine, const SetupScript& script, const std::vector<int>& answers,
                              bool uninstall, std::FILE* out, bool json) {
    MachineRun result;
    result.platform = std::string(machine.platform_info().name);
    const winsim::Snapshot before = winsim::take_snapshot(machine);
    result.install = perform_on(machine, script.install, answers, out, json);
    if (out) print_run_end(out, result.install, json);
    if (!uninstall) return result;
    // The product is used before it is removed: the machine has been restarted since.
    machine.reboot();
    if (out && !json) std::fputs("-- uninstall\n", out);
    result.uninstall = perform_on(machine, script.uninstall, {}, out, json);
    if (out) print_run_end(out, *result.uninstall, json);
    // What the removal put off to the restart is done before anything is compared.
    machine.reboot();
    result.left_behind = winsim::differences(before, winsim::take_snapshot(machine));
    return result;
}

}  // namespace orvsetup
