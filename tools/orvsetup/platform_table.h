// A setup script's runs on several platforms side by side: a row a step, a column a
// platform, and at the foot whether each asks for a restart and what its removal left.
#pragma once

#include "script_machine.h"
#include "setup_script.h"

#include <cstdio>
#include <string>
#include <vector>

namespace orvsetup {

struct TableRow {
    std::string part;  // "install" or "uninstall"
    std::string title;
    std::string export_name;
    std::vector<StepOutcome> cells;  // one a platform
};

struct PlatformTable {
    std::string script;
    std::string title;
    std::vector<std::string> platforms;
    std::vector<TableRow> rows;
    std::vector<MachineRun> runs;  // one a platform, for the foot
    bool with_uninstall = false;
};

PlatformTable table_of(const SetupScript& script, std::vector<MachineRun> runs);

// What a cell shows: the result ("-13"), with "*" when the step does not accept it;
// "-" for a step not meant for the platform, "stopped" for one an earlier failure kept
// from running.
std::string cell_text(const StepOutcome& cell);

// Aligned for a person, with the meaning of each result that appears, then the restart
// question by platform and what each removal left behind.
void print_table(std::FILE* out, const PlatformTable& table);
// One JSON document: script, title, platforms, rows (part, step, export, and by
// platform its result, result_words, accepted, error_text, out, seen, or "not for this
// platform" / "not run"), and by platform restart_required, all_accepted, left_behind,
// test_pages.
void print_table_json(std::FILE* out, const PlatformTable& table);

}  // namespace orvsetup
