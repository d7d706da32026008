#include "script_runner.h"

#include "json_text.h"
#include "result_words.h"

#include <algorithm>
#include <memory>

namespace orvsetup {

namespace {

// A setup program asks first whether it may install at all.
const ScriptStep& install_allowed_step() {
    static const ScriptStep step = [] {
        ScriptStep s;
        s.call.export_name = "InstallAllowed";
        s.title = "InstallAllowed";
        return s;
    }();
    return step;
}

StepOutcome outcome_of(const ScriptStep& step, StepState state) {
    StepOutcome outcome;
    outcome.title = step.title;
    outcome.export_name = step.call.export_name;
    outcome.state = state;
    return outcome;
}

void print_json_list(std::FILE* out, const char* key, const std::vector<std::string>& texts) {
    std::fprintf(out, ", \"%s\": ", key);
    print_json_strings(out, texts);
}

}  // namespace

bool ScriptRun::all_accepted() const {
    return problem.empty() && std::all_of(steps.begin(), steps.end(), [](const StepOutcome& step) {
               return step.state == StepState::not_for_platform || (step.state == StepState::done && !step.refused());
           });
}

ScriptRun perform_steps(const std::vector<ScriptStep>& steps, const std::string& platform, const RunHost& host) {
    ScriptRun run;
    run.platform = platform;
    std::unique_ptr<CallSession> session = CallSession::open(run.problem);
    if (!session) return run;
    std::vector<const ScriptStep*> order{&install_allowed_step()};
    for (const ScriptStep& step : steps) order.push_back(&step);
    auto ended = [&](StepOutcome outcome) {
        run.steps.push_back(std::move(outcome));
        if (host.step_ended) host.step_ended(run.steps.back());
    };
    bool stopped = false;
    // A platform none of the steps is for is not one the script installs on.
    const bool for_platform =
        std::any_of(steps.begin(), steps.end(), [&](const ScriptStep& step) { return step_is_for(step, platform); });
    for (const ScriptStep* step : order) {
        if (!for_platform || !step_is_for(*step, platform)) {
            ended(outcome_of(*step, StepState::not_for_platform));
            continue;
        }
        if (stopped) {
            ended(outcome_of(*step, StepState::not_run));
            continue;
        }
        std::optional<CallOutcome> call = session->call(step->call, host.observe, run.problem);
        if (!call) return run;
        StepOutcome outcome = outcome_of(*step, StepState::done);
        outcome.result = static_cast<LONG>(call->result.number);
        outcome.accepted = is_accepted(*step, outcome.result);
        outcome.out = out_values(call->arguments);
        outcome.error_text = call->error_text;
        outcome.last_error = call->last_error;
        outcome.reboot_required = call->reboot_required;
        outcome.seen = call->seen;
        if (host.cannot_play) outcome.wine_cannot_play = host.cannot_play(outcome.export_name, platform);
        run.restart_required = call->reboot_required != 0;
        if (step->call.export_name == "insPrintTestPage" && outcome.accepted && host.test_page_picture) {
            // The printer is the export's second argument.
            if (std::optional<std::string> picture = host.test_page_picture(step->call.words.at(1)))
                run.test_pages.push_back(*picture);
        }
        stopped = outcome.refused() && step->stops_on_failure;
        ended(std::move(outcome));
    }
    return run;
}

void print_step(std::FILE* out, const StepOutcome& step, bool json) {
    if (step.state == StepState::not_for_platform) return;
    if (json) {
        std::fputs("{\"step\": ", out);
        print_json_string(out, step.title);
        print_json_field(out, "export", step.export_name);
        if (step.state == StepState::not_run) {
            std::fputs(", \"not_run\": true}\n", out);
            return;
        }
        std::fprintf(out, ", \"result\": %ld", static_cast<long>(step.result));
        print_json_field(out, "result_words", result_in_words(step.result));
        std::fprintf(out, ", \"accepted\": %s", step.accepted ? "true" : "false");
        print_json_list(out, "out", step.out);
        print_json_field(out, "error_text", step.error_text);
        std::fprintf(out, ", \"reboot_required\": %ld", static_cast<long>(step.reboot_required));
        print_json_list(out, "seen", step.seen);
        if (!step.wine_cannot_play.empty()) print_json_field(out, "wine_cannot_play", step.wine_cannot_play);
        std::fputs("}\n", out);
        return;
    }
    if (step.state == StepState::not_run) {
        std::fprintf(out, "%s: not run, the script stopped\n", step.title.c_str());
        return;
    }
    std::fprintf(out, "%s -> %s%s\n", step.title.c_str(), result_in_words(step.result).c_str(),
                 step.accepted ? "" : step.refused() ? "   (not accepted)" : "   (not accepted, Wine's answer)");
    if (!step.wine_cannot_play.empty()) std::fprintf(out, "  Wine cannot play this step: %s\n", step.wine_cannot_play.c_str());
    for (const std::string& value : step.out) {
        std::fputs("  out: ", out);
        print_json_string(out, value);
        std::fputc('\n', out);
    }
    print_error_text(out, step.error_text, "  | ");
    for (const std::string& line : step.seen) std::fprintf(out, "  seen: %s\n", line.c_str());
}

void print_run_end(std::FILE* out, const ScriptRun& run, bool json) {
    std::size_t refused = static_cast<std::size_t>(
        std::count_if(run.steps.begin(), run.steps.end(), [](const StepOutcome& step) { return step.refused(); }));
    if (json) {
        std::fputs("{\"platform\": ", out);
        print_json_string(out, run.platform);
        std::fprintf(out, ", \"restart_required\": %s, \"all_accepted\": %s", run.restart_required ? "true" : "false",
                     run.all_accepted() ? "true" : "false");
        print_json_list(out, "test_pages", run.test_pages);
        if (!run.problem.empty()) print_json_field(out, "problem", run.problem);
        std::fputs("}\n", out);
        return;
    }
    if (!run.problem.empty()) std::fprintf(out, "the run ended: %s\n", run.problem.c_str());
    std::fprintf(out, "restart required: %s\n", run.restart_required ? "yes" : "no");
    for (const std::string& page : run.test_pages) std::fprintf(out, "test page: %s\n", page.c_str());
    const std::size_t wine_answers = static_cast<std::size_t>(std::count_if(run.steps.begin(), run.steps.end(), [](const StepOutcome& step) {
        return step.state == StepState::done && !step.accepted && !step.wine_cannot_play.empty();
    }));
    const std::string apart =
        wine_answers ? ", apart from " + std::to_string(wine_answers) + " that Wine cannot play as Windows does" : "";
    if (refused) std::fprintf(out, "%zu step%s gave a result not accepted%s\n", refused, refused == 1 ? "" : "s", apart.c_str());
    else if (run.problem.empty()) std::fprintf(out, "every step gave an accepted result%s\n", apart.c_str());
}

}  // namespace orvsetup
