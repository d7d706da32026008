#include "sweeps/export_sweep.h"

#include "script_machine.h"
#include "support/releases.h"

#include <algorithm>
#include <cstdlib>
#include <sstream>
#include <stdexcept>

namespace testing_support {

namespace {


bool matches(const orvsetup::ScriptStep& step, const std::set<std::string>& names) {
    return names.count(step.title) || names.count(step.call.export_name);
}

std::string upper(std::string text) {
    for (char& c : text) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return text;
}

// A shell link records its target's times, which follow the machine's clock, and so a
// run that waited longer somewhere: they are left out of the comparison.
void without_link_times(std::string& held) {
    constexpr std::size_t times_offset = 0x1C, times_size = 3 * 8;
    const std::size_t data = held.find('\n') + 1;
    if (held.size() >= data + times_offset + times_size) held.replace(data + times_offset, times_size, times_size, '\0');
}

// What is compared of a machine. An ini file is many settings in one file: a run that
// wrote one of them and failed has lost nothing of the others, so each entry is
// compared on its own.
winsim::Snapshot comparable(winsim::Snapshot snapshot) {
    std::vector<std::string> ini_files;
    for (auto& [key, held] : snapshot.entries) {
        if (!key.starts_with("file ")) continue;
        if (upper(key).ends_with(".INI")) ini_files.push_back(key);
        if (upper(key).ends_with(".LNK")) without_link_times(held);
    }
    // What 95/98 keep of the replacements a restart carried out is Windows' record of the
    // restart, not the library's work: a run that put a copy off to it (a file it could not
    // close was still in use) differs from one that did not only there.
    std::erase_if(snapshot.entries, [](const auto& entry) { return upper(entry.first).ends_with("\\WININIT.BAK"); });
    for (const std::string& key : ini_files) {
        const std::string held = snapshot.entries[key];
        std::istringstream lines(held.substr(held.find('\n') + 1));
        const std::string file = key.substr(5);
        std::string line, section;
        while (std::getline(lines, line)) {
            if (!line.empty() && line.back() == '\r') line.pop_back();
            if (line.starts_with("[")) {
                section = upper(line);
            } else if (const std::size_t equals = line.find('='); equals != std::string::npos) {
                snapshot.entries["ini " + file + " " + section + " " + upper(line.substr(0, equals))] = line.substr(equals + 1);
            }
        }
        snapshot.entries.erase(key);
    }
    return snapshot;
}

winsim::Snapshot settled_snapshot(winsim::Machine& machine) {
    // What a run put off to the restart belongs to what it did.
    machine.reboot();
    return comparable(winsim::take_snapshot(machine));
}

std::size_t held_by_process(const winsim::Machine& machine) {
    return machine.live_heap_blocks() + machine.live_local_blocks() + machine.open_handles();
}

// 95/98 read the 16-bit driver's model name through the product's resource thunk; when
// that read fails, for whatever reason, the library's own name for the driver stands,
// and a driver update registers the same files under it with the printers on it.
constexpr std::string_view own_model_names[] = {"Orvana Print Driver", "Orvana Win98 Driver"};

bool is_own_model_name_instead(const std::string& entry, const std::string& now) {
    return entry.ends_with("\\Printer Driver") &&
           std::any_of(std::begin(own_model_names), std::end(own_model_names),
                       [&now](std::string_view name) { return now.find(name) != std::string::npos; });
}

// What a user has on the machine: printers with their settings and the default printer
// (the spooler's, its keys, WIN.INI), and files. How a driver is registered is the
// installation's own business.
bool is_users(const std::string& entry) {
    return entry.starts_with("file ") || entry.starts_with("printer ") || entry.starts_with("ini ") ||
           entry.find("\\Printers\\") != std::string::npos || entry.ends_with("\\Windows\\Device") ||
           entry.find("\\Devices\\") != std::string::npos || entry.find("\\PrinterPorts\\") != std::string::npos;
}

// Every entry the machine held before is as it was or as the unfailed run left it; the
// entries that are neither, one line each.
std::vector<std::string> lost_entries(const winsim::Snapshot& before, const winsim::Snapshot& unfailed,
                                      const winsim::Snapshot& now) {
    std::vector<std::string> lost;
    for (const auto& [key, held] : before.entries) {
        if (!is_users(key)) continue;
        const auto found = now.entries.find(key);
        const auto intended = unfailed.entries.find(key);
        const bool as_intended = intended == unfailed.entries.end() ? found == now.entries.end()
                                                                    : found != now.entries.end() && found->second == intended->second;
        if (!as_intended && found != now.entries.end() && is_own_model_name_instead(key, found->second)) continue;
        if (!as_intended && (found == now.entries.end() || found->second != held))
            lost.push_back((found == now.entries.end() ? "- " : "~ ") + key);
    }
    return lost;
}

// The calls an entry of the error text is made with.
bool records_entries(const std::string& api) { return api == "LocalAlloc" || api == "LoadStringA" || api == "FormatMessageA"; }

// Failures the library lets be by design, and what they leave: the writes of the 95/98
// settings files are not checked (an entry of them may be missing), and a removal that
// cannot learn a directory goes on without deleting the file that lies there.
struct LetBe {
    std::set<std::string> apis;        // none: any
    std::vector<std::string> leaves;  // what each difference names
};
const LetBe let_be_failures[] = {
    {{"WritePrivateProfileStringA", "GetPrivateProfileStringA", "WriteProfileStringA", "LoadStringA"},
     {"- ini ", "+ ini ", "~ ini "}},
    {{"GetPrintProcessorDirectoryA", "GetPrinterDriverDirectoryA", "GetSystemDirectoryA"}, {"+ file "}},
    {{}, {"\\Environments\\Windows 4.0\\Drivers\\", "\\Printer Driver ("}},
    // Windows 2000's tree of a removed printer's settings, which the removal takes where it can.
    {{"RegDeleteKeyA", "RegOpenKeyExA"},
     {"+ key HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Print\\Printers\\",
      "+ value HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Print\\Printers\\"}},
};

bool let_be(const std::string& api, const std::vector<std::string>& differences) {
    return std::any_of(std::begin(let_be_failures), std::end(let_be_failures), [&](const LetBe& rule) {
        return (rule.apis.empty() || rule.apis.count(api)) &&
               std::all_of(differences.begin(), differences.end(), [&rule](const std::string& line) {
                   return std::any_of(rule.leaves.begin(), rule.leaves.end(),
                                      [&line](const std::string& leaves) { return line.find(leaves) != std::string::npos; });
               });
    });
}

// Each step's answer, for a message.
std::string answers(const orvsetup::ScriptRun& run) {
    std::string text;
    for (const orvsetup::StepOutcome& step : run.steps)
        if (step.state == orvsetup::StepState::done) text += "\n  " + step.title + ": " + std::to_string(step.result);
    return text;
}

std::string listed(const std::vector<std::string>& lines) {
    std::string text;
    for (const std::string& line : lines) text += "\n  " + line;
    return text;
}

}  // namespace

struct ExportSweep::Outcome {
    orvsetup::ScriptRun run;
    std::string first_failed;  // the api of the first failed call; empty: none was
    unsigned failed_releases = 0;
    // The library tried to say something and the fault kept it from it.
    bool recording_failed = false;
    std::size_t held = 0;
};

orvsetup::SetupScript read_sample_script(const std::string& name) {
    std::vector<std::string> platforms;
    for (const winsim::PlatformInfo& info : winsim::all_platforms()) platforms.emplace_back(info.name);
    return orvsetup::read_setup_script(std::string(ORV_SOURCE_DIR) + "/samples/setups/" + name, platforms);
}

unsigned sweep_budget() {
    const char* figure = std::getenv("ORV_SWEEP_RUNS");
    if (!figure || !*figure) return 24;
    if (std::string(figure) == "all") return ~0u;
    return static_cast<unsigned>(std::max(1L, std::strtol(figure, nullptr, 10)));
}

ExportSweep::ExportSweep(SweepScenario scenario, winsim::Platform platform)
    : scenario_(std::move(scenario)), platform_(platform) {
    script_ = read_sample_script(scenario_.script);
    const std::string name(winsim::platform_info(platform_).name);
    auto for_platform = [&name](std::vector<orvsetup::ScriptStep> steps) {
        std::erase_if(steps, [&name](const orvsetup::ScriptStep& step) { return !orvsetup::step_is_for(step, name); });
        return steps;
    };
    std::vector<orvsetup::ScriptStep> part = for_platform(scenario_.uninstall ? script_.uninstall : script_.install);
    if (scenario_.uninstall) installation_ = for_platform(script_.install);
    if (part.empty() || (scenario_.uninstall && installation_.empty())) return;
    auto first = part.begin(), last = part.end();
    if (!scenario_.swept.empty()) {
        first = std::find_if(part.begin(), part.end(), [this](const auto& step) { return matches(step, scenario_.swept); });
        if (first == part.end()) return;
        last = std::find_if(part.rbegin(), part.rend(), [this](const auto& step) { return matches(step, scenario_.swept); }).base();
    }
    preparation_.assign(part.begin(), first);
    swept_.assign(first, last);
}

ExportSweep::~ExportSweep() = default;

std::unique_ptr<winsim::Machine> ExportSweep::prepared() const {
    std::unique_ptr<winsim::Machine> machine = winsim::Machine::create(platform_);
    orvsetup::lay_out_sources(*machine, script_, orvsetup::sample_sources_for(*machine));
    auto perform = [&machine](const std::vector<orvsetup::ScriptStep>& steps) {
        if (steps.empty()) return;
        const orvsetup::ScriptRun run = orvsetup::perform_on(*machine, steps, {}, nullptr, false);
        if (!run.all_accepted()) throw std::runtime_error("the steps before the sweep did not go through");
    };
    perform(installation_);
    if (!installation_.empty()) machine->reboot();
    perform(preparation_);
    machine->faults().clear();
    return machine;
}

ExportSweep::Outcome ExportSweep::perform_swept(winsim::Machine& machine) const {
    Outcome outcome;
    machine.faults().on_inject = [&outcome](const winsim::Injection& injection) {
        if (outcome.first_failed.empty()) outcome.first_failed = injection.api;
        if (is_release(injection.api)) ++outcome.failed_releases;
        if (records_entries(injection.api)) outcome.recording_failed = true;
    };
    outcome.run = orvsetup::perform_on(machine, swept_, {}, nullptr, false);
    machine.faults().clear();
    machine.faults().on_inject = nullptr;
    outcome.held = held_by_process(machine);
    return outcome;
}

void ExportSweep::check_run(const Outcome& faulted, winsim::Machine& machine, bool lasting, SweepFigures& figures) const {
    // The setup program's own calls (loading the library, finding its exports) are not
    // the library's to answer for.
    const bool library_ran = faulted.run.problem.empty();
    EXPECT_LE(faulted.held, held_after_ + faulted.failed_releases) << "blocks or handles left behind";
    // Under a lasting fault, or one that struck the recording itself, there is no memory
    // or text for an entry: the library drops it and still answers the failure.
    const bool could_record = !lasting && !records_entries(faulted.first_failed);
    for (const orvsetup::StepOutcome& step : faulted.run.steps) {
        if (!could_record || step.state != orvsetup::StepState::done || step.accepted || step.result == 0) continue;
        // The test page shows its failures in a box instead of keeping them.
        const bool shown = std::any_of(step.seen.begin(), step.seen.end(),
                                       [](const std::string& seen) { return seen.starts_with("message box "); });
        EXPECT_TRUE(shown || !step.error_text.empty()) << step.title << " answered " << step.result << " without saying why";
    }
    const winsim::Snapshot now = settled_snapshot(machine);
    // Success means it happened, unless the failure is one that is recorded and let be
    // (a Startup link that could not be made beside a daemon that runs).
    const bool said = faulted.recording_failed ||
                      std::any_of(faulted.run.steps.begin(), faulted.run.steps.end(),
                                  [](const orvsetup::StepOutcome& step) { return !step.error_text.empty(); });
    if (library_ran && faulted.run.all_accepted() && !said) {
        std::vector<std::string> unsaid = winsim::differences(after_, now);
        if (let_be(faulted.first_failed, unsaid)) unsaid.clear();
        EXPECT_EQ(unsaid, std::vector<std::string>{}) << "a failure answered as success, unsaid:" << answers(faulted.run);
    }
    if (!scenario_.keeps_everything) return;
    const std::vector<std::string> lost = lost_entries(before_, after_, now);
    if (lost.empty()) return;
    if (!lasting) {
        ADD_FAILURE() << "a passing fault lost what the machine held:" << listed(lost);
    } else {
        EXPECT_FALSE(faulted.run.all_accepted()) << "lost unannounced:" << listed(lost);
        ++figures.lasting_losses;
    }
}

SweepFigures ExportSweep::sweep(winsim::FaultMode mode) {
    SweepFigures figures;
    {
        std::unique_ptr<winsim::Machine> machine = prepared();
        before_ = comparable(winsim::take_snapshot(*machine));
        const unsigned calls_before = machine->faults().total_calls();
        const Outcome unfailed = perform_swept(*machine);
        figures.calls = machine->faults().total_calls() - calls_before;
        EXPECT_TRUE(unfailed.run.all_accepted()) << "the scenario goes through when nothing fails";
        held_after_ = unfailed.held;
        after_ = settled_snapshot(*machine);
    }
    const bool lasting = mode == winsim::FaultMode::from_then_on;
    const unsigned budget = std::min(sweep_budget(), figures.calls);
    for (unsigned run = 0; run < budget; ++run) {
        // Spread evenly, the first and the last call always among them.
        const unsigned nth = budget == 1 ? 1 : 1 + static_cast<unsigned>(std::uint64_t(run) * (figures.calls - 1) / (budget - 1));
        SCOPED_TRACE("call " + std::to_string(nth) + " of " + std::to_string(figures.calls) +
                     (lasting ? " and every call after it" : ""));
        std::unique_ptr<winsim::Machine> machine = prepared();
        machine->faults().fail(winsim::Faults::any_api, ERROR_NOT_ENOUGH_MEMORY, nth, mode);
        const Outcome faulted = perform_swept(*machine);
        ++figures.runs;
        if (faulted.first_failed.empty()) {
            ADD_FAILURE() << "the run made fewer calls than the unfailed one";
            continue;
        }
        SCOPED_TRACE("failed " + faulted.first_failed);
        check_run(faulted, *machine, lasting, figures);
    }
    return figures;
}

std::string sweep_case_name(const testing::TestParamInfo<SweepCase>& info) {
    return std::get<std::string>(info.param) + "_" + std::string(winsim::platform_info(std::get<winsim::Platform>(info.param)).name) +
           (std::get<winsim::FaultMode>(info.param) == winsim::FaultMode::once ? "_once" : "_from_then_on");
}

}  // namespace testing_support
