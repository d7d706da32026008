// Where each platform keeps its Startup entries, what a new machine has of them, and the
// control API over the session: groups, links, programs and what they did.
#include "core/state.h"
#include "shell/session_persistence.h"
#include "shell/shell_link_format.h"

#include <stdexcept>

namespace winsim::detail {

namespace {

std::string user_name(const MachineState& machine) { return machine.options.administrator ? "Administrator" : "User"; }

// The Start Menu's "Programs" folder of everyone (common) or of the user, or empty where
// Program Manager keeps the groups itself (NT 3.x and Win32s run Program Manager).
std::string programs_folder(const MachineState& machine, bool common) {
    const PlatformInfo& info = platform_info(machine.platform);
    const std::string windows(info.windows_directory);
    if (info.family == Family::win32s || (info.family == Family::nt && info.major < 4)) return {};
    // 95/98 keep one Start Menu under the Windows directory while user profiles are off,
    // as they are on a new machine: a common group goes there too.
    if (info.family == Family::win9x) return windows + "\\Start Menu\\Programs";
    const std::string profile = common ? std::string("All Users") : user_name(machine);
    // A 2000 upgraded from NT 4.0 keeps its profiles where NT 4.0 had them.
    const std::string nt4_profiles = windows + "\\Profiles";
    if (info.major == 4 || (info.major == 5 && machine.files.exists(nt4_profiles)))
        return nt4_profiles + "\\" + profile + "\\Start Menu\\Programs";
    if (info.major == 5) return "C:\\Documents and Settings\\" + profile + "\\Start Menu\\Programs";
    if (common) return "C:\\ProgramData\\Microsoft\\Windows\\Start Menu\\Programs";
    return "C:\\Users\\" + profile + "\\AppData\\Roaming\\Microsoft\\Windows\\Start Menu\\Programs";
}

// 95 and 98 spell the folder "StartUp"; the NT shells "Startup".
const char* startup_name(const MachineState& machine) {
    return platform_info(machine.platform).family == Family::win9x ? "StartUp" : "Startup";
}

}  // namespace

std::string group_folder(const MachineState& machine, std::string_view group, bool common) {
    const std::string programs = programs_folder(machine, common);
    return programs.empty() ? std::string{} : programs + "\\" + std::string(group);
}

std::vector<std::string> startup_folders(const MachineState& machine) {
    std::vector<std::string> folders;
    for (bool common : {true, false}) {
        std::string folder = group_folder(machine, startup_name(machine), common);
        if (!folder.empty() && (folders.empty() || !same_name(folders.front(), folder))) folders.push_back(folder);
    }
    return folders;
}

void lay_out_session(MachineState& machine) {
    for (const std::string& folder : startup_folders(machine)) machine.files.make_directories(folder);
    // Program Manager comes with the user's own Startup group, and the common Main group.
    if (programs_folder(machine, true).empty())
        machine.session.program_groups = {ProgramGroup{"Main", true, {}}, ProgramGroup{"Startup", false, {}}};
}

void note_program_event(MachineState& machine, std::string what) {
    machine.session.events.push_back({machine.clock.uptime_ms(), std::move(what)});
}

std::string shell_link_bytes(MachineState& machine, const ShellLinkContents& link) {
    LinkTargetFacts facts;
    if (std::shared_ptr<FileNode> target = machine.files.node(link.target)) {
        facts.attributes = target->attributes;
        facts.created = target->creation_time;
        facts.accessed = target->last_access_time;
        facts.written = target->last_write_time;
        facts.size = target->directory ? 0 : static_cast<DWORD>(target->data.size());
    }
    return encode_shell_link(link, facts, platform_info(machine.platform).family == Family::nt);
}

void end_session(MachineState& machine) {
    for (StartedProcess& process : machine.session.processes) process.running = false;
    machine.session.dde_instances.clear();
    machine.session.conversations.clear();
    machine.session.com_initialised = 0;
    machine.session.current_group.reset();
}

void write_session(const MachineState& machine, toml::table& table) {
    toml::array groups;
    for (const ProgramGroup& group : machine.session.program_groups) {
        toml::array items;
        for (const ProgramItem& item : group.items)
            items.push_back(toml::table{{"name", item.name}, {"command_line", item.command_line}});
        groups.push_back(toml::table{{"name", group.name}, {"common", group.common}, {"items", std::move(items)}});
    }
    table.insert("program_group", std::move(groups));
    toml::array processes;
    for (const StartedProcess& process : machine.session.processes)
        processes.push_back(toml::table{{"id", static_cast<std::int64_t>(process.id)},
                                        {"program", process.program},
                                        {"command_line", process.command_line},
                                        {"creation_flags", static_cast<std::int64_t>(process.creation_flags)},
                                        {"desktop", process.desktop},
                                        {"startup_flags", static_cast<std::int64_t>(process.startup_flags)},
                                        {"show_window", static_cast<std::int64_t>(process.show_window)},
                                        {"window_class", process.window_class},
                                        {"running", process.running}});
    table.insert("process", std::move(processes));
    toml::array refusals;
    for (const auto& [program, refusal] : machine.session.refusals)
        refusals.push_back(toml::table{{"program", program},
                                       {"start_code", static_cast<std::int64_t>(refusal.start_code)},
                                       {"close", refusal.close}});
    table.insert("program_refusal", std::move(refusals));
}

void read_session(MachineState& machine, const toml::table& table) {
    SessionRun& session = machine.session;
    if (const toml::array* groups = table["program_group"].as_array()) {
        session.program_groups.clear();
        for (const toml::node& node : *groups) {
            const toml::table* entry = node.as_table();
            if (!entry) continue;
            ProgramGroup group{(*entry)["name"].value_or(std::string{}), (*entry)["common"].value_or(false), {}};
            if (const toml::array* items = (*entry)["items"].as_array())
                for (const toml::node& item : *items)
                    if (const toml::table* fields = item.as_table())
                        group.items.push_back({(*fields)["name"].value_or(std::string{}),
                                               (*fields)["command_line"].value_or(std::string{})});
            session.program_groups.push_back(std::move(group));
        }
    }
    if (const toml::array* processes = table["process"].as_array()) {
        for (const toml::node& node : *processes) {
            const toml::table* entry = node.as_table();
            if (!entry) continue;
            StartedProcess process;
            process.id = static_cast<DWORD>((*entry)["id"].value_or(std::int64_t{0}));
            process.program = (*entry)["program"].value_or(std::string{});
            process.command_line = (*entry)["command_line"].value_or(std::string{});
            process.creation_flags = static_cast<DWORD>((*entry)["creation_flags"].value_or(std::int64_t{0}));
            process.desktop = (*entry)["desktop"].value_or(std::string{});
            process.startup_flags = static_cast<DWORD>((*entry)["startup_flags"].value_or(std::int64_t{0}));
            process.show_window = static_cast<WORD>((*entry)["show_window"].value_or(std::int64_t{0}));
            process.window_class = (*entry)["window_class"].value_or(std::string{});
            process.running = (*entry)["running"].value_or(false);
            if (process.id >= session.next_process_id) session.next_process_id = process.id + 4;
            session.processes.push_back(std::move(process));
        }
    }
    if (const toml::array* refusals = table["program_refusal"].as_array())
        for (const toml::node& node : *refusals)
            if (const toml::table* entry = node.as_table())
                session.refusals[(*entry)["program"].value_or(std::string{})] =
                    ProgramRefusal{static_cast<DWORD>((*entry)["start_code"].value_or(std::int64_t{0})),
                                   (*entry)["close"].value_or(false)};
}

}  // namespace winsim::detail

namespace winsim {

const std::vector<ProgramGroup>& Shell::program_groups() const { return machine_.session.program_groups; }

std::vector<std::string> Shell::startup_folders() const { return detail::startup_folders(machine_); }

std::vector<StartupLink> Shell::startup_links() const {
    std::vector<StartupLink> links;
    for (const std::string& folder : detail::startup_folders(machine_)) {
        if (!machine_.files.exists(folder)) continue;
        for (const std::string& name : machine_.files.list(folder)) {
            const std::string path = folder + "\\" + name;
            std::optional<std::string> bytes = machine_.files.read_file(path);
            if (!bytes) continue;  // a folder
            links.push_back({path, read_shell_link(*bytes)});
        }
    }
    return links;
}

void Shell::run_program_manager(bool running) { machine_.options.program_manager = running; }

const std::vector<StartedProcess>& Shell::processes() const { return machine_.session.processes; }

void Shell::refuse_start(std::string_view program, DWORD code) {
    machine_.session.refusals[std::string(program)].start_code = code;
}

void Shell::refuse_close(std::string_view program, bool refuse) {
    machine_.session.refusals[std::string(program)].close = refuse;
}

const std::vector<ProgramEvent>& Shell::events() const { return machine_.session.events; }

int Shell::live_com_objects() const { return machine_.session.com_objects; }

std::size_t Shell::live_dde_instances() const { return machine_.session.dde_instances.size(); }

}  // namespace winsim
