#include "startup_view.h"

#include "json_text.h"

namespace orvsetup {

namespace {

const char* group_kind(const winsim::ProgramGroup& group) { return group.common ? "common" : "personal"; }

}  // namespace

void print_startup(std::FILE* out, winsim::Machine& machine) {
    winsim::Shell shell = machine.shell();
    for (const winsim::ProgramGroup& group : shell.program_groups()) {
        std::fprintf(out, "group %s (%s)\n", group.name.c_str(), group_kind(group));
        for (const winsim::ProgramItem& item : group.items)
            std::fprintf(out, "  item %s: %s\n", item.name.c_str(), item.command_line.c_str());
    }
    for (const std::string& folder : shell.startup_folders()) std::fprintf(out, "startup folder %s\n", folder.c_str());
    for (const winsim::StartupLink& link : shell.startup_links()) {
        std::fprintf(out, "link %s\n", link.path.c_str());
        if (!link.contents) {
            std::fputs("  (not a link)\n", out);
            continue;
        }
        std::fprintf(out, "  %-18s %s\n", "target", link.contents->target.c_str());
        std::fprintf(out, "  %-18s %s\n", "description", link.contents->description.c_str());
        std::fprintf(out, "  %-18s %s\n", "working directory", link.contents->working_directory.c_str());
        if (!link.contents->arguments.empty()) std::fprintf(out, "  %-18s %s\n", "arguments", link.contents->arguments.c_str());
    }
    for (const winsim::StartedProcess& process : shell.processes()) {
        std::fprintf(out, "program %s (%s", process.program.c_str(), process.running ? "running" : "ended");
        if (!process.window_class.empty()) std::fprintf(out, ", window %s", process.window_class.c_str());
        std::fputs(")\n", out);
    }
    if (shell.program_groups().empty() && shell.startup_links().empty() && shell.processes().empty())
        std::fputs("no startup entries\n", out);
}

void print_startup_json(std::FILE* out, winsim::Machine& machine) {
    winsim::Shell shell = machine.shell();
    for (const winsim::ProgramGroup& group : shell.program_groups()) {
        std::fputs("{\"group\": ", out);
        print_json_string(out, group.name);
        std::fprintf(out, ", \"common\": %s, \"items\": [", group.common ? "true" : "false");
        for (std::size_t i = 0; i < group.items.size(); ++i) {
            std::fputs(i ? ", {\"name\": " : "{\"name\": ", out);
            print_json_string(out, group.items[i].name);
            print_json_field(out, "command_line", group.items[i].command_line);
            std::fputs("}", out);
        }
        std::fputs("]}\n", out);
    }
    for (const winsim::StartupLink& link : shell.startup_links()) {
        std::fputs("{\"link\": ", out);
        print_json_string(out, link.path);
        if (link.contents) {
            print_json_field(out, "target", link.contents->target);
            print_json_field(out, "description", link.contents->description);
            print_json_field(out, "working_directory", link.contents->working_directory);
            print_json_field(out, "arguments", link.contents->arguments);
        }
        std::fputs("}\n", out);
    }
    for (const winsim::StartedProcess& process : shell.processes()) {
        std::fputs("{\"program\": ", out);
        print_json_string(out, process.program);
        std::fprintf(out, ", \"running\": %s", process.running ? "true" : "false");
        print_json_field(out, "window_class", process.window_class);
        std::fputs("}\n", out);
    }
}

}  // namespace orvsetup
