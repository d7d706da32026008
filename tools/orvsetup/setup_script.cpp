#include "setup_script.h"

#include "definition_records.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>

namespace orvsetup {

namespace {

constexpr std::string_view script_keys[] = {"title", "platforms", "sources", "step", "uninstall"};
constexpr std::string_view source_keys[] = {"folder", "files", "make"};
constexpr std::string_view step_keys[] = {"export", "args", "title", "platforms", "accept", "stop", "printer", "port"};

std::string list_of(std::span<const std::string_view> words) {
    std::string list;
    for (std::string_view word : words) list += (list.empty() ? "" : ", ") + std::string(word);
    return list;
}

class ScriptReader {
public:
    ScriptReader(std::string source, std::span<const std::string> platforms)
        : source_(std::move(source)), platforms_(platforms) {}

    SetupScript read(std::string_view text) {
        toml::table table;
        try {
            table = toml::parse(text, source_);
        } catch (const toml::parse_error& error) {
            refuse(error.source(), std::string(error.description()));
        }
        only_keys(table, script_keys, "a setup script");
        SetupScript script;
        script.path = source_;
        if (const toml::node* title = table.get("title")) script.title = text_of(*title, "title");
        if (const toml::node* platforms = table.get("platforms")) script_platforms_ = platforms_of(*platforms);
        if (const toml::node* sources = table.get("sources")) read_sources(table_of(*sources, "sources"), script);
        if (const toml::node* steps = table.get("step")) script.install = read_steps(*steps, "step");
        if (const toml::node* uninstall = table.get("uninstall")) {
            const toml::table& part = table_of(*uninstall, "uninstall");
            constexpr std::string_view uninstall_keys[] = {"step"};
            only_keys(part, uninstall_keys, "the uninstall part");
            if (const toml::node* steps = part.get("step")) script.uninstall = read_steps(*steps, "uninstall.step");
        }
        if (script.install.empty()) throw ScriptError(source_ + ": the script has no [[step]]");
        return script;
    }

private:
    [[noreturn]] void refuse(const toml::source_region& where, const std::string& message) const {
        throw ScriptError(source_ + ":" + std::to_string(where.begin.line) + ": " + message);
    }

    void only_keys(const toml::table& table, std::span<const std::string_view> known, const char* what) const {
        for (const auto& [key, node] : table)
            if (std::find(known.begin(), known.end(), key.str()) == known.end())
                refuse(key.source(), "key '" + std::string(key.str()) + "' is not a key of " + what + " (" + list_of(known) + ")");
    }

    std::string text_of(const toml::node& node, std::string_view key) const {
        if (!node.is_string()) refuse(node.source(), "key '" + std::string(key) + "' must be a text");
        return *node.value<std::string>();
    }

    const toml::table& table_of(const toml::node& node, std::string_view key) const {
        if (!node.is_table()) refuse(node.source(), "key '" + std::string(key) + "' must be a table");
        return *node.as_table();
    }

    const toml::array& array_of(const toml::node& node, std::string_view key, const char* of_what) const {
        if (!node.is_array()) refuse(node.source(), "key '" + std::string(key) + "' must be a list of " + of_what);
        return *node.as_array();
    }

    void read_sources(const toml::table& sources, SetupScript& script) const {
        only_keys(sources, source_keys, "[sources]");
        if (const toml::node* folder = sources.get("folder")) script.source_folder = text_of(*folder, "folder");
        if (const toml::node* files = sources.get("files"))
            for (const toml::node& file : array_of(*files, "files", "texts")) script.source_files.push_back(text_of(file, "files"));
        if (const toml::node* folders = sources.get("make"))
            for (const toml::node& folder : array_of(*folders, "make", "texts")) script.made_folders.push_back(text_of(folder, "make"));
        if (!script.source_files.empty() && script.source_folder.empty())
            refuse(sources.source(), "[sources] names files but no folder");
    }

    std::vector<ScriptStep> read_steps(const toml::node& node, std::string_view key) const {
        if (!node.is_array_of_tables()) refuse(node.source(), "key '" + std::string(key) + "' must be written [[" + std::string(key) + "]]");
        std::vector<ScriptStep> steps;
        for (const toml::node& step : *node.as_array()) steps.push_back(read_step(*step.as_table()));
        return steps;
    }

    ScriptStep read_step(const toml::table& table) const {
        only_keys(table, step_keys, "a step");
        ScriptStep step;
        step.line = static_cast<int>(table.source().begin.line);
        const toml::node* export_node = table.get("export");
        if (!export_node) refuse(table.source(), "a step needs the key 'export'");
        step.call.export_name = text_of(*export_node, "export");
        const Signature* signature = find_signature(step.call.export_name);
        if (!signature) refuse(export_node->source(), "export '" + step.call.export_name + "' is not an export of OrvInstl.dll");
        if (const toml::node* args = table.get("args")) read_arguments(array_of(*args, "args", "arguments"), table, *signature, step);
        std::string problem = check_calls({step.call});
        if (!problem.empty()) refuse(table.get("args") ? table.get("args")->source() : table.source(), problem);
        if (const toml::node* title = table.get("title")) step.title = text_of(*title, "title");
        else step.title = title_of(step.call, *signature);
        const toml::node* platforms = table.get("platforms");
        step.platforms = platforms ? platforms_of(*platforms) : script_platforms_;
        if (const toml::node* accept = table.get("accept")) {
            step.accepted.clear();
            for (const toml::node& result : array_of(*accept, "accept", "results")) {
                std::optional<std::int64_t> value = result.value_exact<std::int64_t>();
                if (!value || *value < INT32_MIN || *value > INT32_MAX)
                    refuse(result.source(), "key 'accept' must list whole numbers of 32 bits");
                step.accepted.push_back(static_cast<LONG>(*value));
            }
        }
        if (const toml::node* stop = table.get("stop")) {
            if (!stop->is_boolean()) refuse(stop->source(), "key 'stop' must be true or false");
            step.stops_on_failure = *stop->value<bool>();
        }
        return step;
    }

    std::vector<std::string> platforms_of(const toml::node& node) const {
        std::vector<std::string> names;
        for (const toml::node& platform : array_of(node, "platforms", "platform names")) {
            std::string name = text_of(platform, "platforms");
            if (std::find(platforms_.begin(), platforms_.end(), name) == platforms_.end()) {
                std::string known;
                for (const std::string& p : platforms_) known += (known.empty() ? "" : ", ") + p;
                refuse(platform.source(), "platform '" + name + "' is not one of " + known);
            }
            names.push_back(name);
        }
        return names;
    }

    // Each argument is a word of `orvsetup call`, a number, or "@printer" / "@port" for
    // the step's own record of that name.
    void read_arguments(const toml::array& args, const toml::table& step_table, const Signature& signature,
                        ScriptStep& step) const {
        for (const toml::node& arg : args) {
            std::size_t index = step.call.words.size();
            if (std::optional<std::int64_t> number = arg.value_exact<std::int64_t>()) {
                step.call.words.push_back(std::to_string(*number));
                continue;
            }
            std::string word = text_of(arg, "args");
            if (word == "@printer" || word == "@port") {
                std::string key = word.substr(1);
                const toml::node* record = step_table.get(key);
                if (!record) refuse(arg.source(), "argument '" + word + "' needs the step's table [step." + key + "]");
                bool wanted = index < signature.parameters.size() &&
                              signature.parameters[index] == (key == "printer" ? ParameterKind::printer_record
                                                                              : ParameterKind::port_record);
                if (!wanted) refuse(arg.source(), "argument " + std::to_string(index + 1) + " of " +
                                                      step.call.export_name + " is no " + key + " definition");
                step.call.records[index] = record_of(table_of(*record, key), key);
                word = given_record_word;
            }
            step.call.words.push_back(word);
        }
    }

    GivenRecord record_of(const toml::table& table, const std::string& key) const {
        try {
            if (key == "printer") {
                std::shared_ptr<PrinterRecord> record = printer_record_of(table, source_);
                return GivenRecord{&record->words, record};
            }
            std::shared_ptr<PortRecord> record = port_record_of(table, source_);
            return GivenRecord{&record->words, record};
        } catch (const RecordError& error) {
            throw ScriptError(error.what());
        }
    }

    // The export and what it acts on: the first text argument, or the record's name.
    static std::string title_of(const CallRequest& call, const Signature& signature) {
        for (std::size_t i = 0; i < call.words.size(); ++i) {
            auto given = call.records.find(i);
            if (given != call.records.end()) {
                const LPCSTR name = signature.parameters[i] == ParameterKind::printer_record
                                        ? static_cast<const INS_PRINTER_DEFINITION*>(given->second.words)->pPrinterName
                                        : static_cast<const INS_PORT_DEFINITION*>(given->second.words)->pPortName;
                return name ? call.export_name + " " + name : call.export_name;
            }
            if (signature.parameters[i] == ParameterKind::text && call.words[i] != "null")
                return call.export_name + " " + call.words[i];
        }
        return call.export_name;
    }

    std::string source_;
    std::span<const std::string> platforms_;
    // What a step is for when it does not say: the script's platforms, or every one.
    std::vector<std::string> script_platforms_;
};

}  // namespace

SetupScript parse_setup_script(std::string_view text, const std::string& source, std::span<const std::string> platforms) {
    return ScriptReader(source, platforms).read(text);
}

SetupScript read_setup_script(const std::string& path, std::span<const std::string> platforms) {
    std::error_code error;
    std::ifstream in;
    if (std::filesystem::is_regular_file(path, error)) in.open(path, std::ios::binary);
    if (!in.is_open()) throw ScriptError("cannot read " + path);
    return parse_setup_script(std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>()), path,
                              platforms);
}

bool step_is_for(const ScriptStep& step, std::string_view platform) {
    return step.platforms.empty() || std::find(step.platforms.begin(), step.platforms.end(), platform) != step.platforms.end();
}

bool is_accepted(const ScriptStep& step, LONG result) {
    return std::find(step.accepted.begin(), step.accepted.end(), result) != step.accepted.end();
}

}  // namespace orvsetup
