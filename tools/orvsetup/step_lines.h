// The Windows player's account of a run, one JSON object a line: a line a step as the
// step ends (so what was played survives a player that dies), then an end line. orvsetup
// reads it back on the other side of the process boundary into the same ScriptRun the
// simulated machine gives.
//
//   {"step": 1, "title": "insAddPort ORVFAX2:", "export": "insAddPort", "state": "done",
//    "result": 0, "accepted": true, "out": [], "error_text": "", "last_error": 0,
//    "reboot_required": 0, "seen": [], "wine_cannot_play": ""}
//   {"end": true, "restart_required": false, "problem": ""}
#pragma once

#include "script_runner.h"

#include <cstdio>
#include <string>
#include <string_view>

namespace orvsetup {

void write_step_line(std::FILE* out, std::size_t index, const StepOutcome& step);
void write_end_line(std::FILE* out, const ScriptRun& run);

// Gathers the lines into a run as they come.
class StepLineReader {
public:
    explicit StepLineReader(std::string platform) { run_.platform = std::move(platform); }

    // Takes one line; answers false, with what is wrong in `problem`, for a line that is
    // not the next of the account.
    bool take(std::string_view line, std::string& problem);
    bool ended() const { return ended_; }
    const ScriptRun& run() const { return run_; }
    ScriptRun& run() { return run_; }

private:
    ScriptRun run_;
    bool ended_ = false;
};

}  // namespace orvsetup
