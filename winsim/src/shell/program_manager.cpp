// Program Manager's command language, as its DDE server takes it in execute strings:
// "[CreateGroup(name[,common])]", "[ShowGroup(name,show[,common])]",
// "[AddItem(command line[,name,...])]", "[DeleteItem(name)]". On NT 3.x Program
// Manager keeps the groups itself; the later shells answer the same commands on the
// Start Menu's folders, where a group is a folder and an item a link in it.
#include "core/state.h"

#include <optional>
#include <string>
#include <vector>

namespace winsim::detail {

namespace {

struct Command {
    std::string name;
    std::vector<std::string> arguments;
};

void skip_blanks(std::string_view text, std::size_t& at) {
    while (at < text.size() && (text[at] == ' ' || text[at] == '\t' || text[at] == '\r' || text[at] == '\n')) ++at;
}

// The commands of an execute string, or nothing when it breaks the syntax. An argument
// in double quotes may hold commas and brackets.
std::optional<std::vector<Command>> parse_commands(std::string_view text) {
    std::vector<Command> commands;
    std::size_t at = 0;
    for (skip_blanks(text, at); at < text.size(); skip_blanks(text, at)) {
        if (text[at++] != '[') return std::nullopt;
        Command command;
        while (at < text.size() && text[at] != '(' && text[at] != ']') command.name.push_back(text[at++]);
        if (at < text.size() && text[at] == '(') {
            ++at;
            std::string argument;
            bool quoted = false;
            for (;; ++at) {
                if (at >= text.size()) return std::nullopt;
                const char c = text[at];
                if (c == '"') quoted = !quoted;
                else if (!quoted && (c == ',' || c == ')')) {
                    command.arguments.push_back(argument);
                    argument.clear();
                    if (c == ')') break;
                } else argument.push_back(c);
            }
            ++at;
        }
        if (at >= text.size() || text[at++] != ']') return std::nullopt;
        commands.push_back(std::move(command));
    }
    return commands;
}

bool keeps_groups_itself(const MachineState& machine) { return group_folder(machine, "Startup", true).empty(); }

// A common group is everyone's: on NT only an administrator may make or change one.
bool may_touch(const MachineState& machine, bool common) {
    return !common || machine.options.administrator || platform_info(machine.platform).family != Family::nt;
}

ProgramGroup* find_group(MachineState& machine, std::string_view name, bool common) {
    for (ProgramGroup& group : machine.session.program_groups)
        if (group.common == common && same_name(group.name, name)) return &group;
    return nullptr;
}

bool flag_argument(const Command& command, std::size_t index) {
    return command.arguments.size() > index && command.arguments[index] == "1";
}

// The name an item gets when the command names none: the program's file name without
// its extension.
std::string default_item_name(const std::string& command_line) {
    std::string name = command_line.substr(command_line.find_last_of("\\:") == std::string::npos
                                               ? 0
                                               : command_line.find_last_of("\\:") + 1);
    const std::size_t dot = name.find_last_of('.');
    return dot == std::string::npos ? name : name.substr(0, dot);
}

bool create_group(MachineState& machine, const Command& command) {
    if (command.arguments.empty() || command.arguments[0].empty()) return false;
    const bool common = flag_argument(command, 1);
    if (!may_touch(machine, common)) return false;
    const std::string& name = command.arguments[0];
    if (keeps_groups_itself(machine)) {
        if (!find_group(machine, name, common)) machine.session.program_groups.push_back({name, common, {}});
    } else {
        machine.files.make_directories(group_folder(machine, name, common));
    }
    machine.session.current_group = GroupChoice{name, common};
    return true;
}

bool show_group(MachineState& machine, const Command& command) {
    if (command.arguments.size() < 2) return false;
    const bool common = flag_argument(command, 2);
    const std::string& name = command.arguments[0];
    const bool exists = keeps_groups_itself(machine) ? find_group(machine, name, common) != nullptr
                                                     : machine.files.exists(group_folder(machine, name, common));
    if (!exists) return false;
    machine.session.current_group = GroupChoice{name, common};
    return true;
}

std::string item_link_path(const MachineState& machine, const GroupChoice& group, const std::string& item) {
    return group_folder(machine, group.name, group.common) + "\\" + item + ".lnk";
}

// Program Manager takes an item of a name the group has already; the shell's link of
// that name is written over.
bool add_item(MachineState& machine, const Command& command) {
    const std::optional<GroupChoice>& group = machine.session.current_group;
    if (!group || command.arguments.empty() || command.arguments[0].empty() || !may_touch(machine, group->common))
        return false;
    const std::string& command_line = command.arguments[0];
    const std::string name = command.arguments.size() > 1 && !command.arguments[1].empty()
                                 ? command.arguments[1]
                                 : default_item_name(command_line);
    if (keeps_groups_itself(machine)) {
        ProgramGroup* found = find_group(machine, group->name, group->common);
        if (!found) return false;
        found->items.push_back({name, command_line});
        return true;
    }
    ShellLinkContents link;
    link.target = command_line;
    if (command.arguments.size() > 6) link.working_directory = command.arguments[6];
    machine.files.write_file(item_link_path(machine, *group, name), shell_link_bytes(machine, link));
    return true;
}

bool delete_item(MachineState& machine, const Command& command) {
    const std::optional<GroupChoice>& group = machine.session.current_group;
    if (!group || command.arguments.empty() || !may_touch(machine, group->common)) return false;
    const std::string& name = command.arguments[0];
    if (keeps_groups_itself(machine)) {
        ProgramGroup* found = find_group(machine, group->name, group->common);
        if (!found) return false;
        for (auto it = found->items.begin(); it != found->items.end(); ++it) {
            if (!same_name(it->name, name)) continue;
            found->items.erase(it);
            return true;
        }
        return false;
    }
    return machine.files.remove(item_link_path(machine, *group, name));
}

}  // namespace

bool execute_program_manager_commands(MachineState& machine, std::string_view commands) {
    std::optional<std::vector<Command>> parsed = parse_commands(commands);
    if (!parsed || parsed->empty()) return false;
    for (const Command& command : *parsed) {
        bool done = false;
        if (same_name(command.name, "CreateGroup")) done = create_group(machine, command);
        else if (same_name(command.name, "ShowGroup")) done = show_group(machine, command);
        else if (same_name(command.name, "AddItem")) done = add_item(machine, command);
        else if (same_name(command.name, "DeleteItem")) done = delete_item(machine, command);
        // The commands before a failing one stay done, as Program Manager carries them
        // out one at a time.
        if (!done) return false;
    }
    return true;
}

}  // namespace winsim::detail
