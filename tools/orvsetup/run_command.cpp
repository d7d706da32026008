#include "run_command.h"

#include "json_text.h"
#include "platform_table.h"
#include "run_report.h"
#include "script_machine.h"
#include "setup_script.h"
#include "wine_engine.h"

#include <winsim/snapshot.h>

#include <filesystem>

namespace orvsetup {

const char* run_command_help =
    "  run SCRIPT [--uninstall] [--all-platforms [--from DESCRIPTION]...] [--report DIR] [--answer yes|no|ok|cancel]...\n"
    "             [--sources DIR] [--engine winsim|wine] [--platform NAME]\n"
    "                         performs a setup script (TOML) as a setup program does: InstallAllowed, then\n"
    "                         each step with its result in words and what the machine saw; then whether a\n"
    "                         restart is required. --uninstall performs the script's [uninstall] part and\n"
    "                         shows what it left behind (on a fresh machine: after the installation).\n"
    "                         --all-platforms runs it on fresh machines of win95, win98, nt351, nt4 and\n"
    "                         win2000 (and of each --from description) and prints a table, step by\n"
    "                         platform. --report DIR writes the table as report.json and report.html.\n"
    "                         --answer queues the answer of the next message box. --sources DIR is the\n"
    "                         folder of this computer the [sources] files come from (default: the\n"
    "                         sample components). --engine wine --platform NAME plays the script with\n"
    "                         orvplayer.exe on the real OrvInstl.dll under Wine posing as NAME, in a\n"
    "                         prefix made for the run (needs scripts/build mingw-x64 and wine64); a step\n"
    "                         Wine cannot play as Windows does says why. Exit status: 0 when every step\n"
    "                         gave a result it accepts, 1 when one did not, 105 when the script is\n"
    "                         refused before anything runs (the message names its file, line and key).\n";

namespace {

constexpr int refused_status = 105;
constexpr const char* before_setup_folder = "before-setup";
constexpr const char* every_platform[] = {"win95", "win98", "nt351", "nt4", "win2000"};

std::vector<std::string> platform_names() {
    std::vector<std::string> names;
    for (const winsim::PlatformInfo& info : winsim::all_platforms()) names.emplace_back(info.name);
    return names;
}

bool answer_named(const std::string& word, int& answer) {
    if (word == "yes") answer = IDYES;
    else if (word == "no") answer = IDNO;
    else if (word == "ok") answer = IDOK;
    else if (word == "cancel") answer = IDCANCEL;
    else return false;
    return true;
}

void print_left_behind(std::FILE* out, const std::vector<std::string>& lines, bool json) {
    if (json) {
        std::fputs("{\"left_behind\": ", out);
        print_json_strings(out, lines);
        std::fputs("}\n", out);
        return;
    }
    if (lines.empty()) {
        std::fputs("nothing left behind: the machine is as it was before the installation\n", out);
        return;
    }
    std::fputs("left behind (what the machine holds that it did not before the installation):\n", out);
    for (const std::string& line : lines) std::fprintf(out, "  %s\n", line.c_str());
}

// A machine kept in a folder remembers itself as it was before the installation, for
// the difference an uninstallation shows later.
std::filesystem::path before_setup_of(const winsim::Machine& machine) { return machine.folder() / before_setup_folder; }

void remember_before_setup(winsim::Machine& machine) {
    std::filesystem::path copy = before_setup_of(machine);
    if (std::filesystem::exists(copy)) return;  // the first installation is the one to compare with
    machine.save();
    std::filesystem::create_directories(copy);
    for (const auto& entry : std::filesystem::directory_iterator(machine.folder()))
        if (entry.path().filename() != before_setup_folder)
            std::filesystem::copy(entry.path(), copy / entry.path().filename(), std::filesystem::copy_options::recursive);
}

int run_on_one_machine(const RunOptions& options, const SetupScript& script, winsim::Machine& machine, std::FILE* out) {
    const bool kept = !machine.folder().empty();
    if (options.uninstall && kept) {
        if (!std::filesystem::exists(before_setup_of(machine)))
            throw std::runtime_error(machine.folder().string() + " holds no installation made by orvsetup run");
        ScriptRun run = perform_on(machine, script.uninstall, options.answers, out, options.json);
        print_run_end(out, run, options.json);
        machine.reboot();
        winsim::Snapshot before;
        {
            std::unique_ptr<winsim::Machine> earlier = winsim::Machine::open(before_setup_of(machine));
            before = winsim::take_snapshot(*earlier);
        }
        machine.make_current();
        print_left_behind(out, winsim::differences(before, winsim::take_snapshot(machine)), options.json);
        return run.all_accepted() ? 0 : 1;
    }
    lay_out_sources(machine, script, options.sources_folder.empty() ? sample_sources_for(machine) : options.sources_folder);
    if (kept) remember_before_setup(machine);
    MachineRun run = install_and_remove(machine, script, options.answers, options.uninstall, out, options.json);
    if (options.uninstall) print_left_behind(out, run.left_behind, options.json);
    return run.all_accepted() ? 0 : 1;
}

int run_on_every_platform(const RunOptions& options, const SetupScript& script, std::FILE* out) {
    std::vector<MachineRun> runs;
    auto perform = [&](std::unique_ptr<winsim::Machine> machine, const std::string& name) {
        lay_out_sources(*machine, script, options.sources_folder.empty() ? sample_sources_for(*machine) : options.sources_folder);
        runs.push_back(install_and_remove(*machine, script, options.answers, options.uninstall, nullptr, false));
        runs.back().platform = name;
    };
    // With a report, each machine keeps a folder beside it, so that its test page is
    // rendered and the report can show it.
    auto folder_for = [&](const std::string& name) {
        if (options.report_folder.empty()) return std::filesystem::path();
        const std::filesystem::path folder = std::filesystem::path(options.report_folder) / "machines" / name;
        std::filesystem::remove_all(folder);
        return folder;
    };
    for (const char* name : every_platform)
        perform(winsim::Machine::create(*winsim::find_platform(name), {}, folder_for(name)), name);
    for (const std::string& description : options.descriptions) {
        const std::string name = std::filesystem::path(description).stem().string();
        perform(winsim::Machine::create_from_description(description, folder_for(name)), name);
    }
    PlatformTable table = table_of(script, runs);
    if (options.json) print_table_json(out, table);
    else print_table(out, table);
    if (!options.report_folder.empty()) {
        write_report(options.report_folder, table);
        if (!options.json) std::fprintf(out, "report: %s/report.html\n", options.report_folder.c_str());
    }
    for (const MachineRun& run : runs)
        if (!run.all_accepted()) return 1;
    return 0;
}

}  // namespace

int parse_run_options(const std::vector<std::string>& words, bool json, RunOptions& options, std::FILE* err) {
    options.json = json;
    auto refuse = [err](const std::string& text) {
        std::fprintf(err, "orvsetup: run: %s\n", text.c_str());
        return 2;
    };
    for (std::size_t i = 1; i < words.size(); ++i) {
        const std::string& word = words[i];
        bool has_value = i + 1 < words.size();
        if (word == "--uninstall") options.uninstall = true;
        else if (word == "--all-platforms") options.all_platforms = true;
        else if (word == "--json") options.json = true;
        else if (word == "--from" || word == "--report" || word == "--answer" || word == "--sources" ||
                 word == "--engine" || word == "--platform") {
            if (!has_value) return refuse(word + " needs a value");
            const std::string& value = words[++i];
            if (word == "--from") options.descriptions.push_back(value);
            else if (word == "--platform") options.platform = value;
            else if (word == "--engine") {
                if (value != "winsim" && value != "wine") return refuse("--engine is winsim or wine, not " + value);
                options.engine = value;
            }
            else if (word == "--report") options.report_folder = value;
            else if (word == "--sources") options.sources_folder = value;
            else {
                int answer = 0;
                if (!answer_named(value, answer)) return refuse("--answer is yes, no, ok or cancel");
                options.answers.push_back(answer);
            }
        } else if (options.script.empty() && word.rfind("--", 0) != 0) options.script = word;
        else return refuse("unknown word " + word);
    }
    if (options.script.empty()) return refuse("run takes a setup script");
    if (!options.descriptions.empty() && !options.all_platforms) return refuse("--from after run goes with --all-platforms");
    if (!options.report_folder.empty() && !options.all_platforms) return refuse("--report goes with --all-platforms");
    if (!options.platform.empty() && !winsim::find_platform(options.platform))
        return refuse("unknown platform " + options.platform);
    if (options.engine == "wine") {
        // Wine poses as one Windows version at a time, and keeps no winsim machine.
        if (options.all_platforms) return refuse("--engine wine plays one platform: give --platform instead of --all-platforms");
        if (options.platform.empty()) {
            std::string known;
            for (const winsim::PlatformInfo& info : winsim::all_platforms())
                if (!info.wine_version.empty()) known += (known.empty() ? "" : ", ") + std::string(info.name);
            return refuse("--engine wine needs --platform NAME (" + known + ")");
        }
        if (winsim::platform_info(*winsim::find_platform(options.platform)).wine_version.empty())
            return refuse("Wine cannot pose as " + options.platform);
        if (!options.answers.empty()) return refuse("--answer goes with the simulated machine: nobody answers Wine's message boxes");
    }
    return 0;
}

int run_script(const RunOptions& options, const std::function<std::unique_ptr<winsim::Machine>()>& machine_for,
               std::FILE* out, std::FILE* err) {
    SetupScript script;
    try {
        script = read_setup_script(options.script, platform_names());
    } catch (const ScriptError& error) {
        std::fprintf(err, "orvsetup: %s\n", error.what());
        return refused_status;
    }
    if (options.all_platforms) return run_on_every_platform(options, script, out);
    if (options.engine == "wine") {
        const std::vector<std::string> names = platform_names();
        const std::string wine_version(winsim::platform_info(*winsim::find_platform(options.platform)).wine_version);
        return run_on_wine(options, script, names, wine_version, wine_places(), out, err);
    }
    std::unique_ptr<winsim::Machine> machine = machine_for();
    int status = run_on_one_machine(options, script, *machine, out);
    if (!machine->folder().empty()) machine->save();
    return status;
}

}  // namespace orvsetup
