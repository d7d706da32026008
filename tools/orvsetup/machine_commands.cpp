#include "machine_commands.h"

#include "printers_view.h"
#include "services_view.h"
#include "spooler_views.h"
#include "json_text.h"
#include "startup_view.h"

#include <winsim/services/services.h>
#include <winsim/snapshot.h>

#include <fstream>
#include <memory>
#include <sstream>

namespace orvsetup {

const char* machine_commands_help =
    "  put HOSTFILE PATH      copies a file of this computer onto the machine (PATH like C:\\SETUP\\orvmon.dll)\n"
    "  hold PATH [none|read|write|all]\n"
    "                         holds a file open as another program would, sharing as said (default: read)\n"
    "  release PATH           ends the holds of a file\n"
    "  reboot                 restarts the machine: pending replacements and deletions are carried out\n"
    "  dir PATH               lists a directory of the machine with sizes and attributes\n"
    "  show WHAT              shows a view of the machine (--json before the command: one JSON object a line):\n"
    "    printers             each printer: port, driver, print processor, datatype, attributes, status,\n"
    "                         DEVMODE, driver settings, and on 95/98 its WIN.INI device section and the\n"
    "                         product's ini file; then the default printer\n"
    "    ports                each port with its monitor and the settings the monitor keeps for it\n"
    "    monitors             each port monitor with its DLL\n"
    "    drivers              each printer driver with its files, version and dependent files\n"
    "    processors           each print processor with its DLL\n"
    "    services             each service: display name, type, start type, image path, account, state\n"
    "    startup              Program Manager's groups and items, the Startup folders' links with target,\n"
    "                         description and working directory, and the programs started\n"
    "    default              the default printer\n"
    "    pending              the replacements and deletions waiting for the next restart\n"
    "    diff OTHER-DIR       the files, registry keys and values, and spooler objects in which this\n"
    "                         machine differs from the one saved in OTHER-DIR (+ only here, - only there,\n"
    "                         ~ changed)\n";

namespace {

// A broadcast as a person watching would name it: the message, then its section.
std::string describe(const winsim::Broadcast& message) {
    if (message.message == WM_WININICHANGE)
        return message.section ? "WM_WININICHANGE '" + *message.section + "'" : "WM_WININICHANGE null";
    char name[32];
    std::snprintf(name, sizeof name, "message 0x%04X", message.message);
    return name;
}

const char* answer_name(int answer) {
    switch (answer) {
    case IDOK: return "ok";
    case IDCANCEL: return "cancel";
    case IDYES: return "yes";
    case IDNO: return "no";
    default: return "another answer";
    }
}

// A message box as the person at the machine saw it, with what they answered.
std::string describe(const winsim::ShownMessageBox& box) {
    std::string text = box.text;
    for (char& c : text)
        if (c == '\r' || c == '\n') c = ' ';
    return "message box '" + box.caption + "': " + text + " -> " + answer_name(box.answer);
}

// A document a program printed, and where its pages can be looked at.
std::string describe(const winsim::PrintedJob& job) {
    std::string line = "printed '" + job.document + "' on " + job.printer + ": " + std::to_string(job.pages.size()) +
                       (job.pages.size() == 1 ? " page" : " pages");
    if (!job.ended) return line + ", never ended (nothing came out)";
    if (job.pdf.empty()) return line + " (the machine has no folder to keep pictures in: give --machine DIR)";
    for (const winsim::PrintedPage& page : job.pages) line += ", " + page.png.string();
    return line + ", " + job.pdf.string();
}

const char session_manager[] = "HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Control\\Session Manager";

int usage(std::FILE* err, const char* text) {
    std::fprintf(err, "orvsetup: %s\n", text);
    return 2;
}

DWORD share_named(const std::string& word, bool* known) {
    *known = true;
    if (word == "none") return 0;
    if (word == "read") return FILE_SHARE_READ;
    if (word == "write") return FILE_SHARE_WRITE;
    if (word == "all") return FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
    *known = false;
    return 0;
}

void show_pending(winsim::Machine& machine, std::FILE* out) {
    if (machine.is_nt()) {
        std::optional<winsim::RegistryValue> value = machine.registry().value(session_manager, "PendingFileRenameOperations");
        if (!value) {
            std::fputs("no replacements wait for the next restart\n", out);
            return;
        }
        std::vector<std::string> texts;
        std::string current;
        for (char c : value->bytes) {
            if (c) {
                current += c;
            } else {
                texts.push_back(current);
                current.clear();
            }
        }
        bool any = false;
        for (std::size_t i = 0; i + 1 < texts.size() && !texts[i].empty(); i += 2) {
            any = true;
            if (texts[i + 1].empty()) std::fprintf(out, "delete  %s\n", texts[i].c_str());
            else std::fprintf(out, "move    %s -> %s\n", texts[i].c_str(), texts[i + 1].c_str());
        }
        if (!any) std::fputs("no replacements wait for the next restart\n", out);
        return;
    }
    std::string wininit = std::string(machine.platform_info().windows_directory) + "\\WININIT.INI";
    std::optional<std::string> text = machine.files().read_file(wininit);
    if (!text) {
        std::fputs("no replacements wait for the next restart (no WININIT.INI)\n", out);
        return;
    }
    std::fprintf(out, "%s:\n", wininit.c_str());
    std::istringstream lines(*text);
    for (std::string line; std::getline(lines, line);) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        std::fprintf(out, "  %s\n", line.c_str());
    }
}

void show_default_printer(winsim::Machine& machine, bool json, std::FILE* out) {
    const std::optional<std::string> device = view_printers(machine).default_printer;
    if (json) {
        std::fputs("{\"default_printer\": ", out);
        if (device) print_json_string(out, *device);
        else std::fputs("null", out);
        std::fputs("}\n", out);
    } else {
        std::fprintf(out, "%s\n", device ? device->c_str() : "no default printer");
    }
}

void list_directory(winsim::Machine& machine, const std::string& path, std::FILE* out) {
    for (const std::string& name : machine.files().list(path)) {
        std::string full = path + (path.back() == '\\' ? "" : "\\") + name;
        std::shared_ptr<winsim::FileNode> node = machine.files().node(full);
        if (!node) continue;
        std::string flags;
        if (node->attributes & FILE_ATTRIBUTE_READONLY) flags += 'R';
        if (node->attributes & FILE_ATTRIBUTE_HIDDEN) flags += 'H';
        bool held = false;
        for (const winsim::FileHold& hold : machine.files().holds()) held = held || hold.node == node;
        if (node->directory) std::fprintf(out, "%-12s %10s  %-3s %s\\\n", node->short_or_long().c_str(), "<DIR>", flags.c_str(), name.c_str());
        else
            std::fprintf(out, "%-12s %10zu  %-3s %s%s\n", node->short_or_long().c_str(), node->data.size(), flags.c_str(),
                         name.c_str(), held ? "   (held open)" : "");
    }
}

// What changed from the machine saved in `other` to this one.
void show_differences(winsim::Machine& machine, const std::string& other, std::FILE* out) {
    winsim::Snapshot before;
    {
        std::unique_ptr<winsim::Machine> earlier = winsim::Machine::open(other);
        before = winsim::take_snapshot(*earlier);
    }
    // Opening the other machine made it the one the simulated calls act on.
    machine.make_current();
    const std::vector<std::string> lines = winsim::differences(before, winsim::take_snapshot(machine));
    for (const std::string& line : lines) std::fprintf(out, "%s\n", line.c_str());
    if (lines.empty()) std::fputs("no differences\n", out);
}


const char show_words[] = "show takes printers, ports, monitors, drivers, processors, services, startup, default, pending or diff OTHER-DIR";

int show(winsim::Machine& machine, const std::vector<std::string>& words, bool json, std::FILE* out, std::FILE* err) {
    if (words.size() < 2) return usage(err, show_words);
    const std::string& what = words[1];
    if (what == "diff") {
        if (words.size() != 3) return usage(err, "show diff takes the folder of another machine");
        show_differences(machine, words[2], out);
        return 0;
    }
    if (words.size() != 2) return usage(err, ("show " + what + " takes no further words (--json before the command for JSON)").c_str());
    if (what == "printers") {
        const PrintersView view = view_printers(machine);
        if (json) print_printers_json(out, view);
        else print_printers(out, view);
    } else if (what == "ports") {
        print_ports(out, view_ports(machine), json);
    } else if (what == "monitors") {
        print_monitors(out, view_monitors(machine), json);
    } else if (what == "drivers") {
        print_drivers(out, view_drivers(machine), json);
    } else if (what == "processors") {
        print_processors(out, view_processors(machine), json);
    } else if (what == "services") {
        const std::vector<ServiceView> view = view_services(machine);
        if (json) print_services_json(out, view);
        else print_services(out, view);
    } else if (what == "startup") {
        if (json) print_startup_json(out, machine);
        else print_startup(out, machine);
    } else if (what == "default") {
        show_default_printer(machine, json, out);
    } else if (what == "pending") {
        show_pending(machine, out);
    } else {
        return usage(err, show_words);
    }
    return 0;
}

}  // namespace

bool is_machine_command(const std::string& word) {
    return word == "put" || word == "hold" || word == "release" || word == "reboot" || word == "dir" || word == "show";
}

int run_machine_command(winsim::Machine& machine, const std::vector<std::string>& words, bool json, std::FILE* out,
                        std::FILE* err) {
    const std::string& command = words.at(0);
    try {
        if (command == "put") {
            if (words.size() != 3) return usage(err, "put takes a file of this computer and a path on the machine");
            std::ifstream in(words[1], std::ios::binary);
            if (!in) return usage(err, ("cannot read " + words[1]).c_str());
            std::ostringstream bytes;
            bytes << in.rdbuf();
            machine.files().write_file(words[2], bytes.str());
            std::fprintf(out, "put %s (%zu bytes)\n", words[2].c_str(), bytes.str().size());
        } else if (command == "hold") {
            if (words.size() < 2 || words.size() > 3) return usage(err, "hold takes a path and a sharing (none, read, write, all)");
            bool known = true;
            DWORD share = words.size() == 3 ? share_named(words[2], &known) : FILE_SHARE_READ;
            if (!known) return usage(err, "sharing is none, read, write or all");
            machine.files().hold(words[1], share);
            std::fprintf(out, "holding %s\n", words[1].c_str());
        } else if (command == "release") {
            if (words.size() != 2) return usage(err, "release takes a path");
            if (!machine.files().release(words[1])) return usage(err, ("nothing holds " + words[1]).c_str());
            std::fprintf(out, "released %s\n", words[1].c_str());
        } else if (command == "reboot") {
            machine.reboot();
            std::fputs("restarted\n", out);
        } else if (command == "dir") {
            if (words.size() != 2) return usage(err, "dir takes a path");
            list_directory(machine, words[1], out);
        } else if (command == "show") {
            return show(machine, words, json, out, err);
        }
    } catch (const std::exception& error) {
        std::fprintf(err, "orvsetup: %s: %s\n", command.c_str(), error.what());
        return 1;
    }
    return 0;
}

CallObserver watch_machine(winsim::Machine& machine) {
    return [&machine, services_told = machine.services().events().size(),
            broadcasts_told = machine.desktop().broadcasts().size(),
            programs_told = machine.shell().events().size(),
            boxes_told = machine.desktop().message_boxes().size(),
            jobs_told = machine.graphics().jobs().size()]() mutable {
        const std::vector<winsim::ServiceEvent>& events = machine.services().events();
        std::vector<std::string> lines;
        for (; services_told < events.size(); ++services_told) {
            const winsim::ServiceEvent& event = events[services_told];
            char line[160];
            std::snprintf(line, sizeof line, "%s %s at %.1f s", event.service.c_str(), winsim::service_state_name(event.state),
                          static_cast<double>(event.uptime_ms) / 1000.0);
            lines.emplace_back(line);
        }
        const std::vector<winsim::Broadcast>& broadcasts = machine.desktop().broadcasts();
        for (; broadcasts_told < broadcasts.size(); ++broadcasts_told) lines.push_back(describe(broadcasts[broadcasts_told]));
        const std::vector<winsim::ProgramEvent>& programs = machine.shell().events();
        for (; programs_told < programs.size(); ++programs_told) lines.push_back(programs[programs_told].what);
        const std::vector<winsim::ShownMessageBox>& boxes = machine.desktop().message_boxes();
        for (; boxes_told < boxes.size(); ++boxes_told) lines.push_back(describe(boxes[boxes_told]));
        const std::vector<winsim::PrintedJob>& jobs = machine.graphics().jobs();
        for (; jobs_told < jobs.size(); ++jobs_told) lines.push_back(describe(jobs[jobs_told]));
        return lines;
    };
}

}  // namespace orvsetup
