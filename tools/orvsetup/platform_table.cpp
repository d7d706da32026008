#include "platform_table.h"

#include "json_text.h"
#include "result_words.h"

#include <algorithm>
#include <set>

namespace orvsetup {

namespace {

constexpr std::size_t widest_title = 48;

void add_rows(PlatformTable& table, const char* part, const std::vector<const ScriptRun*>& runs) {
    if (runs.empty()) return;
    for (std::size_t row = 0; row < runs.front()->steps.size(); ++row) {
        TableRow line;
        line.part = part;
        line.title = runs.front()->steps[row].title;
        line.export_name = runs.front()->steps[row].export_name;
        for (const ScriptRun* run : runs) {
            // A run the library never got through has fewer steps; its cells stay empty.
            StepOutcome cell = row < run->steps.size() ? run->steps[row] : StepOutcome{};
            if (row >= run->steps.size()) cell.state = StepState::not_run;
            line.cells.push_back(std::move(cell));
        }
        table.rows.push_back(std::move(line));
    }
}

std::string fitted(const std::string& text, std::size_t width) {
    return text.size() <= width ? text : text.substr(0, width - 3) + "...";
}

void print_json_cell(std::FILE* out, const StepOutcome& cell) {
    if (cell.state == StepState::not_for_platform) {
        print_json_string(out, "not for this platform");
        return;
    }
    if (cell.state == StepState::not_run) {
        print_json_string(out, "not run");
        return;
    }
    std::fprintf(out, "{\"result\": %ld", static_cast<long>(cell.result));
    print_json_field(out, "result_words", result_in_words(cell.result));
    std::fprintf(out, ", \"accepted\": %s", cell.accepted ? "true" : "false");
    print_json_field(out, "error_text", cell.error_text);
    std::fputs(", \"out\": ", out);
    print_json_strings(out, cell.out);
    std::fputs(", \"seen\": ", out);
    print_json_strings(out, cell.seen);
    std::fputc('}', out);
}

}  // namespace

PlatformTable table_of(const SetupScript& script, std::vector<MachineRun> runs) {
    PlatformTable table;
    table.script = script.path;
    table.title = script.title;
    std::vector<const ScriptRun*> installs;
    std::vector<const ScriptRun*> removals;
    for (const MachineRun& run : runs) {
        table.platforms.push_back(run.platform);
        installs.push_back(&run.install);
        if (run.uninstall) removals.push_back(&*run.uninstall);
    }
    add_rows(table, "install", installs);
    add_rows(table, "uninstall", removals);
    table.with_uninstall = !removals.empty();
    table.runs = std::move(runs);
    return table;
}

std::string cell_text(const StepOutcome& cell) {
    switch (cell.state) {
    case StepState::not_for_platform: return "-";
    case StepState::not_run: return "stopped";
    case StepState::done: break;
    }
    return std::to_string(cell.result) + (cell.accepted ? "" : "*");
}

void print_table(std::FILE* out, const PlatformTable& table) {
    std::size_t title_width = 4;
    for (const TableRow& row : table.rows) title_width = std::max(title_width, fitted(row.title, widest_title).size());
    std::vector<std::size_t> widths;
    for (const std::string& platform : table.platforms) widths.push_back(std::max<std::size_t>(platform.size(), 8));
    auto line = [&](const std::string& title, const std::vector<std::string>& cells) {
        std::string text = title + std::string(title_width - std::min(title_width, title.size()), ' ');
        for (std::size_t i = 0; i < cells.size(); ++i)
            text += "  " + cells[i] + std::string(widths[i] - std::min(widths[i], cells[i].size()), ' ');
        while (!text.empty() && text.back() == ' ') text.pop_back();
        std::fprintf(out, "%s\n", text.c_str());
    };
    if (!table.title.empty()) std::fprintf(out, "%s (%s)\n", table.title.c_str(), table.script.c_str());
    line("step", table.platforms);
    std::string part;
    std::set<LONG> seen_results;
    bool any_refused = false;
    for (const TableRow& row : table.rows) {
        if (row.part != part && table.with_uninstall) line("-- " + row.part, {});
        part = row.part;
        std::vector<std::string> cells;
        for (const StepOutcome& cell : row.cells) {
            cells.push_back(cell_text(cell));
            if (cell.state == StepState::done) seen_results.insert(cell.result);
            any_refused = any_refused || (cell.state == StepState::done && !cell.accepted);
        }
        line(fitted(row.title, widest_title), cells);
    }
    std::vector<std::string> restart;
    std::vector<std::string> left;
    for (const MachineRun& run : table.runs) {
        restart.push_back(run.install.restart_required ? "yes" : "no");
        left.push_back(std::to_string(run.left_behind.size()));
    }
    line("restart required", restart);
    if (table.with_uninstall) line("entries left behind", left);
    std::fputs("results:", out);
    for (LONG result : seen_results) std::fprintf(out, "  %s;", result_in_words(result).c_str());
    std::fputc('\n', out);
    if (any_refused) std::fputs("* a result the step does not accept\n", out);
    for (std::size_t i = 0; i < table.runs.size(); ++i) {
        const MachineRun& run = table.runs[i];
        if (!run.install.problem.empty()) std::fprintf(out, "%s: %s\n", table.platforms[i].c_str(), run.install.problem.c_str());
        for (const std::string& page : run.install.test_pages) std::fprintf(out, "%s: test page %s\n", table.platforms[i].c_str(), page.c_str());
        if (!run.left_behind.empty()) {
            std::fprintf(out, "%s: left behind after the uninstall:\n", table.platforms[i].c_str());
            for (const std::string& entry : run.left_behind) std::fprintf(out, "  %s\n", entry.c_str());
        }
    }
}

void print_table_json(std::FILE* out, const PlatformTable& table) {
    std::fputs("{\"script\": ", out);
    print_json_string(out, table.script);
    print_json_field(out, "title", table.title);
    std::fputs(", \"platforms\": ", out);
    print_json_strings(out, table.platforms);
    std::fputs(", \"rows\": [", out);
    for (std::size_t r = 0; r < table.rows.size(); ++r) {
        const TableRow& row = table.rows[r];
        std::fputs(r ? ", {\"part\": " : "{\"part\": ", out);
        print_json_string(out, row.part);
        print_json_field(out, "step", row.title);
        print_json_field(out, "export", row.export_name);
        std::fputs(", \"results\": {", out);
        for (std::size_t i = 0; i < row.cells.size(); ++i) {
            if (i) std::fputs(", ", out);
            print_json_string(out, table.platforms[i]);
            std::fputs(": ", out);
            print_json_cell(out, row.cells[i]);
        }
        std::fputs("}}", out);
    }
    std::fputs("], \"machines\": {", out);
    for (std::size_t i = 0; i < table.runs.size(); ++i) {
        const MachineRun& run = table.runs[i];
        if (i) std::fputs(", ", out);
        print_json_string(out, table.platforms[i]);
        std::fprintf(out, ": {\"restart_required\": %s, \"all_accepted\": %s", run.install.restart_required ? "true" : "false",
                     run.all_accepted() ? "true" : "false");
        std::fputs(", \"left_behind\": ", out);
        print_json_strings(out, run.left_behind);
        std::fputs(", \"test_pages\": ", out);
        print_json_strings(out, run.install.test_pages);
        std::fputc('}', out);
    }
    std::fputs("}}\n", out);
}

}  // namespace orvsetup
