#include "step_lines.h"

#include "json_fields.h"
#include "json_text.h"

namespace orvsetup {

namespace {

constexpr std::pair<StepState, std::string_view> state_words[] = {
    {StepState::done, "done"},
    {StepState::not_for_platform, "not_for_platform"},
    {StepState::not_run, "not_run"},
};

std::string_view word_of(StepState state) {
    for (const auto& [known, word] : state_words)
        if (known == state) return word;
    return "done";
}

bool state_named(const std::string& word, StepState& state) {
    for (const auto& [known, name] : state_words)
        if (name == word) {
            state = known;
            return true;
        }
    return false;
}

}  // namespace

void write_step_line(std::FILE* out, std::size_t index, const StepOutcome& step) {
    std::fprintf(out, "{\"step\": %zu", index);
    print_json_field(out, "title", step.title);
    print_json_field(out, "export", step.export_name);
    print_json_field(out, "state", word_of(step.state));
    std::fprintf(out, ", \"result\": %ld, \"accepted\": %s, \"out\": ", static_cast<long>(step.result),
                 step.accepted ? "true" : "false");
    print_json_strings(out, step.out);
    print_json_field(out, "error_text", step.error_text);
    std::fprintf(out, ", \"last_error\": %lu, \"reboot_required\": %ld, \"seen\": ",
                 static_cast<unsigned long>(step.last_error), static_cast<long>(step.reboot_required));
    print_json_strings(out, step.seen);
    print_json_field(out, "wine_cannot_play", step.wine_cannot_play);
    std::fputs("}\n", out);
}

void write_end_line(std::FILE* out, const ScriptRun& run) {
    std::fprintf(out, "{\"end\": true, \"restart_required\": %s", run.restart_required ? "true" : "false");
    print_json_field(out, "problem", run.problem);
    std::fputs("}\n", out);
}

bool StepLineReader::take(std::string_view line, std::string& problem) {
    std::optional<JsonFields> fields = JsonFields::read(line, problem);
    if (!fields) return false;
    if (ended_) {
        problem = "a line after the end line";
        return false;
    }
    if (fields->flag("end")) {
        ended_ = true;
        run_.restart_required = fields->flag("restart_required");
        run_.problem = fields->text("problem");
        return true;
    }
    const long long index = fields->number("step", -1);
    if (index != static_cast<long long>(run_.steps.size())) {
        problem = "step " + std::to_string(index) + " where step " + std::to_string(run_.steps.size()) + " was due";
        return false;
    }
    StepOutcome step;
    if (!state_named(fields->text("state"), step.state)) {
        problem = "step " + std::to_string(index) + " has no known state";
        return false;
    }
    step.title = fields->text("title");
    step.export_name = fields->text("export");
    step.result = static_cast<LONG>(fields->number("result"));
    step.accepted = fields->flag("accepted");
    step.out = fields->texts("out");
    step.error_text = fields->text("error_text");
    step.last_error = static_cast<DWORD>(fields->number("last_error"));
    step.reboot_required = static_cast<LONG>(fields->number("reboot_required"));
    step.seen = fields->texts("seen");
    step.wine_cannot_play = fields->text("wine_cannot_play");
    run_.steps.push_back(std::move(step));
    return true;
}

}  // namespace orvsetup
